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
#include "temp_dir.h"
#include "tools/bmp_builder.h"
#include "tools/pe_builder.h"

using Bytes = std::vector<uint8_t>;

namespace {

// A bitmap resource's data: header, palette (8-bit) and pixels, bottom row first.
Bytes dib(int bits, int32_t w, int32_t h, uint32_t seed) {
  bmpbuild::Bmp b;
  b.width = w, b.height = h, b.bits = bits;
  if (bits == 8)
    for (uint32_t k = 0; k < 256; ++k) b.palette.push_back((seed * 0x10101 + k * 0x30201) & 0xFFFFFF);
  for (uint32_t i = 0; i < static_cast<uint32_t>(w * h); ++i)
    b.pixels.push_back(bits == 8 ? (i * 7 + seed) % 256 : (i * 0x10305 + seed) & 0xFFFFFF);
  const Bytes file = bmpbuild::write(b);
  return {file.begin() + 14, file.end()};
}

// The colours of a DIB's pixels, top row first, as 0x00RRGGBB.
std::vector<uint32_t> colours(const Bytes& d) {
  const int32_t w = io::le32(&d[4]), h = io::le32(&d[8]);
  const int bits = d[14];
  const int64_t row = (int64_t{w} * bits + 31) / 32 * 4;
  const size_t palette = bits == 8 ? 1024 : 0;
  std::vector<uint32_t> out;
  for (int32_t y = h - 1; y >= 0; --y)
    for (int32_t x = 0; x < w; ++x) {
      const uint8_t* p = &d[40 + palette + static_cast<size_t>(y * row + x * (bits / 8))];
      if (bits == 8) p = &d[40 + 4 * size_t{*p}];
      out.push_back(uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
    }
  return out;
}

const char* const kSource =
    "static int table[4] = {3, 5, 7, 9};\n"
    "int *volatile pointer = &table[2];\n"  // data that a relocation points at
    "__declspec(dllexport) int gauge_answer(int x) { return *pointer * 10 + x; }\n";
constexpr int kAnswer = 75;  // gauge_answer(5)
const std::string kOverlay = "appended: an installer's payload, kept byte for byte";

struct Built {
  Bytes file;
  std::vector<Bytes> bitmaps;  // resources 1, 2, 3
};

bool have(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

void writeFile(const std::string& name, const Bytes& b) {
  std::ofstream(name, std::ios::binary)
      .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

std::string run(const std::string& command, int* status) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    *status = pclose(p);
  }
  return out;
}

// A gauge DLL of `prefix`'s MinGW, with the overlay appended and its checksum made right again.
Built linkGauge(const std::string& prefix, const TempDir& dir) {
  Built g;
  g.bitmaps = {dib(8, 64, 64, 1), dib(8, 33, 17, 2), dib(24, 40, 30, 3)};
  std::string rc;
  for (size_t i = 0; i < g.bitmaps.size(); ++i) {
    Bytes bmp = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    io::putLe32(&bmp[2], static_cast<uint32_t>(14 + g.bitmaps[i].size()));
    io::putLe32(&bmp[10], 14 + 40 + (g.bitmaps[i][14] == 8 ? 1024 : 0));
    bmp.insert(bmp.end(), g.bitmaps[i].begin(), g.bitmaps[i].end());
    writeFile(dir.file("b" + std::to_string(i + 1) + ".bmp"), bmp);
    rc += std::to_string(i + 1) + " BITMAP \"b" + std::to_string(i + 1) + ".bmp\"\n";
  }
  writeFile(dir.file("gauge.rc"), Bytes(rc.begin(), rc.end()));
  writeFile(dir.file("gauge.c"), Bytes(kSource, kSource + std::strlen(kSource)));
  const std::string build = "cd '" + dir.path().string() + "' && " + prefix +
                            "windres gauge.rc -O coff -o res.o && " + prefix +
                            "gcc -shared -O1 -o built.gau gauge.c res.o";
  if (std::system(build.c_str()) != 0) return {};
  g.file = dir.read("built.gau");
  g.file.insert(g.file.end(), kOverlay.begin(), kOverlay.end());
  const size_t checksum = io::le32u(&g.file[0x3C]) + 24 + 64;
  io::putLe32(&g.file[checksum], pe::peChecksum(g.file, checksum));
  return g;
}

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

struct Case {
  const char* name;
  const char* prefix;
  uint32_t id;
  int bits;
  int32_t width, height;
};

// One case runs all the readers, so the checks under wine share one prefix, one at a time.
TEST(MadeAnotherSize, EveryReaderReadsTheNewModule) {
  const Case cases[] = {
      {"Pe32PlusGrown", "x86_64-w64-mingw32-", 1, 8, 128, 96},
      {"Pe32Grown", "i686-w64-mingw32-", 1, 8, 128, 96},
      {"Pe32PlusShrunk", "x86_64-w64-mingw32-", 2, 8, 16, 8},
      {"Pe32TrueColourGrown", "i686-w64-mingw32-", 3, 24, 81, 61},
      {"Pe32PlusTrueColourShrunkTo32Bits", "x86_64-w64-mingw32-", 3, 32, 7, 5},
  };
  if (!have("i686-w64-mingw32-gcc") || !have("x86_64-w64-mingw32-windres"))
    GTEST_SKIP() << "MinGW is not installed";
  TempDir dir;
  const bool wine = have("wine") && have("x86_64-w64-mingw32-gcc");
  if (wine) {
    const std::string build = "x86_64-w64-mingw32-gcc -O1 -o '" + dir.file("load_gauge.exe") +
                              "' '" DIALPIX_SOURCE_DIR "/tests/support/load_gauge.c' -limagehlp -lgdi32";
    ASSERT_EQ(std::system(build.c_str()), 0);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Built g = linkGauge(c.prefix, dir);
    ASSERT_FALSE(g.file.empty()) << "windres or the linker failed";
    const pe::ResourceTable before = tableOf(g.file);
    const Bytes data = dib(c.bits, c.width, c.height, 9);
    const Result<pe::Rewritten> r =
        pe::replaceResourceData(g.file, before, bitmapIndex(before, c.id), data);
    ASSERT_TRUE(r) << r.reason();
    const Bytes& f = r->file;

    // Appended bytes stay last; the other bitmaps and the new one read back.
    ASSERT_GE(f.size(), kOverlay.size());
    EXPECT_EQ(std::string(f.end() - static_cast<std::ptrdiff_t>(kOverlay.size()), f.end()), kOverlay);
    const pe::ResourceTable after = tableOf(f);
    for (uint32_t id = 1; id <= 3; ++id) {
      const pe::Resource& res = after.resources[bitmapIndex(after, id)];
      ASSERT_EQ(res.place, pe::Place::InFile);
      const Bytes want = id == c.id ? data : g.bitmaps[id - 1];
      EXPECT_EQ(Bytes(f.begin() + res.position - 1, f.begin() + res.position - 1 + res.size), want)
          << "bitmap " << id;
    }
    EXPECT_EQ(after.resources[bitmapIndex(after, c.id)].position, r->dataPosition);

    const std::string gauge = dir.file(std::string(c.name) + ".gau");
    writeFile(gauge, f);
    int status = -1;
    const std::string headers = run("objdump -p '" + gauge + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << headers;
    EXPECT_EQ(headers.find("warning"), std::string::npos) << headers;
    if (have("wrestool")) {  // which gives the data's address as "offset"
      const std::string listed = run("wrestool -l '" + gauge + "' 2>&1", &status);
      EXPECT_EQ(status, 0);
      std::ostringstream want;
      want << "--type=2 --name=" << c.id << " --language=1033 [type=bitmap offset=0x" << std::hex
           << after.resources[bitmapIndex(after, c.id)].rva << std::dec << " size=" << data.size() << "]";
      EXPECT_NE(listed.find(want.str()), std::string::npos) << want.str() << "\n" << listed;
    }
    if (!wine) continue;
    const bool program = std::string(c.prefix).starts_with("x86_64");
    const std::string out = dir.file(c.name);
    std::filesystem::create_directory(out);
    const std::string loaded = run(
        "cd '" + dir.path().string() + "' && WINEPREFIX='" DIALPIX_TEST_WINEPREFIX
        "' WINEDEBUG=-all WINEDLLOVERRIDES='winemenubuilder.exe=d;mscoree,mshtml=' timeout 300 "
        "wine load_gauge.exe '" + std::string(c.name) + ".gau' " + (program ? "gauge_answer" : "-") +
            " '" + c.name + "' " + (program ? "built.gau" : "-") + " 1 2 3 2>/dev/null | tr -d '\\r'",
        &status);
    if (program) {
      EXPECT_NE(loaded.find("answer " + std::to_string(kAnswer) + "\n"), std::string::npos)
          << loaded;
    }
    const uint32_t header = io::le32u(&f[io::le32u(&f[0x3C]) + 24 + 64]);
    EXPECT_NE(loaded.find("checksum " + std::to_string(header) + " " + std::to_string(header)),
              std::string::npos)
        << loaded;
    for (uint32_t id = 1; id <= 3; ++id) {
      const Bytes& want = id == c.id ? data : g.bitmaps[id - 1];
      const Bytes got = dir.read(std::string(c.name) + "/" + std::to_string(id) + ".rgb");
      std::ostringstream shape;
      shape << io::le32(&want[4]) << " " << io::le32(&want[8]) << "\n";
      ASSERT_GT(got.size(), shape.str().size()) << "bitmap " << id << ": " << loaded;
      EXPECT_EQ(std::string(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(shape.str().size())),
                shape.str());
      std::vector<uint32_t> pixels((got.size() - shape.str().size()) / 4);
      for (size_t k = 0; k < pixels.size(); ++k)
        pixels[k] = io::le32u(&got[shape.str().size() + 4 * k]) & 0xFFFFFF;
      EXPECT_EQ(pixels, colours(want)) << "bitmap " << id;
    }
  }
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
