#pragma once
// Writes .BMP files in the layouts other programs use, for the tests, the
// benchmarks and the fuzz seeds: information headers of 12 to 124 bytes,
// 1 to 32 bits a pixel, run-length data, bit fields, top-down rows, palettes
// of any length and pixel data wherever the file header says.

#include <array>
#include <cstdint>
#include <vector>

namespace bmpbuild {

enum Compression : uint32_t { Rgb = 0, Rle8 = 1, Rle4 = 2, BitFields = 3 };

struct Bmp {
  int32_t width = 0;
  int32_t height = 0;
  int infoSize = 40;  // 12, 40, 52, 56, 108 or 124
  int bits = 8;
  Compression compression = Rgb;
  bool topDown = false;
  std::vector<uint32_t> palette;  // 0xRRGGBB
  // Red, green, blue and alpha masks: in the header from 52 bytes on, after a
  // 40-byte one with BitFields; they also pack 16- and 32-bit pixels.
  std::array<uint32_t, 4> masks{0xFF0000, 0xFF00, 0xFF, 0};
  uint32_t gap = 0;              // bytes between the palette and the pixel data
  std::vector<uint32_t> pixels;  // top row first: indices, or 0xAARRGGBB colours
};

namespace detail {

inline void put(std::vector<uint8_t>& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// `c` (0..255) cut to the bits of `mask`, at its place: the high bits kept,
// as readers widen such a field again by shifting it up.
inline uint32_t packed(uint32_t c, uint32_t mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  int width = 0;
  while (shift + width < 32 && ((mask >> (shift + width)) & 1)) ++width;
  return (width >= 8 ? c << (width - 8) : c >> (8 - width)) << shift;
}

inline uint32_t packColour(uint32_t argb, const std::array<uint32_t, 4>& m) {
  return packed((argb >> 16) & 0xFF, m[0]) | packed((argb >> 8) & 0xFF, m[1]) |
         packed(argb & 0xFF, m[2]) | packed(argb >> 24, m[3]);
}

// One stored row, padded to 4 bytes.
inline std::vector<uint8_t> row(const Bmp& b, const uint32_t* px) {
  std::vector<uint8_t> out;
  if (b.bits <= 8) {
    uint32_t acc = 0;
    int filled = 0;
    for (int32_t x = 0; x < b.width; ++x) {
      acc = acc << b.bits | (px[x] & ((1u << b.bits) - 1));
      filled += b.bits;
      if (filled == 8) out.push_back(static_cast<uint8_t>(acc)), acc = 0, filled = 0;
    }
    if (filled) out.push_back(static_cast<uint8_t>(acc << (8 - filled)));
  } else {
    const std::array<uint32_t, 4> rgb555{0x7C00, 0x3E0, 0x1F, 0};
    for (int32_t x = 0; x < b.width; ++x) {
      if (b.bits == 24) {
        put(out, px[x] & 0xFFFFFF, 3);
      } else if (b.bits == 16) {
        put(out, packColour(px[x], b.compression == BitFields ? b.masks : rgb555), 2);
      } else {
        put(out,
            b.compression == BitFields || b.infoSize > 40 ? packColour(px[x], b.masks)
                                                          : px[x] & 0xFFFFFF,
            4);
      }
    }
  }
  while (out.size() % 4) out.push_back(0);
  return out;
}

// Runs of one index, each row closed by an end-of-row mark, the whole by an end-of-picture mark.
inline std::vector<uint8_t> runs(const Bmp& b, const std::vector<const uint32_t*>& rows) {
  std::vector<uint8_t> out;
  for (const uint32_t* px : rows) {
    for (int32_t x = 0; x < b.width;) {
      int32_t n = 1;
      while (x + n < b.width && n < 255 && px[x + n] == px[x]) ++n;
      out.push_back(static_cast<uint8_t>(n));
      out.push_back(static_cast<uint8_t>(b.bits == 8 ? px[x] : (px[x] & 15) * 0x11));
      x += n;
    }
    out.push_back(0), out.push_back(0);
  }
  out.push_back(0), out.push_back(1);
  return out;
}

}  // namespace detail

inline std::vector<uint8_t> write(const Bmp& b) {
  using detail::put;
  std::vector<const uint32_t*> rows;  // in stored order
  for (int32_t i = 0; i < b.height; ++i)
    rows.push_back(b.pixels.data() +
                   static_cast<size_t>(b.topDown ? i : b.height - 1 - i) * b.width);
  std::vector<uint8_t> data;
  if (b.compression == Rle8 || b.compression == Rle4) {
    data = detail::runs(b, rows);
  } else {
    for (const uint32_t* px : rows) {
      const std::vector<uint8_t> r = detail::row(b, px);
      data.insert(data.end(), r.begin(), r.end());
    }
  }
  std::vector<uint8_t> info;
  if (b.infoSize == 12) {
    put(info, 12, 4), put(info, static_cast<uint32_t>(b.width), 2);
    put(info, static_cast<uint32_t>(b.height), 2), put(info, 1, 2), put(info, b.bits, 2);
  } else {
    put(info, b.infoSize, 4), put(info, static_cast<uint32_t>(b.width), 4);
    put(info, static_cast<uint32_t>(b.topDown ? -b.height : b.height), 4);
    put(info, 1, 2), put(info, b.bits, 2), put(info, b.compression, 4);
    put(info, static_cast<uint32_t>(data.size()), 4), put(info, 2835, 4), put(info, 2835, 4);
    put(info, static_cast<uint32_t>(b.palette.size()), 4), put(info, 0, 4);
    // The masks: inside the header from 52 bytes on (alpha from 56), right after a 40-byte one.
    const int masks = b.infoSize >= 56 ? 4 : b.infoSize >= 52 || b.compression == BitFields ? 3 : 0;
    for (int i = 0; i < masks; ++i) put(info, b.masks[i], 4);
    if (b.infoSize >= 108) {
      put(info, 0x73524742, 4);            // "sRGB"
      info.resize(info.size() + 36 + 12);  // end points and gamma, unused for sRGB
    }
    if (b.infoSize == 124) put(info, 4, 4), put(info, 0, 4), put(info, 0, 4), put(info, 0, 4);
  }
  std::vector<uint8_t> palette;
  size_t entries = b.palette.size();
  if (b.infoSize == 12 && b.bits <= 8) entries = size_t{1} << b.bits;  // no count field there
  for (size_t i = 0; i < entries; ++i)
    put(palette, i < b.palette.size() ? b.palette[i] : 0, b.infoSize == 12 ? 3 : 4);

  const auto offset = static_cast<uint32_t>(14 + info.size() + palette.size() + b.gap);
  std::vector<uint8_t> out{'B', 'M'};
  put(out, offset + static_cast<uint32_t>(data.size()), 4), put(out, 0, 4), put(out, offset, 4);
  out.insert(out.end(), info.begin(), info.end());
  out.insert(out.end(), palette.begin(), palette.end());
  out.resize(out.size() + b.gap, 0xA5);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

}  // namespace bmpbuild
