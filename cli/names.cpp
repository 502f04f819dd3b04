#include "cli/names.h"

#include <QByteArrayView>

namespace cli {
namespace {

constexpr char16_t kEscapedBytes = 0xDC00;  // + the byte, for bytes 0x80..0xFF

// True when name[i] is a byte that is no UTF-8, kept by nameOf. A low
// surrogate right after a high one is half of a character from four bytes.
bool isKeptByte(const QString& name, qsizetype i) {
  const char16_t u = name[i].unicode();
  return u >= kEscapedBytes + 0x80 && u <= kEscapedBytes + 0xFF &&
         (i == 0 || !name[i - 1].isHighSurrogate());
}

// The characters a terminal may act on, and those that would break a line:
// C0, DEL and C1, also as a byte that is no UTF-8.
bool isControl(const QString& name, qsizetype i) {
  const char16_t u = name[i].unicode();
  return u < 0x20 || (u >= 0x7F && u <= 0x9F) || (isKeptByte(name, i) && u <= kEscapedBytes + 0x9F);
}

void appendOctal(QString& out, unsigned byte) {
  out += QLatin1Char('\\');
  for (int shift = 6; shift >= 0; shift -= 3) out += QLatin1Char(char('0' + ((byte >> shift) & 7)));
}

// `text` with its control characters as C escapes; `inQuotes` escapes quotes and backslashes too.
QString escape(const QString& text, bool inQuotes) {
  static const char kNamed[] = "abtnvfr";  // \a (7) to \r (13)
  QString out;
  out.reserve(text.size() + 8);
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t u = text[i].unicode();
    if (!isControl(text, i)) {
      if (inQuotes && (u == u'"' || u == u'\\')) out += QLatin1Char('\\');
      out += text[i];
    } else if (u >= 7 && u <= 13) {
      out += QLatin1Char('\\');
      out += QLatin1Char(kNamed[u - 7]);
    } else if (u < 0x80 || isKeptByte(text, i)) {
      appendOctal(out, u & 0xFF);
    } else {  // C1 as UTF-8: two bytes
      appendOctal(out, 0xC0 | u >> 6);
      appendOctal(out, 0x80 | (u & 0x3F));
    }
  }
  return out;
}

// The length of the UTF-8 character at s[i], or 0 when none starts there.
qsizetype characterAt(const std::string& s, size_t i) {
  const auto lead = static_cast<unsigned char>(s[i]);
  const qsizetype length = lead < 0x80    ? 1
                           : lead >= 0xF0 ? 4
                           : lead >= 0xE0 ? 3
                           : lead >= 0xC0 ? 2
                                          : 0;
  if (length == 0 || i + static_cast<size_t>(length) > s.size()) return 0;
  return QByteArrayView(s.data() + i, length).isValidUtf8() ? length : 0;
}

}  // namespace

QString nameOf(const std::string& bytes) {
  if (QByteArrayView(bytes).isValidUtf8()) return QString::fromUtf8(bytes);
  QString text;
  size_t start = 0;  // of the UTF-8 not yet taken
  for (size_t i = 0; i < bytes.size();) {
    if (const qsizetype n = characterAt(bytes, i); n > 0) {
      i += static_cast<size_t>(n);
      continue;
    }
    text += QString::fromUtf8(bytes.data() + start, static_cast<qsizetype>(i - start));
    text += QChar(kEscapedBytes + static_cast<unsigned char>(bytes[i]));
    start = ++i;
  }
  return text +
         QString::fromUtf8(bytes.data() + start, static_cast<qsizetype>(bytes.size() - start));
}

QStringList argumentsAsText(int argc, char** argv) {
  QStringList args;
  for (int i = 1; i < argc; ++i) args.append(nameOf(argv[i]));
  return args;
}

std::string bytesOf(const QString& name) {
  std::string bytes;
  bytes.reserve(static_cast<size_t>(name.size()));
  qsizetype start = 0;  // of the text not yet taken
  for (qsizetype i = 0; i < name.size(); ++i) {
    if (!isKeptByte(name, i)) continue;
    bytes += QStringView(name).sliced(start, i - start).toUtf8().toStdString();
    bytes += static_cast<char>(name[i].unicode() - kEscapedBytes);
    start = i + 1;
  }
  return bytes + QStringView(name).sliced(start).toUtf8().toStdString();
}

bool isUtf8(const QString& name) {
  for (qsizetype i = 0; i < name.size(); ++i)
    if (isKeptByte(name, i)) return false;
  return true;
}

QString quoted(const QString& name) {
  bool plain = !name.startsWith(QLatin1Char('"'));
  for (qsizetype i = 0; plain && i < name.size(); ++i) plain = !isControl(name, i);
  if (plain) return name;
  return QLatin1Char('"') + escape(name, true) + QLatin1Char('"');
}

QString escaped(const QString& sentence) { return escape(sentence, false); }

}  // namespace cli
