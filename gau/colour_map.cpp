#include "gau/colour_map.h"

#include <algorithm>
#include <climits>

namespace gau {
namespace {

constexpr uint32_t kUsed = 0x01000000;        // marks a taken slot of a colour table
constexpr uint32_t kWhite = 0xFFFFFFFF;       // what the export writes at entry 255
constexpr uint32_t kHalfOpaque = 0x80000000;  // colours below this are less than half opaque
constexpr int kFar = 1000;  // an unused lane's channels: farther than any colour, no overflow

// Cells: coarse ones of 16 x 16 x 16 colours, fine ones of 8 x 8 x 8.
constexpr int kCoarseBits = 4;
constexpr int kFineBits = 5;
constexpr uint32_t kSingle = 0x80000000;  // fine cell: one candidate, its index in the low byte
constexpr uint32_t kLanes = 0x40000000;   // fine cell: first lane block << 6 | block count

int red(uint32_t c) { return static_cast<int>((c >> 16) & 0xFF); }
int green(uint32_t c) { return static_cast<int>((c >> 8) & 0xFF); }
int blue(uint32_t c) { return static_cast<int>(c & 0xFF); }

uint32_t slotOf(uint32_t rgb, uint32_t bits) { return (rgb * 2654435761u) >> (32 - bits); }

template <int Bits>
uint32_t cellOf(int r, int g, int b) {
  constexpr int shift = 8 - Bits;
  return static_cast<uint32_t>((r >> shift) << (2 * Bits) | (g >> shift) << Bits | (b >> shift));
}

// The candidates among `from` for the colours of a cell: every entry whose
// least distance to the cell is at most the least of the entries' greatest
// distances. Any colour in the cell has an entry within that bound, so an
// entry farther than it at its nearest can never be the nearest (nor tie).
template <int Bits, class Id>
std::vector<Id> candidates(uint32_t cell, const std::vector<std::array<int32_t, 4>>& entries,
                           const std::vector<Id>& from) {
  constexpr int side = 1 << (8 - Bits);
  constexpr uint32_t mask = (1u << Bits) - 1;
  const int lo[3] = {static_cast<int>((cell >> (2 * Bits)) & mask) * side,
                     static_cast<int>((cell >> Bits) & mask) * side,
                     static_cast<int>(cell & mask) * side};
  std::vector<int32_t> least(from.size());
  int32_t bound = INT32_MAX;
  for (size_t k = 0; k < from.size(); ++k) {
    const auto& e = entries[from[k]];
    int32_t dMin = 0;
    int32_t dMax = 0;
    for (int ch = 0; ch < 3; ++ch) {
      const int c = e[ch];
      const int hi = lo[ch] + side - 1;
      const int below = c < lo[ch] ? lo[ch] - c : c > hi ? c - hi : 0;
      const int above = std::max(c - lo[ch], hi - c);
      dMin += below * below;
      dMax += above * above;
    }
    least[k] = dMin;
    bound = std::min(bound, dMax);
  }
  std::vector<Id> kept;
  for (size_t k = 0; k < from.size(); ++k)
    if (least[k] <= bound) kept.push_back(from[k]);
  return kept;
}

// The least (distance << 8 | index) over `blocks` lane blocks: the nearest
// entry and, among equally near ones, the lowest index.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
__attribute__((target_clones("avx2", "default")))
#endif
int32_t
leastKey(const void* blocks, uint32_t count, int32_t r, int32_t g, int32_t b) {
  struct Block {
    int32_t r[8], g[8], b[8], index[8];
  };
  const auto* block = static_cast<const Block*>(blocks);
  int32_t best = INT32_MAX;
  for (uint32_t k = 0; k < count; ++k) {
    int32_t keys[8];
    for (int l = 0; l < 8; ++l) {
      const int32_t dr = r - block[k].r[l];
      const int32_t dg = g - block[k].g[l];
      const int32_t db = b - block[k].b[l];
      keys[l] = (dr * dr + dg * dg + db * db) << 8 | block[k].index[l];
    }
    for (int l = 0; l < 8; ++l) best = std::min(best, keys[l]);
  }
  return best;
}

}  // namespace

std::optional<std::string> pictureProblem(const Picture& p) {
  if (p.width < 0 || p.height < 0 || p.rowStride < p.width)
    return std::string("The decoded picture has a negative size or overlapping rows.");
  if (p.width == 0 || p.height == 0) return std::nullopt;
  const int64_t need = p.rowStride * (p.height - 1) + p.width;
  const auto have = static_cast<int64_t>(p.indexed() ? p.indices.size() : p.argb.size());
  if (p.rowStride > INT64_MAX / p.height || have < need)
    return std::string("The decoded picture holds fewer pixels than its size needs.");
  return std::nullopt;
}

ShownPalette shownPalette(std::span<const uint8_t> gaugePalette) {
  ShownPalette s;
  s.colors = static_cast<int32_t>(std::min<size_t>(gaugePalette.size() / 4, 256));
  s.colour.fill(kOpaqueBlack);
  for (int32_t i = 0; i < s.colors; ++i) {
    const uint8_t* e = &gaugePalette[4 * static_cast<size_t>(i)];
    s.colour[i] = kOpaque | uint32_t{e[2]} << 16 | uint32_t{e[1]} << 8 | e[0];
  }
  s.colour[255] = kWhite;
  return s;
}

PaletteMatch::PaletteMatch(const ShownPalette& palette)
    : coarse_(size_t{1} << (3 * kCoarseBits)),
      coarseBuilt_(size_t{1} << (3 * kCoarseBits)),
      fine_(size_t{1} << (3 * kFineBits)) {
  for (int i = 0; i < palette.colors; ++i) {
    const uint32_t rgb = palette.colour[i] & 0xFFFFFF;
    uint32_t slot = slotOf(rgb, 9);
    while (exactKeys_[slot] != 0 && exactKeys_[slot] != (rgb | kUsed)) slot = (slot + 1) & 511;
    if (exactKeys_[slot] != 0) continue;  // an earlier entry shows this colour already
    exactKeys_[slot] = rgb | kUsed;
    exactIndex_[slot] = static_cast<uint8_t>(i);
    entries_.push_back({red(rgb), green(rgb), blue(rgb), i});
  }
}

int PaletteMatch::exact(uint32_t rgb) const {
  for (uint32_t slot = slotOf(rgb, 9);; slot = (slot + 1) & 511) {
    if (exactKeys_[slot] == (rgb | kUsed)) return exactIndex_[slot];
    if (exactKeys_[slot] == 0) return -1;
  }
}

const std::vector<uint16_t>& PaletteMatch::coarse(uint32_t cell) {
  if (!coarseBuilt_[cell]) {
    std::vector<uint16_t> all(entries_.size());
    for (size_t k = 0; k < all.size(); ++k) all[k] = static_cast<uint16_t>(k);
    coarse_[cell] = candidates<kCoarseBits>(cell, entries_, all);
    coarseBuilt_[cell] = 1;
  }
  return coarse_[cell];
}

// A fine cell's candidates come from those of the coarse cell around it: an
// entry that cannot be nearest anywhere in the larger cell cannot be in the smaller.
uint32_t PaletteMatch::buildFine(uint32_t cell) {
  constexpr int drop = kFineBits - kCoarseBits;
  constexpr uint32_t mask = (1u << kFineBits) - 1;
  const uint32_t parent = ((cell >> (2 * kFineBits)) & mask) >> drop << (2 * kCoarseBits) |
                          ((cell >> kFineBits) & mask) >> drop << kCoarseBits |
                          (cell & mask) >> drop;
  const std::vector<uint16_t> kept = candidates<kFineBits>(cell, entries_, coarse(parent));
  uint32_t info;
  if (kept.size() == 1) {
    info = kSingle | static_cast<uint32_t>(entries_[kept[0]][3]);
  } else {
    const auto first = static_cast<uint32_t>(lanes_.size());
    for (size_t k = 0; k < kept.size(); k += 8) {
      Lanes l;
      for (size_t j = 0; j < 8; ++j) {
        const bool used = k + j < kept.size();
        const auto& e = entries_[used ? kept[k + j] : 0];
        l.r[j] = used ? e[0] : kFar;
        l.g[j] = used ? e[1] : kFar;
        l.b[j] = used ? e[2] : kFar;
        l.index[j] = used ? e[3] : 255;
      }
      lanes_.push_back(l);
    }
    info = kLanes | first << 6 | static_cast<uint32_t>(lanes_.size() - first);
  }
  fine_[cell] = info;
  return info;
}

uint8_t PaletteMatch::nearest(uint32_t rgb) {
  const int r = red(rgb);
  const int g = green(rgb);
  const int b = blue(rgb);
  if (entries_.empty()) return 0;
  const uint32_t cell = cellOf<kFineBits>(r, g, b);
  uint32_t info = fine_[cell];
  if (info == 0) info = buildFine(cell);
  if (info & kSingle) return static_cast<uint8_t>(info);
  const uint32_t first = (info & ~kLanes) >> 6;
  return static_cast<uint8_t>(leastKey(&lanes_[first], info & 63, r, g, b) & 0xFF);
}

namespace {

// Colours already seen that took a nearest entry, one bit a colour, so each counts once.
class SeenColours {
 public:
  bool firstTime(uint32_t rgb) {
    if (bits_.empty()) bits_.resize((size_t{1} << 24) / 64);
    uint64_t& word = bits_[rgb >> 6];
    const uint64_t bit = uint64_t{1} << (rgb & 63);
    const bool first = (word & bit) == 0;
    word |= bit;
    return first;
  }

