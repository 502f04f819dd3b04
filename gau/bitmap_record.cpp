#include "gau/bitmap_record.h"

#include <string>

#include "bmp/bmp_file.h"
#include "io/file_channels.h"

namespace gau {
namespace {

Result<BitmapLayout> refused(std::string why) {
  return Result<BitmapLayout>::failure(Fault::Bitmap, std::move(why));
}

std::string sizes(const BitmapLayout& b) {
  return "Its width " + std::to_string(b.width) + " and height " + std::to_string(b.height);
}

}  // namespace

Result<int64_t> gaugeLength(io::Channel& gauge) {
  const int64_t length = gauge.length();
  if (length >= 0) return length;
  return Result<int64_t>::failure(Fault::Bitmap, "Its file cannot be read: " + gauge.error() + ".");
}

Result<BitmapLayout> readLayout(io::Channel& gauge, int32_t bmpPos, Extent extent) {
  const Result<int64_t> fileLength = gaugeLength(gauge);
  if (!fileLength) return Result<BitmapLayout>::failure(fileLength);
  const int64_t length = *fileLength;
  const int64_t widthPos = static_cast<int64_t>(bmpPos) + kWidthFromBmpPos;
  const int64_t countPos = static_cast<int64_t>(bmpPos) + kColorCountFromBmpPos;
  if (widthPos < 1) return refused("Its header would begin before the start of the file.");
  if (!liesInFile(widthPos, countPos + 4 - widthPos, length))
    return refused("Its header runs past the end of the file.");
  BitmapLayout b;
  b.bmpPos = bmpPos;
  b.width = gauge.get4(widthPos);
  b.height = gauge.get4(static_cast<int64_t>(bmpPos) + kHeightFromBmpPos);
  const int32_t stored = gauge.get4(countPos);
  if (stored < 0 || stored > kMaxColors)
    return refused("Its colour count " + std::to_string(stored) + " is not 0 to 256.");
  b.colors = colorsInUse(stored);
  b.padding = rowPadding(b.width);
  b.rowBytes = static_cast<int64_t>(b.width) + b.padding;
  b.paletteStart = static_cast<int64_t>(bmpPos) + kPaletteFromBmpPos;
  b.pixelStart = b.paletteStart + 4 * static_cast<int64_t>(b.colors);
  b.pixelBytes = b.rowBytes * b.height;
  // Every size and position a tool works out must be a signed 32-bit number.
  if (!fitsInt32(b.rowBytes) || !fitsInt32(b.pixelBytes) || !fitsInt32(b.pixelStart) ||
      !fitsInt32(b.pixelEnd()))
    return refused(sizes(b) + " give a size too large for a bitmap.");
  if (extent == Extent::WholeInFile) {
    if (!liesInFile(b.paletteStart, 4 * static_cast<int64_t>(b.colors), length))
      return refused("Its palette runs past the end of the file.");
    if (b.pixelBytes > 0 && !liesInFile(b.pixelStart, b.pixelBytes, length))
      return refused(sizes(b) + " make its pixels run past the end of the file.");
  }
  return b;
}

Result<BitmapLayout> convertibleLayout(io::Channel& gauge, int32_t bmpPos) {
  Result<BitmapLayout> r = readLayout(gauge, bmpPos, Extent::WholeInFile);
  if (!r) return r;
  // A negative width means nothing; a negative (top-down) height would give a
  // pixel count below zero, and so a .BMP without pixels and a wrong file size.
  if (r->width < 0 || r->height < 0)
    return refused(sizes(*r) + " cannot be converted: neither may be negative.");
  if (!fitsInt32(bmp::kPixelOffset + r->pixelBytes))
    return refused(sizes(*r) + " give a bitmap file too large to write.");
  return r;
}

}  // namespace gau
