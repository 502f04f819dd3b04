// Malformed gauge files through every operation on the chosen bitmap. Each row
// says which operations are done and which are refused (everything not named
// is done); every operation is checked to change no byte outside what it may
// change (the pixel array, entry 0's colours, the one palette byte sent), to
// leave the file byte-identical and give a reason when it refuses, and never
// to read before the first byte or change the file's length.

#include <gtest/gtest.h>

#include <climits>
#include <optional>

#include "bmp/bmp_file.h"
#include "gau/export.h"
#include "gau/import.h"
#include "gau/palette.h"
#include "gau/plot.h"
#include "gau/scan.h"
#include "gau/transparency.h"
#include "io/file_channels.h"
#include "io/little_endian.h"
#include "tests/support/odd_gauges.h"
#include "tests/support/recording_canvas.h"

using Bytes = std::vector<uint8_t>;

namespace {

enum Outcome { Done, Refused };

struct Sample {
  Bytes gauge;
  int32_t pos = 0;
  std::optional<Bytes> bmp;  // the .BMP to import; else this bitmap's export, pixels changed
};

struct Row {
  const char* name;
  Sample file;
  int hits = 1;  // what the scan finds
  Outcome exported = Done, imported = Done, viewed = Done, transparent = Done,
          zeroTransparent = Done, displayed = Done, sent = Done;
};
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

Sample from(const support::OddGauge& g) { return {g.bytes, g.pos, std::nullopt}; }
Sample plain(int32_t colors = 2) { return from(support::plain(colors)); }
Sample withSize(int32_t w, int32_t h) { return from(support::withSize(w, h)); }
Sample withColors(int32_t stored) { return from(support::withColors(stored)); }
Sample cutAt(int32_t keep, int32_t colors = 2) { return from(support::cutAt(keep, colors)); }
Sample signatureAt5() { return from(support::signatureAt5()); }
Bytes exportOf(const Sample& s) { return support::exportOf({s.gauge, s.pos}); }
Sample withBmpOf1078Bytes() {
  Sample s = plain();
  const Bytes whole = exportOf(s);
  s.bmp = Bytes(whole.begin(), whole.begin() + bmp::kPixelOffset);
  return s;
}

std::vector<Row> rows() {
  const Outcome R = Refused;
  // clang-format off
  return {
      // A 1078-byte .BMP of no pixels goes back as nothing written.
      {.name = "WidthZero", .file = withSize(0, 2)},
      {.name = "HeightZero", .file = withSize(4, 0)},
      // Nothing to draw or zero; the export refuses a size it cannot write truly.
      {.name = "WidthNegative", .file = withSize(-5, 2), .exported = R, .imported = R},
      {.name = "HeightNegative", .file = withSize(4, -2), .exported = R, .imported = R},
      // Sizes beyond signed 32 bits: only the palette commands, which do not use them, work.
      {.name = "WidthIntMin", .file = withSize(INT_MIN, 2),
       .exported = R, .imported = R, .viewed = R, .transparent = R},
      {.name = "HeightIntMin", .file = withSize(4, INT_MIN),
       .exported = R, .imported = R, .viewed = R, .transparent = R},
      {.name = "WidthIntMax", .file = withSize(INT_MAX, 2),
       .exported = R, .imported = R, .viewed = R, .transparent = R},
      {.name = "HeightIntMax", .file = withSize(4, INT_MAX),
       .exported = R, .imported = R, .viewed = R, .transparent = R},
      // No pixels, yet the y of its dots would pass 32 bits.
      {.name = "WidthZeroHeightIntMax", .file = withSize(0, INT_MAX), .viewed = R},
      {.name = "ColorCountZero", .file = plain(0)},
      {.name = "ColorCount256", .file = plain(256)},
      // No scan hit, so only a stale position reaches it: Make Zero Trnsprt, which reads no
      // count, writes entry 0; what needs the count refuses.
      {.name = "ColorCount257", .file = withColors(257), .hits = 0,
       .exported = R, .imported = R, .viewed = R, .transparent = R, .displayed = R, .sent = R},
      // Width and height would lie before the first byte.
      {.name = "SignatureAtByte5", .file = signatureAt5(),
       .exported = R, .imported = R, .viewed = R, .transparent = R},
      // 16 colours, the file ending in entry 2: the last entry is out of reach.
      {.name = "PaletteRunsPastEnd", .file = cutAt(40, 16), .exported = R, .imported = R,
       .viewed = R, .transparent = R, .displayed = R, .sent = R},
      // Every tool that writes or reads pixels refuses a bitmap cut short by the end.
      {.name = "PixelsRunPastEnd", .file = cutAt(40), .exported = R, .imported = R, .viewed = R,
       .transparent = R},
      {.name = "CutInHeader", .file = cutAt(10), .hits = 0, .exported = R, .imported = R,
       .viewed = R, .transparent = R, .zeroTransparent = R, .displayed = R, .sent = R},
      {.name = "EmptyFile", .file = {{}, 13, std::nullopt}, .hits = 0, .exported = R,
       .imported = R, .viewed = R, .transparent = R, .zeroTransparent = R, .displayed = R,
       .sent = R},
      {.name = "ThreeByteFile", .file = {{1, 0, 8}, 1, std::nullopt}, .hits = 0, .exported = R,
       .imported = R, .viewed = R, .transparent = R, .zeroTransparent = R, .displayed = R,
       .sent = R},
      {.name = "BmpOf1078Bytes", .file = withBmpOf1078Bytes(), .imported = R},
      // 2 colours, 4 x 2 pixels: the file ends on the last pixel byte, which is still whole.
      {.name = "PixelsEndAtLastByte", .file = cutAt(28 + 8 + 8)},
      {.name = "PixelsEndOnePastLastByte", .file = cutAt(28 + 8 + 7), .exported = R,
       .imported = R, .viewed = R, .transparent = R},
  };
  // clang-format on
}

// Where the bitmap's parts lie by its header, worked out apart from the logic.
struct Reach {
  int64_t pixelFirst = 1, pixelLast = 0;  // an empty range when there are none
  int64_t lastEntry = 0;                  // the entry Display and Send work on
};

Reach reachOf(const Sample& s) {
  Reach r;
  const int64_t P = s.pos, L = static_cast<int64_t>(s.gauge.size());
  auto le32 = [&](int64_t p) -> int64_t {
    return p < 1 || p + 3 > L ? 0 : io::le32(&s.gauge[static_cast<size_t>(p - 1)]);
  };
  const int64_t w = le32(P - 8), h = le32(P - 4), stored = le32(P + 20);
  const int64_t colors = stored == 0 ? 256 : stored;
  r.lastEntry = colors - 1;
  r.pixelFirst = P + 28 + 4 * colors;
  r.pixelLast = r.pixelFirst + (w + (4 - (w % 4 + 4) % 4) % 4) * h - 1;
  return r;
}

// Runs `op` on a fresh copy of the gauge; checks what it may change and the refusal rules.
template <class Op>
void check(const char* what, const Row& row, Outcome expected, int64_t mayFirst, int64_t mayLast,
           Op op) {
  SCOPED_TRACE(what);
  auto gauge = io::memoryChannel(row.file.gauge);
  const std::string error = op(*gauge);
  EXPECT_EQ(error.empty() ? Done : Refused, expected) << error;
  const Bytes& before = row.file.gauge;
  const Bytes& after = gauge->bytes();
  ASSERT_EQ(after.size(), before.size()) << "the length changed";
  for (size_t i = 0; i < before.size(); ++i) {
    const auto pos = static_cast<int64_t>(i) + 1;
    if (after[i] == before[i]) continue;
    EXPECT_TRUE(error.empty()) << "a refusal changed byte " << pos;
    EXPECT_TRUE(pos >= mayFirst && pos <= mayLast) << "byte " << pos << " changed";
  }
  EXPECT_EQ(gauge->readsBeforeStart(), 0);
}

class Malformed : public testing::TestWithParam<Row> {};

}  // namespace

