// The one way a gauge changes: undo after each kind of change, refused after
// another program's, through a rename, within the limits; a failed flush and
// another dialpix holding the file.

#include "gau/change.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <thread>

#include "gau/history.h"
#include "gau/import.h"
#include "gau/palette.h"
#include "gau/transparency.h"
#include "gau/undo.h"
#include "gauge_dir.h"
#include "io/file_channels.h"
#include "io/system.h"

namespace {

namespace fs = std::filesystem;

// One change of each kind the tools make.
struct Kind {
  const char* name;
  std::function<Result<>(io::Channel&, int32_t)> run;
};

Result<> drop(auto r) { return r ? Result<>() : Result<>::failure(r); }

const Kind kKinds[] = {
    {"import",
     [](io::Channel& g, int32_t pos) {
       const std::vector<uint32_t> argb(64, 0xff0000ffu);  // blue, mapped onto the palette
       const gau::Picture p{8, 8, 8, {}, {}, argb};
       return drop(gau::importPicture(g, pos, p));
     }},
    {"transparent", [](io::Channel& g, int32_t pos) { return drop(gau::makeTransparent(g, pos)); }},
    {"zero", [](io::Channel& g, int32_t pos) { return gau::makeZeroTransparent(g, pos); }},
    {"palette",
     [](io::Channel& g, int32_t pos) {
       return gau::writeEntryByte(g, pos, 5, gau::ColorChannel::Green, 0xAB);
     }},
};

class EachKind : public ::testing::TestWithParam<Kind> {};

TEST_P(EachKind, UndoRestoresTheOldBytesAndCanItselfBeUndone) {
  GaugeDir d;
  auto gauge = d.open();
  ASSERT_TRUE(GetParam().run(*gauge, d.pos));
  const std::vector<uint8_t> after = d.now();
  EXPECT_NE(after, d.before);
  EXPECT_EQ(after.size(), d.before.size());
  EXPECT_FALSE(d.journalLeft()) << "the journal goes when the change is complete";
  ASSERT_TRUE(gau::undoLatest(*gauge));
  EXPECT_EQ(d.now(), d.before);
  ASSERT_TRUE(gau::undoLatest(*gauge)) << "the undo is a change too";
  EXPECT_EQ(d.now(), after);
  EXPECT_EQ(gau::historyOf(d.name).size(), 3u);
  EXPECT_FALSE(d.journalLeft());
}

INSTANTIATE_TEST_SUITE_P(Change, EachKind, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Undo, IsRefusedWhenAnotherProgramChangedTheBytesSince) {
  GaugeDir d;
  auto gauge = d.open();
  ASSERT_TRUE(gau::makeTransparent(*gauge, d.pos));
  const int64_t pixel = d.pos + gau::kPaletteFromBmpPos + 16 * 4 + 5;
  ASSERT_TRUE(gauge->put1(pixel, 0x42));  // written past dialpix, as another editor would
  const std::vector<uint8_t> edited = d.now();
  const Result<gau::Undone> r = gau::undoLatest(*gauge);
  EXPECT_EQ(r.fault(), Fault::Bitmap);
  EXPECT_NE(r.reason().find("no longer holds"), std::string::npos) << r.reason();
  EXPECT_EQ(d.now(), edited);
}

TEST(Undo, ARenamedGaugeKeepsItsHistory) {
  GaugeDir d;
  ASSERT_TRUE(gau::makeZeroTransparent(*d.open(), d.pos));
  fs::create_directory("moved");
  fs::rename(d.name, "moved/renamed.gau");
  auto gauge = io::openFileChannel("moved/renamed.gau", io::OpenMode::ReadWriteExisting, nullptr);
  ASSERT_EQ(gau::historyOf("moved/renamed.gau").size(), 1u);
  ASSERT_TRUE(gau::undoLatest(*gauge));
  EXPECT_EQ(d.dir.read("moved/renamed.gau"), d.before);
}

TEST(Undo, TheLimitsDropTheOldestChanges) {
  struct Row {
    gau::HistoryLimits limits;
    size_t kept;
  };
  for (const Row& row : {Row{{3, int64_t{1} << 30}, 3},        // per gauge
                         Row{{100, 2 * (128 + 8 + 1)}, 2}}) {  // in all
    GaugeDir d;
    gau::historyLimits() = row.limits;
    auto gauge = d.open();
    for (uint8_t v = 1; v <= 5; ++v)
      ASSERT_TRUE(gau::writeEntryByte(*gauge, d.pos, 2, gau::ColorChannel::Red, v));
    const std::vector<gau::HistoryEntry> kept = gau::historyOf(d.name);
    ASSERT_EQ(kept.size(), row.kept);
    // The newest are kept: the oldest kept one found the value its predecessor wrote.
    auto oldest = io::openFileChannel(kept.front().file, io::OpenMode::ReadOnly, nullptr);
    gau::RecordBytes old;
    ASSERT_EQ(gau::readRecord(*oldest, gau::Form::History, &old).state, gau::RecordState::Whole);
    EXPECT_EQ(old.before, std::vector<uint8_t>{static_cast<uint8_t>(5 - row.kept)});
  }
}

// A failed flush of the journal or of the gauge: not done, and the gauge as it was.
TEST(Change, AFailedFlushLeavesTheGaugeAsItWas) {
  for (const int flush : {1, 2}) {  // the journal's, the gauge's
    GaugeDir d;
    auto gauge = d.open();
    io::test_hooks::failFlushAfter = flush;
    const Result<gau::Transparent> r = gau::makeTransparent(*gauge, d.pos);
    io::test_hooks::failFlushAfter = 0;
    EXPECT_EQ(r.fault(), Fault::NotWritten) << "flush " << flush;
    EXPECT_EQ(d.now(), d.before) << "flush " << flush;
    EXPECT_FALSE(d.journalLeft());
    EXPECT_TRUE(gau::historyOf(d.name).empty());
  }
}

TEST(Change, WaitsForAnotherDialpixThenIsRefused) {
  GaugeDir d;
  auto gauge = d.open();
  io::LockOutcome outcome{};
  auto held = io::lockFile(d.name, std::chrono::milliseconds(0), &outcome, nullptr);
  ASSERT_EQ(outcome, io::LockOutcome::Held);
  std::thread release([&held] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    held.reset();
  });
  EXPECT_TRUE(gau::makeZeroTransparent(*gauge, d.pos)) << "a short wait is waited out";
  release.join();
  held = io::lockFile(d.name, std::chrono::milliseconds(0), &outcome, nullptr);
  const std::vector<uint8_t> was = d.now();
  const Result<> r = gau::writeEntryByte(*gauge, d.pos, 3, gau::ColorChannel::Blue, 9);
  EXPECT_EQ(r.fault(), Fault::NotWritten);
  EXPECT_NE(r.reason().find("Another dialpix"), std::string::npos) << r.reason();
  EXPECT_EQ(d.now(), was);
}

}  // namespace

