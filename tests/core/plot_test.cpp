#include "gau/plot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "forms/Module1.h"
#include "io/file_channels.h"
#include "tests/support/counting_channel.h"
#include "tests/support/recording_canvas.h"
#include "tools/gauge_builder.h"

using gaugebuild::Bitmap;
using gaugebuild::Gauge;
using gaugebuild::patterned;

namespace {

using support::CountingChannel;
using support::Dot;
using support::Line;
using support::RecordingCanvas;

// SHOW as the viewer runs it: what it found goes into the shared record.
Result<gau::Shown> show(io::Channel& ch, Module1Record& m, gau::Canvas& cv) {
  Result<gau::Shown> r = gau::showBitmap(ch, m.BmpPos, m.PalTable, cv);
  if (r) storeShown(*r, m);
  return r;
}

// One gauge file with bitmaps planted between other bytes.
struct Fixture {
  Gauge gauge;
  std::vector<int32_t> pos;
  explicit Fixture(const std::vector<Bitmap>& bitmaps) {
    gauge.filler(37);
    for (const Bitmap& b : bitmaps) pos.push_back(gauge.plant(b)), gauge.filler(23, 5);
  }
  std::unique_ptr<CountingChannel> channel() const {
    return std::make_unique<CountingChannel>(gauge.bytes());
  }
};

// The reading of the design, one byte per call, as the reference for the block reading.
void showByteByByte(io::Channel& ch, Module1Record& m, gau::Canvas& cv) {
  cv.clear();
  const int32_t p = m.BmpPos;
  m.BmpWidth = ch.get4(p - 8);
  m.BmpHeight = ch.get4(p - 4);
  m.ColorsUsed = ch.get4(p + 20);
  if (m.ColorsUsed == 0) m.ColorsUsed = 256;
  for (int k = 0; k < m.ColorsUsed; ++k) {
    m.WorkPos = p + 28 + 4 * k;
    m.PalTable[k][1] = m.BlueBuf = ch.get1(m.WorkPos);
    m.PalTable[k][2] = m.GreenBuf = ch.get1(m.WorkPos + 1);
    m.PalTable[k][3] = m.RedBuf = ch.get1(m.WorkPos + 2);
  }
  cv.setDotSize(2), m.CharBuf = '2';
  if (m.BmpHeight > 200 || m.BmpWidth > 200) cv.setDotSize(1), m.CharBuf = '1';
  const int z = m.CharBuf - '0';
  const double f = m.BmpWidth / 4.0 - std::floor(m.BmpWidth / 4.0);
  const int pad = f == 0 ? 0 : f == 0.75 ? 1 : f == 0.5 ? 2 : 3;
  m.WorkPos = p + 28 + 4 * m.ColorsUsed + (m.BmpWidth + pad) * m.BmpHeight - 1;
  for (int r = 0; r < m.BmpHeight; ++r) {
    m.WorkPos -= pad;
    for (int c = m.BmpWidth - 1; c >= 0; --c) {
      const int i = m.ByteBuf = ch.get1(m.WorkPos);
      cv.dot(10 * z * (c + 1), 1 + 10 * z * r, static_cast<uint8_t>(m.PalTable[i][3]),
             static_cast<uint8_t>(m.PalTable[i][2]), static_cast<uint8_t>(m.PalTable[i][1]));
      m.WorkPos -= 1;
    }
  }
  cv.printLine("");
  cv.printLine(std::string(" ZOOM=") + static_cast<char>(m.CharBuf));
}

Dot patternedDot(int32_t x, int32_t y, int size, int index) {  // colours of patterned()
  return {x, y, size, index / 2, 255 - index, index};
}

}  // namespace

TEST(Plot, TwoByTwoExamplePlotsTopRowFirstRightToLeft) {
  Bitmap b;
  b.width = b.height = 2;
  b.storedColors = 5;
  b.palette = {0, 0, 0, 0, 1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0};
  b.pixels = {1, 2, 0, 0, 3, 4, 0, 0};  // a b x x c d x x
  Fixture f({b});
  auto ch = f.channel();
  Module1Record m;
  m.BmpPos = f.pos[0];
  RecordingCanvas cv;
  ASSERT_TRUE(show(*ch, m, cv));
  const std::vector<Dot> want = {{40, 1, 2, 12, 11, 10},  // d
                                 {20, 1, 2, 9, 8, 7},     // c
                                 {40, 21, 2, 6, 5, 4},    // b
                                 {20, 21, 2, 3, 2, 1}};   // a
  EXPECT_EQ(cv.dots, want);
  EXPECT_EQ(cv.lines, (std::vector<Line>{{0, 21 + RecordingCanvas::kLine, " ZOOM=2"}}));
  EXPECT_EQ(m.BmpWidth, 2);
  EXPECT_EQ(m.ColorsUsed, 5);
  EXPECT_EQ(m.CharBuf, '2');
  EXPECT_EQ(m.WorkPos, f.pos[0] + 28 + 20 - 1);  // one before the pixel array
  EXPECT_EQ(ch->writes, 0);
}

