#include "gau/colour_map.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace {

// The nearest entry the slow way, and whether it is exact: every entry, ties to the lowest index.
std::pair<uint8_t, bool> nearestByHand(const gau::ShownPalette& p, uint32_t rgb) {
  int best = 0;
  int64_t bestDistance = INT64_MAX;
  for (int i = 0; i < p.colors; ++i) {
    const int dr = int((rgb >> 16) & 0xFF) - int((p.colour[i] >> 16) & 0xFF);
    const int dg = int((rgb >> 8) & 0xFF) - int((p.colour[i] >> 8) & 0xFF);
    const int db = int(rgb & 0xFF) - int(p.colour[i] & 0xFF);
    const int64_t d = dr * dr + dg * dg + db * db;
    if (d < bestDistance) best = i, bestDistance = d;
  }
  return {static_cast<uint8_t>(best), bestDistance == 0};
}

struct Palette {
  const char* name;
  std::function<std::vector<uint32_t>(std::mt19937&)> colours;  // 0xRRGGBB
};

class Nearest : public testing::TestWithParam<Palette> {};

// The cells' shortcuts give what the exhaustive search gives, for colours
// everywhere in the cube and on the cells' edges.
TEST_P(Nearest, EqualsTheExhaustiveSearch) {
  std::mt19937 random(7);
  const std::vector<uint32_t> colours = GetParam().colours(random);
  std::vector<uint8_t> bytes;
  for (uint32_t c : colours)
    bytes.insert(bytes.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0});
  const gau::ShownPalette palette = gau::shownPalette(bytes);
  gau::PaletteMatch match(palette);
  // One step from an entry, the nearest but not exact: first while every entry
  // is compared, and again at the end, when the cells answer.
  std::vector<uint32_t> steps;
  for (int i = 0; i < palette.colors; ++i)
    for (const uint32_t step : {0x010000u, 0x000100u, 0x000001u}) {
      const uint32_t c = palette.colour[i] & 0xFFFFFF;
      steps.push_back((c & step * 0xFF) == 0 ? c + step : c - step);
    }
  std::vector<uint32_t> probes = steps;
  for (uint32_t cell = 0; cell < 32768; ++cell) {  // both corners of every cell of 8 x 8 x 8
    const uint32_t corner = (cell >> 10) << 19 | ((cell >> 5) & 31) << 11 | (cell & 31) << 3;
    probes.insert(probes.end(), {corner, corner | 0x070707});
  }
  for (int n = 0; n < 20000; ++n) probes.push_back(random() & 0xFFFFFF);
  for (int i = 0; i < palette.colors; ++i) probes.push_back(palette.colour[i] & 0xFFFFFF);
  probes.insert(probes.end(), steps.begin(), steps.end());
  for (uint32_t rgb : probes) {
    const gau::PaletteMatch::Found found = match.find(rgb);
    ASSERT_EQ(std::pair(found.index, found.exact), nearestByHand(palette, rgb)) << std::hex << rgb;
  }
}

INSTANTIATE_TEST_SUITE_P(
    ColourMap, Nearest,
    testing::Values(
        Palette{"Random256",
                [](std::mt19937& r) {
                  std::vector<uint32_t> c(256);
                  for (uint32_t& x : c) x = r() & 0xFFFFFF;
                  return c;
                }},
        Palette{"Random16",
                [](std::mt19937& r) {
                  std::vector<uint32_t> c(16);
                  for (uint32_t& x : c) x = r() & 0xFFFFFF;
                  return c;
                }},
        // (15, 15, 15) lies as far from entry 1 inside its cell as from entry 0 outside it.
        Palette{"TieOnACellCorner",
                [](std::mt19937&) {
                  return std::vector<uint32_t>{0x161616, 0x080808};
                }},
        Palette{"OneEntry", [](std::mt19937&) { return std::vector<uint32_t>{0x808080}; }},
        Palette{"GreysWithTwins",
                [](std::mt19937&) {
                  std::vector<uint32_t> c;
                  for (uint32_t k = 0; k < 256; ++k) c.push_back((k & ~3u) * 0x010101);
                  return c;
                }},
        Palette{"ACrowdedCorner",
                [](std::mt19937& r) {  // every entry a candidate far away
                  std::vector<uint32_t> c(200);
                  for (uint32_t& x : c) x = 0xF0F0F0 | (r() & 0x0F0F0F);
                  return c;
                }}),
    [](const testing::TestParamInfo<Palette>& info) { return std::string(info.param.name); });

}  // namespace

// Found by fuzzing: a picture with no columns mapped into an empty buffer.
TEST(ColourMap, APictureWithoutPixelsMapsToNothing) {
  const std::vector<uint8_t> gaugePalette(16, 0x40);
  const gau::ShownPalette shown = gau::shownPalette(gaugePalette);
  const std::vector<uint32_t> argb(1, 0xFF102030);
  for (const auto& [w, h] : {std::pair{0, 3}, std::pair{3, 0}}) {
    gau::Picture p;
    p.width = w;
    p.height = h;
    p.rowStride = w;
    p.argb = argb;
    const gau::MapCounts counts = gau::mapPicture(p, shown, {}, w);
    EXPECT_EQ(counts.approximatedPixels, 0) << w << "x" << h;
  }
}
