// What holds on Windows only: names outside the ANSI code page, the
// read-only attribute, a file another program holds, replacing a file.
// Built into the tests of the Windows program alone.

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "gau/export.h"
#include "gau/change.h"
#include "io/file_channels.h"
#include "io/replace_file.h"
#include "io/system.h"
#include "temp_dir.h"
#include "tools/gauge_builder.h"

namespace {

using gaugebuild::patterned;

// panel.gau in the working folder with one bitmap, open on a channel.
struct Panel {
  int32_t pos = 0;
  std::unique_ptr<io::Channel> channel;
  Panel() {
    gaugebuild::Gauge g;
    g.filler(37);
    pos = g.plant(patterned(4, 2, 4));
    g.writeTo("panel.gau");
    channel = io::openFileChannel("panel.gau", io::OpenMode::ReadWriteExisting, nullptr);
  }
};

std::vector<uint8_t> bytesOf(const std::string& utf8) {
  std::ifstream in(io::pathOf(utf8), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Names as UTF-8 in, UTF-16 on the disk: Latin-1 letters, and letters no
// Western code page holds.
class Names : public testing::TestWithParam<std::pair<const char*, const wchar_t*>> {};

TEST_P(Names, OpenExportAndListUnderTheirOwnName) {
  const auto [utf8, utf16] = GetParam();
  TempDir dir;
  Panel gauge;
  const std::string target = std::string(utf8) + ".bmp";
  ASSERT_TRUE(bmp::exportBitmap(*gauge.channel, gauge.pos, target));
  EXPECT_TRUE(std::filesystem::exists(std::wstring(utf16) + L".bmp"));
  std::string why;
  auto ch = io::openFileChannel(target, io::OpenMode::ReadOnly, &why);
  ASSERT_TRUE(ch) << why;
  EXPECT_EQ(ch->length(), static_cast<int64_t>(bytesOf(target).size()));
  bool listed = false;
  for (const auto& e : std::filesystem::directory_iterator("."))
    listed |= io::nameOf(e.path().filename()) == target;
  EXPECT_TRUE(listed);
}

INSTANTIATE_TEST_SUITE_P(Win32, Names,
                         testing::Values(std::pair{"caf\xc3\xa9", L"caf\u00e9"},  // Latin-1
                                         std::pair{"\xce\xa9\xce\xbb-\xe6\x97\xa5\xe6\x9c\xac",
                                                   L"\u03a9\u03bb-\u65e5\u672c"},
                                         std::pair{"\xf0\x9f\x9b\xa9",
                                                   L"\U0001F6E9"}));  // outside the BMP

TEST(Win32, TheReadOnlyAttributeOpensForReadingOnly) {
  TempDir dir;
  std::ofstream("r.gau") << "abcd";
  SetFileAttributesW(L"r.gau", FILE_ATTRIBUTE_READONLY);
  std::string why;
  EXPECT_FALSE(io::openFileChannel("r.gau", io::OpenMode::ReadWriteExisting, &why));
  EXPECT_FALSE(io::writePermitted("r.gau"));
  EXPECT_TRUE(io::openFileChannel("r.gau", io::OpenMode::ReadOnly, &why)) << why;
  SetFileAttributesW(L"r.gau", FILE_ATTRIBUTE_NORMAL);
}

// The simulator keeps its gauges open without sharing them for writing.
TEST(Win32, AFileAnotherProgramHoldsIsRefusedAndKept) {
  TempDir dir;
  Panel gauge;
  std::ofstream("held.bmp") << "old";
  for (const char* name : {"held.gau", "held.bmp"}) {
    SCOPED_TRACE(name);
    std::ofstream(name, std::ios::app) << "";
    HANDLE h = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::string why;
    EXPECT_FALSE(io::openFileChannel(name, io::OpenMode::ReadWriteExisting, &why));
    EXPECT_NE(why.find("another program holds the file"), std::string::npos) << why;
    EXPECT_NE(why.find("close that program"), std::string::npos) << why;
    if (std::string(name) == "held.bmp") {
      EXPECT_FALSE(bmp::exportBitmap(*gauge.channel, gauge.pos, name));
      EXPECT_EQ(bytesOf(name), (std::vector<uint8_t>{'o', 'l', 'd'}));
    }
    CloseHandle(h);
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), {}), 3)
      << "a temporary file was left behind";
}

// std::rename refuses an existing target here; the export must still replace one.
TEST(Win32, AnExportReplacesAnOlderFileAndKeepsOneWhenAsked) {
  TempDir dir;
  Panel gauge;
  std::ofstream("a.bmp") << "old";
  EXPECT_FALSE(bmp::exportBitmap(*gauge.channel, gauge.pos, "a.bmp", {}, bmp::Existing::Keep));
  EXPECT_EQ(bytesOf("a.bmp"), (std::vector<uint8_t>{'o', 'l', 'd'}));
  ASSERT_TRUE(bmp::exportBitmap(*gauge.channel, gauge.pos, "a.bmp"));
  EXPECT_GT(bytesOf("a.bmp").size(), 1078u);
  EXPECT_EQ(io::folderOf("C:x.bmp"), "C:");
  EXPECT_EQ(io::folderOf("out\\a.bmp"), "out\\");
}

// The undo history lives under %LOCALAPPDATA%\dialpix.
TEST(Win32, TheStateFolderIsUnderLocalAppData) {
  const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
  ASSERT_TRUE(local && *local);
  EXPECT_EQ(io::pathOf(io::stateFolder()), std::filesystem::path(local) / L"dialpix");
}

// A file Windows marks read-only is kept, and the file being read is never
// written over, under any of its names.
TEST(Win32, AReplacementRefusesTheReadOnlyAttributeAndItsInput) {
  TempDir dir;
  std::ofstream("ro.bmp") << "old";
  SetFileAttributesW(L"ro.bmp", FILE_ATTRIBUTE_READONLY);
  const io::Replacement readOnly("ro.bmp", io::Existing::Replace);
  EXPECT_EQ(readOnly.why(), "It is read-only.");
  SetFileAttributesW(L"ro.bmp", FILE_ATTRIBUTE_NORMAL);
  const io::Replacement itself("RO.BMP", io::Existing::Replace, ".\\ro.bmp");
  EXPECT_EQ(itself.why(), "It is the file being read.");
  EXPECT_EQ(bytesOf("ro.bmp"), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), {}), 1)
      << "a temporary file was made";
}

