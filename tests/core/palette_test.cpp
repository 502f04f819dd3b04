// A palette byte is written only into an entry of the bitmap's own palette, inside the file.

#include "gau/palette.h"

#include <gtest/gtest.h>

#include "platform/file_channels.h"
#include "tools/gauge_builder.h"

TEST(Palette, NothingOutsideThisPaletteIsReadOrWritten) {
  struct Row { const char* why; int32_t n, storedNow; int64_t keep; bool failWrites; };
  const Row rows[] = {
      {"entry 16 of 16", 16, 16, 0, false},     {"entry -1", -1, 16, 0, false},
      {"count now 300", 20, 300, 0, false},     {"count now -1", 0, -1, 0, false},
      {"entry past the end", 15, 16, 89, false}, {"write error", 0, 16, 0, true},
  };
  for (const Row& r : rows) {
    gaugebuild::Gauge g;
    g.filler(30);
    const int32_t pos = g.plant(gaugebuild::patterned(4, 2, 16));
    g.poke32(pos + 20, r.storedNow);
    if (r.keep) g.bytes().resize(static_cast<size_t>(pos + r.keep - 1));  // blue of 15 in, red out
    auto gauge = platform::memoryChannel(g.bytes());
    gauge->failWrites(r.failWrites);
    EXPECT_FALSE(gau::writeEntryByte(*gauge, pos, r.n, gau::ColorChannel::Red, 7)) << r.why;
    EXPECT_EQ(gauge->bytes(), g.bytes()) << r.why;
    if (r.keep) {
      EXPECT_FALSE(gau::readEntry(*gauge, pos, r.n)) << "display past the end";
    }
    EXPECT_EQ(gauge->readsBeforeStart(), 0);
  }
}
