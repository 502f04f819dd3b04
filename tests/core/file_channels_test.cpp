// Each channel operation reports its own failure, and only its own.

#include "io/file_channels.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "io/system.h"
#include "temp_dir.h"

namespace {

using io::Channel;

TEST(FileChannels, AnErrorBelongsToTheOperationThatFailed) {
  auto ch = io::memoryChannel({1, 2, 3, 4});
  ch->failWrites(true);
  EXPECT_FALSE(ch->put1(1, 9));
  EXPECT_FALSE(ch->error().empty());
  ch->failWrites(false);
  EXPECT_TRUE(ch->put1(1, 9));
  EXPECT_TRUE(ch->error().empty()) << "an old failure reported for a new success";
  EXPECT_EQ(ch->get1(1), 9);
  ch->failFlushes(true);
  EXPECT_FALSE(ch->flush());
  EXPECT_EQ(ch->error(), "flushes are switched off");
  EXPECT_EQ(ch->get4(1), 0x04030209);
  EXPECT_TRUE(ch->error().empty());
}

TEST(FileChannels, AClosedChannelNumberFailsEveryOperation) {
  io::FileChannels channels;
  Channel& none = channels[3];
  EXPECT_EQ(none.length(), -1);
  EXPECT_FALSE(none.error().empty());
  uint8_t b[4] = {7, 7, 7, 7};
  EXPECT_EQ(none.read(1, b), 0u);
  EXPECT_EQ(b[0], 0);
  EXPECT_FALSE(none.error().empty());
  EXPECT_FALSE(none.put1(1, 1));
  EXPECT_FALSE(none.flush());
  EXPECT_FALSE(channels.isOpen(3));
}

// Files of the kernel's own folders say what a disk file cannot be made to:
// fsync refused on /proc, fewer bytes than fstat claims on /sys.
TEST(FileChannels, RealFilesReportRefusedFlushesAndShortReads) {
  if (io::thisSystem() != io::System::Posix) GTEST_SKIP() << "/proc and /sys are Linux's";
  std::string why;
  if (auto proc = io::openFileChannel("/proc/self/comm", io::OpenMode::ReadWriteExisting, &why)) {
    EXPECT_FALSE(proc->flush());
    EXPECT_NE(proc->error().find("flushed"), std::string::npos) << proc->error();
  } else {
    ADD_FAILURE() << "/proc/self/comm: " << why;
  }
  const char* sys = "/sys/kernel/mm/transparent_hugepage/enabled";
  if (!std::filesystem::exists(sys)) GTEST_SKIP() << sys << " is not there";
  auto ch = io::openFileChannel(sys, io::OpenMode::ReadOnly, &why);
  ASSERT_TRUE(ch) << why;
  ASSERT_GT(ch->length(), 1000);
  uint8_t b[16];
  EXPECT_LT(ch->read(1000, b), sizeof b);
  EXPECT_NE(ch->error().find("ended"), std::string::npos) << ch->error();
}

TEST(FileChannels, AReadOnlyChannelRefusesWrites) {
  TempDir dir;
  std::ofstream("r.gau") << "abcd";
  std::string why;
  auto ch = io::openFileChannel("r.gau", io::OpenMode::ReadOnly, &why);
  ASSERT_TRUE(ch) << why;
  EXPECT_TRUE(ch->readOnly());
  EXPECT_FALSE(ch->put1(1, 'x'));
  EXPECT_EQ(dir.read("r.gau"), (std::vector<uint8_t>{'a', 'b', 'c', 'd'}));
}

// What another program may do to the name of an open gauge file.
struct NameChange {
  const char* what;
  void (*change)();
  io::AtName expected;
  bool posixOnly = false;
};

class FileAtItsName : public testing::TestWithParam<NameChange> {};

TEST_P(FileAtItsName, IsToldFromTheFileOpen) {
  if (GetParam().posixOnly && io::thisSystem() != io::System::Posix)
    GTEST_SKIP() << "wine neither replaces nor removes the name of a file that is open";
  TempDir dir;
  std::ofstream("p.gau") << "abcd";
  std::ofstream("new.gau") << "wxyz";
  std::string why;
  auto ch = io::openFileChannel("p.gau", io::OpenMode::ReadWriteExisting, &why);
  ASSERT_TRUE(ch) << why;
  GetParam().change();
  EXPECT_EQ(ch->atName(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    FileChannels, FileAtItsName,
    testing::Values(
        NameChange{"WrittenInPlace", [] { std::ofstream("p.gau") << "efgh"; }, io::AtName::Same},
        NameChange{"MovedAwayAndReplaced",
                   [] {
                     std::filesystem::rename("p.gau", "old.gau");
                     std::filesystem::rename("new.gau", "p.gau");
                   },
                   io::AtName::Replaced},
        NameChange{"MovedAway", [] { std::filesystem::rename("p.gau", "old.gau"); },
                   io::AtName::Moved}),
    [](const auto& info) { return std::string(info.param.what); });

// Done to the name of the open file itself: Windows does both, wine neither.
INSTANTIATE_TEST_SUITE_P(
    OnPosixOnly, FileAtItsName,
    testing::Values(NameChange{"RenamedOver", [] { std::filesystem::rename("new.gau", "p.gau"); },
                               io::AtName::Replaced, true},
                    NameChange{"Deleted", [] { std::filesystem::remove("p.gau"); },
                               io::AtName::Removed, true}),
    [](const auto& info) { return std::string(info.param.what); });

}  // namespace
