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
#include <cstddef>
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

// The entry for a colour among 0..N-1 of a shown palette: the lowest that
// shows it exactly, else the nearest, ties to the lowest index. The search is
// exact and quick: the colour cube is cut into cells, and a cell keeps only the
// entries that can be nearest to some colour inside it, worked out when a
// colour first falls into it.
class PaletteMatch {
 public:
  explicit PaletteMatch(const ShownPalette& palette);

  struct Found {
    uint8_t index = 0;
    bool exact = false;  // the entry shows exactly that colour
  };
  Found find(uint32_t rgb);  // rgb: 0xRRGGBB
  // The same, for the pixel loops to build into themselves.
  Found findInline(uint32_t rgb);

 private:
  struct alignas(32) Cell {
    uint32_t candidate[8];  // index << 24 | rgb; unused places repeat the first
  };
  enum State : uint8_t { Unbuilt, Packed, Long };
  State build(uint32_t cell);
  void makeCells();
  const std::vector<uint8_t>& coarse(uint32_t cell);

  // Each distinct colour of the palette once, with the lowest index that shows it.
  int count_ = 0;
  std::array<int32_t, 256> red_{}, green_{}, blue_{};
  std::array<uint8_t, 256> index_{};
  std::vector<uint32_t> all_;  // all of them packed as below, in eights
  // The cells come when a picture has shown enough colours to pay for them.
  static constexpr uint32_t kFindsBeforeCells = 1024;
  uint32_t finds_ = 0;
  std::vector<std::vector<uint8_t>> coarse_;  // per coarse cell: its candidates
  std::vector<uint8_t> coarseBuilt_;
  std::vector<State> state_;    // per fine cell
  std::vector<Cell> cells_;     // per fine cell; a Long one: where in long_, and how many eights
  std::vector<uint32_t> long_;  // candidates of the few cells with more than eight, in eights
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
