#include "gau/palette.h"

#include <gtest/gtest.h>

#include "platform/file_channels.h"
#include "tools/gauge_builder.h"

using gau::ColorChannel;

namespace {

// A bitmap whose palette entry k is blue k, green 255 - k, red k / 2.
struct Sample {
  std::vector<uint8_t> bytes;
  int32_t pos;
  explicit Sample(int32_t storedColors) {
    gaugebuild::Gauge g;
    g.filler(30);
    pos = g.plant(gaugebuild::patterned(4, 2, storedColors));
    g.filler(8, 3);
    bytes = g.bytes();
  }
};

}  // namespace

TEST(Palette, ColourCountAndEntries) {
  for (const int32_t stored : {0, 16}) {
    const Sample s(stored);
    auto gauge = platform::memoryChannel(s.bytes);
    const gau::ColorCountResult count = gau::readColorCount(*gauge, s.pos);
    EXPECT_EQ(count.colors, stored == 0 ? 256 : 16);
    const int32_t last = count.colors - 1;  // 15 lies at +88 to +90
    const gau::EntryResult e = gau::readEntry(*gauge, s.pos, last);
    ASSERT_TRUE(e) << e.error;
    EXPECT_EQ((std::vector<int>{e.blue, e.green, e.red}), (std::vector<int>{last, 255 - last, last / 2}));
  }
  std::vector<uint8_t> first60 = Sample(16).bytes;
  first60.resize(60);
  auto cut = platform::memoryChannel(first60);
  EXPECT_FALSE(gau::readColorCount(*cut, 50));     // field ends past the end
  EXPECT_FALSE(gau::readEntry(*cut, 20, 3));       // entry bytes at 60..62 of 60
  EXPECT_EQ(cut->readsBeforeStart(), 0);
}

TEST(Palette, SendWritesOneByteOfTheEntry) {
  struct Row { ColorChannel channel; int32_t n, offset; };
  for (const Row r : {Row{ColorChannel::Blue, 3, 40}, Row{ColorChannel::Red, 3, 42},
                      Row{ColorChannel::Green, 3, 41}, Row{ColorChannel::Blue, 0, 28},
                      Row{ColorChannel::Red, 255, 28 + 1020 + 2}}) {
    const Sample s(0);
    auto gauge = platform::memoryChannel(s.bytes);
    ASSERT_TRUE(gau::writeEntryByte(*gauge, s.pos, r.n, r.channel, 200));
    auto expected = s.bytes;
    expected.at(static_cast<size_t>(s.pos + r.offset - 1)) = 200;
    EXPECT_EQ(gauge->bytes(), expected) << "entry " << r.n << " offset " << r.offset;
  }
}

TEST(Palette, SendRefusesAnythingButAnEntryOfThisPalette) {
  struct Row { const char* why; int32_t n, storedNow, keep; bool failWrites; };
  const Row rows[] = {
      {"entry 16 of 16", 16, 16, 0, false},        {"entry -1", -1, 16, 0, false},
      {"count now 300", 20, 300, 0, false},        {"count now -1", 0, -1, 0, false},
      {"entry past the end", 15, 16, 88, false},   {"write error", 0, 16, 0, true},
  };
  for (const Row& r : rows) {
    Sample s(16);
    gaugebuild::Gauge g;
    g.raw(s.bytes).poke32(s.pos + 20, r.storedNow);
    if (r.keep) g.bytes().resize(static_cast<size_t>(s.pos + r.keep));  // blue of 15 in, red out
    auto gauge = platform::memoryChannel(g.bytes());
    gauge->failWrites(r.failWrites);
    const gau::SendResult res = gau::writeEntryByte(*gauge, s.pos, r.n, ColorChannel::Red, 7);
    EXPECT_FALSE(res) << r.why;
    EXPECT_EQ(gauge->bytes(), g.bytes()) << r.why;
  }
}
