#include "bmp/bmp_file.h"

#include <algorithm>
#include <cstdlib>

#include "io/little_endian.h"

namespace bmp {
using io::le16;
using io::le32;
using io::putLe16;
using io::putLe32;

namespace {

// Bytes of a .BMP the import looks at: the file header and the 40-byte
// information header.
constexpr size_t kCheckedHeaderBytes = kFileHeaderBytes + kInfoHeaderBytes;

std::string num(int64_t v) { return std::to_string(v); }

}  // namespace

Header buildHeader(int32_t width, int32_t height, int64_t pixels,
                   std::span<const uint8_t> gaugePalette) {
  Header h{};  // every field not set below stays zero
  h[kTypeOffset] = 'B';
  h[kTypeOffset + 1] = 'M';
  putLe32(&h[kFileSizeOffset], static_cast<uint32_t>(kPixelOffset + pixels));
  putLe32(&h[kDataOffsetOffset], kPixelOffset);
  putLe32(&h[kInfoSizeOffset], kInfoHeaderBytes);
  putLe32(&h[kWidthOffset], static_cast<uint32_t>(width));
  putLe32(&h[kHeightOffset], static_cast<uint32_t>(height));
  putLe16(&h[kPlanesOffset], 1);
  putLe16(&h[kBitsOffset], 8);
  putLe32(&h[kImageSizeOffset], static_cast<uint32_t>(pixels));
  putLe32(&h[kColorsUsedOffset], kPaletteEntries);  // 256 whatever the gauge uses
  const size_t paletteBytes = std::min<size_t>(gaugePalette.size(), 4 * kPaletteEntries);
  std::copy_n(gaugePalette.begin(), paletteBytes, h.begin() + kPaletteOffset);
  putLe32(&h[kPaletteOffset + 4 * kWhiteEntry], kWhiteEntryBytes);
  return h;
}

HeaderFields readHeader(std::span<const uint8_t> first) {
  std::array<uint8_t, kCheckedHeaderBytes> b{};
  std::copy_n(first.begin(), std::min(first.size(), b.size()), b.begin());
  HeaderFields f;
  f.typeIsBM = b[kTypeOffset] == 'B' && b[kTypeOffset + 1] == 'M';
  f.dataOffset = le32(&b[kDataOffsetOffset]);
  f.infoSize = le32(&b[kInfoSizeOffset]);
  f.width = le32(&b[kWidthOffset]);
  f.height = le32(&b[kHeightOffset]);
  f.bitsPerPixel = le16(&b[kBitsOffset]);
  f.compression = le32(&b[kCompressionOffset]);
  return f;
}

std::optional<std::string> mismatch(std::span<const uint8_t> first, int64_t fileLength,
                                    int32_t width, int32_t height, int64_t need) {
  const HeaderFields f = readHeader(first);
  if (fileLength < 2 || first.size() < 2 || !f.typeIsBM)
    return "It does not start with \"BM\", so it is not a Windows bitmap file.";
  if (fileLength < static_cast<int64_t>(kCheckedHeaderBytes) || first.size() < kCheckedHeaderBytes)
    return "Its header is cut short: the file is only " + num(fileLength) + " bytes long.";
  // A shorter (OS/2) header keeps width, height and bit depth elsewhere.
  if (f.infoSize < kInfoHeaderBytes)
    return "Its information header is " + num(f.infoSize) +
           " bytes long; a Windows bitmap header of at least 40 bytes is needed.";
  if (f.bitsPerPixel != 8)
    return "It has " + num(f.bitsPerPixel) +
           " bits per pixel; the gauge bitmap has 8 (256 colours).";
  if (f.compression != 0)
    return "Its pixels are compressed (compression " + num(f.compression) +
           "); they must be stored uncompressed.";
  if (f.width != width || f.height != height)
    return "It is " + num(f.width) + " x " + num(f.height) + " pixels; the gauge bitmap is " +
           num(width) + " x " + num(height) + ".";
  if (f.dataOffset != kPixelOffset)
    return "Its pixel data starts at offset " + num(f.dataOffset) +
           ", not at 1078 as in a file with a full 256-colour palette.";
  const int64_t have = std::max<int64_t>(0, fileLength - kPixelOffset);
  if (have < need)
    return "It holds " + num(have) + " bytes of pixel data; the gauge bitmap needs " + num(need) +
           ".";
  return std::nullopt;
}

}  // namespace bmp
