#pragma once
// From a decoded picture to the indices of a gauge bitmap's palette. The
// picture comes as an image reader hands it over (a width, a height and either
// palette indices with their colour table, or one colour a pixel); out come
// the bytes to write and how many pixels had no exact colour in the palette.
//
// An index file whose colours agree with the ones the export wrote keeps its
// indices. Everything else goes colour by colour: the lowest entry 0..N-1 that
// shows exactly that colour, else the nearest by squared distance in red,
// green and blue (ties to the lowest index); a pixel less than half opaque
// takes entry 0, the colour these gauges draw as transparent.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace gau {

// Colours are 0xAARRGGBB, as Qt's QRgb holds them.
inline constexpr uint32_t kOpaque = 0xFF000000;
inline constexpr uint32_t kOpaqueBlack = kOpaque;

// A decoded picture, top row first; views into the decoder's buffers.
struct Picture {
  int32_t width = 0;
  int32_t height = 0;
  int64_t rowStride = 0;                  // elements from the start of one row to the next
  std::span<const uint8_t> indices;       // an index picture: one palette index a pixel
  std::span<const uint32_t> colourTable;  // its colours; an index past the end shows opaque black
  std::span<const uint32_t> argb;         // a colour picture (when `indices` is empty)

  bool indexed() const { return !indices.empty(); }
};

// Why `picture`'s buffers cannot hold the picture it claims; empty when they can.
std::optional<std::string> pictureProblem(const Picture& picture);

// The colours the export writes for a bitmap's 256 palette entries: the
// gauge's own for 0..N-1, black for N..254, white for 255.
struct ShownPalette {
  std::array<uint32_t, 256> colour{};
  int32_t colors = 0;  // N
};

// From the gauge's palette bytes (blue, green, red, reserved an entry; N = size / 4, at most 256).
ShownPalette shownPalette(std::span<const uint8_t> gaugePalette);

// Exact and nearest entries among 0..N-1 of a shown palette. The nearest
// search is exact: the colour cube is cut into cells, and a cell keeps only
// the entries that can be nearest to some colour inside it, worked out when a
// pixel first falls into it.
class PaletteMatch {
 public:
  explicit PaletteMatch(const ShownPalette& palette);

  // The lowest entry that shows exactly `rgb` (0xRRGGBB), or -1.
  int exact(uint32_t rgb) const;
  // The entry nearest `rgb`, ties to the lowest index.
  uint8_t nearest(uint32_t rgb);

 private:
  struct alignas(32) Lanes {  // up to eight candidates, unused lanes far outside the cube
    int32_t r[8], g[8], b[8], index[8];
  };
  uint32_t buildFine(uint32_t cell);
  const std::vector<uint16_t>& coarse(uint32_t cell);

  std::array<uint32_t, 512> exactKeys_{};  // rgb | kUsed, open addressing; 0 is free
  std::array<uint8_t, 512> exactIndex_{};
  std::vector<std::array<int32_t, 4>> entries_;  // distinct colours: r, g, b, lowest index
  std::vector<std::vector<uint16_t>> coarse_;    // per coarse cell: its candidate entries
  std::vector<uint8_t> coarseBuilt_;
  std::vector<uint32_t> fine_;  // per fine cell: 0 until built, then see buildFine
  std::vector<Lanes> lanes_;
};

// What the mapping found.
struct MapCounts {
  bool keptIndices = false;         // an index file whose palette agreed: indices as they were
  int64_t approximatedPixels = 0;   // pixels that took a nearest entry
  int64_t approximatedColours = 0;  // distinct colours among them
};

// Maps `picture` (consistent, see pictureProblem) into `out`: its rows bottom
// row first, as a gauge stores them, `outStride` (>= width) bytes apart.
MapCounts mapPicture(const Picture& picture, const ShownPalette& palette, std::span<uint8_t> out,
                     int64_t outStride);

}  // namespace gau
