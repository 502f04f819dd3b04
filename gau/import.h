#pragma once
// The import: the pixels of a picture written over a gauge bitmap's pixel
// array, in place, and never a byte outside it; the gauge's header and
// palette, and the picture's file, are never written.
//
// A .BMP laid out as the export writes it, with the bitmap's own width and
// height, is copied as it is: exactly the (W + P) x H pixel bytes, padding
// included. Any other picture arrives decoded (see gau/colour_map.h) and only
// its W x H pixels are written; the row padding stays as it was.

#include <cstdint>
#include <string>

#include "base/result.h"
#include "gau/bitmap_record.h"
#include "gau/colour_map.h"

namespace io {
class Channel;
}

namespace gau {

// What an import wrote. A failure is Fault::Bitmap (the gauge bitmap cannot be
// converted), Fault::Source (the .BMP cannot be opened or read),
// Fault::DoesNotFit (the .BMP is not laid out as the bitmap needs),
// Fault::ReadOnly (the gauge is open for reading only, said by the one change
// function) — each with nothing
// written — or Fault::GaugeWrite (its pixel array may be partly written).
struct Imported {
  int32_t colors = 0;        // the stored colour count, 0 read as 256
  int64_t bytesWritten = 0;  // (W + P) x H for a copy, W x H for a decoded picture
  // Decoded pictures only: pixels whose colour is not in the palette, and the
  // distinct colours among them.
  int64_t approximatedPixels = 0;
  int64_t approximatedColours = 0;
};

// The layout is checked once, where an import starts, and handed down: the
// functions taking a BitmapLayout trust it.

// Checks the bitmap at `bmpPos` of `gauge` and the .BMP on `bmpFile`, then
// writes the pixels in one block and flushes the gauge.
Result<Imported> importPixels(io::Channel& gauge, int32_t bmpPos, io::Channel& bmpFile);
// The same for a bitmap whose layout convertibleLayout() has checked.
Result<Imported> importPixels(io::Channel& gauge, const BitmapLayout& b, io::Channel& bmpFile);

// The same with the .BMP opened read-only by name for the length of the call.
Result<Imported> importBitmap(io::Channel& gauge, int32_t bmpPos, const std::string& bmpName);

// True when the .BMP on `bmpFile` may be copied byte for byte over the bitmap
// at `bmpPos`: laid out as the export writes it, of the bitmap's size, and with
// the palette the export writes. An editor that keeps the layout but reorders
// or replaces the palette changes what the bytes mean, so such a file is decoded.
bool copiesAsItIs(io::Channel& gauge, const BitmapLayout& b, io::Channel& bmpFile);

// Maps `picture` onto the palette of the bitmap at `bmpPos` and writes its
// pixels, each row into the bitmap's row, in one go after the whole picture is
// mapped; then flushes the gauge. Refused, with nothing written, when the
// bitmap cannot be converted, the gauge is open for reading only, or the
// picture is not the bitmap's width and height.
Result<Imported> importPicture(io::Channel& gauge, int32_t bmpPos, const Picture& picture);
// The same for a bitmap whose layout convertibleLayout() has checked.
Result<Imported> importPicture(io::Channel& gauge, const BitmapLayout& b, const Picture& picture);

}  // namespace gau