TEST(Plot, EveryRowShowsItsOwnPixelsAndNoPadByte) {
  struct Row {
    int32_t width, pad;
  };
  for (const Row row : {Row{1, 3}, Row{2, 2}, Row{3, 1}, Row{4, 0}, Row{5, 3}}) {
    const int32_t h = 3, stride = row.width + row.pad;
    Fixture f({patterned(row.width, h, 0)});
    auto ch = f.channel();
    Module1Record m;
    m.BmpPos = f.pos[0];
    RecordingCanvas cv;
    ASSERT_TRUE(show(*ch, m, cv));
    std::vector<Dot> want;
    for (int r = 0; r < h; ++r)
      for (int c = row.width - 1; c >= 0; --c)
        want.push_back(patternedDot(20 * (c + 1), 1 + 20 * r, 2, (h - 1 - r) * stride + c));
    EXPECT_EQ(cv.dots, want) << "width " << row.width;
  }
}

TEST(Plot, ZoomTwoUpTo200By200AndOneAbove) {
  struct Row {
    int32_t w, h, zoom;
  };
  for (const Row row :
       {Row{200, 200, 2}, Row{201, 10, 1}, Row{10, 201, 1}, Row{200, 1, 2}, Row{1, 200, 2}}) {
    Fixture f({patterned(row.w, row.h, 16)});
    auto ch = f.channel();
    Module1Record m;
    m.BmpPos = f.pos[0];
    RecordingCanvas cv;
    ASSERT_TRUE(show(*ch, m, cv));
    const int32_t pitch = 10 * row.zoom, lastY = 1 + pitch * (row.h - 1);
    ASSERT_EQ(cv.dots.size(), size_t(row.w) * row.h);
    EXPECT_EQ(cv.dots.front().x, pitch * row.w) << row.w << "x" << row.h;
    EXPECT_EQ(cv.dots.front().size, row.zoom);
    EXPECT_EQ(cv.dots.back().x, pitch);
    EXPECT_EQ(cv.dots.back().y, lastY);
    EXPECT_EQ(m.CharBuf, '0' + row.zoom);
    EXPECT_EQ(cv.lines, (std::vector<Line>{{0, lastY + RecordingCanvas::kLine,
                                            " ZOOM=" + std::to_string(row.zoom)}}));
  }
}

TEST(Plot, StoredCountZeroReads256EntriesBeforeThePixels) {
  Bitmap b = patterned(3, 1, 0);
  b.pixels = {255, 0, 128, 0};
  Fixture f({b});
  auto ch = f.channel();
  Module1Record m;
  m.BmpPos = f.pos[0];
  RecordingCanvas cv;
  ASSERT_TRUE(show(*ch, m, cv));
  EXPECT_EQ(m.ColorsUsed, 256);
  EXPECT_EQ(cv.dots, (std::vector<Dot>{patternedDot(60, 1, 2, 128), patternedDot(40, 1, 2, 0),
                                       patternedDot(20, 1, 2, 255)}));
  EXPECT_EQ(m.WorkPos, f.pos[0] + 1052 - 1);
}

TEST(Plot, PixelBeyondThePaletteTakesWhatAnEarlierShowLeft) {
  Bitmap small = patterned(2, 1, 2);
  small.palette = {10, 20, 30, 0, 40, 50, 60, 0};
  small.pixels = {200, 1, 0, 0};
  Fixture f({small, patterned(4, 4, 0)});
  auto ch = f.channel();
  Module1Record m;
  RecordingCanvas cv;
  m.BmpPos = f.pos[0];
  ASSERT_TRUE(show(*ch, m, cv));
  EXPECT_EQ(cv.dots.back(), (Dot{20, 1, 2, 0, 0, 0})) << "never written: black";
  m.BmpPos = f.pos[1];
  ASSERT_TRUE(show(*ch, m, cv));
  m.BmpPos = f.pos[0];
  ASSERT_TRUE(show(*ch, m, cv));
  EXPECT_EQ(cv.dots, (std::vector<Dot>{{40, 1, 2, 60, 50, 40}, patternedDot(20, 1, 2, 200)}));
  EXPECT_EQ(m.PalTable[200][0], 0) << "component 0 is never written";
}

TEST(Plot, WidthOrHeightNotPositivePlotsNothingAndZoomLineIsSecondLine) {
  struct Row {
    int32_t w, h;
    const char* zoomLine;
  };
  for (const Row row : {Row{0, 5, " ZOOM=2"}, Row{5, 0, " ZOOM=2"}, Row{-4, 3, " ZOOM=2"},
                        Row{3, -2, " ZOOM=2"}, Row{300, 0, " ZOOM=1"}}) {
    Fixture f({patterned(row.w, row.h, 4)});
    auto ch = f.channel();
    Module1Record m;
    m.BmpPos = f.pos[0];
    RecordingCanvas cv;
    cv.dot(500, 500, 1, 1, 1);  // an earlier picture, cleared by SHOW
    ASSERT_TRUE(show(*ch, m, cv)) << row.w << "x" << row.h;
    EXPECT_TRUE(cv.dots.empty());
    EXPECT_EQ(cv.lines, (std::vector<Line>{{0, RecordingCanvas::kLine, row.zoomLine}}));
  }
}

