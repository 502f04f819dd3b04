#pragma once
// What the import checks, mends and decodes itself in a .BMP written by
// another program. Qt's image reader decodes the other layouts; these cover the
// places where it would hand back a wrong picture without a word: pixel data
// that ends early (it fills the rest with whatever memory held), run-length
// data that leaves its picture or stops short (it clips or guesses), the 52-
// and 56-byte information headers (it does not know them), and bit fields
// narrower than 8 bits (it widens them by shifting: 31 of 31 becomes 248, not 255).

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace io {
class Channel;
}

namespace bmp {

// The first bytes of a file that say how much of it the checks below need.
inline constexpr size_t kHeadBytes = 14 + 124;

// True when `head` starts as a .BMP does.
inline bool isBmp(std::span<const uint8_t> head) {
  return head.size() >= 2 && head[0] == 'B' && head[1] == 'M';
}

// True when the checks need the whole file, not only its first bytes: for
// run-length data, and for a header to widen.
bool needsWholeFile(std::span<const uint8_t> head);

// Why some pixel of the .BMP of `fileLength` bytes that starts with `bytes`
// cannot be known, as a sentence for the user; empty when every pixel can, and
// also when it is no .BMP this check understands (the reader then decides).
// Uncompressed rows must all be there. Run-length data (`bytes` then holds the
// whole file) is stored bottom-up, and its runs and moves stay inside their row
// and the picture; it ends with its end-of-picture mark, or without one only
// once every pixel is set. A move or an early end of row or picture leaves
// pixels as entry 0, which the file chose; data that stops short chose nothing.
std::optional<std::string> pixelDataProblem(std::span<const uint8_t> bytes, int64_t fileLength);

// The same .BMP with a 52- or 56-byte information header (bit masks after the
// 40-byte fields) widened to the 108-byte one the reader knows, the pixel data
// offset and file size moved along; empty when the header needs no change.
std::optional<std::vector<uint8_t>> widenedHeader(std::span<const uint8_t> file);

// An uncompressed .BMP whose pixels are bit fields: 16 bits a pixel (five
// each for red, green and blue unless masks say otherwise) or 32 with masks.
struct BitFieldLayout {
  int32_t width = 0;
  int32_t height = 0;  // rows, whatever the storage order
  bool topDown = false;
  int bits = 0;
  int64_t pixelStart = 0;           // 0-based offset of the first stored row
  std::array<uint32_t, 4> masks{};  // red, green, blue, alpha (0: opaque)
};

// That layout, read from the first kHeadBytes of a .BMP; empty for any other
// layout and for a header whose masks lie where this reading does not look.
std::optional<BitFieldLayout> bitFieldLayout(std::span<const uint8_t> head);

// Decodes the pixels of `layout` from `file` (whose rows pixelDataProblem
// found whole) into `out`: 0xAARRGGBB, top row first, rows `stride` elements
// apart. Each field is widened exactly, value x 255 / its maximum, rounded.
// Returns why the file could not be read, or empty.
std::optional<std::string> decodeBitFields(io::Channel& file, const BitFieldLayout& layout,
                                           std::span<uint32_t> out, int64_t stride);

}  // namespace bmp
