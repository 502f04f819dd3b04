#include "gau/palette.h"

#include <algorithm>
#include <string>

#include "gau/bitmap_record.h"
#include "gau/change.h"
#include "io/file_channels.h"

namespace gau {
namespace {

constexpr int kEntryBytes = 4;
constexpr int kColorBytes = 3;  // blue, green, red; the reserved byte is left out

int64_t entryStart(int32_t bmpPos, int32_t n) {
  return static_cast<int64_t>(bmpPos) + kPaletteFromBmpPos + kEntryBytes * static_cast<int64_t>(n);
}

std::string entryName(int32_t n) { return "palette entry " + std::to_string(n); }

const char* channelName(ColorChannel c) {
  switch (c) {
    case ColorChannel::Blue:
      return "blue";
    case ColorChannel::Green:
      return "green";
    case ColorChannel::Red:
      return "red";
  }
  return "";
}

}  // namespace

Result<ColorCount> readColorCount(io::Channel& gauge, int32_t bmpPos) {
  const int64_t pos = static_cast<int64_t>(bmpPos) + kColorCountFromBmpPos;
  const Result<int64_t> length = gaugeLength(gauge);
  if (!length) return Result<ColorCount>::failure(length);
  if (!liesInFile(pos, 4, *length))
    return Result<ColorCount>::failure(Fault::Bitmap, "Its colour count lies outside the file.");
  const int32_t stored = gauge.get4(pos);
  return ColorCount{stored, colorsInUse(stored)};
}

Result<Entry> readEntry(io::Channel& gauge, int32_t bmpPos, int32_t n) {
  const int64_t first = entryStart(bmpPos, n);
  const Result<int64_t> length = gaugeLength(gauge);
  if (!length) return Result<Entry>::failure(length);
  if (!liesInFile(first, kColorBytes, *length))
    return Result<Entry>::failure(
        Fault::Bitmap, "Nothing was read: its " + entryName(n) + " lies outside the file.");
  uint8_t bytes[kColorBytes];
  if (gauge.read(first, bytes) != kColorBytes)
    return Result<Entry>::failure(Fault::Bitmap, "Its " + entryName(n) + " could not be read: " +
                                                     gauge.errorOr("the read stopped early") + ".");
  Entry e;
  e.blue = bytes[static_cast<int>(ColorChannel::Blue)];
  e.green = bytes[static_cast<int>(ColorChannel::Green)];
  e.red = bytes[static_cast<int>(ColorChannel::Red)];
  return e;
}

Result<> writeEntryByte(io::Channel& gauge, int32_t bmpPos, int32_t n, ColorChannel channel,
                        uint8_t value) {
  std::array<std::optional<uint8_t>, 3> values;
  values[static_cast<size_t>(channel)] = value;
  return writeEntryBytes(gauge, bmpPos, n, values);
}

Result<> writeEntryBytes(io::Channel& gauge, int32_t bmpPos, int32_t n,
                         const std::array<std::optional<uint8_t>, 3>& values) {
  const auto refused = [](std::string why) {
    return Result<>::failure(Fault::Bitmap, "Nothing was written: " + why);
  };
  // The count is read afresh: the one the caller holds may belong to another bitmap.
  const Result<ColorCount> count = readColorCount(gauge, bmpPos);
  if (!count) return Result<>::failure(count);
  if (count->stored < 0 || count->stored > kMaxColors)
    return refused("its colour count now reads " + std::to_string(count->stored) +
                   ", which is not 0 to 256.");
  if (n < 0 || n >= count->colors)
    return refused("it has " + std::to_string(count->colors) + " colours, so it has no " +
                   entryName(n) + ".");
  // The span from the first byte given to the last; those between keep their values.
  size_t first = values.size(), last = 0;
  for (size_t c = 0; c < values.size(); ++c)
    if (values[c]) first = std::min(first, c), last = c;
  if (first == values.size()) return {};
  const int64_t pos = entryStart(bmpPos, n) + static_cast<int64_t>(first);
  const int64_t count3 = static_cast<int64_t>(last - first) + 1;
  if (!liesInFile(pos, count3, gauge.length()))
    return refused(first == last
                       ? std::string("the ") + channelName(static_cast<ColorChannel>(first)) +
                             " byte of " + entryName(n) + " lies past the end of the file."
                       : "the colour bytes of " + entryName(n) + " lie past the end of the file.");
  std::array<uint8_t, 3> bytes{};
  if (gauge.read(pos, std::span(bytes).first(static_cast<size_t>(count3))) !=
      static_cast<size_t>(count3))
    return Result<>::failure(Fault::NotWritten, "Its palette could not be read: " +
                                                    gauge.errorOr("the read stopped early") + ".");
  for (size_t c = first; c <= last; ++c)
    if (values[c]) bytes[c - first] = *values[c];
  return changeRange(gauge, pos, std::span(bytes).first(static_cast<size_t>(count3)),
                     {"palette", bmpPos});
}

}  // namespace gau
