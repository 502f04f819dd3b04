#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>

#include "bmp/bmp_file.h"
#include "gau/export.h"
#include "io/file_channels.h"
#include "io/system.h"
#include "temp_dir.h"
#include "tools/gauge_builder.h"

using gaugebuild::Gauge;
using gaugebuild::patterned;

namespace {

uint32_t at32(const std::vector<uint8_t>& b, size_t off) {
  return b[off] | b[off + 1] << 8 | b[off + 2] << 16 | static_cast<uint32_t>(b[off + 3]) << 24;
}

// A gauge file with one planted bitmap between other bytes, open on a channel.
struct GaugeFile {
  Gauge g;
  int32_t pos = 0;
  std::unique_ptr<io::Channel> channel;

  explicit GaugeFile(const gaugebuild::Bitmap& b) {
    g.filler(37);
    pos = g.plant(b);
    g.filler(200, 9);
    reopen();
  }
  void reopen() {
    channel.reset();
    g.writeTo("panel.gau");
    channel = io::openFileChannel("panel.gau", io::OpenMode::ReadWriteExisting, nullptr);
  }
  // Pixel bytes as stored in the gauge.
  std::vector<uint8_t> pixels(const gaugebuild::Bitmap& b) const {
    const size_t start = static_cast<size_t>(pos - 1 + 28 + 4 * b.colors());
    return {g.bytes().begin() + start, g.bytes().begin() + start + b.pixels.size()};
  }
};

size_t filesIn(const std::filesystem::path& dir) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

}  // namespace

TEST(BmpExport, LayoutFollowsTheGaugeBitmap) {
  struct Row {
    int32_t w, h, stored;
    uint32_t fileSize, imageSize;
  };
  for (const Row row : {Row{10, 20, 16, 1318, 240}, Row{8, 3, 0, 1102, 24}, Row{1, 1, 256, 1082, 4},
                        Row{7, 0, 2, 1078, 0}}) {
    SCOPED_TRACE(testing::Message() << row.w << "x" << row.h << " N=" << row.stored);
    TempDir dir;
    auto b = patterned(row.w, row.h, row.stored, 5);
    if (b.colors() == 256) b.palette[4 * 255 + 1] = 0x12;  // a non-white entry 255
    GaugeFile gauge(b);
    const Result<bmp::Exported> r = bmp::exportBitmap(*gauge.channel, gauge.pos, "abc.bmp");
    ASSERT_TRUE(r) << r.reason();
    EXPECT_EQ(r->colors, b.colors());
    const auto out = dir.read("abc.bmp");
    ASSERT_EQ(out.size(), row.fileSize);
    EXPECT_EQ(r->fileBytes, row.fileSize);
    EXPECT_EQ(out[0], 'B');
    EXPECT_EQ(out[1], 'M');
    // Header fields by offset; every field not named here is zero.
    // clang-format off
    const std::pair<size_t, uint32_t> fields[] = {
        {2, row.fileSize}, {6, 0}, {10, 1078}, {14, 40}, {18, uint32_t(row.w)},
        {22, uint32_t(row.h)}, {26, 0x00080001}, {30, 0}, {34, row.imageSize}, {38, 0},
        {42, 0}, {46, 256}, {50, 0}};
    // clang-format on
    for (const auto& [offset, value] : fields) EXPECT_EQ(at32(out, offset), value) << offset;
    for (int k = 0; k < 255; ++k) {
      const uint32_t want = k < b.colors() ? at32(b.palette, 4 * static_cast<size_t>(k)) : 0;
      ASSERT_EQ(at32(out, 54 + 4 * static_cast<size_t>(k)), want) << "entry " << k;
    }
    EXPECT_EQ(at32(out, 1074), 0x00FFFFFFu);
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + 1078, out.end()), gauge.pixels(b));
    gauge.channel.reset();
    EXPECT_EQ(dir.read("panel.gau"), gauge.g.bytes());  // only read
  }
}

