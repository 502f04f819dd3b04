#include "gau/scan.h"

#include <gtest/gtest.h>

#include "forms/Module1.h"
#include "io/file_channels.h"
#include "temp_dir.h"
#include "tests/support/exhaustive_scan.h"
#include "tools/gauge_builder.h"

using gaugebuild::Gauge;
using gaugebuild::patterned;

namespace {

std::vector<int32_t> scanPositions(const std::vector<uint8_t>& bytes) {
  return gau::scanBytes(bytes).positions;
}

using support::exhaustiveScan;

}  // namespace

TEST(Scan, HeaderAtTheVeryStartIsPosition13) {
  Gauge g;
  const int32_t pos = g.plant(patterned(4, 2, 16));
  g.filler(50);
  EXPECT_EQ(pos, 13);
  EXPECT_EQ(scanPositions(g.bytes()), std::vector<int32_t>{13});
}

TEST(Scan, ColourCountDecidesWhichSignaturesCount) {
  struct Row {
    int32_t stored;
    bool counted;
  };
  for (const Row row : {Row{0, true}, Row{256, true}, Row{1, true}, Row{257, false}, Row{-1, false},
                        Row{INT32_MIN, false}, Row{INT32_MAX, false}}) {
    Gauge g;
    g.filler(30);
    auto b = patterned(4, 2, 2);
    b.storedColors = row.stored;  // palette length stays 2 entries: only the field matters
    const int32_t pos = g.plant(b);
    g.filler(30, 7);
    const auto hits = scanPositions(g.bytes());
    if (row.counted) {
      EXPECT_EQ(hits, std::vector<int32_t>{pos}) << "count " << row.stored;
    } else {
      EXPECT_TRUE(hits.empty()) << "count " << row.stored;
    }
  }
}

TEST(Scan, OnlySignatureAndCountMatter) {
  Gauge g;
  g.filler(10);
  auto odd = patterned(-5, 0, 3);
  odd.headerSize = 12345;
  const int32_t first = g.plant(odd);
  g.filler(3, 2);
  const int32_t second = g.plant(patterned(7, 3, 0));
  g.filler(100, 3);
  EXPECT_EQ(scanPositions(g.bytes()), (std::vector<int32_t>{first, second}));
}

TEST(Scan, NoHitIsBuiltFromBytesPastTheEnd) {
  // Signature bytes cut at the end, then a signature whose count field is cut.
  for (size_t keep : {1u, 2u, 3u, 4u, 20u, 21u, 22u, 23u}) {
    std::vector<uint8_t> b(40, 0x55);
    const std::vector<uint8_t> sig = {1, 0, 8, 0};
    b.insert(b.end(), sig.begin(), sig.begin() + std::min<size_t>(keep, 4));
    while (b.size() < 40 + keep) b.push_back(0);  // a zero count, cut short
    EXPECT_TRUE(scanPositions(b).empty()) << keep << " bytes kept";
  }
  std::vector<uint8_t> whole(40, 0x55);
  for (int v : {1, 0, 8, 0}) whole.push_back(static_cast<uint8_t>(v));
  whole.resize(whole.size() + 20, 0);
  EXPECT_EQ(scanPositions(whole), std::vector<int32_t>{41});
}

TEST(Scan, KeepsTheFirst100AndCountsTheRest) {
  Gauge g;
  std::vector<int32_t> planted;
  for (int i = 0; i < 130; ++i) {
    planted.push_back(g.plant(patterned(3, 1, 1, static_cast<uint8_t>(i))));
    g.filler(5, static_cast<uint32_t>(i));
  }
  const gau::ScanResult r = gau::scanBytes(g.bytes(), PositionTable::kLast);
  EXPECT_EQ(r.totalHits, 130);
  ASSERT_EQ(r.positions.size(), 100u);
  EXPECT_TRUE(std::equal(r.positions.begin(), r.positions.end(), planted.begin()));
  EXPECT_EQ(gau::scanBytes(g.bytes()).positions, planted) << "by default every hit is kept";
}

