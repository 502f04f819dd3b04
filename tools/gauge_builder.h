#pragma once
// Builds gauge-like files byte by byte: arbitrary bytes with 8-bit bitmaps
// planted at known places. Used by the demo generator, the tests, the
// benchmarks and the fuzz seeds.

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "io/system.h"

namespace gaugebuild {

struct Bitmap {
  int32_t width = 0;
  int32_t height = 0;
  int32_t storedColors = 0;    // the colour count field as written (0 means 256)
  std::vector<uint8_t> palette;  // 4 bytes an entry: blue, green, red, reserved
  std::vector<uint8_t> pixels;   // stored rows, bottom row first, padding included
  int32_t headerSize = 40;

  static int32_t padding(int32_t w) { return static_cast<int32_t>((-static_cast<int64_t>(w)) & 3); }
  int32_t rowBytes() const { return width + padding(width); }
  int32_t colors() const { return storedColors == 0 ? 256 : storedColors; }
};

// A bitmap of the given size whose palette entry k is (k, 255 - k, k / 2) and
// whose pixel bytes count up from `first`; handy when each byte must be told apart.
inline Bitmap patterned(int32_t w, int32_t h, int32_t storedColors, uint8_t first = 0) {
  Bitmap b;
  b.width = w;
  b.height = h;
  b.storedColors = storedColors;
  for (int k = 0; k < b.colors(); ++k) {
    b.palette.push_back(static_cast<uint8_t>(k));
    b.palette.push_back(static_cast<uint8_t>(255 - k));
    b.palette.push_back(static_cast<uint8_t>(k / 2));
    b.palette.push_back(0);
  }
  const int64_t n = w > 0 && h > 0 ? static_cast<int64_t>(b.rowBytes()) * h : 0;
  for (int64_t i = 0; i < n; ++i) b.pixels.push_back(static_cast<uint8_t>(first + i));
  return b;
}

class Gauge {
 public:
  // Appends `n` bytes that cannot form a signature (no byte 01), from a seed.
  Gauge& filler(size_t n, uint32_t seed = 1) {
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
      x = x * 1664525u + 1013904223u;
      auto b = static_cast<uint8_t>(x >> 24);
      bytes_.push_back(b == 1 ? 2 : b);
    }
    return *this;
  }
  Gauge& raw(const std::vector<uint8_t>& b) {
    bytes_.insert(bytes_.end(), b.begin(), b.end());
    return *this;
  }
  // Appends header, palette and pixels; returns the bitmap's BmpPos (1-based
  // position of the planes field).
  int32_t plant(const Bitmap& b) {
    const auto headerStart = static_cast<int32_t>(bytes_.size());
    le32(b.headerSize);
    le32(b.width);
    le32(b.height);
    le16(1);
    le16(8);
    le32(0);  // compression
    le32(b.rowBytes() * (b.height > 0 ? b.height : 0));
    le32(2835);
    le32(2835);
    le32(b.storedColors);
    le32(0);
    raw(b.palette);
    raw(b.pixels);
    return headerStart + 12 + 1;
  }
  // Writes a 32-bit little-endian value at 1-based `pos`, e.g. to spoil a header.
  void poke32(int32_t pos, int32_t v) {
    for (int i = 0; i < 4; ++i)
      bytes_.at(static_cast<size_t>(pos - 1 + i)) = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
  }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  std::vector<uint8_t>& bytes() { return bytes_; }

  bool writeTo(const std::string& path) const {
    std::ofstream f(io::pathOf(path), std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()));
    return static_cast<bool>(f);
  }

 private:
  void le16(int v) {
    bytes_.push_back(static_cast<uint8_t>(v));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
  }
  void le32(int32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
  }
  std::vector<uint8_t> bytes_;
};

inline std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream f(io::pathOf(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

}  // namespace gaugebuild