// Changes of the length between changes in place: undone one by one, the
// file comes back byte for byte, and its length with it.
TEST(Change, UndoGivesBackTheFileAcrossChangesOfItsLength) {
  GaugeDir d;
  const auto end = static_cast<int64_t>(d.before.size());
  const std::vector<uint8_t> longer(2000, 0x3C), shorter(40, 0xC3), colour{0x77};
  ASSERT_TRUE(gau::changeTail(*d.open(), end - 30, longer, {"resize", d.pos}));
  ASSERT_TRUE(gau::changeRange(*d.open(), d.pos + gau::kPaletteFromBmpPos + 4, colour,
                               {"palette", d.pos}));
  ASSERT_TRUE(gau::changeTail(*d.open(), end + 100, shorter, {"resize", d.pos}));
  EXPECT_EQ(static_cast<int64_t>(d.now().size()), end + 99 + 40);
  EXPECT_EQ(gau::historyOf(d.name).size(), 3u);
  const auto undone = gau::undoSteps(*d.open(), 3);
  ASSERT_TRUE(undone) << undone.reason();
  EXPECT_EQ(d.now(), d.before);
  // Each undo is kept too, and redoes what it took back.
  ASSERT_TRUE(gau::undoLatest(*d.open()));
  EXPECT_EQ(static_cast<int64_t>(d.now().size()), end - 31 + 2000);
}
