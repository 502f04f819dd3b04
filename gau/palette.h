#pragma once
// Reading and changing single palette entries of a bitmap inside the open
// gauge file, one byte at a time. Entry n lies at BmpPos + 28 + 4n as blue,
// green, red and a reserved byte that is never read or written here.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "base/result.h"

namespace io {
class Channel;
}

namespace gau {

// Offsets of the colour bytes within a palette entry.
enum class ColorChannel : int { Blue = 0, Green = 1, Red = 2 };

struct ColorCount {
  int32_t stored = 0;  // the field as it stands
  int32_t colors = 0;  // the count the tools use: a stored 0 means 256
};

// The colour count at BmpPos + 20; an error when the field is not in the file.
Result<ColorCount> readColorCount(io::Channel& gauge, int32_t bmpPos);

struct Entry {
  uint8_t red = 0, green = 0, blue = 0;
};

// The three colour bytes of entry `n`, wherever the formula puts them (the
// caller checks `n` against the colour count it holds); an error, and no
// read, when they would lie before the first byte or past the end of the file.
Result<Entry> readEntry(io::Channel& gauge, int32_t bmpPos, int32_t n);

// Writes `value` as the `channel` byte of entry `n` and flushes. Refuses
// unless entry n belongs to this bitmap's own palette (by the colour count
// stored in its header now, 0 to 256) and the byte lies inside the file, so
// that nothing but that one palette byte can ever change.
Result<> writeEntryByte(io::Channel& gauge, int32_t bmpPos, int32_t n, ColorChannel channel,
                        uint8_t value);

// The same for several colour bytes of entry `n` at once, as one change (one
// undo): `values` by ColorChannel, each byte without a value kept as it is.
Result<> writeEntryBytes(io::Channel& gauge, int32_t bmpPos, int32_t n,
                         const std::array<std::optional<uint8_t>, 3>& values);

}  // namespace gau