// Every name Windows takes for one file names one journal: the long name, its
// short 8.3 name, a trailing dot or blank, another case.
TEST(Win32, EveryNameOfAFileHasOneJournal) {
  TempDir dir;
  const std::string name = "a long gauge name.gau";
  ASSERT_TRUE(gaugebuild::Gauge().filler(20).writeTo(name));
  const std::string journal = gau::journalName(name);
  wchar_t shortName[MAX_PATH] = {};
  const bool hasShort = GetShortPathNameW(L"a long gauge name.gau", shortName, MAX_PATH) > 0;
  for (const std::string& other : {name + ".", name + " ", std::string("A LONG GAUGE NAME.GAU"),
                                   hasShort ? io::nameOf(std::filesystem::path(shortName)) : name})
    EXPECT_EQ(gau::journalName(other), journal) << other;
}

// A name Windows keeps for a device opens the device: seemingly there, never
// renamed over. It is refused as such, with or without --force; names that
// only look alike are files.
class DeviceNames : public testing::TestWithParam<std::pair<const char*, bool>> {};

TEST_P(DeviceNames, AreRefusedAsSuch) {
  const auto [name, reserved] = GetParam();
  TempDir dir;
  std::filesystem::create_directory("sub");
  for (const io::Existing existing : {io::Existing::Keep, io::Existing::Replace}) {
    const io::Replacement r(name, existing);
    EXPECT_EQ(r.ready(), !reserved) << r.why();
    EXPECT_EQ(r.why().find("reserved for a device") != std::string::npos, reserved) << r.why();
  }
}

INSTANTIATE_TEST_SUITE_P(Win32, DeviceNames,
                         testing::Values(std::pair{"NUL", true}, std::pair{"CON.png", true},
                                         std::pair{"com1.png", true}, std::pair{"LPT9.a.b", true},
                                         std::pair{"sub\\Aux.bmp", true},
                                         std::pair{"CONSOLE.png", false},
                                         std::pair{"nul-1.bmp", false}));

}  // namespace
