#include "gau/palette.h"

#include <string>

#include "gau/bitmap_record.h"
#include "platform/file_channels.h"

namespace gau {
namespace {

constexpr int kEntryBytes = 4;
constexpr int kColorBytes = 3;  // blue, green, red; the reserved byte is left out

int64_t entryStart(int32_t bmpPos, int32_t n) {
  return static_cast<int64_t>(bmpPos) + kPaletteOffset + kEntryBytes * static_cast<int64_t>(n);
}

std::string entryName(const platform::Channel& gauge, int32_t bmpPos, int32_t n) {
  return "palette entry " + std::to_string(n) + " of the bitmap at byte " +
         std::to_string(bmpPos) + " of " + gauge.name();
}

const char* channelName(ColorChannel c) {
  switch (c) {
    case ColorChannel::Blue: return "blue";
    case ColorChannel::Green: return "green";
    case ColorChannel::Red: return "red";
  }
  return "";
}

}  // namespace

ColorCountResult readColorCount(platform::Channel& gauge, int32_t bmpPos) {
  ColorCountResult r;
  const int64_t pos = static_cast<int64_t>(bmpPos) + kColorCountOffset;
  if (!liesInFile(pos, 4, gauge.length())) {
    r.error = "The colour count of the bitmap at byte " + std::to_string(bmpPos) + " of " +
              gauge.name() + " lies outside the file.";
    return r;
  }
  r.stored = gauge.get4(pos);
  r.colors = colorsInUse(r.stored);
  return r;
}

EntryResult readEntry(platform::Channel& gauge, int32_t bmpPos, int32_t n) {
  EntryResult r;
  const int64_t first = entryStart(bmpPos, n);
  if (!liesInFile(first, kColorBytes, gauge.length())) {
    r.error = "Nothing was read: " + entryName(gauge, bmpPos, n) + " lies outside the file.";
    return r;
  }
  uint8_t bytes[kColorBytes];
  gauge.read(first, bytes);
  r.blue = bytes[static_cast<int>(ColorChannel::Blue)];
  r.green = bytes[static_cast<int>(ColorChannel::Green)];
  r.red = bytes[static_cast<int>(ColorChannel::Red)];
  return r;
}

SendResult writeEntryByte(platform::Channel& gauge, int32_t bmpPos, int32_t n,
                          ColorChannel channel, uint8_t value) {
  SendResult r;
  const std::string entry = entryName(gauge, bmpPos, n);
  // The count is read afresh: the one the caller holds may belong to another bitmap.
  const ColorCountResult count = readColorCount(gauge, bmpPos);
  if (!count) {
    r.error = "Nothing was written. " + count.error;
    return r;
  }
  if (count.stored < 0 || count.stored > kMaxColors) {
    r.error = "Nothing was written: the bitmap at byte " + std::to_string(bmpPos) + " of " +
              gauge.name() + " now has the colour count " + std::to_string(count.stored) +
              ", which is not 0 to 256.";
    return r;
  }
  if (n < 0 || n >= count.colors) {
    r.error = "Nothing was written: the bitmap at byte " + std::to_string(bmpPos) + " of " +
              gauge.name() + " has " + std::to_string(count.colors) +
              " colours, so it has no palette entry " + std::to_string(n) + ".";
    return r;
  }
  const int64_t pos = entryStart(bmpPos, n) + static_cast<int>(channel);
  if (!liesInFile(pos, 1, gauge.length())) {
    r.error = "Nothing was written: the " + std::string(channelName(channel)) + " byte of " +
              entry + " lies past the end of the file.";
    return r;
  }
  if (!gauge.put1(pos, value) || !gauge.flush()) {
    r.error = "Writing the " + std::string(channelName(channel)) + " byte of " + entry +
              " failed: " + gauge.errorOr("unknown error") +
              ".";
    return r;
  }
  return r;
}

}  // namespace gau