TEST(Scan, BlockReadsOfAFileEqualTheExhaustiveScan) {
  // Dense random bytes with many near-signatures and hits across block edges.
  std::vector<uint8_t> b(9u << 20);
  uint32_t x = 12345;
  for (auto& v : b) {
    x = x * 1103515245u + 12345u;
    const uint32_t r = x >> 16;
    v = static_cast<uint8_t>((r & 3) == 0 ? 1 : (r & 7) == 1 ? 8 : (r & 1) ? 0 : r >> 8);
  }
  for (size_t edge : {size_t{4} << 20, size_t{8} << 20}) {
    for (size_t at : {edge - 24, edge - 13, edge - 3, edge - 1, edge}) {
      const uint8_t sig[] = {1, 0, 8, 0};
      std::copy(sig, sig + 4, b.begin() + static_cast<long>(at));
      std::fill_n(b.begin() + static_cast<long>(at + 20), 4, uint8_t{0});
    }
  }
  TempDir dir;
  Gauge g;
  g.raw(b);
  ASSERT_TRUE(g.writeTo("dense.gau"));
  std::string why;
  auto ch = io::openFileChannel("dense.gau", io::OpenMode::ReadOnly, &why);
  ASSERT_TRUE(ch) << why;
  const auto expected = exhaustiveScan(b);
  const gau::ScanResult r = gau::scanChannel(*ch, SIZE_MAX);
  EXPECT_GT(expected.size(), 1000u);
  EXPECT_EQ(r.positions, expected);
  EXPECT_EQ(r.totalHits, static_cast<int64_t>(expected.size()));
  EXPECT_FALSE(r.readFailed);
  EXPECT_EQ(gau::scanBytes(b, SIZE_MAX).positions, expected);
}

TEST(Scan, TheLastColourCountReadIsLeftEvenPastTheEnd) {
  Gauge g;
  g.filler(9);
  const int32_t first = g.plant(patterned(3, 1, 16));
  // A signature in the last four bytes: its count reads as 0 and it is no hit.
  g.raw({1, 0, 8, 0});
  const gau::ScanResult r = gau::scanBytes(g.bytes());
  EXPECT_EQ(r.positions, std::vector<int32_t>{first});
  EXPECT_EQ(r.lastColorCount, 0);
  auto ch = io::memoryChannel(g.bytes());
  EXPECT_EQ(gau::scanChannel(*ch).lastColorCount, 0);
}

TEST(Scan, Bitmap100OfA100BitmapFileIsReachable) {
  Gauge g;
  for (int i = 0; i < 100; ++i) g.plant(patterned(1, 1, 1, static_cast<uint8_t>(i)));
  const gau::ScanResult r = gau::scanBytes(g.bytes(), PositionTable::kLast);
  ASSERT_EQ(r.positions.size(), 100u);
  PositionTable table;
  for (size_t k = 0; k < r.positions.size(); ++k)
    table.store(static_cast<int>(k) + 1, r.positions[k]);
  EXPECT_TRUE(table.isSet(100));
  EXPECT_EQ(table(100), r.positions.back());
  table.store(101, 5);
  EXPECT_FALSE(table.isSet(101));
  EXPECT_EQ(table(101), 0);
}

// A file that gives fewer bytes than it holds from byte `stop` on, as a bad
// sector or a file cut short behind the program's back does.
class ShortReads : public io::MemoryChannel {
 public:
  ShortReads(std::vector<uint8_t> bytes, int64_t stop)
      : MemoryChannel(std::move(bytes), "short.gau"), stop_(stop) {}

 protected:
  int64_t readAt(int64_t offset, std::span<uint8_t> out) override {
    const int64_t end = offset + static_cast<int64_t>(out.size());
    if (end <= stop_) return MemoryChannel::readAt(offset, out);
    fail("Input/output error");
    if (offset >= stop_) return 0;
    return MemoryChannel::readAt(offset, out.first(static_cast<size_t>(stop_ - offset)));
  }

 private:
  int64_t stop_;
};

TEST(Scan, AShortReadIsFlaggedNotTakenForTheEnd) {
  Gauge g;
  g.filler(30);
  g.plant(patterned(4, 2, 16));
  const size_t between = g.bytes().size();
  g.filler(20, 2);
  g.plant(patterned(3, 3, 2));
  for (const size_t stop : {size_t{0}, between}) {
    ShortReads file(g.bytes(), static_cast<int64_t>(stop));
    const gau::ScanResult r = gau::scanChannel(file);
    EXPECT_TRUE(r.readFailed) << "reads stop at " << stop;
    EXPECT_LT(r.positions.size(), 2u);
  }
}
