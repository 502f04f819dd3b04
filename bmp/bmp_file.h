#pragma once
// The .BMP layout dialpix writes and reads back: a 14-byte file header, a
// 40-byte information header and a full 256-entry palette, so the pixel data
// always starts at offset 1078, followed by the gauge's pixel rows as stored.
// Offsets here are 0-based offsets into the .BMP file.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace bmp {

inline constexpr int kFileHeaderBytes = 14;
inline constexpr int kInfoHeaderBytes = 40;
inline constexpr int kPaletteEntries = 256;  // always written in full, whatever the gauge uses
inline constexpr int kPixelOffset = kFileHeaderBytes + kInfoHeaderBytes + 4 * kPaletteEntries;
static_assert(kPixelOffset == 1078);

// Header fields.
inline constexpr int kTypeOffset = 0;         // "BM"
inline constexpr int kFileSizeOffset = 2;     // whole file length
inline constexpr int kDataOffsetOffset = 10;  // where the pixel data starts
inline constexpr int kInfoSizeOffset = 14;    // 40 for the information header we write
inline constexpr int kWidthOffset = 18;
inline constexpr int kHeightOffset = 22;
inline constexpr int kPlanesOffset = 26;
inline constexpr int kBitsOffset = 28;
inline constexpr int kCompressionOffset = 30;  // 0: uncompressed rows
inline constexpr int kImageSizeOffset = 34;
inline constexpr int kColorsUsedOffset = 46;
inline constexpr int kPaletteOffset = 54;
// Entry 255 is forced to white, over whatever the gauge palette has there.
inline constexpr int kWhiteEntry = 255;
inline constexpr uint32_t kWhiteEntryBytes = 0x00FFFFFF;  // blue, green, red 255, reserved 0

// Header and palette area, ready to be written at offset 0.
using Header = std::array<uint8_t, kPixelOffset>;

// The header and palette for a bitmap of `width` x `height` whose padded rows
// take `pixelBytes` (1078 + pixelBytes within signed 32 bits) and whose gauge
// palette is `gaugePalette`: N entries of blue, green, red, reserved, N = size / 4 <= 256.
Header buildHeader(int32_t width, int32_t height, int64_t pixelBytes,
                   std::span<const uint8_t> gaugePalette);

// The fields of a .BMP header the import relies on, as read.
struct HeaderFields {
  bool typeIsBM = false;
  int32_t dataOffset = 0;
  int32_t infoSize = 0;
  int32_t width = 0;
  int32_t height = 0;
  int16_t bitsPerPixel = 0;
  int32_t compression = 0;
};

// Reads the header fields from the first bytes of a .BMP; bytes missing from
// a short file read as 0.
HeaderFields readHeader(std::span<const uint8_t> first);

// Why a .BMP of `fileLength` bytes whose header starts with `first` cannot
// stand in for the `pixelBytes` pixel bytes of a gauge bitmap of `width` x
// `height`, as a sentence for the user; empty when it can.
std::optional<std::string> mismatch(std::span<const uint8_t> first, int64_t fileLength,
                                    int32_t width, int32_t height, int64_t pixelBytes);

}  // namespace bmp