TEST(BmpExport, ReplacesALongerFileCompletelyAndLeavesNoTemporary) {
  TempDir dir;
  const auto b = patterned(4, 2, 4);
  GaugeFile gauge(b);
  Gauge old;
  old.filler(5000);
  old.writeTo("abc.bmp");
  ASSERT_TRUE(bmp::exportBitmap(*gauge.channel, gauge.pos, "abc.bmp"));
  EXPECT_EQ(dir.read("abc.bmp").size(), 1078u + 8u);
  EXPECT_EQ(filesIn(dir.path()), 2u);
}

// Values a false scan hit can carry: each is refused, nothing is created and
// an older file of the target name stays as it was.
TEST(BmpExport, RefusesBitmapsThatCannotBeConverted) {
  struct Row {
    const char* what;
    int32_t widthPoke, heightPoke, countPoke;  // INT32_MIN: leave as planted
  };
  constexpr int32_t keep = INT32_MIN;
  for (const Row row :
       {Row{"pixels past the end", 1000, 1000, keep},
        Row{"rows overflow 32 bits", 0x7FFFFFFF, 2, keep},
        Row{"size overflows 32 bits", 65536, 65536, keep}, Row{"negative width", -8, 2, keep},
        Row{"negative height", 8, -2, keep}, Row{"both negative", -4, -2, keep},
        Row{"palette past the end", keep, keep, 0}, Row{"count not 0 to 256", keep, keep, 300}}) {
    SCOPED_TRACE(row.what);
    TempDir dir;
    Gauge g;
    const int32_t pos = g.plant(patterned(8, 2, 2));  // little after it: a 256 palette runs out
    if (row.widthPoke != keep) g.poke32(pos - 8, row.widthPoke);
    if (row.heightPoke != keep) g.poke32(pos - 4, row.heightPoke);
    if (row.countPoke != keep) g.poke32(pos + 20, row.countPoke);
    g.writeTo("panel.gau");
    const std::vector<uint8_t> older = {1, 2, 3};  // an older file of the target name
    std::ofstream("abc.bmp", std::ios::binary).write("\1\2\3", 3);
    auto ch = io::openFileChannel("panel.gau", io::OpenMode::ReadWriteExisting, nullptr);
    const Result<bmp::Exported> r = bmp::exportBitmap(*ch, pos, "abc.bmp");
    EXPECT_EQ(r.fault(), Fault::Bitmap);
    EXPECT_FALSE(r.reason().empty());
    ch.reset();
    EXPECT_EQ(dir.read("abc.bmp"), older);
    EXPECT_EQ(dir.read("panel.gau"), g.bytes());
    EXPECT_EQ(filesIn(dir.path()), 2u);
  }
  // A header that would begin before the first byte of the file.
  TempDir dir;
  auto gauge = io::memoryChannel(std::vector<uint8_t>(100, 0));
  EXPECT_EQ(bmp::exportBitmap(*gauge, 5, "abc.bmp").fault(), Fault::Bitmap);
  EXPECT_EQ(gauge->readsBeforeStart(), 0);
  EXPECT_FALSE(std::filesystem::exists("abc.bmp"));
}

