// The import of pictures other programs write: each layout decoded, mapped
// onto the bitmap's palette and written over exactly its W x H pixels.

#include "imageio/image_import.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <bit>
#include <cmath>
#include <functional>

#include "bmp/bmp_file.h"
#include "gau/export.h"
#include "io/file_channels.h"
#include "io/little_endian.h"
#include "temp_dir.h"
#include "tools/bmp_builder.h"
#include "tools/gauge_builder.h"

namespace {

using bmpbuild::Bmp;
using Indices = std::vector<uint32_t>;  // top row first
constexpr uint8_t kPadding = 0xEE;

// A gauge file with one bitmap between other bytes, its row padding set to a
// value of its own so that a write over it shows.
struct Panel {
  static constexpr int32_t W = 13, H = 5;  // rows of 16 bytes: 3 padding bytes each
  gaugebuild::Gauge g;
  int32_t pos = 0;
  std::vector<uint32_t> palette;  // 0xRRGGBB, N entries
  std::vector<uint32_t> shown;    // the 256 colours as the export shows them

  explicit Panel(std::vector<uint32_t> colours) : palette(std::move(colours)) {
    gaugebuild::Bitmap b;
    b.width = W, b.height = H, b.storedColors = static_cast<int32_t>(palette.size()) % 256;
    for (uint32_t c : palette)
      b.palette.insert(b.palette.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0});
    for (int32_t y = 0; y < H; ++y) {
      for (int32_t x = 0; x < W; ++x) b.pixels.push_back(static_cast<uint8_t>((x + y) % 16));
      b.pixels.insert(b.pixels.end(), 3, kPadding);
    }
    g.filler(37);
    pos = g.plant(b);
    g.filler(50, 2);
    shown.assign(256, 0);
    std::copy(palette.begin(), palette.end(), shown.begin());
    shown[255] = 0xFFFFFF;
  }
  // The default: 16 colours.
  Panel()
      : Panel([] {
          std::vector<uint32_t> p;
          for (uint32_t k = 0; k < 16; ++k)
            p.push_back(16 * k << 16 | (248 - 8 * k) << 8 | ((40 * k) & 0xF8));
          return p;
        }()) {}

  int64_t pixelStart() const {
    return pos - 1 + 28 + 4 * int64_t(palette.empty() ? 256 : palette.size());
  }
  // The gauge bytes once `target` is imported: its pixels, the padding as it was.
  std::vector<uint8_t> with(const Indices& target) const {
    std::vector<uint8_t> b = g.bytes();
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x)
        b[pixelStart() + (H - 1 - y) * 16 + x] = static_cast<uint8_t>(target[y * W + x]);
    return b;
  }
  Indices target() const {  // an edited picture: every pixel other than before, all 16 colours
    Indices t;
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) t.push_back((3 * x + 5 * y + 1) % 16);
    return t;
  }
  std::vector<uint32_t> colours(const Indices& t) const {
    std::vector<uint32_t> c;
    for (uint32_t i : t) c.push_back(0xFF000000 | shown[i]);
    return c;
  }
  Bmp indexFile(const Indices& t, int bits = 8) const {
    Bmp b;
    b.width = W, b.height = H;
    b.bits = bits;
    b.palette.assign(shown.begin(), shown.begin() + (bits == 8 ? 256 : 16));
    b.pixels = t;
    return b;
  }
  Bmp colourFile(const Indices& t, int bits = 24) const {
    Bmp b;
    b.width = W, b.height = H;
    b.bits = bits;
    b.pixels = colours(t);
    return b;
  }

  struct Outcome {
    Result<imageio::ImageImport> result;
    std::vector<uint8_t> gauge;
  };
  Outcome import(const std::vector<uint8_t>& file, bool readOnly = false) const {
    auto gauge = io::memoryChannel(g.bytes());
    gauge->setReadOnly(readOnly);
    auto image = io::memoryChannel(file);
    Result<imageio::ImageImport> r = imageio::importImage(*gauge, pos, *image);
    return {std::move(r), gauge->bytes()};
  }
};

std::vector<uint8_t> cut(std::vector<uint8_t> b, size_t n) {
  b.resize(b.size() - n);
  return b;
}

