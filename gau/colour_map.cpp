#include "gau/colour_map.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

namespace gau {
namespace {

constexpr uint32_t kUsed = 0x01000000;         // marks a taken slot of a colour table
constexpr uint32_t kOpaqueWhite = 0xFFFFFFFF;  // what the export writes at entry 255
constexpr uint32_t kHalfOpaque = 0x80000000;   // colours below this are less than half opaque

// Cells: coarse ones of 16 x 16 x 16 colours, fine ones of 8 x 8 x 8.
constexpr int kCoarseBits = 4;
constexpr int kFineBits = 5;

int red(uint32_t c) { return static_cast<int>((c >> 16) & 0xFF); }
int green(uint32_t c) { return static_cast<int>((c >> 8) & 0xFF); }
int blue(uint32_t c) { return static_cast<int>(c & 0xFF); }

uint32_t slotOf(uint32_t rgb, uint32_t bits) { return (rgb * 2654435761u) >> (32 - bits); }

template <int Bits>
uint32_t cellOf(int r, int g, int b) {
  constexpr int shift = 8 - Bits;
  return static_cast<uint32_t>((r >> shift) << (2 * Bits) | (g >> shift) << Bits | (b >> shift));
}

// The candidates among `from` for the colours of a cell: the entries that can
// be nearest (or tie) somewhere inside it. First a cheap cut: an entry whose
// least distance to the cell exceeds the least of the entries' greatest
// distances is never the nearest. Then a close one: an entry must be at least
// as near as each of a few references (the entries nearest the cell's corners
// and centre) somewhere in the cell, which a plane between the two decides.
template <int Bits>
std::vector<uint8_t> candidates(uint32_t cell, const int32_t* const (&channel)[3],
                                const std::vector<uint8_t>& from) {
  constexpr int side = 1 << (8 - Bits);
  constexpr uint32_t mask = (1u << Bits) - 1;
  const int32_t lo[3] = {static_cast<int32_t>((cell >> (2 * Bits)) & mask) * side,
                         static_cast<int32_t>((cell >> Bits) & mask) * side,
                         static_cast<int32_t>(cell & mask) * side};
  const int32_t hi[3] = {lo[0] + side - 1, lo[1] + side - 1, lo[2] + side - 1};
  std::vector<int32_t> least(from.size());
  int32_t bound = INT32_MAX;
  for (size_t k = 0; k < from.size(); ++k) {
    int32_t dMin = 0;
    int32_t dMax = 0;
    for (int ch = 0; ch < 3; ++ch) {
      const int32_t c = channel[ch][from[k]];
      const int32_t below = c < lo[ch] ? lo[ch] - c : c > hi[ch] ? c - hi[ch] : 0;
      const int32_t above = std::max(c - lo[ch], hi[ch] - c);
      dMin += below * below;
      dMax += above * above;
    }
    least[k] = dMin;
    bound = std::min(bound, dMax);
  }
  std::vector<uint8_t> near;
  for (size_t k = 0; k < from.size(); ++k)
    if (least[k] <= bound) near.push_back(from[k]);
  if (near.size() <= 1) return near;

  auto distance = [&](uint8_t e, const int32_t* x) {
    int32_t d = 0;
    for (int ch = 0; ch < 3; ++ch) d += (x[ch] - channel[ch][e]) * (x[ch] - channel[ch][e]);
    return d;
  };
  std::vector<uint8_t> references;
  for (int probe = 0; probe < 9; ++probe) {
    int32_t x[3];
    for (int ch = 0; ch < 3; ++ch)
      x[ch] = probe == 8 ? (lo[ch] + hi[ch]) / 2 : (probe >> ch & 1) ? hi[ch] : lo[ch];
    uint8_t best = near[0];
    for (uint8_t e : near)
      if (distance(e, x) < distance(best, x)) best = e;
    if (std::find(references.begin(), references.end(), best) == references.end())
      references.push_back(best);
  }
  std::vector<uint8_t> kept;
  for (uint8_t e : near) {
    bool possible = true;
    for (uint8_t r : references) {
      if (r == e) continue;
      // |x - e|^2 <= |x - r|^2  <=>  2 x.(r - e) <= |r|^2 - |e|^2; the box's least left side:
      int32_t left = 0;
      int32_t right = 0;
      for (int ch = 0; ch < 3; ++ch) {
        const int32_t step = channel[ch][r] - channel[ch][e];
        left += 2 * step * (step > 0 ? lo[ch] : hi[ch]);
        right += channel[ch][r] * channel[ch][r] - channel[ch][e] * channel[ch][e];
      }
      if (left > right) {
        possible = false;
        break;
      }
    }
    if (possible) kept.push_back(e);
  }
  return kept;
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
  s.colour[255] = kOpaqueWhite;
  return s;
}

PaletteMatch::PaletteMatch(const ShownPalette& palette) {
  // A colour shown twice: only its lowest index can be picked, so it is kept once.
  std::array<uint32_t, 512> seen{};  // rgb | kUsed, open addressing; 0 is free
  for (int i = 0; i < palette.colors; ++i) {
    const uint32_t rgb = palette.colour[i] & 0xFFFFFF;
    uint32_t slot = slotOf(rgb, 9);
    while (seen[slot] != 0 && seen[slot] != (rgb | kUsed)) slot = (slot + 1) & 511;
    if (seen[slot] != 0) continue;
    seen[slot] = rgb | kUsed;
    red_[count_] = red(rgb), green_[count_] = green(rgb), blue_[count_] = blue(rgb);
    index_[count_++] = static_cast<uint8_t>(i);
    all_.push_back(uint32_t{index_[count_ - 1]} << 24 | rgb);
  }
  if (!all_.empty()) all_.resize((all_.size() + 7) / 8 * 8, all_[0]);
}

void PaletteMatch::makeCells() {
  coarse_.resize(size_t{1} << (3 * kCoarseBits));
  coarseBuilt_.resize(size_t{1} << (3 * kCoarseBits));
  state_.resize(size_t{1} << (3 * kFineBits), Unbuilt);
  cells_.resize(size_t{1} << (3 * kFineBits));
}

const std::vector<uint8_t>& PaletteMatch::coarse(uint32_t cell) {
  if (!coarseBuilt_[cell]) {
    std::vector<uint8_t> all(static_cast<size_t>(count_));
    for (int k = 0; k < count_; ++k) all[k] = static_cast<uint8_t>(k);
    const int32_t* const channels[3] = {red_.data(), green_.data(), blue_.data()};
    coarse_[cell] = candidates<kCoarseBits>(cell, channels, all);
    coarseBuilt_[cell] = 1;
  }
  return coarse_[cell];
}

// A fine cell's candidates come from those of the coarse cell around it: an
// entry that cannot be nearest anywhere in the larger cell cannot be in the smaller.
PaletteMatch::State PaletteMatch::build(uint32_t cell) {
  constexpr int drop = kFineBits - kCoarseBits;
  constexpr uint32_t mask = (1u << kFineBits) - 1;
  const uint32_t parent = ((cell >> (2 * kFineBits)) & mask) >> drop << (2 * kCoarseBits) |
                          ((cell >> kFineBits) & mask) >> drop << kCoarseBits |
                          (cell & mask) >> drop;
  const int32_t* const channels[3] = {red_.data(), green_.data(), blue_.data()};
  const std::vector<uint8_t> kept = candidates<kFineBits>(cell, channels, coarse(parent));
  std::vector<uint32_t> packed;
  for (uint8_t id : kept)
    packed.push_back(uint32_t{index_[id]} << 24 | uint32_t(red_[id]) << 16 |
                     uint32_t(green_[id]) << 8 | uint32_t(blue_[id]));
  Cell& c = cells_[cell];
  if (packed.size() <= 8) {
    for (size_t k = 0; k < 8; ++k) c.candidate[k] = packed[k < packed.size() ? k : 0];
    state_[cell] = Packed;
  } else {  // in blocks of eight, the last one filled up with repeats of the first candidate
    c.candidate[0] = static_cast<uint32_t>(long_.size());
    c.candidate[1] = static_cast<uint32_t>((packed.size() + 7) / 8);
    packed.resize((packed.size() + 7) / 8 * 8, packed[0]);
    long_.insert(long_.end(), packed.begin(), packed.end());
    state_[cell] = Long;
  }
  return state_[cell];
}

namespace {

// The least of (distance << 8 | index) over eight packed candidates, that is
// the nearest entry and the lowest index among equally near ones, eight lanes
// at once: one AVX2 register where the processor has it (the pixel loops below
// are built twice, with and without, and the one the processor can run is
// picked when the program loads).
typedef int32_t Lanes __attribute__((vector_size(32)));
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define DIALPIX_WITH_AVX2 __attribute__((target_clones("avx2", "default")))
#else
#define DIALPIX_WITH_AVX2
#endif

#if defined(__clang__)
#define DIALPIX_SWAP_LANES(v, ...) __builtin_shufflevector(v, v, __VA_ARGS__)
#else
#define DIALPIX_SWAP_LANES(v, ...) __builtin_shuffle(v, Lanes{__VA_ARGS__})
#endif

[[gnu::always_inline]] inline int32_t leastOfEight(const uint32_t* candidates, int32_t r, int32_t g,
                                                   int32_t b) {
  Lanes c;
  std::memcpy(&c, candidates, sizeof c);
  const Lanes dr = r - ((c >> 16) & 0xFF);
  const Lanes dg = g - ((c >> 8) & 0xFF);
  const Lanes db = b - (c & 0xFF);
  Lanes k = (dr * dr + dg * dg + db * db) << 8 | ((c >> 24) & 0xFF);
  // The least lane, by halves: each step keeps the lesser of a lane and its partner.
  Lanes other = DIALPIX_SWAP_LANES(k, 4, 5, 6, 7, 0, 1, 2, 3);
  Lanes less = k < other;
  k = (k & less) | (other & ~less);
  other = DIALPIX_SWAP_LANES(k, 2, 3, 0, 1, 6, 7, 4, 5);
  less = k < other;
  k = (k & less) | (other & ~less);
  other = DIALPIX_SWAP_LANES(k, 1, 0, 3, 2, 5, 4, 7, 6);
  less = k < other;
  k = (k & less) | (other & ~less);
  return k[0];
}

}  // namespace

[[gnu::always_inline]] inline PaletteMatch::Found PaletteMatch::findInline(uint32_t rgb) {
  if (count_ == 0) return {};
  const int32_t r = red(rgb);
  const int32_t g = green(rgb);
  const int32_t b = blue(rgb);
  if (state_.empty()) {
    // A few colours are quicker compared with every entry than the cells are made.
    if (++finds_ <= kFindsBeforeCells) {
      int32_t best = INT32_MAX;
      for (size_t block = 0; block < all_.size(); block += 8)
        best = std::min(best, leastOfEight(&all_[block], r, g, b));
      return {static_cast<uint8_t>(best), best < 256};
    }
    makeCells();
  }
  const uint32_t cell = cellOf<kFineBits>(r, g, b);
  State state = state_[cell];
  if (state == Unbuilt) state = build(cell);
  const uint32_t* c = cells_[cell].candidate;
  int32_t best;
  if (state == Packed) {
    best = leastOfEight(c, r, g, b);
  } else {
    best = INT32_MAX;
    for (uint32_t block = 0; block < c[1]; ++block)
      best = std::min(best, leastOfEight(&long_[c[0] + 8 * block], r, g, b));
  }
  return {static_cast<uint8_t>(best), best < 256};
}

PaletteMatch::Found PaletteMatch::find(uint32_t rgb) { return findInline(rgb); }

namespace {

// The distinct colours that took a nearest entry: a small table while they
// are few, one bit for every colour once they are many. Adding does not ask
// whether the colour was there, so a picture of many colours never waits on it.
class SeenColours {
 public:
  void add(uint32_t rgb) {
    if (!bits_.empty()) {
      bits_[rgb >> 6] |= uint64_t{1} << (rgb & 63);
      return;
    }
    if (few_.empty()) few_.resize(2 * kFew);
    uint32_t slot = slotOf(rgb, kFewBits);
    while (few_[slot] != 0 && few_[slot] != (rgb | kUsed)) slot = (slot + 1) % few_.size();
    if (few_[slot] != 0) return;
    few_[slot] = rgb | kUsed;
    if (++count_ == kFew) {
      bits_.resize((size_t{1} << 24) / 64);
      for (uint32_t c : few_)
        if (c != 0) bits_[(c & 0xFFFFFF) >> 6] |= uint64_t{1} << (c & 63);
    }
  }
  int64_t count() const {
    if (bits_.empty()) return static_cast<int64_t>(count_);
    int64_t n = 0;
    for (uint64_t word : bits_) n += std::popcount(word);
    return n;
  }

