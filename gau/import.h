#pragma once
// The import: the pixel bytes of a .BMP written over a gauge bitmap's pixel
// array, in place. Only a .BMP laid out as the export writes it, with the
// bitmap's own width and height, is accepted; then exactly the (W + P) x H
// pixel bytes are written and never a byte outside the pixel array. The
// gauge's header and palette, and the .BMP, are never written.

#include <cstdint>
#include <string>

#include "app/result.h"

namespace platform {
class Channel;
}

namespace gau {

// What an import wrote. A failure is Fault::Bitmap (the gauge bitmap cannot be
// converted), Fault::Source (the .BMP cannot be opened or read),
// Fault::DoesNotFit (the .BMP is not laid out as the bitmap needs),
// Fault::ReadOnly (the gauge is open for reading only) — each with nothing
// written — or Fault::GaugeWrite (its pixel array may be partly written).
struct Imported {
  int32_t colors = 0;        // the stored colour count, 0 read as 256
  int64_t bytesWritten = 0;  // (W + P) x H
};

// Checks the bitmap at `bmpPos` of `gauge` and the .BMP on `bmpFile`, then
// writes the pixels in one block and flushes the gauge.
Result<Imported> importPixels(platform::Channel& gauge, int32_t bmpPos, platform::Channel& bmpFile);

// The same with the .BMP opened read-only by name for the length of the call.
Result<Imported> importBitmap(platform::Channel& gauge, int32_t bmpPos, const std::string& bmpName);

}  // namespace gau