// A run-length file of the panel's size and palette with `runs` for its pixel data.
std::vector<uint8_t> withRuns(const Panel& p, std::initializer_list<uint8_t> runs, int bits = 8) {
  Bmp b = p.indexFile(p.target(), bits);
  b.compression = bits == 8 ? bmpbuild::Rle8 : bmpbuild::Rle4;
  std::vector<uint8_t> f = bmpbuild::write(b);
  f.resize(io::le32(&f[bmp::kDataOffsetOffset]));
  f.insert(f.end(), runs);
  return f;
}

// A file, the indices the gauge must hold after importing it, and how many
// pixels and colours took a nearest entry.
struct Case {
  const char* name;
  std::function<std::tuple<std::vector<uint8_t>, Indices, int64_t, int64_t>(const Panel&)> make;
  std::function<Panel()> panel = [] { return Panel(); };
};

// The edited picture in a layout: `edit` changes the file the panel writes.
template <class Edit>
Case layout(const char* name, Edit edit, int bits = 8) {
  return {name, [=](const Panel& p) {
            Bmp b = bits <= 8 ? p.indexFile(p.target(), bits) : p.colourFile(p.target(), bits);
            edit(b);
            return std::tuple{bmpbuild::write(b), p.target(), 0, 0};
          }};
}

class Decoded : public testing::TestWithParam<Case> {};

TEST_P(Decoded, WritesExactlyThePicturesPixels) {
  const Panel panel = GetParam().panel();
  const auto [file, target, pixels, colours] = GetParam().make(panel);
  const auto [r, gauge] = panel.import(file);
  ASSERT_TRUE(r) << r.reason();
  EXPECT_TRUE(r->decoded);
  EXPECT_EQ(r->bytesWritten, Panel::W * Panel::H);
  EXPECT_EQ(r->approximatedPixels, pixels);
  EXPECT_EQ(r->approximatedColours, colours);
  EXPECT_EQ(gauge, panel.with(target));
}

const auto keep = [](Bmp&) {};
using bmpbuild::BitFields, bmpbuild::Rle4, bmpbuild::Rle8;