 private:
  static constexpr uint32_t kFewBits = 13;
  static constexpr size_t kFew = size_t{1} << (kFewBits - 1);
  std::vector<uint32_t> few_;  // rgb | kUsed, open addressing, at most half full
  size_t count_ = 0;
  std::vector<uint64_t> bits_;
};

// One colour to an entry, with whether it was approximated.
struct Mapped {
  uint8_t index = 0;
  bool approximated = false;
};

[[gnu::always_inline]] inline Mapped mapColour(uint32_t c, PaletteMatch& match, SeenColours& seen) {
  if (c < kHalfOpaque) return {0, false};
  const uint32_t rgb = c & 0xFFFFFF;
  const PaletteMatch::Found found = match.findInline(rgb);
  if (!found.exact) seen.add(rgb);
  return {found.index, !found.exact};
}

MapCounts mapIndexed(const Picture& p, const ShownPalette& palette, std::span<uint8_t> out,
                     int64_t outStride) {
  std::array<uint32_t, 256> colour;
  colour.fill(kOpaqueBlack);
  std::copy_n(p.colourTable.begin(), std::min<size_t>(p.colourTable.size(), 256), colour.begin());
  auto agrees = [&](int i) {
    return colour[i] >= kHalfOpaque && ((colour[i] ^ palette.colour[i]) & 0xFFFFFF) == 0;
  };
  auto copyRows = [&](auto&& entry) {
    for (int32_t y = 0; y < p.height; ++y) {
      const uint8_t* row = p.indices.data() + y * p.rowStride;
      uint8_t* to = out.data() + (p.height - 1 - y) * outStride;
      for (int32_t x = 0; x < p.width; ++x) to[x] = entry(row[x]);
    }
  };

  MapCounts counts;
  counts.keptIndices = true;
  for (int i = 0; i < 256 && counts.keptIndices; ++i) counts.keptIndices = agrees(i);
  if (counts.keptIndices) {  // the export's palette as it was: nothing to look up
    copyRows([](uint8_t i) { return i; });
    return counts;
  }

  // Else only the entries the pixels use need to agree.
  std::array<int64_t, 256> used{};
  for (int32_t y = 0; y < p.height; ++y) {
    const uint8_t* row = p.indices.data() + y * p.rowStride;
    for (int32_t x = 0; x < p.width; ++x) ++used[row[x]];
  }
  counts.keptIndices = true;
  for (int i = 0; i < 256; ++i)
    if (used[i] && !agrees(i)) counts.keptIndices = false;
  std::array<uint8_t, 256> lut;
  for (int i = 0; i < 256; ++i) lut[i] = static_cast<uint8_t>(i);
  if (!counts.keptIndices) {
    PaletteMatch match(palette);
    SeenColours seen;
    for (int i = 0; i < 256; ++i) {
      if (!used[i]) continue;
      const Mapped m = mapColour(colour[i], match, seen);
      lut[i] = m.index;
      if (m.approximated) counts.approximatedPixels += used[i];
    }
    counts.approximatedColours = seen.count();
  }
  copyRows([&](uint8_t i) { return lut[i]; });
  return counts;
}

DIALPIX_WITH_AVX2
MapCounts mapColours(const Picture& p, const ShownPalette& palette, std::span<uint8_t> out,
                     int64_t outStride) {
  PaletteMatch match(palette);
  SeenColours seen;
  MapCounts counts;
  // Runs of one colour are common: a pixel like the one before takes its entry.
  uint32_t before = 0;
  Mapped last;
  int64_t approximated = 0;
  for (int32_t y = 0; y < p.height; ++y) {
    const uint32_t* row = p.argb.data() + y * p.rowStride;
    uint8_t* to = out.data() + (p.height - 1 - y) * outStride;
    for (int32_t x = 0; x < p.width; ++x) {
      const uint32_t c = row[x];
      if (c != before) {
        before = c;
        last = mapColour(c, match, seen);
      }
      to[x] = last.index;
      approximated += last.approximated;
    }
  }
  counts.approximatedPixels = approximated;
  counts.approximatedColours = seen.count();
  return counts;
}

}  // namespace

MapCounts mapPicture(const Picture& picture, const ShownPalette& palette, std::span<uint8_t> out,
                     int64_t outStride) {
  // A picture without pixels maps to nothing (and `out` may then be empty, without data).
  if (picture.width <= 0 || picture.height <= 0) return {};
  return picture.indexed() ? mapIndexed(picture, palette, out, outStride)
                           : mapColours(picture, palette, out, outStride);
}

}  // namespace gau
