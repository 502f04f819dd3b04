// The import of a decoded picture over any gauge bitmap: any size, palette,
// colour table, pixels and row stride, as a reader might hand them over.
// Never a byte written outside the bitmap's W x H pixels (its row padding
// included), nothing written on a refusal, and every pixel and count as the
// rules give them worked out the slow way.

#include <algorithm>
#include <set>
#include <vector>

#include "fuzz_support.h"
#include "gau/import.h"
#include "tools/gauge_builder.h"

namespace {

// The entry the slow way: alpha below half takes 0; else the lowest entry of
// 0..N-1 with the least squared distance. Sets `approximated` when not exact.
uint8_t expected(uint32_t c, const std::vector<uint8_t>& palette, bool& approximated) {
  approximated = false;
  if (c < 0x80000000) return 0;
  const int n = static_cast<int>(palette.size() / 4);
  int best = 0;
  int64_t bestDistance = INT64_MAX;
  for (int i = 0; i < n; ++i) {
    // The export shows white at entry 255 of a 256-colour bitmap.
    const bool white = i == 255;
    const int b = white ? 255 : palette[4 * i], g = white ? 255 : palette[4 * i + 1],
              r = white ? 255 : palette[4 * i + 2];
    const int dr = int((c >> 16) & 255) - r, dg = int((c >> 8) & 255) - g, db = int(c & 255) - b;
    const int64_t d = dr * dr + dg * dg + db * db;
    if (d < bestDistance) best = i, bestDistance = d;
  }
  approximated = bestDistance != 0;
  return static_cast<uint8_t>(best);
}

uint32_t shown(int i, const std::vector<uint8_t>& palette) {
  if (i == 255) return 0xFFFFFFFF;
  if (4 * static_cast<size_t>(i) >= palette.size()) return 0xFF000000;
  return 0xFF000000 | uint32_t{palette[4 * i + 2]} << 16 | uint32_t{palette[4 * i + 1]} << 8 |
         palette[4 * i];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  gaugebuild::Bitmap b;
  b.width = in.ConsumeIntegralInRange<int32_t>(0, 40);
  b.height = in.ConsumeIntegralInRange<int32_t>(0, 40);
  b.storedColors = in.ConsumeIntegralInRange<int32_t>(0, 256);
  b.palette = in.ConsumeBytes<uint8_t>(4 * static_cast<size_t>(b.colors()));
  b.palette.resize(4 * static_cast<size_t>(b.colors()));
  b.pixels.assign(static_cast<size_t>(b.rowBytes()) * b.height, 0xEE);
  gaugebuild::Gauge g;
  g.filler(9);
  const int32_t pos = g.plant(b);
  g.filler(7, 3);
  const std::vector<uint8_t> before = g.bytes();

  // The picture: mostly the bitmap's size, its buffers now and then too short.
  gau::Picture p;
  const uint8_t shape = in.ConsumeIntegral<uint8_t>();
  p.width = b.width + (shape % 8 == 1 ? 1 : 0);
  p.height = b.height - (shape % 8 == 2 && b.height > 0 ? 1 : 0);
  p.rowStride = p.width + (shape >> 4) % 4 - (shape % 8 == 3 ? 1 : 0);
  const bool indexed = shape & 8;
  const auto pixels = static_cast<size_t>(
      std::max<int64_t>(0, p.rowStride * std::max(0, p.height - 1) + p.width - (shape % 8 == 4)));
  std::vector<uint32_t> table;
  std::vector<uint8_t> indices;
  std::vector<uint32_t> colours;
  if (indexed) {
    table.resize(in.ConsumeIntegralInRange<size_t>(0, 256));
    for (uint32_t& c : table) c = in.ConsumeIntegral<uint32_t>();
    indices = in.ConsumeBytes<uint8_t>(pixels);
    indices.resize(pixels);
    p.indices = indices;
    p.colourTable = table;
  } else {
    colours.resize(pixels);
    // Few distinct colours, so that runs, repeats and exact palette colours come up.
    std::vector<uint32_t> choices(1 + in.ConsumeIntegralInRange<size_t>(0, 15));
    for (uint32_t& c : choices)
      c = in.ConsumeBool()
              ? shown(in.ConsumeIntegral<uint8_t>(), b.palette) ^
                    (in.ConsumeBool() ? 0 : in.ConsumeIntegral<uint32_t>() & 0xFF030303)
              : in.ConsumeIntegral<uint32_t>();
    for (uint32_t& c : colours)
      c = choices[in.ConsumeIntegralInRange<size_t>(0, choices.size() - 1)];
    p.argb = colours;
  }

  auto gauge = std::make_unique<fuzz::CountingChannel>(before);
  gauge->setReadOnly(shape == 0xFF);
  const Result<gau::Imported> r = gau::importPicture(*gauge, pos, p);
  const std::vector<uint8_t>& after = gauge->bytes();
  FUZZ_CHECK(after.size() == before.size(), "the gauge keeps its length");
  if (!r) {
    FUZZ_CHECK(after == before, "a refused import writes nothing");
    return 0;
  }
  FUZZ_CHECK(p.width == b.width && p.height == b.height && !gau::pictureProblem(p),
             "only a picture of the bitmap's size with whole buffers is imported");
  FUZZ_CHECK(r->bytesWritten == int64_t{b.width} * b.height, "W x H bytes written");
  const size_t start = static_cast<size_t>(pos - 1 + 28 + 4 * b.colors());

  // Every pixel as the rules give it, and what was approximated.
  std::vector<uint8_t> want = before;
  bool keep = indexed;
  for (int32_t y = 0; y < p.height && keep; ++y)
    for (int32_t x = 0; x < p.width && keep; ++x) {
      const uint8_t i = indices[y * p.rowStride + x];
      const uint32_t c = i < table.size() ? table[i] : 0xFF000000;
      keep = c >= 0x80000000 && (c & 0xFFFFFF) == (shown(i, b.palette) & 0xFFFFFF);
    }
  int64_t approximatedPixels = 0;
  std::set<uint32_t> approximatedColours;
  for (int32_t y = 0; y < p.height; ++y)
    for (int32_t x = 0; x < p.width; ++x) {
      const size_t at = static_cast<size_t>(y * p.rowStride + x);
      uint32_t c = indexed ? 0 : colours[at];
      if (indexed) c = indices[at] < table.size() ? table[indices[at]] : 0xFF000000;
      bool approximated = false;
      const uint8_t e = keep ? indices[at] : expected(c, b.palette, approximated);
      if (approximated) ++approximatedPixels, approximatedColours.insert(c & 0xFFFFFF);
      want[start + static_cast<size_t>((p.height - 1 - y) * b.rowBytes() + x)] = e;
    }
  FUZZ_CHECK(after == want, "each pixel takes its entry and nothing else changes");
  FUZZ_CHECK(r->approximatedPixels == approximatedPixels, "approximated pixels counted");
  FUZZ_CHECK(r->approximatedColours == static_cast<int64_t>(approximatedColours.size()),
             "approximated colours counted once each");
  return 0;
}