INSTANTIATE_TEST_SUITE_P(
    EveryLayout, Decoded,
    testing::Values(
        layout("Header124", [](Bmp& b) { b.infoSize = 124; }),
        layout("Header108", [](Bmp& b) { b.infoSize = 108; }),
        layout("Header56", [](Bmp& b) { b.infoSize = 56; }),
        layout("Header52", [](Bmp& b) { b.infoSize = 52; }),
        layout("Header12", [](Bmp& b) { b.infoSize = 12; }),
        layout("PixelsFurtherOn", [](Bmp& b) { b.gap = 100; }),
        layout("TopDown", [](Bmp& b) { b.topDown = true; }),
        layout("Rle8", [](Bmp& b) { b.compression = Rle8; }),
        layout("Rle8Header124", [](Bmp& b) { b.compression = Rle8, b.infoSize = 124; }),
        layout(
            "Rle4", [](Bmp& b) { b.compression = Rle4; }, 4),
        Case{"RunsEndingWithoutTheirMarksOnceEveryPixelIsSet",
             [](const Panel& p) {
               Bmp b = p.indexFile(p.target());
               b.compression = Rle8;
               return std::tuple{cut(bmpbuild::write(b), 4), p.target(), 0, 0};
             }},
        Case{"RunsThatMoveAndEndRowsEarlyLeaveEntry0",
             [](const Panel& p) {
               Indices t(Panel::W * Panel::H, 7);  // top row first, as the runs leave it
               std::fill_n(t.begin() + 2 * Panel::W + 6, 7, 0);
               std::fill_n(t.begin() + 3 * Panel::W, 5, 0);
               std::fill_n(t.begin() + 4 * Panel::W + 3, 10, 0);
               return std::tuple{withRuns(p, {3,  7, 0, 2, 2,  1,  // the bottom row: 3, then a move
                                              8,  7, 0, 0,         // the rest of the row above
                                              6,  7, 0, 0,         // a row ended early
                                              13, 7, 0, 0, 13, 7, 0, 1}),
                                 t, 0, 0};
             }},
        layout("FourBits", keep, 4),
        layout(
            "FourBitsHeader12", [](Bmp& b) { b.infoSize = 12; }, 4),
        layout("PaletteOfSixteen", [](Bmp& b) { b.palette.resize(16); }),
        layout("PaletteReversed",
               [](Bmp& b) {
                 std::reverse(b.palette.begin(), b.palette.begin() + 16);
                 for (uint32_t& i : b.pixels) i = 15 - i;
               }),
        Case{"OneBit",
             [](const Panel& p) {
               Indices t = p.target();
               for (uint32_t& i : t) i = i % 2 ? 3 : 9;
               Bmp b = p.indexFile(t, 1);
               b.palette = {p.shown[9], p.shown[3]};
               for (uint32_t& i : b.pixels) i = i == 3;
               return std::tuple{bmpbuild::write(b), t, 0, 0};
             }},
        layout("TrueColour", keep, 24),
        layout(
            "TrueColourTopDown", [](Bmp& b) { b.topDown = true; }, 24),
        layout(
            "TrueColourHeader124", [](Bmp& b) { b.infoSize = 124; }, 24),
        layout("ThirtyTwoBits", keep, 32),
        layout(
            "BitFields", [](Bmp& b) { b.compression = BitFields; }, 32),
        layout(
            "BitFieldsHeader52", [](Bmp& b) { b.compression = BitFields, b.infoSize = 52; }, 32),
        Case{"AlphaHeader56And124",  // less than half opaque: entry 0; else its colour counts
             [](const Panel& p) {
               Indices t = p.target();
               Bmp b = p.colourFile(t, 32);
               b.compression = BitFields, b.masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
               for (size_t i = 0; i < t.size(); ++i) {
                 if (t[i] == 5) b.pixels[i] = 0x7FFFFFFF, t[i] = 0;
                 if (t[i] == 6) b.pixels[i] &= 0x80FFFFFF;
               }
               b.infoSize = 56;
               EXPECT_EQ(p.import(bmpbuild::write(b)).gauge, p.with(t)) << "the 56-byte header";
               b.infoSize = 124;
               return std::tuple{bmpbuild::write(b), t, 0, 0};
             }},
        Case{
            "Png",
            [](const Panel& p) {
              const Bmp b = p.colourFile(p.target());
              const QImage image(reinterpret_cast<const uchar*>(b.pixels.data()), Panel::W,
                                 Panel::H, QImage::Format_ARGB32);
              QByteArray bytes;
              QBuffer buffer(&bytes);
              buffer.open(QIODevice::WriteOnly);
              image.save(&buffer, "PNG");
              return std::tuple{std::vector<uint8_t>(bytes.begin(), bytes.end()), p.target(), 0, 0};
            }}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// Colours the palette lacks, and the rules that pick among equal entries.
Panel withTwins() {  // entries 3 and 9 show the same colour
  Panel p;
  p.palette[9] = p.palette[3];
  return Panel(p.palette);
}

INSTANTIATE_TEST_SUITE_P(
    PaletteRules, Decoded,
    testing::Values(Case{"OneColourNotInThePalette",
                         [](const Panel& p) {
                           Bmp b = p.colourFile(p.target());
                           Indices t = p.target();
                           for (size_t i : {0, 7, 64})
                             b.pixels[i] = 0xFF000000 | (p.shown[7] + 0x020101), t[i] = 7;
                           return std::tuple{bmpbuild::write(b), t, 3, 1};
                         }},
                    Case{"IndexFileWithTwoColoursAdded",
                         [](const Panel& p) {
                           Bmp b = p.indexFile(p.target());
                           Indices t = p.target();
                           b.palette[20] = p.shown[2] ^ 0x010000,
                           b.palette[21] = p.shown[12] ^ 0x000300;
                           b.pixels[1] = 20, b.pixels[2] = 21, b.pixels[3] = 21;
                           t[1] = 2, t[2] = 12, t[3] = 12;
                           return std::tuple{bmpbuild::write(b), t, 3, 2};
                         }},
                    Case{"AColourMidwayTakesTheLowerEntry",
                         [](const Panel& p) {
                           Bmp b = p.colourFile(p.target());
                           Indices t = p.target();
                           // entries 1 and 2 lie 16, 8 and 40 apart: 8, 4 and 20 from each
                           b.pixels[5] = 0xFF000000 | ((p.shown[1] + p.shown[2]) / 2 & 0xFFFEFF),
                           t[5] = 1;
                           return std::tuple{bmpbuild::write(b), t, 1, 1};
                         }},
                    Case{"TwinsInAColourFileTakeTheLowerEntry",
                         [](const Panel& p) {
                           Indices t = p.target();
                           Bmp b = p.colourFile(t);
                           for (uint32_t& i : t) i = i == 9 ? 3 : i;
                           return std::tuple{bmpbuild::write(b), t, 0, 0};
                         },
                         withTwins},
                    Case{"TwinsInAnIndexFileKeepTheirIndices",
                         [](const Panel& p) {
                           Bmp b = p.indexFile(p.target());
                           b.infoSize = 124;
                           return std::tuple{bmpbuild::write(b), p.target(), 0, 0};
                         },
                         withTwins},
                    Case{"Entry255OfA256ColourBitmapShowsWhite",
                         [](const Panel& p) {
                           Indices t = p.target();
                           t[0] = t[30] = 255;
                           return std::tuple{bmpbuild::write(p.colourFile(t)), t, 0, 0};
                         },
                         [] {
                           std::vector<uint32_t> c;
                           for (uint32_t k = 0; k < 256; ++k)
                             c.push_back(k / 2 << 16 | (255 - k) << 8 | k);
                           return Panel(c);
                         }}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// 16-bit and other bit-field pixels: each field widened exactly (31 of 31 is
// 255, not the 248 shifting gives), then the nearest palette entry. Entry 2k
// shows pixel k's exact colour and entry 2k + 1 its colour widened by shifting,
// so a decoder that shifts takes the wrong one of each pair.
struct Fields {
  const char* name;
  int bits;
  bmpbuild::Compression compression;
  std::array<uint32_t, 4> masks;  // red, green, blue, alpha
  int infoSize = 40;
};

class BitFieldColours : public testing::TestWithParam<Fields> {};

TEST_P(BitFieldColours, TakeTheEntryNearestTheirExactColour) {
  const Fields& f = GetParam();
  constexpr int kPixels = Panel::W * Panel::H;
  std::array<uint32_t, kPixels> stored{}, exact{}, shifted{};  // top row first
  for (uint32_t i = 0; i < kPixels; ++i)
    for (uint32_t c = 0; c < 4; ++c) {
      if (f.masks[c] == 0) continue;
      const int shift = std::countr_zero(f.masks[c]), width = std::popcount(f.masks[c]);
      const uint32_t max = f.masks[c] >> shift;
      const uint32_t v = c == 3 ? max : (i * (7 + 4 * c) + 3 * c + 3) % (max + 1);  // opaque
      stored[i] |= v << shift;
      if (c == 3) continue;
      exact[i] |= static_cast<uint32_t>(std::lround(v * 255.0 / max)) << (16 - 8 * c);
      shifted[i] |= (width >= 8 ? v >> (width - 8) : v << (8 - width)) << (16 - 8 * c);
    }
  std::vector<uint32_t> palette;
  for (size_t k = 0; k < 8; ++k) palette.insert(palette.end(), {exact[k], shifted[k]});
  const Panel panel(palette);
  Indices want;
  for (const uint32_t colour : exact) {
    const auto distance = [colour](uint32_t q) {
      int d = 0;
      for (int at : {0, 8, 16}) {
        const int a = int(colour >> at & 255) - int(q >> at & 255);
        d += a * a;
      }
      return d;
    };
    want.push_back(static_cast<uint32_t>(  // the first nearest: ties to the lower entry
        std::min_element(palette.begin(), palette.end(),
                         [&](uint32_t a, uint32_t b) { return distance(a) < distance(b); }) -
        palette.begin()));
  }

  Bmp b;  // the header; the pixels are written below, byte for byte
  b.width = Panel::W, b.height = Panel::H, b.bits = f.bits, b.infoSize = f.infoSize;
  b.compression = f.compression, b.masks = f.masks;
  b.pixels.assign(kPixels, 0);
  std::vector<uint8_t> file = bmpbuild::write(b);
  const size_t rowBytes = (Panel::W * f.bits / 8 + 3) / 4 * 4;
  for (size_t i = 0; i < kPixels; ++i)
    for (int byte = 0; byte < f.bits / 8; ++byte)
      file[io::le32(&file[bmp::kDataOffsetOffset]) + (Panel::H - 1 - i / Panel::W) * rowBytes +
           i % Panel::W * f.bits / 8 + byte] = uint8_t(stored[i] >> 8 * byte);
  const auto [r, gauge] = panel.import(file);
  ASSERT_TRUE(r) << r.reason();
  EXPECT_EQ(gauge, panel.with(want));
}

INSTANTIATE_TEST_SUITE_P(
    SixteenBitsAndNarrowFields, BitFieldColours,
    testing::Values(
        Fields{"Rgb555", 16, bmpbuild::Rgb, {0x7C00, 0x3E0, 0x1F, 0}},
        Fields{"BitFields565", 16, BitFields, {0xF800, 0x7E0, 0x1F, 0}},
        Fields{"BitFields4444Header56", 16, BitFields, {0xF00, 0xF0, 0xF, 0xF000}, 56},
        Fields{"ThirtyTwoBits565", 32, BitFields, {0xF800, 0x7E0, 0x1F, 0}},
        Fields{
            "ThirtyTwoBits101010Header108", 32, BitFields, {0x3FF00000, 0xFFC00, 0x3FF, 0}, 108}),
    [](const testing::TestParamInfo<Fields>& info) { return std::string(info.param.name); });

// Each refusal leaves the gauge as it was and says why.
struct Refusal {
  const char* name;
  std::function<std::vector<uint8_t>(const Panel&)> file;
  Fault fault;
  const char* says;
  bool readOnly = false;
};

class Refusals : public testing::TestWithParam<Refusal> {};

TEST_P(Refusals, WriteNothing) {
  const Panel panel;
  const auto [r, gauge] = panel.import(GetParam().file(panel), GetParam().readOnly);
  EXPECT_EQ(r.fault(), GetParam().fault);
  EXPECT_NE(r.reason().find(GetParam().says), std::string::npos) << r.reason();
  EXPECT_EQ(gauge, panel.g.bytes());
}

INSTANTIATE_TEST_SUITE_P(
    Import, Refusals,
    testing::Values(
        Refusal{"Wider",
                [](const Panel& p) {
                  Bmp b = p.colourFile(p.target());
                  b.width = 12;
                  return bmpbuild::write(b);
                },
                Fault::DoesNotFit, "It is 12 x 5 pixels; the gauge bitmap is 13 x 5."},
        Refusal{"TallerTopDown",
                [](const Panel& p) {
                  Bmp b = p.indexFile(Indices(Panel::W * 6, 1));
                  b.height = 6, b.topDown = true;
                  return bmpbuild::write(b);
                },
                Fault::DoesNotFit, "13 x 6"},
        Refusal{"NotAPicture", [](const Panel&) { return std::vector<uint8_t>(300, 'x'); },
                Fault::Source, "could not be decoded"},
        Refusal{"Empty", [](const Panel&) { return std::vector<uint8_t>(); }, Fault::Source,
                "could not be decoded"},
        Refusal{"RowsCutShort",
                [](const Panel& p) { return cut(bmpbuild::write(p.colourFile(p.target())), 1); },
                Fault::Source, "cut short"},
        Refusal{"RunsCutShort",
                [](const Panel& p) {
                  Bmp b = p.indexFile(p.target());
                  b.compression = bmpbuild::Rle8;
                  return cut(bmpbuild::write(b), 6);  // the marks and the last run
                },
                Fault::Source, "stops before"},
        Refusal{"RunsCutShortAfterAnOddAbsoluteRun",  // its pad byte then 01 reads as an end
                [](const Panel& p) {
                  Bmp b = p.indexFile(p.target());
                  b.compression = bmpbuild::Rle8;
                  std::vector<uint8_t> f = bmpbuild::write(b);
                  f.resize(io::le32(&f[bmp::kDataOffsetOffset]));
                  f.insert(f.end(), {0, Panel::W});  // a row of 13 pixels as they are
                  f.insert(f.end(), Panel::W, 3);
                  f.insert(f.end(), {0, 0, 0, 1, 7});  // the pad byte, end of row, one pixel
                  return f;
                },
                Fault::Source, "stops before"},
        // Runs whose pixels the reader would clip, or leave as they were.
        Refusal{"RunPastTheEndOfARow",
                [](const Panel& p) {
                  return withRuns(p, {14, 3, 0, 1});
                },
                Fault::Source, "past the end of row 5: 14 pixels from column 1"},
        Refusal{"FourBitAbsoluteRunPastTheEndOfARow",
                [](const Panel& p) {
                  return withRuns(p, {4, 0x11, 0, 10, 1, 2, 3, 4, 5, 0, 0, 1}, 4);
                },
                Fault::Source, "past the end of row 5: 10 pixels from column 5"},
        Refusal{"RunsPastTheLastRow",
                [](const Panel& p) {
                  return withRuns(p, {13, 1, 0, 0, 13, 1, 0, 0, 13, 1, 0, 0,
                                      13, 1, 0, 0, 13, 1, 0, 0, 1,  1, 0, 1});
                },
                Fault::Source, "past the last row"},
        Refusal{"MoveAboveTheTop",
                [](const Panel& p) {
                  return withRuns(p, {1, 1, 0, 2, 0, 5});
                },
                Fault::Source, "moves 0 right and 5 up from row 5, column 2, out of its picture"},
        Refusal{"MovePastTheRightEdge",
                [](const Panel& p) {
                  return withRuns(p, {0, 0, 5, 1, 0, 2, 9, 0, 0, 1});
                },
                Fault::Source, "moves 9 right and 0 up from row 4, column 6"},
        Refusal{"RunsStoredTopDown",
                [](const Panel& p) {
                  Bmp b = p.indexFile(p.target());
                  b.compression = bmpbuild::Rle8, b.topDown = true;
                  return bmpbuild::write(b);
                },
                Fault::Source, "negative height"},
        // Pixels that name no colour of their own palette.
        Refusal{"IndexPastThePalette",
                [](const Panel& p) {
                  Bmp b = p.indexFile(p.target());
                  b.palette.resize(16);
                  b.pixels[4] = 40, b.pixels[20] = 16;
                  return bmpbuild::write(b);
                },
                Fault::Source,
                "pixel in row 1, column 5 (counted from the top left) names palette entry 40, and "
                "its palette has only 16 colours."},
        Refusal{"OneBitPastAPaletteOfOne",
                [](const Panel& p) {
                  Bmp b = p.indexFile(Indices(Panel::W * Panel::H, 0), 1);
                  b.palette.resize(1);
                  b.pixels.back() = 1;
                  return bmpbuild::write(b);
                },
                Fault::Source,
                "row 5, column 13 (counted from the top left) names palette entry 1"},
        Refusal{"FarTallerTopDown",  // refused by its header, not by the reader's allocation limit
                [](const Panel& p) {
                  Bmp b = p.indexFile(Indices(Panel::W * 100000, 1));
                  b.height = 100000, b.topDown = true;
                  return bmpbuild::write(b);
                },
                Fault::DoesNotFit, "13 x 100000"},
        Refusal{"NegativeBitCountInAShortHeader",  // a fuzz finding: the count was shifted by
                [](const Panel& p) {
                  Bmp b = p.indexFile(p.target());
                  b.infoSize = 12;
                  std::vector<uint8_t> f = bmpbuild::write(b);
                  f[24] = 0x43, f[25] = 0xC7;
                  return f;
                },
                Fault::Source, "could not be decoded"},
        Refusal{"ReadOnlyGauge",
                [](const Panel& p) { return bmpbuild::write(p.colourFile(p.target())); },
                Fault::ReadOnly, "reading only", true}),
    [](const testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

// The export's own layout goes in byte for byte, padding included, also as a named file.
TEST(OwnLayout, IsCopiedByteForByte) {
  TempDir dir;
  const Panel panel;
  panel.g.writeTo("panel.gau");
  auto gauge =
      io::openFileChannel("panel.gau", io::OpenMode::ReadWriteExisting, nullptr);
  ASSERT_TRUE(bmp::exportBitmap(*gauge, panel.pos, "x.bmp"));
  std::vector<uint8_t> edited = dir.read("x.bmp");
  edited[1078 + 2] ^= 1, edited[1078 + 13] ^= 1;  // a pixel and a padding byte
  gaugebuild::Gauge().raw(edited).writeTo("x.bmp");

  const Result<imageio::ImageImport> r = imageio::importImage(*gauge, panel.pos, "x.bmp");
  ASSERT_TRUE(r) << r.reason();
  EXPECT_FALSE(r->decoded);
  std::vector<uint8_t> want = panel.g.bytes();
  want[panel.pixelStart() + 2] ^= 1, want[panel.pixelStart() + 13] ^= 1;
  EXPECT_EQ(dir.read("panel.gau"), want);
  EXPECT_EQ(imageio::importImage(*gauge, panel.pos, "missing.bmp").fault(), Fault::Source);
}

}  // namespace