TEST(Plot, NonsenseHeadersAreRefusedBeforeAnythingIsReadOrDrawn) {
  struct Row {
    const char* name;
    std::function<void(Gauge&, int32_t& pos)> spoil;
  };
  const Row rows[] = {
      {"width of millions", [](Gauge& g, int32_t& p) { g.poke32(p - 8, 3'000'000); }},
      {"width x height overflows",
       [](Gauge& g, int32_t& p) { g.poke32(p - 8, 100'000), g.poke32(p - 4, 100'000); }},
      {"pad x height overflows",
       [](Gauge& g, int32_t& p) { g.poke32(p - 8, -3), g.poke32(p - 4, 1'000'000'000); }},
      {"10 x width overflows",
       [](Gauge& g, int32_t& p) { g.poke32(p - 8, 300'000'000), g.poke32(p - 4, 0); }},
      {"height INT32_MIN", [](Gauge& g, int32_t& p) { g.poke32(p - 4, INT32_MIN); }},
      {"colour count 300", [](Gauge& g, int32_t& p) { g.poke32(p + 20, 300); }},
      {"palette cut off", [](Gauge& g, int32_t& p) { g.bytes().resize(size_t(p) + 28 + 100); }},
      {"pixels cut off",
       [](Gauge& g, int32_t& p) { g.bytes().resize(size_t(p) + 28 + 1024 + 10); }},
      {"header before the file", [](Gauge&, int32_t& p) { p = 3; }},
      {"header past the end", [](Gauge& g, int32_t& p) { p = int32_t(g.bytes().size()) - 10; }},
  };
  for (const Row& row : rows) {
    Gauge g;
    g.filler(40);
    int32_t pos = g.plant(patterned(8, 8, 0));
    row.spoil(g, pos);
    CountingChannel ch(g.bytes());
    Module1Record m;
    m.BmpPos = pos;
    m.BmpWidth = m.WorkPos = 77;
    m.PalTable[0][1] = 99;
    RecordingCanvas cv;
    cv.dot(500, 500, 1, 1, 1);
    const Result<gau::Shown> r = show(ch, m, cv);
    EXPECT_FALSE(r) << row.name;
    EXPECT_FALSE(r.reason().empty()) << row.name;
    EXPECT_TRUE(cv.dots.empty() && cv.lines.empty()) << row.name;
    EXPECT_EQ(m.BmpWidth, 77) << row.name;
    EXPECT_EQ(m.WorkPos, 77) << row.name;
    EXPECT_EQ(m.PalTable[0][1], 99) << row.name;
    EXPECT_EQ(ch.bytes(), g.bytes()) << row.name;
    EXPECT_EQ(ch.writes, 0) << row.name;
  }
}

TEST(Plot, BlockReadingEqualsByteByByteReading) {
  struct Row {
    int32_t w, h, stored;
  };
  for (const Row row :
       {Row{301, 250, 0}, Row{1, 20'000, 3}, Row{7, 3, 5}, Row{-5, 3, 2}, Row{6, 0, 256}}) {
    Fixture f({patterned(row.w, row.h, row.stored, 17)});
    auto blocks = f.channel(), bytes = f.channel();
    Module1Record a;
    a.BmpPos = f.pos[0];
    for (int k = 0; k < 257; ++k) a.PalTable[k] = {0, int16_t(k), int16_t(k / 3), 7};
    Module1Record b = a;
    RecordingCanvas ca, cb;
    ASSERT_TRUE(show(*blocks, a, ca));
    showByteByByte(*bytes, b, cb);
    const auto label = std::to_string(row.w) + "x" + std::to_string(row.h);
    EXPECT_EQ(ca.dots, cb.dots) << label;
    EXPECT_EQ(ca.lines, cb.lines) << label;
    EXPECT_EQ(a.PalTable, b.PalTable) << label;
    EXPECT_EQ(std::tie(a.BmpWidth, a.BmpHeight, a.ColorsUsed, a.WorkPos, a.ByteBuf, a.BlueBuf,
                       a.GreenBuf, a.RedBuf, a.CharBuf),
              std::tie(b.BmpWidth, b.BmpHeight, b.ColorsUsed, b.WorkPos, b.ByteBuf, b.BlueBuf,
                       b.GreenBuf, b.RedBuf, b.CharBuf))
        << label;
    EXPECT_LE(blocks->reads, 10) << label;
    EXPECT_EQ(blocks->writes, 0) << label;
  }
}
