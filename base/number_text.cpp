#include "base/number_text.h"

#include <charconv>
#include <cmath>
#include <string>

namespace {

bool ignorable(char c) { return c == ' ' || c == '\t' || c == '\n'; }

int digitValue(char c, int base) {
  int v = -1;
  if (c >= '0' && c <= '9')
    v = c - '0';
  else if (c >= 'a' && c <= 'f')
    v = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F')
    v = c - 'A' + 10;
  return v >= 0 && v < base ? v : -1;
}

struct Parsed {
  double value = 0;
  size_t used = 0;   // characters of `s` that belong to the number
  bool any = false;  // at least one digit was read
};

// Reads the number at the start of `s` (already stripped of ignorable characters).
Parsed parseNumber(const std::string& s) {
  Parsed p;
  size_t i = 0;
  if (s.size() >= 2 && s[0] == '&') {
    const char kind = s[1];
    const int base = (kind == 'H' || kind == 'h') ? 16 : (kind == 'O' || kind == 'o') ? 8 : 0;
    if (base == 0) return p;
    i = 2;
    while (i < s.size() && digitValue(s[i], base) >= 0) {
      p.value = p.value * base + digitValue(s[i], base);
      p.any = true;
      ++i;
    }
    p.used = i;
    return p;
  }
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  std::string digits;
  bool point = false;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c >= '0' && c <= '9') {
      digits += c;
      p.any = true;
    } else if (c == '.' && !point) {
      digits += c;
      point = true;
    } else {
      break;
    }
  }
  p.used = i;
  if (p.any) {
    // from_chars reads a full stop whatever the user's locale; a value too
    // large for a double reads as infinite, so it is out of every range.
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), p.value);
    if (ec == std::errc::result_out_of_range) p.value = HUGE_VAL;
  }
  if (negative) p.value = -p.value;
  return p;
}

std::string withoutIgnorable(std::string_view text) {
  std::string s;
  s.reserve(text.size());
  for (char c : text)
    if (!ignorable(c)) s += c;
  return s;
}

// Half to even; std::nearbyint honours the rounding mode, which may not be the default.
double roundHalfEven(double v) {
  if (std::fabs(v - std::trunc(v)) == 0.5) return 2.0 * std::round(v / 2.0);
  return std::round(v);
}

}  // namespace

double leadingNumber(std::string_view text) { return parseNumber(withoutIgnorable(text)).value; }

std::optional<double> wholeNumber(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && ignorable(text[b])) ++b;
  while (e > b && ignorable(text[e - 1])) --e;
  const std::string s(text.substr(b, e - b));
  const Parsed p = parseNumber(s);
  if (!p.any || p.used != s.size()) return std::nullopt;
  return p.value;
}

std::optional<int16_t> roundToInt16(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  const double r = roundHalfEven(value);
  if (r < -32768.0 || r > 32767.0) return std::nullopt;
  return static_cast<int16_t>(r);
}

std::optional<uint8_t> roundToByte(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  const double r = roundHalfEven(value);
  if (r < 0.0 || r > 255.0) return std::nullopt;
  return static_cast<uint8_t>(r);
}
