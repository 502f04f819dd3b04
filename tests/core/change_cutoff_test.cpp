// Changes cut off at every byte, on a full disk, and in a folder that cannot
// be written: each in a child process (fork, a mount namespace, another user),
// so these run on POSIX systems only.

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "gau/bitmap_record.h"
#include "gau/change.h"
#include "gau/history.h"
#include "gau/transparency.h"
#include "gau/undo.h"
#include "gauge_dir.h"
#include "io/file_channels.h"

namespace {

namespace fs = std::filesystem;

// Runs `change` in a child process that ends after `k` bytes written (-1: never);
// true when it was cut off.
bool cutOffAfter(int64_t k, const std::function<void()>& change) {
  const pid_t child = fork();
  if (child == 0) {
    io::test_hooks::exitAfterBytes = k;
    change();
    std::_Exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == io::test_hooks::kCutOffStatus;
}

struct CutRow {
  const char* name;
  int32_t w, h;
  int64_t step;  // every k, or every step-th
};

class CutOff : public ::testing::TestWithParam<CutRow> {};

TEST_P(CutOff, TheNextOpenShowsTheGaugeBeforeOrAfterNeverMixed) {
  const CutRow row = GetParam();
  GaugeDir d(row.w, row.h);
  const auto import = [&d] {
    auto gauge = d.open();
    const int32_t n =
        static_cast<int32_t>(((-static_cast<int64_t>(GetParam().w)) & 3) + GetParam().w);
    std::vector<uint8_t> pixels(static_cast<size_t>(n) * GetParam().h, 0x5A);
    (void)gau::changeRange(*gauge, d.pos + gau::kPaletteFromBmpPos + 16 * 4, pixels,
                           {"import", d.pos});
  };
  ASSERT_FALSE(cutOffAfter(-1, import));
  const std::vector<uint8_t> after = d.now();
  ASSERT_NE(after, d.before);
  const int64_t writes = 2 * static_cast<int64_t>(after.size());  // more than journal + gauge
  int cut = 0;
  for (int64_t k = 0; k <= writes; k += row.step) {
    gaugebuild::Gauge fresh;
    fresh.raw(d.before).writeTo(d.name);
    if (!cutOffAfter(k, import)) break;  // past the last write: the change completes
    ++cut;
    const auto restored = gau::recoverGauge(d.name);  // what the next open does
    ASSERT_TRUE(restored) << restored.reason();
    const std::vector<uint8_t> now = d.now();
    ASSERT_TRUE(now == d.before || now == after) << "mixed after " << k << " bytes";
    ASSERT_FALSE(d.journalLeft());
  }
  EXPECT_GT(cut, 2);
}

INSTANTIATE_TEST_SUITE_P(Change, CutOff,
                         ::testing::Values(CutRow{"Small_EveryByte", 8, 8, 1},
                                           CutRow{"Large_Sampled", 255, 256, 3989}),
                         [](const auto& info) { return std::string(info.param.name); });

// A change of the file's length (a resource made another size), grown and
// shrunk, cut off at every step of its journal and its writes: the next open
// finds the file before, at its old length, or after, never between.
TEST(CutOff, ALengthChangeComesBackWholeOrNotAtAll) {
  for (const int64_t newLength : {int64_t{900}, int64_t{150}}) {
    SCOPED_TRACE(newLength);
    GaugeDir d;
    std::vector<uint8_t> tail(static_cast<size_t>(newLength - 99));
    for (size_t i = 0; i < tail.size(); ++i) tail[i] = static_cast<uint8_t>(i * 13 + 1);
    const auto resize = [&] { (void)gau::changeTail(*d.open(), 100, tail, {"resize", d.pos}); };
    ASSERT_FALSE(cutOffAfter(-1, resize));
    const std::vector<uint8_t> after = d.now();
    ASSERT_EQ(static_cast<int64_t>(after.size()), newLength);
    int cut = 0;
    for (int64_t k = 0; k <= 4 * newLength + 2048; k += 7) {
      std::filesystem::remove_all(d.dir.file("state"));
      gaugebuild::Gauge fresh;
      fresh.raw(d.before).writeTo(d.name);
      if (!cutOffAfter(k, resize)) break;
      ++cut;
      const auto restored = gau::recoverGauge(d.name);
      ASSERT_TRUE(restored) << restored.reason();
      const std::vector<uint8_t> now = d.now();
      ASSERT_TRUE(now == d.before || now == after) << "mixed after " << k << " bytes";
      ASSERT_FALSE(d.journalLeft());
    }
    EXPECT_GT(cut, 10);
  }
}

// A length change's journal is played back only while every byte from where
// it began to the end is one it kept: a byte changed since sets it aside.
TEST(CutOff, ALengthChangesJournalOverWrittenSinceIsSetAside) {
  GaugeDir d;
  const std::vector<uint8_t> tail(700, 0x42);
  ASSERT_TRUE(cutOffAfter(128 + 8 + 200 + 700 + 100, [&] {
    (void)gau::changeTail(*d.open(), 100, tail, {"resize", d.pos});
  }));
  ASSERT_TRUE(d.journalLeft());
  std::vector<uint8_t> spoilt = d.now();
  spoilt[spoilt.size() - 1] ^= 0xFF;  // neither the old byte nor the new one
  gaugebuild::Gauge().raw(spoilt).writeTo(d.name);
  const auto r = gau::recoverGauge(d.name);
  ASSERT_TRUE(r) << r.reason();
  EXPECT_FALSE(r->restored);
  EXPECT_NE(r->notice.find("later change"), std::string::npos) << r->notice;
  EXPECT_EQ(d.now(), spoilt);
}

TEST(CutOff, ARestoredBitmapIsNamed) {
  GaugeDir d;
  ASSERT_TRUE(
      cutOffAfter(128 + 8 + 2 * 64 + 10, [&d] { (void)gau::makeTransparent(*d.open(), d.pos); }));
  const auto r = gau::recoverGauge(d.name);
  ASSERT_TRUE(r && r->restored);
  EXPECT_EQ(r->restored->bmpPos, d.pos);
  EXPECT_EQ(r->restored->command, "transparent");
  EXPECT_EQ(d.now(), d.before);
  EXPECT_NE(gau::restoredSentence(*r->restored, 1).find("Bitmap 1 was put back"),
            std::string::npos);
}

// A full disk before the journal and part-way through it, on a small tmpfs
// (in a mount namespace of its own, so nothing outlives the child); without
// the right to mount, a file-size limit cuts the journal off instead. With
// room for the journal the change is done, its history copied to the state
// folder on another filesystem.
TEST(Change, AFullDiskLeavesTheGaugeAsItWas) {
  constexpr int32_t kW = 256, kH = 64;  // 16 KiB of pixels
  struct Row {
    int64_t room;
    bool done;
  };
  for (const Row row : {Row{0, false}, Row{8192, false}, Row{40960, true}}) {
    const int64_t room = row.room;
    GaugeDir d(kW, kH);
    const pid_t child = fork();
    if (child == 0) {
      std::signal(SIGXFSZ, SIG_IGN);
      fs::create_directory("small");
      const bool tmpfs = unshare(CLONE_NEWNS) == 0 &&
                         mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                         mount("tmpfs", "small", "tmpfs", 0, "size=64k") == 0;
      fs::copy_file(d.name, "small/panel.gau");
      if (tmpfs) {
        // Fill what is left but `room` bytes.
        FILE* f = std::fopen("small/filler", "wb");
        std::vector<char> block(4096, 1);
        for (int64_t left =
                 64 * 1024 - static_cast<int64_t>(d.before.size() + 4095) / 4096 * 4096 - room;
             left > 0; left -= 4096)
          std::fwrite(block.data(), 1, block.size(), f);
        std::fclose(f);
      } else {
        rlimit lim{static_cast<rlim_t>(room), static_cast<rlim_t>(room)};
        setrlimit(RLIMIT_FSIZE, &lim);  // every file, so only the journal is cut
      }
      if (!tmpfs && row.done) std::_Exit(0);  // the limit would cut the gauge's writes too
      auto gauge = io::openFileChannel("small/panel.gau", io::OpenMode::ReadWriteExisting, nullptr);
      const Result<gau::Transparent> r = gau::makeTransparent(*gauge, d.pos);
      const bool ok =
          !fs::exists("small/panel.gau-journal") &&
          (row.done ? r && gau::historyOf("small/panel.gau").size() == 1 &&
                          gau::undoLatest(*gauge) && d.dir.read("small/panel.gau") == d.before
                    : r.fault() == Fault::NotWritten && d.dir.read("small/panel.gau") == d.before);
      std::_Exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << room << " bytes free";
  }
}

// A gauge the user may write in a folder they may not: changed without a
// journal, still kept for undo. Run as another user, since root may write anywhere.
TEST(Change, AFolderThatCannotBeWrittenTakesNoJournal) {
  GaugeDir d;
  fs::create_directory("locked");
  fs::create_directory("state");
  fs::copy_file(d.name, "locked/panel.gau");
  fs::permissions("locked/panel.gau", fs::perms::all);
  fs::permissions("state", fs::perms::all);
  fs::permissions(d.dir.path(), fs::perms::all);
  fs::permissions("locked", fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  const pid_t child = fork();
  if (child == 0) {
    if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) std::_Exit(2);
    auto gauge = io::openFileChannel("locked/panel.gau", io::OpenMode::ReadWriteExisting, nullptr);
    const bool ok = gauge && !gau::journalPossible("locked/panel.gau") &&
                    gau::makeZeroTransparent(*gauge, d.pos) &&
                    gau::historyOf("locked/panel.gau").size() == 1 && gau::undoLatest(*gauge) &&
                    d.dir.read("locked/panel.gau") == d.before;
    std::_Exit(ok ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// A change through a symbolic link keeps its journal beside the file itself:
// cut off, it is put back by the next change through the real name, before
// that change, and never afterwards over it.
TEST(CutOff, AChangeThroughALinkIsPutBackBeforeALaterChange) {
  GaugeDir d;
  fs::create_directory("real");
  fs::rename(d.name, "real/panel.gau");
  fs::create_symlink("real/panel.gau", "link.gau");
  EXPECT_EQ(gau::journalName("link.gau"), gau::journalName("real/panel.gau"));
  ASSERT_TRUE(cutOffAfter(128 + 8 + 2 * 64 + 10, [&d] {
    auto g = io::openFileChannel("link.gau", io::OpenMode::ReadWriteExisting, nullptr);
    (void)gau::makeTransparent(*g, d.pos);
  }));
  auto real = io::openFileChannel("real/panel.gau", io::OpenMode::ReadWriteExisting, nullptr);
  ASSERT_TRUE(gau::makeZeroTransparent(*real, d.pos));
  auto expected = io::memoryChannel(d.before);
  ASSERT_TRUE(gau::makeZeroTransparent(*expected, d.pos));
  EXPECT_EQ(d.dir.read("real/panel.gau"), expected->bytes());
  const auto again = gau::recoverGauge("link.gau");
  ASSERT_TRUE(again && !again->restored && again->notice.empty());
  EXPECT_EQ(d.dir.read("real/panel.gau"), expected->bytes());
}

// What stands at the journal's name and is no journal: said, left, in the way.
TEST(Journal, ALinkAtItsNameIsNamedAndLeft) {
  GaugeDir d;
  fs::create_symlink("nowhere", gau::journalName(d.name));
  const auto r = gau::recoverGauge(d.name);
  ASSERT_TRUE(r);
  EXPECT_NE(r->notice.find("symbolic link"), std::string::npos) << r->notice;
  const Result<> change = gau::makeZeroTransparent(*d.open(), d.pos);
  EXPECT_EQ(change.fault(), Fault::NotWritten);
  EXPECT_NE(change.reason().find(gau::journalName(d.name)), std::string::npos) << change.reason();
  EXPECT_TRUE(fs::is_symlink(gau::journalName(d.name)));
}

TEST(Channel, ANamedPipeIsNoFile) {
  TempDir dir;
  ASSERT_EQ(::mkfifo("pipe", 0600), 0);
  for (const io::OpenMode mode : {io::OpenMode::ReadOnly, io::OpenMode::ReadWriteExisting}) {
    std::string why;
    EXPECT_FALSE(io::openFileChannel("pipe", mode, &why));
    EXPECT_EQ(why, "it is not a regular file");
  }
}

// Run as another user (nobody), as the rows need: a journal of another owner
// is moved aside; one this user may not remove (a sticky folder) is not
// played back; a private gauge's old bytes stay private.
TEST(Journal, OwnersAndPermissions) {
  if (getuid() != 0) GTEST_SKIP() << "needs root, to act as two users";
  GaugeDir d;
  fs::permissions(d.dir.path(), fs::perms::all);
  fs::create_directory("state");
  fs::permissions("state", fs::perms::all);
  struct Row {
    const char* name;
    uid_t gaugeOwner, journalOwner;
    bool sticky;
    bool playedBack;
    const char* said;
  };
  for (const Row row :
       {Row{"another owner's journal", 65534, 0, false, false, "another user"},
        Row{"not removable in a sticky folder", 0, 0, true, false, "may not remove"},
        Row{"the user's own", 65534, 65534, false, true, ""}}) {
    fs::remove_all("shared");
    fs::create_directory("shared");
    gaugebuild::Gauge().raw(d.before).writeTo("shared/panel.gau");
    // A cut-off change's own journal.
    ASSERT_TRUE(cutOffAfter(128 + 8 + 2 * 64 + 10, [&d] {
      auto g = io::openFileChannel("shared/panel.gau", io::OpenMode::ReadWriteExisting, nullptr);
      (void)gau::makeTransparent(*g, d.pos);
    }));
    ASSERT_EQ(::chown("shared/panel.gau", row.gaugeOwner, row.gaugeOwner), 0);
    ASSERT_EQ(::chown("shared/panel.gau-journal", row.journalOwner, row.journalOwner), 0);
    ::chmod("shared/panel.gau", 0666);
    ::chmod("shared", row.sticky ? 01777 : 0777);
    const pid_t child = fork();
    if (child == 0) {
      if (setgid(65534) != 0 || setuid(65534) != 0) std::_Exit(2);
      const auto r = gau::recoverGauge("shared/panel.gau");
      const bool played = r && r->restored.has_value();
      const bool said = r && r->notice.find(row.said) != std::string::npos;
      std::_Exit(played == row.playedBack && said ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << row.name;
  }
  // Permissions no wider than a private gauge's, the history folder 0700.
  ASSERT_EQ(::chmod(d.name.c_str(), 0600), 0);
  ASSERT_TRUE(gau::makeZeroTransparent(*d.open(), d.pos));
  const std::string entry = gau::historyOf(d.name).back().file;
  struct stat st {};
  ASSERT_EQ(::stat(entry.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(fs::path(entry).parent_path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

}  // namespace
