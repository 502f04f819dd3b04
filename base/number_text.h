#pragma once
// How typed numbers are read. Two readings exist: the lenient one, where the
// leading number of the text counts, and the whole-text one of the palette
// value boxes. Both round a fraction to the nearest whole number, a half to
// the even neighbour.

#include <cstdint>
#include <optional>
#include <string_view>

// The leading number of `text`: blanks, tabs and line feeds are ignored
// wherever they stand; then an optional sign, digits and one decimal point,
// or &H / &O followed by hexadecimal / octal digits. No leading number gives 0.
double leadingNumber(std::string_view text);

// The whole text as one number (blanks around it allowed), or nothing when any
// character does not belong to the number ("7a", "-", "").
std::optional<double> wholeNumber(std::string_view text);

// Half to even; nothing when the rounded value does not fit a signed 16-bit integer.
std::optional<int16_t> roundToInt16(double value);

// Half to even; nothing unless the rounded value is 0 to 255.
std::optional<uint8_t> roundToByte(double value);
