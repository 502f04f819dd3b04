#pragma once
// The two transparency patches of a bitmap inside the open gauge file:
// every pixel to colour 0, or palette entry 0 to black. Both write straight
// into the file and reach the disk before they report success.

#include <cstdint>

#include "gau/bitmap_record.h"

namespace io {
class Channel;
}

namespace gau {

// What Make Transparent did: the width, height and colour count (a stored 0
// as 256) it read, and how many bytes it zeroed.
struct Transparent {
  BitmapLayout layout;
  int64_t bytesZeroed = 0;  // the pixel array, or 0 when it has no pixels
};

// Make Transparent: reads width, height and colour count (in that order) and
// sets every byte of the pixel array, row padding included, to 0 in one
// block write. A length of 0 or less writes nothing and still succeeds.
// Refuses, writing nothing, when the size fields lie before the first byte,
// the palette or the pixel array runs past the end of the file, or the sizes
// do not fit signed 32-bit arithmetic (Fault::Bitmap), or the gauge is open
// for reading only (Fault::ReadOnly); a failed write or flush is Fault::GaugeWrite.
Result<Transparent> makeTransparent(io::Channel& gauge, int32_t bmpPos);

// Make Zero Trnsprt: blue, green and red of palette entry 0 to 0; the
// reserved byte is left alone. Refuses, writing nothing, unless all three
// bytes lie inside the file.
Result<> makeZeroTransparent(io::Channel& gauge, int32_t bmpPos);

}  // namespace gau
