#include <gtest/gtest.h>

#include <functional>

#include "gau/export.h"
#include "gau/bitmap_record.h"
#include "gau/import.h"
#include "io/file_channels.h"
#include "temp_dir.h"
#include "tools/gauge_builder.h"

using gaugebuild::Gauge;
using gaugebuild::patterned;

namespace {

void put32(std::vector<uint8_t>& b, size_t off, int32_t v) {
  for (int i = 0; i < 4; ++i)
    b[off + i] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
}

// A gauge file with bitmap `b` planted between other bytes, and "x.bmp" exported from it.
struct Exported {
  Gauge g;
  int32_t pos = 0;
  explicit Exported(const gaugebuild::Bitmap& b) {
    g.filler(21);
    pos = g.plant(b);
    g.filler(300, 4);
    g.writeTo("panel.gau");
    auto ch = gauge();
    EXPECT_TRUE(bmp::exportBitmap(*ch, pos, "x.bmp"));
  }
  static std::unique_ptr<io::Channel> gauge() {
    return io::openFileChannel("panel.gau", io::OpenMode::ReadWriteExisting, nullptr);
  }
  Result<gau::Imported> import(const std::string& name = "x.bmp") const {
    return gau::importBitmap(*gauge(), pos, name);
  }
};

// 1-based positions where two files differ (the longer one's tail counts too).
std::vector<size_t> differences(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  std::vector<size_t> d;
  for (size_t i = 0; i < std::max(a.size(), b.size()); ++i)
    if (i >= a.size() || i >= b.size() || a[i] != b[i]) d.push_back(i + 1);
  return d;
}

}  // namespace

TEST(BmpImport, UnchangedRoundTripAndPixelEditsLandInPlace) {
  struct Row {
    int32_t w, h, stored, pixelOffset;  // first pixel at BmpPos + pixelOffset
  };
  for (const Row row : {Row{10, 20, 16, 92}, Row{8, 3, 0, 1052}, Row{5, 7, 256, 1052}}) {
    SCOPED_TRACE(testing::Message() << row.w << "x" << row.h << " N=" << row.stored);
    TempDir dir;
    const Exported s(patterned(row.w, row.h, row.stored));
    const auto gaugeBefore = dir.read("panel.gau");
    const auto bmpBefore = dir.read("x.bmp");

    const Result<gau::Imported> same = s.import();
    ASSERT_TRUE(same) << same.reason();
    EXPECT_EQ(same->colors, row.stored == 0 ? 256 : row.stored);
    EXPECT_EQ(dir.read("panel.gau"), gaugeBefore);

    // Edit the first and the last pixel byte and one in between, and add bytes
    // at the end as some paint programs do: only the three gauge bytes change.
    auto edited = bmpBefore;
    const size_t last = edited.size() - 1;
    for (size_t off : {size_t{1078}, size_t{1078 + 13}, last}) edited[off] ^= 0xFF;
    edited.insert(edited.end(), 100, 0xEE);
    Gauge().raw(edited).writeTo("x.bmp");
    ASSERT_TRUE(s.import());
    const size_t first = static_cast<size_t>(s.pos + row.pixelOffset);
    const size_t end = first + (last - 1078);
    EXPECT_EQ(differences(dir.read("panel.gau"), gaugeBefore),
              (std::vector<size_t>{first, first + 13, end}));
  }
}

// Each .BMP that does not fit is refused, and neither file is touched.
TEST(BmpImport, RefusesABmpThatDoesNotFit) {
  using Edit = std::function<void(std::vector<uint8_t>&)>;
  struct Row {
    const char* what;
    Edit edit;
    const char* says;  // a word the reason must contain
  };
  const Row rows[] = {
      {"not BM", [](auto& b) { b[0] = 'X'; }, "BM"},
      {"empty file", [](auto& b) { b.clear(); }, "BM"},
      {"header cut short", [](auto& b) { b.resize(30); }, "cut short"},
      {"header and palette only", [](auto& b) { b.resize(1078); }, "pixel data"},
      {"one pixel byte short", [](auto& b) { b.pop_back(); }, "pixel data"},
      {"24 bits", [](auto& b) { b[28] = 24; }, "24 bits"},
      {"compressed", [](auto& b) { b[30] = 1; }, "compressed"},
      {"OS/2 header", [](auto& b) { put32(b, 14, 12); }, "40 bytes"},
      {"16-colour palette", [](auto& b) { put32(b, 10, 54 + 64); }, "offset 118"},
      {"wider", [](auto& b) { put32(b, 18, 11); }, "11 x 20"},
      {"taller", [](auto& b) { put32(b, 22, 21); }, "10 x 21"},
      {"top-down", [](auto& b) { put32(b, 22, -20); }, "10 x -20"},
      {"100 bytes too many but wrong height",
       [](auto& b) {
         put32(b, 22, 19);
         b.insert(b.end(), 100, 0);
       },
       "10 x 19"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir dir;
    const Exported s(patterned(10, 20, 16));
    auto bmpFile = dir.read("x.bmp");
    row.edit(bmpFile);
    Gauge().raw(bmpFile).writeTo("x.bmp");
    const auto gaugeBefore = dir.read("panel.gau");
    const Result<gau::Imported> r = s.import();
    EXPECT_EQ(r.fault(), Fault::DoesNotFit);
    EXPECT_NE(r.reason().find(row.says), std::string::npos) << r.reason();
    EXPECT_EQ(dir.read("panel.gau"), gaugeBefore);
    EXPECT_EQ(dir.read("x.bmp"), bmpFile);
  }
}

TEST(BmpImport, RefusesWhatCannotBeReadOrConverted) {
  TempDir dir;
  const Exported s(patterned(10, 20, 16));
  const auto gaugeBefore = dir.read("panel.gau");
  EXPECT_EQ(s.import("missing.bmp").fault(), Fault::Source);
  EXPECT_EQ(s.import("").fault(), Fault::Source);
  EXPECT_EQ(dir.read("panel.gau"), gaugeBefore);
  // A false hit whose pixels would run past the end of the gauge file.
  Gauge spoiled = s.g;
  spoiled.poke32(s.pos - 4, 5000);
  spoiled.writeTo("panel.gau");
  EXPECT_EQ(s.import().fault(), Fault::Bitmap);
  EXPECT_EQ(dir.read("panel.gau"), spoiled.bytes());
}

TEST(BmpImport, AGaugeWriteErrorIsReported) {
  TempDir dir;
  const Exported s(patterned(10, 20, 16));
  auto gauge = io::memoryChannel(s.g.bytes());
  auto bmpFile = io::openFileChannel("x.bmp", io::OpenMode::ReadOnly, nullptr);
  const int64_t pixel = s.pos + gau::kPaletteFromBmpPos + 4 * 16;  // so the import changes a byte
  ASSERT_TRUE(gauge->put1(pixel, static_cast<uint8_t>(~gauge->get1(pixel))));
  gauge->failWrites(true);
  // No byte was written, so the gauge is as it was.
  EXPECT_EQ(gau::importPixels(*gauge, s.pos, *bmpFile).fault(), Fault::NotWritten);
  gauge->failWrites(false);
  gauge->failFlushes(true);
  const Result<gau::Imported> r = gau::importPixels(*gauge, s.pos, *bmpFile);
  EXPECT_EQ(r.fault(), Fault::GaugeWrite) << "a failed flush is no DONE";
  EXPECT_NE(r.reason().find("flush"), std::string::npos) << r.reason();
}
