#include "gau/bitmap_record.h"

#include <string>

#include "platform/file_channels.h"

namespace gau {

LayoutResult readLayout(platform::Channel& gauge, int32_t bmpPos, Extent extent) {
  LayoutResult r;
  const int64_t length = gauge.length();
  const int64_t widthPos = static_cast<int64_t>(bmpPos) + kWidthOffset;
  const int64_t countPos = static_cast<int64_t>(bmpPos) + kColorCountOffset;
  if (widthPos < 1) {
    r.error = "Its header would begin before the start of the file.";
    return r;
  }
  if (!liesInFile(widthPos, countPos + 4 - widthPos, length)) {
    r.error = "Its header runs past the end of the file.";
    return r;
  }
  BitmapLayout b;
  b.bmpPos = bmpPos;
  b.width = gauge.get4(widthPos);
  b.height = gauge.get4(static_cast<int64_t>(bmpPos) + kHeightOffset);
  const int32_t stored = gauge.get4(countPos);
  if (stored < 0 || stored > kMaxColors) {
    r.error = "Its colour count " + std::to_string(stored) + " is not 0 to 256.";
    return r;
  }
  b.colors = colorsInUse(stored);
  b.padding = rowPadding(b.width);
  b.rowBytes = static_cast<int64_t>(b.width) + b.padding;
  b.paletteStart = static_cast<int64_t>(bmpPos) + kPaletteOffset;
  b.pixelStart = b.paletteStart + 4 * static_cast<int64_t>(b.colors);
  b.pixelBytes = b.rowBytes * b.height;
  // Every size and position a tool works out must be a signed 32-bit number.
  if (!fitsInt32(b.rowBytes) || !fitsInt32(b.pixelBytes) || !fitsInt32(b.pixelStart) ||
      !fitsInt32(b.pixelEnd())) {
    r.error = "Its width " + std::to_string(b.width) + " and height " +
              std::to_string(b.height) + " give a size too large for a bitmap.";
    return r;
  }
  if (extent == Extent::WholeInFile) {
    if (!liesInFile(b.paletteStart, 4 * static_cast<int64_t>(b.colors), length)) {
      r.error = "Its palette runs past the end of the file.";
      return r;
    }
    if (b.pixelBytes > 0 && !liesInFile(b.pixelStart, b.pixelBytes, length)) {
      r.error = "Its width " + std::to_string(b.width) + " and height " +
                std::to_string(b.height) + " make its pixels run past the end of the file.";
      return r;
    }
  }
  r.layout = b;
  return r;
}

}  // namespace gau
