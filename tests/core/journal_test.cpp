// Journals and history entries that are not what they claim: each one planted
// beside a gauge as a copy, an edit, a stale leftover or a stranger's file
// would leave it, and what opening the gauge then does. Then the history's
// own faults: undo of many steps, damaged and unheld entries, edited
// positions, a history that cannot be kept.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "gau/change.h"
#include "gau/change_record.h"
#include "gau/history.h"
#include "gau/palette.h"
#include "gau/transparency.h"
#include "gau/undo.h"
#include "gauge_dir.h"
#include "io/file_channels.h"
#include "io/replace_file.h"
#include "io/system.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

void writeFile(const std::string& name, const Bytes& bytes) {
  std::ofstream(name, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

// A journal as a transparent of the GaugeDir's bitmap leaves it when it is cut
// off: its record, and the gauge holding the first half of the new pixels.
struct Planted {
  gau::ChangeRecord record;
  Bytes before, after;  // the run bytes
  Bytes journal;        // the journal's bytes
  Bytes gauge;          // the gauge as the cut left it
};

Planted cutOffTransparent(const GaugeDir& d) {
  Planted p;
  const int64_t first = d.pos + gau::kPaletteFromBmpPos + 16 * 4;  // 16 colours, then 8 x 8 pixels
  const Bytes old(d.before.begin() + first - 1, d.before.begin() + first - 1 + 64);
  const Bytes zeros(64, 0);
  gau::ChangeRecord& r = p.record;
  r.runs = gau::runsBetween(old, zeros, &r.bytesChanged);
  p.before = gau::runBytesOf(old, r.runs);
  p.after = gau::runBytesOf(zeros, r.runs);
  r.position = first;
  r.length = 64;
  r.gaugeLength = static_cast<int64_t>(d.before.size());
  r.bmpPos = d.pos;
  r.oldCrc = gau::crc32Of(p.before);
  r.newCrc = gau::crc32Of(p.after);
  r.file = *io::fileId(d.name);
  r.command = "transparent";
  p.gauge = d.before;
  std::fill_n(p.gauge.begin() + first - 1, 32, 0);
  return p;
}

Bytes encode(const Planted& p) {
  Bytes j = gau::encodePrefix(p.record);
  j.insert(j.end(), p.before.begin(), p.before.end());
  j.insert(j.end(), p.after.begin(), p.after.end());
  return j;
}

bool asideLeft() {
  for (const auto& e : fs::directory_iterator("."))
    if (e.path().filename().string().find("-journal-set-aside-") != std::string::npos) return true;
  return false;
}

enum class Then { PlayedBack, SetAside, LeftAlone, Removed };

struct JournalRow {
  const char* name;
  // Turns the own journal of a cut-off change into the one under test; may
  // change the gauge too (what it holds when opened).
  std::function<void(Planted&, GaugeDir&)> plant;
  Then then;
  const char* said;  // in the notice, when one is due
};

const JournalRow kJournals[] = {
    {"OwnCutOffChange", [](Planted&, GaugeDir&) {}, Then::PlayedBack, ""},
    {"CopiedFromAnotherFileOfTheSameLength",
     [](Planted& p, GaugeDir&) {
       p.record.file.file ^= 1;
       p.journal = encode(p);
     },
     Then::SetAside, "another file"},
    {"StaleLaterChangeWentOver",
     [](Planted& p, GaugeDir&) { std::fill_n(p.gauge.begin() + p.record.position - 1, 8, 0x77); },
     Then::SetAside, "later change"},
    {"PositionInTheFilesFirstBytes",
     [](Planted& p, GaugeDir& d) {
       p.record.position = 1;
       p.gauge = d.before;
       p.journal = encode(p);
     },
     Then::SetAside, "not at its place"},
    {"PositionOnTheSignature",
     [](Planted& p, GaugeDir& d) {
       p.record.position = d.pos - 20;
       p.gauge = d.before;
       p.journal = encode(p);
     },
     Then::SetAside, "not at its place"},
    {"PositionPastTheEnd",
     [](Planted& p, GaugeDir& d) {
       p.record.position = int64_t{1} << 30;
       p.gauge = d.before;
       p.journal = encode(p);
     },
     Then::SetAside, "not at its place"},
    {"MadeForAFileOfAnotherLength",
     [](Planted& p, GaugeDir&) {
       p.record.gaugeLength += 1;
       p.journal = encode(p);
     },
     Then::SetAside, "another length"},
    {"OneOldByteFlipped",  // where the gauge holds the new byte, so only the checksum tells
     [](Planted& p, GaugeDir&) { p.journal[gau::encodePrefix(p.record).size()] ^= 1; },
     Then::SetAside, "damaged or edited"},
    {"TornBeforeTheGaugeWasTouched",
     [](Planted& p, GaugeDir& d) {
       p.journal.resize(p.journal.size() - 3);
       p.gauge = d.before;
     },
     Then::Removed, ""},
    {"ATextFileOfThatName",
     [](Planted& p, GaugeDir& d) {
       p.journal = Bytes{'n', 'o', 't', 'e', 's', '\n'};
       p.gauge = d.before;
     },
     Then::LeftAlone, "not a dialpix journal"},
};

void PrintTo(const JournalRow& row, std::ostream* os) { *os << row.name; }

class Journal : public ::testing::TestWithParam<JournalRow> {};

TEST_P(Journal, IsPlayedBackOnlyWhenItIsTheFilesOwnCutOffChange) {
  const JournalRow& row = GetParam();
  GaugeDir d;
  Planted p = cutOffTransparent(d);
  p.journal = encode(p);
  row.plant(p, d);
  writeFile(d.name, p.gauge);
  const std::string journal = gau::journalName(d.name);
  writeFile(journal, p.journal);

  const Result<gau::Recovery> r = gau::recoverGauge(d.name);
  ASSERT_TRUE(r) << r.reason();
  EXPECT_EQ(d.now(), row.then == Then::PlayedBack ? d.before : p.gauge) << "the gauge";
  EXPECT_EQ(r->restored.has_value(), row.then == Then::PlayedBack);
  EXPECT_EQ(fs::exists(journal), row.then == Then::LeftAlone);
  EXPECT_EQ(asideLeft(), row.then == Then::SetAside) << "moved aside, never deleted";
  if (row.then == Then::LeftAlone) {
    EXPECT_EQ(d.dir.read(journal), p.journal);
  }
  EXPECT_NE(r->notice.find(row.said), std::string::npos) << r->notice;
  EXPECT_EQ(r->notice.empty(), *row.said == '\0') << r->notice;

  // Later changes are not blocked by what was set aside; a stranger's file is
  // not overwritten, and the refusal names it.
  auto gauge = d.open();
  const Result<> change = gau::makeZeroTransparent(*gauge, d.pos);
  EXPECT_EQ(bool(change), row.then != Then::LeftAlone) << change.reason();
  if (!change) {
    EXPECT_NE(change.reason().find(journal), std::string::npos) << change.reason();
  }
}

INSTANTIATE_TEST_SUITE_P(Trust, Journal, ::testing::ValuesIn(kJournals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Journal, AnEmptyGaugeNeverGrows) {
  GaugeDir d;
  Planted p = cutOffTransparent(d);
  writeFile(d.name, {});
  writeFile(gau::journalName(d.name), encode(p));
  ASSERT_TRUE(gau::recoverGauge(d.name));
  EXPECT_EQ(fs::file_size(d.name), 0u);
}

TEST(Journal, ItsNameAlwaysFitsAFolderEntry) {
  // Windows paths stop at 260 characters before a name does.
  if (io::thisSystem() == io::System::Windows) GTEST_SKIP();
  GaugeDir d;
  const std::string longName(250, 'g');
  fs::copy_file(d.name, longName + ".gau");
  const std::string journal = gau::journalName(longName + ".gau");
  EXPECT_LE(fs::path(journal).filename().string().size(), io::kMaxLeafBytes);
  EXPECT_NE(journal, gau::journalName(longName + "h.gau")) << "two long names, two journals";
  auto gauge = io::openFileChannel(longName + ".gau", io::OpenMode::ReadWriteExisting, nullptr);
  EXPECT_TRUE(gau::makeZeroTransparent(*gauge, d.pos));
}

TEST(Change, IsRefusedWhenTheNameLeadsToAnotherFileNow) {
  GaugeDir d;
  auto gauge = d.open();
  fs::rename(d.name, "old.gau");
  fs::copy_file("old.gau", d.name);
  const Result<> r = gau::makeZeroTransparent(*gauge, d.pos);
  EXPECT_EQ(r.fault(), Fault::NotWritten);
  EXPECT_NE(r.reason().find("renamed"), std::string::npos) << r.reason();
  EXPECT_EQ(d.dir.read("old.gau"), d.before);
  EXPECT_EQ(d.now(), d.before);
}

// The count of changed bytes, worked out apart from the program, for runs
// of every length: a long run, bytes already transparent, gaps.
TEST(Change, CountsEveryChangedByte) {
  GaugeDir d(181, 181);
  auto gauge = d.open();
  const int64_t first = d.pos + gau::kPaletteFromBmpPos + 16 * 4;
  const int64_t rowBytes = 184;
  // Pixels 0 in places: a row start now and then, a few lone bytes.
  for (int64_t i = 0; i < rowBytes * 181; i += 997) ASSERT_TRUE(gauge->put1(first + i, 0));
  const Bytes was = d.now();
  ASSERT_TRUE(gau::makeTransparent(*gauge, d.pos));
  int64_t changed = 0;
  for (int64_t i = 0; i < rowBytes * 181; ++i) changed += was[first - 1 + i] != 0;
  const std::vector<gau::HistoryEntry> kept = gau::historyOf(d.name);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept.back().record.bytesChanged, changed);
  ASSERT_TRUE(gau::undoLatest(*gauge));
  EXPECT_EQ(d.now(), was);
}

TEST(Undo, TakesAllStepsEvenPastTheLimitOrNone) {
  GaugeDir d;
  gau::historyLimits().changesPerGauge = 10;
  auto gauge = d.open();
  for (uint8_t v = 1; v <= 6; ++v)
    ASSERT_TRUE(gau::writeEntryByte(*gauge, d.pos, v, gau::ColorChannel::Red, v));
  const Bytes six = d.now();
  // More than are kept, and 0: refused, nothing written.
  EXPECT_EQ(gau::undoSteps(*gauge, 7).fault(), Fault::Bitmap);
  EXPECT_EQ(gau::undoSteps(*gauge, 0).fault(), Fault::Bitmap);
  EXPECT_EQ(d.now(), six);
  // The oldest step no longer finds what it wrote: none is undone.
  ASSERT_TRUE(gauge->put1(d.pos + gau::kPaletteFromBmpPos + 4 * 1 + 2, 0x55));
  const Bytes edited = d.now();
  EXPECT_EQ(gau::undoSteps(*gauge, 6).fault(), Fault::Bitmap);
  EXPECT_EQ(d.now(), edited);
  ASSERT_TRUE(gauge->put1(d.pos + gau::kPaletteFromBmpPos + 4 * 1 + 2, 1));
  // Six undos add six records to a history of ten: none of the six may go first.
  const Result<std::vector<gau::Undone>> all = gau::undoSteps(*gauge, 6);
  ASSERT_TRUE(all) << all.reason();
  EXPECT_EQ(all->size(), 6u);
  EXPECT_EQ(d.now(), d.before);
  EXPECT_EQ(gau::historyOf(d.name).size(), 10u) << "trimmed once the undo was done";
}

TEST(Undo, WritesOnlyInsideTheBitmapTheEntryNames) {
  GaugeDir d;
  auto gauge = d.open();
  ASSERT_TRUE(gau::makeZeroTransparent(*gauge, d.pos));
  const Bytes after = d.now();
  // The entry's position edited to the file's first byte, its checksums made to match.
  const gau::HistoryEntry e = gau::historyOf(d.name).back();
  auto c = io::openFileChannel(e.file, io::OpenMode::ReadOnly, nullptr);
  gau::RecordBytes bytes;
  gau::ReadRecord read = gau::readRecord(*c, gau::Form::History, &bytes);
  c.reset();
  ASSERT_EQ(read.state, gau::RecordState::Whole);
  read.record.position = 1;
  read.record.newCrc =
      gau::crc32Of(gau::runBytesOf(Bytes(after.begin(), after.begin() + 4), read.record.runs));
  Bytes entry = gau::encodePrefix(read.record);
  entry.insert(entry.end(), bytes.before.begin(), bytes.before.end());
  writeFile(e.file, entry);
  const Result<gau::Undone> r = gau::undoLatest(*gauge);
  EXPECT_EQ(r.fault(), Fault::Bitmap) << r.reason();
  EXPECT_EQ(d.now(), after);
}

TEST(History, ADamagedEntryIsSetAsideAndTheOthersKept) {
  GaugeDir d;
  auto gauge = d.open();
  for (uint8_t v = 1; v <= 3; ++v)
    ASSERT_TRUE(gau::writeEntryByte(*gauge, d.pos, 2, gau::ColorChannel::Green, v));
  const std::string newest = gau::historyOf(d.name).back().file;
  fs::resize_file(newest, fs::file_size(newest) - 1);  // cut short
  const gau::History h = gau::historyFor(d.name);
  EXPECT_EQ(h.setAside.size(), 1u);
  EXPECT_EQ(h.entries.size(), 2u);
  // A later change keeps them all, the damaged one still aside.
  ASSERT_TRUE(gau::writeEntryByte(*gauge, d.pos, 3, gau::ColorChannel::Green, 9));
  EXPECT_EQ(gau::historyFor(d.name).setAside.size(), 1u);
  EXPECT_EQ(gau::historyOf(d.name).size(), 3u);
  ASSERT_TRUE(gau::undoLatest(*gauge));
}

TEST(History, ChangesTheFileNoLongerHoldsAreNotListed) {
  GaugeDir d;
  auto gauge = d.open();
  ASSERT_TRUE(gau::makeTransparent(*gauge, d.pos));
  // Another file in its place with the same identity and length: written over.
  Bytes other = d.before;
  for (uint8_t& b : other) b ^= 0x5A;
  ASSERT_TRUE(gauge->write(1, other));
  const gau::History h = gau::historyFor(d.name);
  EXPECT_TRUE(h.entries.empty());
  EXPECT_EQ(h.notHeld, 1);
}

TEST(History, AChangeThatCannotBeKeptIsSaidOnce) {
  GaugeDir d;
  writeFile("state", {'x'});  // the state folder's place taken by a file
  gau::takeChangeNotices();
  auto gauge = d.open();
  ASSERT_TRUE(gau::writeEntryByte(*gauge, d.pos, 1, gau::ColorChannel::Blue, 1));
  ASSERT_TRUE(gau::writeEntryByte(*gauge, d.pos, 1, gau::ColorChannel::Blue, 2));
  const std::vector<gau::ChangeNotice> told = gau::takeChangeNotices();
  ASSERT_EQ(told.size(), 1u);
  EXPECT_NE(told[0].sentence.find("could not be kept for undo"), std::string::npos);
}

// A 4 KiB edit inside a large bitmap keeps about 4 KiB, not the whole range.
TEST(History, KeepsOnlyTheRunsThatDiffer) {
  GaugeDir d(512, 512);
  auto gauge = d.open();
  const int64_t first = d.pos + gau::kPaletteFromBmpPos + 16 * 4;
  Bytes pixels(d.before.begin() + first - 1, d.before.begin() + first - 1 + 512 * 512);
  for (int y = 100; y < 164; ++y)
    for (int x = 200; x < 264; ++x) pixels[static_cast<size_t>(y * 512 + x)] ^= 0xFF;
  ASSERT_TRUE(gau::changeRange(*gauge, first, pixels, {"import", d.pos}));
  const std::vector<gau::HistoryEntry> kept = gau::historyOf(d.name);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_LT(fs::file_size(kept[0].file), 64u * 64 + 64 * 8 + 256);
  ASSERT_TRUE(gau::undoLatest(*gauge));
  EXPECT_EQ(d.now(), d.before);
}

TEST(Replacement, AFailedFlushIsNoCommit) {
  TempDir dir;
  writeFile("old.png", {'o', 'l', 'd'});
  io::Replacement r("old.png", io::Existing::Replace);
  ASSERT_TRUE(r.ready());
  ASSERT_TRUE(r.channel().write(1, Bytes{'n', 'e', 'w'}));
  io::test_hooks::failFlushAfter = 1;
  const bool committed = r.commit();
  io::test_hooks::failFlushAfter = 0;
  EXPECT_FALSE(committed);
  EXPECT_EQ(dir.read("old.png"), (Bytes{'o', 'l', 'd'}));
}

}  // namespace
