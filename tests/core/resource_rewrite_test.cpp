// A bitmap resource made another size, in gauges linked as real ones are:
// code, data a relocation points at, an export, three bitmaps of two depths,
// the relocations and debug sections after the resources, the symbol table
// and appended bytes after the last section, a checksum. Each result is read
// by readers other than dialpix's: objdump, wrestool and, under wine, the
// Windows loader itself. Then modules that must be refused.

#include "pe/resource_rewrite.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>

#include "io/file_channels.h"
#include "io/little_endian.h"
#include "gau/resize.h"
#include "gau/undo.h"
#include "gauge_dir.h"
#include "temp_dir.h"
#include "tools/bmp_builder.h"
#include "tools/pe_builder.h"
#include "tests/support/mingw_gauge.h"

using Bytes = std::vector<uint8_t>;

namespace {

using namespace mingwgauge;

pe::ResourceTable tableOf(const Bytes& file) {
  const auto c = io::memoryChannel(file);
  Result<pe::ResourceTable> t = pe::readResourceTable(*c);
  EXPECT_TRUE(t) << t.reason();
  return t ? *t : pe::ResourceTable{};
}

size_t bitmapIndex(const pe::ResourceTable& t, uint32_t id) {
  for (size_t i = 0; i < t.resources.size(); ++i)
    if (t.resources[i].type.id == pe::kBitmap && t.resources[i].name.id == id) return i;
  return SIZE_MAX;
}

// A wine prefix for each test, which ctest may run side by side.
std::string winePrefix() {
  return std::string(DIALPIX_TEST_WINEPREFIX) + "-" +
         testing::UnitTest::GetInstance()->current_test_info()->name();
}

// The Windows loader reads `file` (saved in `dir` as NAME.gau): a 64-bit gauge
// loaded as a program, after the gauge as built, so that it must be moved and
// relocated, calls its export; every bitmap shows `want`'s pixels; the
// checksum holds.
struct Shown {
  int32_t width, height;
  std::vector<uint32_t> colours;  // top row first, 0x00RRGGBB
};
Shown shownOf(const Bytes& dib) { return {io::le32(&dib[4]), io::le32(&dib[8]), colours(dib)}; }

void checkUnderWine(const TempDir& dir, const std::string& name, const Bytes& file,
                    const std::string& prefix, const std::vector<Shown>& want) {
  const bool program = prefix.starts_with("x86_64");
  std::filesystem::create_directory(dir.file(name));
  const std::string loaded = loadUnderWine(dir.path().string(), name + ".gau", name, !program,
                                           program ? "built.gau" : "", winePrefix());
  if (program) {
    EXPECT_NE(loaded.find("answer " + std::to_string(kAnswer) + "\n"), std::string::npos)
        << loaded;
  }
  const uint32_t header = io::le32u(&file[io::le32u(&file[0x3C]) + 24 + 64]);
  EXPECT_NE(loaded.find("checksum " + std::to_string(header) + " " + std::to_string(header)),
            std::string::npos)
      << loaded;
  for (uint32_t id = 1; id <= 3; ++id) {
    const Bytes got = dir.read(name + "/" + std::to_string(id) + ".rgb");
    std::ostringstream shape;
    shape << want[id - 1].width << " " << want[id - 1].height << "\n";
    ASSERT_GT(got.size(), shape.str().size()) << "bitmap " << id << ": " << loaded;
    EXPECT_EQ(std::string(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(shape.str().size())),
              shape.str());
    std::vector<uint32_t> pixels((got.size() - shape.str().size()) / 4);
    for (size_t k = 0; k < pixels.size(); ++k)
      pixels[k] = io::le32u(&got[shape.str().size() + 4 * k]) & 0xFFFFFF;
    EXPECT_EQ(pixels, want[id - 1].colours) << "bitmap " << id;
  }
}

// Three bitmaps of a 64-bit and of a 32-bit gauge made other sizes through
// the one change function, as the import does: the loader reads the new
// pixels, the export still runs, the checksum holds, the appended bytes stay;
// three steps of undo give back the gauge as built, byte for byte.
TEST(MadeAnotherSize, ThreeBitmapsResizedThenUndoneToTheGaugeAsBuilt) {
  if (!have("i686-w64-mingw32-gcc") || !have("x86_64-w64-mingw32-windres"))
    GTEST_SKIP() << "MinGW is not installed";
  struct Step {
    uint32_t id;
    int32_t width, height;
  };
  // Each depth grown and shrunk, in one gauge or the other.
  const std::vector<std::pair<std::string, std::vector<Step>>> gauges = {
      {"x86_64-w64-mingw32-", {{1, 128, 96}, {2, 16, 8}, {3, 81, 61}}},
      {"i686-w64-mingw32-", {{1, 128, 96}, {2, 50, 40}, {3, 7, 5}}}};
  for (const auto& [prefix, steps] : gauges) {
    SCOPED_TRACE(prefix);
    GaugeDir d;  // for its state folder; the gauge is replaced by a linked one
    const Built g = linkGauge(prefix, d.dir.path().string());
    ASSERT_FALSE(g.file.empty()) << "windres or the linker failed";
    writeFile(d.dir.file(d.name), g.file);
    std::vector<Shown> want = {shownOf(g.bitmaps[0]), shownOf(g.bitmaps[1]), shownOf(g.bitmaps[2])};
    for (const Step s : steps) {
      // Colours the 8-bit palettes hold exactly (but entry 255, which the import
      // takes as white, as the export shows it), so the loader must show these.
      const Bytes& old = g.bitmaps[s.id - 1];
      std::vector<uint32_t> argb;
      for (int32_t i = 0; i < s.width * s.height; ++i)
        argb.push_back(gau::kOpaque | (old[14] == 8 ? io::le32u(&old[40 + 4 * ((i * 5) % 255)]) & 0xFFFFFF
                                               : static_cast<uint32_t>(i * 0x10203)));
      const gau::Picture picture{.width = s.width, .height = s.height, .rowStride = s.width,
                                 .indices = {}, .colourTable = {}, .argb = argb};
      const pe::ResourceTable t = tableOf(d.now());
      const auto done = gau::resizeBitmap(*d.open(), t.resources[bitmapIndex(t, s.id)].position, picture);
      ASSERT_TRUE(done) << done.reason();
      EXPECT_EQ(done->approximatedPixels, 0);
      want[s.id - 1] = {s.width, s.height, {}};
      for (const uint32_t c : argb) want[s.id - 1].colours.push_back(c & 0xFFFFFF);
    }
    const Bytes now = d.now();
    EXPECT_EQ(std::string(now.end() - static_cast<std::ptrdiff_t>(kOverlay.size()), now.end()), kOverlay);
    int status = -1;
    const std::string headers = run("objdump -p '" + d.dir.file(d.name) + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << headers;
    EXPECT_EQ(headers.find("warning"), std::string::npos) << headers;
    if (have("wrestool")) {
      std::istringstream listed(run("wrestool -l '" + d.dir.file(d.name) + "' 2>&1", &status));
      EXPECT_EQ(status, 0);
      int seen = 0;
      for (std::string line; std::getline(listed, line);)
        for (uint32_t id = 1; id <= 3; ++id) {
          const Shown& w = want[id - 1];
          const int bits = g.bitmaps[id - 1][14];
          const int64_t size = 40 + (bits == 8 ? 1024 : 0) + (int64_t{w.width} * bits + 31) / 32 * 4 * w.height;
          if (!line.starts_with("--type=2 --name=" + std::to_string(id) + " ")) continue;
          EXPECT_NE(line.find(" size=" + std::to_string(size) + "]"), std::string::npos) << line;
          ++seen;
        }
      EXPECT_EQ(seen, 3);
    }
    if (buildLoader(d.dir.path().string(), DIALPIX_SOURCE_DIR)) {
      writeFile(d.dir.file("resized.gau"), now);
      checkUnderWine(d.dir, "resized", now, prefix, want);
    }
    const auto undone = gau::undoSteps(*d.open(), static_cast<int>(steps.size()));
    ASSERT_TRUE(undone) << undone.reason();
    EXPECT_EQ(d.now(), g.file);
  }
}

// The bitmap's depth and palette kept, its layout made plain: a 32-bit one
// takes the colours and alpha exactly, a run-length 8-bit one becomes plain
// rows and says so; a picture past the limit is refused before anything.
TEST(MadeAnotherSize, EachDepthIsRebuiltAsItWas) {
  auto resource = [](int bits, bmpbuild::Compression compression) {
    bmpbuild::Bmp b;
    b.width = 3, b.height = 2, b.bits = bits, b.compression = compression;
    if (bits == 8) b.palette = {0x102030, 0x405060, 0x708090};
    b.pixels = std::vector<uint32_t>(6, bits == 8 ? 1 : 0xFF112233);
    const Bytes file = bmpbuild::write(b);
    pebuild::Resource r;
    r.type.id = pe::kBitmap, r.name.id = 1;
    r.data.assign(file.begin() + 14, file.end());
    return pebuild::build({r}).bytes;
  };
  const std::vector<uint32_t> argb = {0x80FF0000, 0xFF405060, 0x00000001, 0xFF708090};
  const gau::Picture picture{.width = 2, .height = 2, .rowStride = 2, .indices = {},
                             .colourTable = {}, .argb = argb};
  const auto resized = [&](const Bytes& module, const gau::Picture& p, Bytes* data) {
    const auto gauge = io::memoryChannel(module);
    const pe::ResourceTable t = tableOf(module);
    const auto r = gau::resizeBitmap(*gauge, t.resources[0].position, p);
    const pe::ResourceTable u = tableOf(gauge->bytes());
    const auto at = gauge->bytes().begin() + u.resources[0].position - 1;
    data->assign(at, at + u.resources[0].size);
    return r;
  };
  Bytes data;
  auto r = resized(resource(32, bmpbuild::Rgb), picture, &data);
  ASSERT_TRUE(r) << r.reason();
  EXPECT_EQ(data.size(), 40u + 16);  // bottom row first: entries 2, 3, then 0, 1
  EXPECT_EQ(io::le32u(&data[40]), argb[2]);
  EXPECT_EQ(io::le32u(&data[44]), argb[3]);
  EXPECT_EQ(io::le32u(&data[48]), argb[0]);

  r = resized(resource(8, bmpbuild::Rle8), picture, &data);
  ASSERT_TRUE(r) << r.reason();
  EXPECT_TRUE(r->wasCompressed);
  EXPECT_EQ(io::le32u(&data[16]), 0u);         // plain rows
  EXPECT_EQ(data.size(), 40u + 3 * 4 + 2 * 4);  // its palette of 3, rows of 4 bytes
  EXPECT_EQ(data[40 + 12 + 1], 2);              // 0xFF708090 is entry 2

  const std::vector<uint32_t> wide(size_t{gau::kMaxResizedSide} + 1, gau::kOpaque);
  const gau::Picture tooWide{.width = gau::kMaxResizedSide + 1, .height = 1,
                             .rowStride = gau::kMaxResizedSide + 1, .indices = {},
                             .colourTable = {}, .argb = wide};
  const Bytes module = resource(8, bmpbuild::Rgb);
  const auto gauge = io::memoryChannel(module);
  const auto refused = gau::resizeBitmap(*gauge, tableOf(module).resources[0].position, tooWide);
  EXPECT_EQ(refused.fault(), Fault::DoesNotFit);
  EXPECT_EQ(gauge->bytes(), module);
}

// Modules laid out by pebuild, spoiled one way each: refused with a reason.
TEST(MadeAnotherSize, ModulesThatCannotFollowAreRefused) {
  std::vector<pebuild::Resource> rs(2);
  rs[0].type.id = rs[1].type.id = pe::kBitmap;
  rs[0].name.id = 1, rs[1].name.id = 2;
  rs[0].data = dib(8, 4, 4, 1), rs[1].data = dib(8, 5, 5, 2);
  const Bytes grown = dib(8, 300, 300, 3);
  struct Spoil {
    const char* name;
    std::function<void(pebuild::Layout&, pe::ResourceTable&)> spoil;
    const char* says;
  };
  const std::vector<Spoil> spoils = {
      {"signed",
       [](pebuild::Layout&, pe::ResourceTable& t) { t.directories[4] = {0x800, 16}; },
       "signature"},
      {"unspoilt, as a check of the others", [](pebuild::Layout&, pe::ResourceTable&) {}, ""},
      {"sections overlap in memory",
       [](pebuild::Layout& l, pe::ResourceTable& t) {
         io::putLe32(&l.bytes[l.sections + 12], l.rsrcRva);
         t.sections[0].virtualAddress = l.rsrcRva;
       },
       "overlap"},
      {"sections overlap in the file",
       [](pebuild::Layout& l, pe::ResourceTable& t) {
         io::putLe32(&l.bytes[l.sections + 20], l.rsrc);
         t.sections[0].rawPointer = l.rsrc;
       },
       "overlap"},
      {"directory inside its section, not at its start",
       [](pebuild::Layout& l, pe::ResourceTable& t) {
         io::putLe32(&l.bytes[l.optional + 96 + 8 * 2], l.rsrcRva + 16);
         t.directories[2].rva += 16;
       },
       "does not begin"},
      {"a section after the resources that data points into",
       [](pebuild::Layout& l, pe::ResourceTable& t) {
         // .text moved after .rsrc, in memory and in the file.
         t.sections[0].virtualAddress = l.rsrcRva + 0x10000;
         t.sections[0].rawPointer = static_cast<uint32_t>(l.bytes.size());
         io::putLe32(&l.bytes[l.sections + 12], t.sections[0].virtualAddress);
         io::putLe32(&l.bytes[l.sections + 20], t.sections[0].rawPointer);
         l.bytes.resize(l.bytes.size() + 0x200);
       },
       ".text"},
  };
  for (const Spoil& s : spoils) {
    SCOPED_TRACE(s.name);
    pebuild::Layout l = pebuild::build(rs);
    pe::ResourceTable t = tableOf(l.bytes);
    s.spoil(l, t);
    const Result<pe::Rewritten> r = pe::replaceResourceData(l.bytes, t, 0, grown);
    if (!*s.says) {
      EXPECT_TRUE(r) << r.reason();
      continue;
    }
    ASSERT_FALSE(r);
    EXPECT_NE(r.reason().find(s.says), std::string::npos) << r.reason();
  }
}

}  // namespace