 private:
  std::vector<uint64_t> bits_;
};

// One colour to an entry, with whether it was approximated.
struct Mapped {
  uint8_t index = 0;
  bool approximated = false;
};

Mapped mapColour(uint32_t c, PaletteMatch& match, SeenColours& seen, MapCounts& counts) {
  if (c < kHalfOpaque) return {0, false};
  const uint32_t rgb = c & 0xFFFFFF;
  const int exact = match.exact(rgb);
  if (exact >= 0) return {static_cast<uint8_t>(exact), false};
  if (seen.firstTime(rgb)) ++counts.approximatedColours;
  return {match.nearest(rgb), true};
}

MapCounts mapIndexed(const Picture& p, const ShownPalette& palette, std::span<uint8_t> out,
                     int64_t outStride) {
  std::array<int64_t, 256> used{};
  for (int32_t y = 0; y < p.height; ++y) {
    const uint8_t* row = p.indices.data() + y * p.rowStride;
    for (int32_t x = 0; x < p.width; ++x) ++used[row[x]];
  }
  std::array<uint32_t, 256> colour;
  colour.fill(kOpaqueBlack);
  std::copy_n(p.colourTable.begin(), std::min<size_t>(p.colourTable.size(), 256), colour.begin());

  MapCounts counts;
  counts.keptIndices = true;
  for (int i = 0; i < 256; ++i)
    if (used[i] && (colour[i] < kHalfOpaque || ((colour[i] ^ palette.colour[i]) & 0xFFFFFF) != 0))
      counts.keptIndices = false;

  std::array<uint8_t, 256> lut;
  for (int i = 0; i < 256; ++i) lut[i] = static_cast<uint8_t>(i);
  if (!counts.keptIndices) {
    PaletteMatch match(palette);
    SeenColours seen;
    for (int i = 0; i < 256; ++i) {
      if (!used[i]) continue;
      const Mapped m = mapColour(colour[i], match, seen, counts);
      lut[i] = m.index;
      if (m.approximated) counts.approximatedPixels += used[i];
    }
  }
  for (int32_t y = 0; y < p.height; ++y) {
    const uint8_t* row = p.indices.data() + y * p.rowStride;
    uint8_t* to = out.data() + (p.height - 1 - y) * outStride;
    for (int32_t x = 0; x < p.width; ++x) to[x] = lut[row[x]];
  }
  return counts;
}

MapCounts mapColours(const Picture& p, const ShownPalette& palette, std::span<uint8_t> out,
                     int64_t outStride) {
  // Most edited pictures hold a few hundred colours: remember the latest
  // colour of each of 4096 slots, and the colour of the pixel before.
  constexpr uint32_t kCacheBits = 12;
  struct Slot {
    uint32_t key = 0;  // rgb | kUsed
    Mapped value;
  };
  std::vector<Slot> cache(size_t{1} << kCacheBits);
  PaletteMatch match(palette);
  SeenColours seen;
  MapCounts counts;
  uint32_t before = 0;
  Mapped last = mapColour(before, match, seen, counts);
  for (int32_t y = 0; y < p.height; ++y) {
    const uint32_t* row = p.argb.data() + y * p.rowStride;
    uint8_t* to = out.data() + (p.height - 1 - y) * outStride;
    for (int32_t x = 0; x < p.width; ++x) {
      const uint32_t c = row[x];
      if (c != before) {
        before = c;
        if (c < kHalfOpaque) {
          last = {0, false};
        } else {
          Slot& s = cache[slotOf(c & 0xFFFFFF, kCacheBits)];
          if (s.key != ((c & 0xFFFFFF) | kUsed)) {
            s.key = (c & 0xFFFFFF) | kUsed;
            s.value = mapColour(c, match, seen, counts);
          }
          last = s.value;
        }
      }
      to[x] = last.index;
      counts.approximatedPixels += last.approximated;
    }
  }
  return counts;
}

}  // namespace

MapCounts mapPicture(const Picture& picture, const ShownPalette& palette, std::span<uint8_t> out,
                     int64_t outStride) {
  return picture.indexed() ? mapIndexed(picture, palette, out, outStride)
                           : mapColours(picture, palette, out, outStride);
}

}  // namespace gau
