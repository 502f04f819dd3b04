#pragma once
// The 8-bit bitmap embedded in a gauge file, addressed by BmpPos: the 1-based
// position of its header's planes field, 12 bytes into the 40-byte header.
// A found "bitmap" may be a false scan hit, so every value read here is
// untrusted until checked.

#include <cstdint>
#include <string>

#include "base/result.h"

namespace io {
class Channel;
}

namespace gau {

// Field positions relative to BmpPos.
inline constexpr int kWidthFromBmpPos = -8;       // signed 32-bit width
inline constexpr int kHeightFromBmpPos = -4;      // signed 32-bit height
inline constexpr int kColorCountFromBmpPos = 20;  // signed 32-bit colours used; 0 means 256
inline constexpr int kPaletteFromBmpPos = 28;     // first palette entry: blue, green, red, reserved
inline constexpr int32_t kSignature = 0x00080001;  // planes 1 and 8 bits per pixel, as one LE word
inline constexpr int kMaxColors = 256;

// 0 to 3 bytes that bring a row of `width` bytes to a multiple of 4.
// Equal to the floating-point rule (width/4 - floor(width/4)) for any width.
inline int32_t rowPadding(int32_t width) {
  return static_cast<int32_t>((-static_cast<int64_t>(width)) & 3);
}

// A stored colour count as the tools use it: 0 means 256.
inline int32_t colorsInUse(int32_t stored) { return stored == 0 ? kMaxColors : stored; }

// The bitmap's fields and where its parts lie, all in 64-bit so nothing overflows.
struct BitmapLayout {
  int32_t bmpPos = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t colors = 0;  // the stored count with 0 read as 256
  int32_t padding = 0;
  int64_t rowBytes = 0;      // width + padding
  int64_t paletteStart = 0;  // 1-based position of palette entry 0
  int64_t pixelStart = 0;    // 1-based position of the first pixel byte
  int64_t pixelBytes = 0;    // (width + padding) x height; 0 or less means no pixels

  int64_t pixelEnd() const { return pixelStart + pixelBytes - 1; }  // last pixel byte
};

// What a caller needs of the bitmap before it may read or write it.
enum class Extent {
  SizeFields,   // width, height and colour count lie in the file, sizes fit 32 bits
  WholeInFile,  // and the palette and the pixel array lie wholly inside the file
};

// The length of the gauge file, or why it cannot be had (Fault::Bitmap).
Result<int64_t> gaugeLength(io::Channel& gauge);

// Reads width, height and colour count of the bitmap at `bmpPos` and checks
// that the arithmetic on them stays in signed 32-bit range and, for
// Extent::WholeInFile, that palette and pixels lie in the file. A failure is
// Fault::Bitmap.
Result<BitmapLayout> readLayout(io::Channel& gauge, int32_t bmpPos, Extent extent);

// The bitmap as the export and the import see it: its header, palette and
// pixels lie wholly in the file, every size fits signed 32 bits (the size of
// its .BMP file included), and width and height are not negative, so the
// pixel array holds exactly pixelBytes = (W + P) x H bytes.
Result<BitmapLayout> convertibleLayout(io::Channel& gauge, int32_t bmpPos);

// True when 1-based positions first..first+count-1 all lie within a file of `length` bytes.
inline bool liesInFile(int64_t first, int64_t count, int64_t length) {
  return first >= 1 && count >= 0 && first - 1 <= length && count <= length - (first - 1);
}

inline bool fitsInt32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

}  // namespace gau