// The command line without --force: an existing file, however it got there, stays.
TEST(BmpExport, KeepingRefusesAnExistingName) {
  TempDir dir;
  GaugeFile gauge(patterned(4, 2, 4));
  struct Taken {
    const char* name;
    std::function<void()> make;
    Fault fault;
    std::optional<io::System> onlyOn;
  };
  const Taken taken[] = {
      {"abc.bmp", [] { std::ofstream("abc.bmp") << "old"; }, Fault::TargetExists, {}},
      // A link is refused as a link, whatever it points to; Windows programs make none.
      {"link.bmp", [] { std::filesystem::create_symlink("nowhere.bmp", "link.bmp"); },
       Fault::Target, io::System::Posix},
  };
  size_t made = 0;
  for (const Taken& t : taken) {
    if (t.onlyOn && *t.onlyOn != io::thisSystem()) continue;
    t.make();
    ++made;
    const Result<bmp::Exported> r =
        bmp::exportBitmap(*gauge.channel, gauge.pos, t.name, {}, bmp::Existing::Keep);
    EXPECT_EQ(r.fault(), t.fault) << t.name;
  }
  EXPECT_EQ(dir.read("abc.bmp"), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_FALSE(std::filesystem::exists("nowhere.bmp"));
  EXPECT_TRUE(bmp::exportBitmap(*gauge.channel, gauge.pos, "new.bmp", {}, bmp::Existing::Keep));
  EXPECT_EQ(filesIn(dir.path()), made + 2);  // the gauge, new.bmp: no temporary left behind
}

// The command line exports on several threads into one folder: their
// temporary files must never meet on one name.
TEST(BmpExport, ThreadsExportingIntoOneFolderDoNotCollide) {
  TempDir dir;
  Gauge g;
  const int32_t pos = g.plant(patterned(6, 3, 16));
  constexpr int kThreads = 4, kEach = 50;
  std::atomic<int> failed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      auto gauge = io::memoryChannel(g.bytes());
      for (int k = 0; k < kEach; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "t%d-%d.bmp", t, k);
        if (!bmp::exportBitmap(*gauge, pos, name)) ++failed;
      }
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(filesIn(dir.path()), static_cast<size_t>(kThreads * kEach));
}

TEST(BmpExport, TargetsThatCannotBeWrittenAreReported) {
  TempDir dir;
  GaugeFile gauge(patterned(4, 2, 4));
  std::filesystem::create_directory("folder.bmp");
  std::ofstream("locked.bmp") << "keep me";
  std::filesystem::permissions("locked.bmp", std::filesystem::perms::owner_read |
                                                 std::filesystem::perms::group_read |
                                                 std::filesystem::perms::others_read);
  for (const std::string& name : {std::string("missing/abc.bmp"), std::string(300, 'x') + ".bmp",
                                  std::string("folder.bmp"), std::string("locked.bmp")}) {
    SCOPED_TRACE(name.substr(0, 20));
    const Result<bmp::Exported> r = bmp::exportBitmap(*gauge.channel, gauge.pos, name);
    EXPECT_EQ(r.fault(), Fault::Target);
    EXPECT_FALSE(r.reason().empty());
  }
  EXPECT_EQ(dir.read("locked.bmp"), (std::vector<uint8_t>{'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
  EXPECT_EQ(filesIn(dir.path()), 3u);  // no temporary left behind
}

TEST(BmpExport, AWriteErrorIsReportedNotSwallowed) {
  TempDir dir;
  GaugeFile gauge(patterned(4, 2, 4));
  for (const bool flushFails : {false, true}) {
    auto out = io::memoryChannel({});
    (flushFails ? out->failFlushes(true) : out->failWrites(true));
    const Result<bmp::Exported> r = bmp::writeBmp(*gauge.channel, gauge.pos, *out);
    EXPECT_EQ(r.fault(), Fault::Target) << "flush fails: " << flushFails;
  }
}

// 1078 + the pixel bytes must fit signed 32 bits, though the pixel array
// itself does: a sparse gauge file of about 2 GiB holds such a bitmap.
TEST(BmpExport, RefusesABmpLargerThanSigned32Bits) {
  TempDir dir;
  Gauge g;
  const int32_t width = 4, height = (INT32_MAX - 100) / 4;
  const int32_t pos = g.plant(patterned(width, 1, 2));
  g.poke32(pos - 4, height);
  g.writeTo("huge.gau");
  const int64_t pixelEnd = int64_t{pos} + 28 + 8 + int64_t{width} * height - 1;
  std::filesystem::resize_file("huge.gau", static_cast<uintmax_t>(pixelEnd));
  auto ch = io::openFileChannel("huge.gau", io::OpenMode::ReadOnly, nullptr);
  ASSERT_TRUE(ch);
  const Result<bmp::Exported> r = bmp::exportBitmap(*ch, pos, "huge.bmp");
  EXPECT_EQ(r.fault(), Fault::Bitmap);
  EXPECT_NE(r.reason().find("too large to write"), std::string::npos) << r.reason();
  EXPECT_FALSE(std::filesystem::exists("huge.bmp"));
}
