#pragma once
// What the import checks and mends in a .BMP written by another program before
// Qt's image reader decodes it. The reader decodes every layout itself; these
// cover the places where it would hand back a wrong picture without a word:
// pixel data that ends early (it fills the rest with whatever memory held),
// run-length data that leaves its picture or stops short (it clips or
// guesses), and the 52- and 56-byte information headers (it does not know them).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

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

}  // namespace bmp