TEST_P(Malformed, EveryOperationStaysInsideTheBitmap) {
  const Row& row = GetParam();
  const Sample& s = row.file;
  const Reach reach = reachOf(s);

  EXPECT_EQ(gau::scanBytes(s.gauge).positions.size(), static_cast<size_t>(row.hits));
  auto scanned = io::memoryChannel(s.gauge);
  EXPECT_EQ(gau::scanChannel(*scanned).positions, gau::scanBytes(s.gauge).positions);

  Bytes exported;
  check("export", row, row.exported, 1, 0, [&](io::Channel& g) {
    auto out = io::memoryChannel({});
    const Result<bmp::Exported> r = bmp::writeBmp(g, s.pos, *out);
    EXPECT_EQ(out->bytes().size(), r ? static_cast<size_t>(r->fileBytes) : 0u);
    exported = out->bytes();
    return r.reason();
  });

  // The .BMP to import: the row's, or this bitmap's export with every pixel byte changed.
  Bytes bmpBytes = s.bmp ? *s.bmp : exported.empty() ? exportOf(plain()) : exported;
  if (!s.bmp)
    for (size_t i = bmp::kPixelOffset; i < bmpBytes.size(); ++i) bmpBytes[i] ^= 0x5A;
  check("import", row, row.imported, reach.pixelFirst, reach.pixelLast, [&](io::Channel& g) {
    auto bmpFile = io::memoryChannel(bmpBytes);
    const Result<gau::Imported> r = gau::importPixels(g, s.pos, *bmpFile);
    if (r && r->bytesWritten > 0) {
      uint8_t first = 0;
      g.read(reach.pixelFirst, {&first, 1});
      EXPECT_EQ(first, bmpBytes[bmp::kPixelOffset]) << "the .BMP's pixels land in place";
    }
    return r.reason();
  });

  check("view", row, row.viewed, 1, 0, [&](io::Channel& g) {
    support::RecordingCanvas canvas;
    const Result<gau::Shown> r = gau::showBitmap(g, s.pos, PaletteTable{}, canvas);
    const int64_t pixels = r && r->width > 0 && r->height > 0 ? int64_t{r->width} * r->height : 0;
    EXPECT_EQ(static_cast<int64_t>(canvas.dots.size()), pixels);
    return r.reason();
  });

  check("make transparent", row, row.transparent, reach.pixelFirst, reach.pixelLast,
        [&](io::Channel& g) { return gau::makeTransparent(g, s.pos).reason(); });

  check("make zero transparent", row, row.zeroTransparent, int64_t{s.pos} + 28, int64_t{s.pos} + 30,
        [&](io::Channel& g) { return gau::makeZeroTransparent(g, s.pos).reason(); });

  // The palette window: the count when it loads, then the last entry shown and its red sent.
  check("palette display", row, row.displayed, 1, 0, [&](io::Channel& g) {
    const Result<gau::ColorCount> count = gau::readColorCount(g, s.pos);
    if (!count) return count.reason();
    EXPECT_EQ(count->colors - 1, reach.lastEntry);
    return gau::readEntry(g, s.pos, count->colors - 1).reason();
  });
  const int64_t red = int64_t{s.pos} + 28 + 4 * reach.lastEntry + 2;
  check("palette send", row, row.sent, red, red, [&](io::Channel& g) {
    return gau::writeEntryByte(g, s.pos, static_cast<int32_t>(reach.lastEntry),
                               gau::ColorChannel::Red, 0x77)
        .reason();
  });
}

INSTANTIATE_TEST_SUITE_P(Files, Malformed, testing::ValuesIn(rows()),
                         [](const testing::TestParamInfo<Row>& info) { return info.param.name; });
