// The resource table of gauges built as real ones are: by windres and the
// MinGW linker when they are installed, and laid out by pebuild everywhere;
// each resource is checked against the bytes that went in. Then modules
// spoiled one way each, which must be refused with a reason or have the bad
// resource flagged, never read past a bound.

#include "pe/resource_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>

#include "io/little_endian.h"
#include "temp_dir.h"
#include "tests/support/counting_channel.h"
#include "tools/bmp_builder.h"
#include "tools/pe_builder.h"

using Bytes = std::vector<uint8_t>;

namespace {

Bytes bmpFile(int bits, int32_t w, int32_t h, uint32_t seed) {
  bmpbuild::Bmp b;
  b.width = w, b.height = h, b.bits = bits;
  if (bits <= 8)
    for (uint32_t k = 0; k < 1u << bits; ++k)
      b.palette.push_back((seed * 0x10101 + k * 0x30201) & 0xFFFFFF);
  for (uint32_t i = 0; i < static_cast<uint32_t>(w * h); ++i)
    b.pixels.push_back(bits <= 8 ? (i * 7 + seed) % (1u << bits) : (i * 0x10305 + seed) & 0xFFFFFF);
  return bmpbuild::write(b);
}
Bytes withoutFileHeader(const Bytes& bmp) { return {bmp.begin() + 14, bmp.end()}; }

pebuild::Key id(uint32_t n) { return {.name = {}, .id = n}; }
pebuild::Key named(const char* name) { return {.name = name, .id = 0}; }
pebuild::Resource resource(pebuild::Key type, pebuild::Key name, uint32_t language, Bytes data) {
  pebuild::Resource r;
  r.type = std::move(type), r.name = std::move(name), r.language = language;
  r.data = std::move(data);
  return r;
}

// What a gauge is built from: the resources expected in it, and the same as
// an .rc script with the files it names.
struct Gauge {
  std::vector<pebuild::Resource> resources;
  std::vector<std::pair<std::string, Bytes>> files;
  std::string rc;
};

Gauge sample() {
  Gauge g;
  auto bitmap = [&](const std::string& file, pebuild::Key name, uint32_t language, Bytes bmp) {
    g.resources.push_back(resource(id(pe::kBitmap), name, language, withoutFileHeader(bmp)));
    g.files.emplace_back(file, bmp);
  };
  g.rc =
      "LANGUAGE 9, 1\n1 BITMAP \"b1.bmp\"\n2 BITMAP \"b4.bmp\"\n3 BITMAP \"b8.bmp\"\n"
      "4 BITMAP \"b24.bmp\"\nNEEDLE BITMAP \"needle.bmp\"\n5 ICON \"dial.ico\"\n"
      "100 RCDATA \"inner.dib\"\n7 PANEL \"panel.bin\"\n"
      "LANGUAGE 7, 1\n3 BITMAP \"b8de.bmp\"\n";
  bitmap("b1.bmp", id(1), 1033, bmpFile(1, 9, 3, 1));
  bitmap("b4.bmp", id(2), 1033, bmpFile(4, 7, 5, 2));
  bitmap("b8.bmp", id(3), 1033, bmpFile(8, 13, 6, 3));
  bitmap("b24.bmp", id(4), 1033, bmpFile(24, 5, 4, 4));
  bitmap("needle.bmp", named("NEEDLE"), 1033, bmpFile(8, 3, 17, 5));
  bitmap("b8de.bmp", id(3), 1031, bmpFile(8, 6, 6, 6));
  // An icon file of one 16 x 16 image: windres makes it icon 1 and group icon 5.
  const Bytes image = withoutFileHeader(bmpFile(4, 16, 32, 7));
  Bytes ico = {0, 0, 1, 0, 1, 0, 16, 16, 16, 0, 1, 0, 4, 0, 0, 0, 0, 0, 22, 0, 0, 0};
  io::putLe32(&ico[14], static_cast<uint32_t>(image.size()));
  Bytes group(ico.begin(), ico.begin() + 18);
  group.push_back(1), group.push_back(0);  // the icon's id
  ico.insert(ico.end(), image.begin(), image.end());
  g.files.emplace_back("dial.ico", ico);
  g.resources.push_back(resource(id(pe::kIcon), id(1), 1033, image));
  g.resources.push_back(resource(id(pe::kGroupIcon), id(5), 1033, group));
  // A bitmap inside other data, as some gauges keep them.
  const Bytes inner = withoutFileHeader(bmpFile(8, 4, 4, 8));
  g.files.emplace_back("inner.dib", inner);
  g.resources.push_back(resource(id(pe::kRcData), id(100), 1033, inner));
  const Bytes panel = {'p', 'a', 'n', 'e', 'l', 0, 1, 2, 3};
  g.files.emplace_back("panel.bin", panel);
  g.resources.push_back(resource(named("PANEL"), id(7), 1033, panel));
  return g;
}

enum class Builder { PeBuild, MinGw };
struct Variant {
  const char* name;
  Builder builder;
  pe::Kind kind;
  uint16_t machine;
  const char* prefix;  // of the MinGW tools
};
void PrintTo(const Variant& v, std::ostream* os) { *os << v.name; }

bool haveTools(const std::string& prefix) {
  const std::string probe = "command -v " + prefix + "windres >/dev/null 2>&1 && command -v " +
                            prefix + "gcc >/dev/null 2>&1";
  return std::system(probe.c_str()) == 0;
}

// A DLL of a stub function and the gauge's resources, linked as gauges are.
Bytes linkWithMinGw(const Gauge& g, const std::string& prefix) {
  TempDir dir;
  auto write = [&](const std::string& name, const Bytes& b) {
    std::ofstream(dir.file(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  };
  for (const auto& [name, bytes] : g.files) write(name, bytes);
  write("gauge.rc", Bytes(g.rc.begin(), g.rc.end()));
  const std::string stub = "int gauge_stub(void) { return 7; }\n";
  write("stub.c", Bytes(stub.begin(), stub.end()));
  const std::string build = "cd '" + dir.path().string() + "' && " + prefix +
                            "windres gauge.rc -O coff -o res.o && " + prefix +
                            "gcc -shared -nostdlib -s -Wl,--entry=0 -o gauge.gau stub.c res.o";
  if (std::system(build.c_str()) != 0) return {};
  return dir.read("gauge.gau");
}

pe::Key keyOf(const pebuild::Key& k) {
  return {.named = !k.name.empty(), .id = k.name.empty() ? k.id : 0, .name = k.name};
}

class WellFormedModule : public testing::TestWithParam<Variant> {};

TEST_P(WellFormedModule, EveryResourceIsFoundWhereItsBytesAre) {
  const Variant& v = GetParam();
  const Gauge g = sample();
  Bytes file;
  if (v.builder == Builder::MinGw) {
    if (!haveTools(v.prefix)) GTEST_SKIP() << v.prefix << "windres or gcc is not installed";
    file = linkWithMinGw(g, v.prefix);
    ASSERT_FALSE(file.empty()) << "windres or the linker failed";
  } else {
    file = pebuild::build(g.resources, v.kind == pe::Kind::Pe32Plus ? pebuild::Bits::Pe32Plus
                                                                    : pebuild::Bits::Pe32)
               .bytes;
  }
  support::CountingChannel channel(file);
  const Result<pe::ResourceTable> t = pe::readResourceTable(channel);
  ASSERT_TRUE(t) << t.reason();
  EXPECT_EQ(t->kind, v.kind);
  EXPECT_EQ(t->machine, v.machine);
  ASSERT_GE(t->resourceSection, 0);
  EXPECT_EQ(t->sections[static_cast<size_t>(t->resourceSection)].name, ".rsrc");
  EXPECT_EQ(t->directories.size(), 16u);
  ASSERT_EQ(t->resources.size(), g.resources.size());

  const pe::ResourceIndex index(*t);
  for (const pebuild::Resource& want : g.resources) {
    const auto found = std::find_if(t->resources.begin(), t->resources.end(), [&](const auto& r) {
      return r.type == keyOf(want.type) && r.name == keyOf(want.name) &&
             r.language == pe::Key{.named = false, .id = want.language, .name = {}};
    });
    const std::string what = pe::typeName(keyOf(want.type)) + " " + want.name.name +
                             std::to_string(want.name.id) + "/" + std::to_string(want.language);
    ASSERT_NE(found, t->resources.end()) << what;
    ASSERT_EQ(found->place, pe::Place::InFile) << what;
    ASSERT_EQ(found->size, want.data.size()) << what;
    const auto first = file.begin() + found->position - 1;
    EXPECT_TRUE(std::equal(want.data.begin(), want.data.end(), first)) << what;
    const auto i = static_cast<size_t>(found - t->resources.begin());
    EXPECT_EQ(index.at(found->position), i) << what;
    EXPECT_EQ(index.at(found->position + found->size - 1), i) << what;
    EXPECT_NE(index.at(found->position + found->size), i) << what;
  }
  EXPECT_FALSE(index.at(1));  // the MZ header
  EXPECT_EQ(channel.readsBeforeStart(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Gauges, WellFormedModule,
    testing::Values(
        Variant{"LaidOutPe32", Builder::PeBuild, pe::Kind::Pe32, 0x14C, ""},
        Variant{"LaidOutPe32Plus", Builder::PeBuild, pe::Kind::Pe32Plus, 0x8664, ""},
        Variant{"MinGwI686", Builder::MinGw, pe::Kind::Pe32, 0x14C, "i686-w64-mingw32-"},
        Variant{"MinGwX86_64", Builder::MinGw, pe::Kind::Pe32Plus, 0x8664, "x86_64-w64-mingw32-"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ResourceTable, ReadsTheTablesNotTheData) {
  std::vector<pebuild::Resource> rs;
  for (uint32_t n = 1; n <= 100; ++n)
    rs.push_back(resource(id(pe::kBitmap), id(n), 1033, withoutFileHeader(bmpFile(8, 32, 32, n))));
  const Bytes file = pebuild::build(rs).bytes;
  support::CountingChannel channel(file);
  const Result<pe::ResourceTable> t = pe::readResourceTable(channel);
  ASSERT_TRUE(t) << t.reason();
  EXPECT_EQ(t->resources.size(), 100u);
  EXPECT_LE(channel.reads, 6);
  EXPECT_LE(channel.bytesRead(), 12 * 1024) << "of " << file.size();
}

TEST(ResourceTable, AModuleWithoutResourcesListsNone) {
  pebuild::Layout l = pebuild::build({});
  io::putLe32(&l.bytes[l.optional + 96 + 8 * pe::kResourceDirectory], 0);
  io::putLe32(&l.bytes[l.optional + 100 + 8 * pe::kResourceDirectory], 0);
  support::CountingChannel channel(l.bytes);
  const Result<pe::ResourceTable> t = pe::readResourceTable(channel);
  ASSERT_TRUE(t) << t.reason();
  EXPECT_TRUE(t->resources.empty());
  EXPECT_EQ(t->resourceSection, -1);
  EXPECT_EQ(t->sections.size(), 2u);
}

TEST(ResourceIndex, TheSmallestOfOverlappingResourcesHoldsAPosition) {
  pe::ResourceTable t;
  for (auto [position, size] : {std::pair{10, 100}, {20, 10}, {25, 1}, {200, 0}, {300, 5}})
    t.resources.push_back({.type = {},
                           .name = {},
                           .language = {},
                           .size = static_cast<uint32_t>(size),
                           .position = position});
  t.resources.push_back({.type = {},
                         .name = {},
                         .language = {},
                         .size = 50,
                         .place = pe::Place::PastSection,
                         .position = 300});
  const pe::ResourceIndex index(t);
  const std::pair<int64_t, std::optional<size_t>> rows[] = {
      {9, {}},   {10, 0},   {19, 0},   {20, 1},  {25, 2},  {26, 1},   {30, 0},        {109, 0},
      {110, {}}, {200, {}}, {299, {}}, {300, 4}, {304, 4}, {305, {}}, {INT64_MAX, {}}};
  for (auto [pos, owner] : rows) EXPECT_EQ(index.at(pos), owner) << "at " << pos;
}

// Malformed modules, each a well-formed one spoiled in one place.
struct Spoiled {
  const char* name;
  std::function<void(pebuild::Layout&)> spoil;
  const char* reason;                   // a part of it; nullptr when the table is read
  pe::Place place = pe::Place::InFile;  // then: where the first bitmap's data lies
};
void PrintTo(const Spoiled& s, std::ostream* os) { *os << s.name; }

// Bitmaps 1 and NEEDLE, and a large block of zeros (rcdata 1) where
// spoiled tables can be laid.
pebuild::Layout base() {
  const Bytes dib = withoutFileHeader(bmpFile(8, 4, 2, 1));
  return pebuild::build({resource(id(pe::kBitmap), id(1), 1033, dib),
                         resource(id(pe::kBitmap), named("NEEDLE"), 1033, dib),
                         resource(id(pe::kRcData), id(1), 1033, Bytes(48000, 0))});
}
constexpr uint32_t kSub = 0x80000000;
// Tables of base(), in the order laid: root; bitmap names, rcdata names;
// NEEDLE's, 1's and rcdata 1's languages.
enum Table { Root, BitmapNames, RcDataNames, NeedleLanguages, Bitmap1Languages };
uint32_t entry(const pebuild::Layout& l, Table t, uint32_t i) { return l.tables[t] + 16 + 8 * i; }
void at32(pebuild::Layout& l, uint32_t offset, uint32_t v) { io::putLe32(&l.bytes.at(offset), v); }
void rsrc32(pebuild::Layout& l, uint32_t rel, uint32_t v) { at32(l, l.rsrc + rel, v); }
void rsrc16(pebuild::Layout& l, uint32_t rel, uint16_t v) {
  io::putLe16(&l.bytes.at(l.rsrc + rel), v);
}
uint32_t zeros(const pebuild::Layout& l) { return l.dataAt[2] - l.rsrc; }  // rcdata 1, relative

std::vector<Spoiled> spoiled() {
  using L = pebuild::Layout;
  const uint32_t dataDirectory = 96 + 8 * pe::kResourceDirectory;  // in a PE32 optional header
  return {
      {"NoMz", [](L& l) { l.bytes[0] = 'X'; }, "no MZ header"},
      {"ShorterThanItsMsDosHeader", [](L& l) { l.bytes.resize(60); }, "no MZ header"},
      {"PeHeaderPastTheEnd", [](L& l) { at32(l, 0x3C, static_cast<uint32_t>(l.bytes.size()) - 8); },
       "cut short"},
      {"PeHeaderFarPastTheEnd", [](L& l) { at32(l, 0x3C, 0xFFFFFFF0); }, "cut short"},
      {"NoPeSignature", [](L& l) { l.bytes[l.nt] = 'X'; }, "no PE signature"},
      {"UnknownOptionalHeader", [](L& l) { io::putLe16(&l.bytes[l.optional], 0x107); },
       "neither PE32"},
      {"OptionalHeaderTooShort", [](L& l) { io::putLe16(&l.bytes[l.nt + 20], 64); }, "too short"},
      {"SectionTablePastTheEnd", [](L& l) { io::putLe16(&l.bytes[l.nt + 6], 0xFFFF); },
       "cut short"},
      {"CutInTheSectionTable", [](L& l) { l.bytes.resize(l.sections + 50); }, "cut short"},
      {"ResourcesInNoSection", [=](L& l) { at32(l, l.optional + dataDirectory, 0x900000); },
       "none of its sections"},
      {"CutBeforeTheResources", [](L& l) { l.bytes.resize(l.rsrc + 8); }, "cut short"},
      {"CutInTheTables", [](L& l) { l.bytes.resize(l.rsrc + 40); }, "outside the resource section"},
      {"SubtableOutsideTheSection",
       [](L& l) { rsrc32(l, entry(l, Root, 0) + 4, kSub | 0x7FFFFFF0); },
       "outside the resource section"},
      {"SubtableIsTheRoot", [](L& l) { rsrc32(l, entry(l, BitmapNames, 0) + 4, kSub | 0); },
       "loops"},
      {"SubtableReachedTwice",
       [](L& l) { rsrc32(l, entry(l, BitmapNames, 1) + 4, kSub | l.tables[NeedleLanguages]); },
       "loops"},
      {"FourLevels", [](L& l) { rsrc32(l, entry(l, NeedleLanguages, 0) + 4, kSub | zeros(l)); },
       "deeper than three"},
      {"DataWhereATableBelongs", [](L& l) { rsrc32(l, entry(l, Root, 0) + 4, l.dataEntries[0]); },
       "where a table belongs"},
      {"AbsurdEntryCount", [](L& l) { rsrc16(l, l.tables[Root] + 14, 0xFFFF); },
       "more than its section has room for"},
      {"NameRunsOutOfTheSection", [](L& l) { rsrc16(l, l.strings[0], 0xFFFF); },
       "name lies outside"},
      {"NameOutsideTheSection",
       [](L& l) { rsrc32(l, entry(l, BitmapNames, 0), kSub | 0x7FFFFFFF); }, "name lies outside"},
      {"DataEntryOutsideTheSection",
       [](L& l) { rsrc32(l, entry(l, Bitmap1Languages, 0) + 4, 0x7FFFFFF0); },
       "data entry lies outside"},
      // 100 names over one string of 2000 characters, each entry with a table of its own.
      {"NamesLaidOverEachOther",
       [](L& l) {
         const uint32_t z = zeros(l);
         rsrc32(l, entry(l, Root, 0) + 4, kSub | z);
         rsrc16(l, z + 12, 100);
         rsrc16(l, z + 2000, 2000);
         for (uint32_t i = 0; i < 100; ++i) {
           rsrc32(l, z + 16 + 8 * i, kSub | (z + 2000));
           rsrc32(l, z + 16 + 8 * i + 4, kSub | (z + 1000 + i));  // empty tables
         }
       },
       "over and over"},
      // 100 empty names in ten blocks, visited in turn: more than the walk keeps at hand.
      {"NamesFarApart",
       [](L& l) {
         const uint32_t z = zeros(l);
         rsrc32(l, entry(l, Root, 0) + 4, kSub | z);
         rsrc16(l, z + 12, 100);
         for (uint32_t i = 0; i < 100; ++i) {
           rsrc32(l, z + 16 + 8 * i, kSub | (z + 4096 * (1 + i % 10)));
           rsrc32(l, z + 16 + 8 * i + 4, kSub | (z + 1000 + i));
         }
       },
       "over and over"},
      // Read, with the bitmap flagged.
      {"DataInNoSection", [](L& l) { rsrc32(l, l.dataEntries[0], 0x900000); }, nullptr,
       pe::Place::NoSection},
      {"DataPastItsSection",  // whose virtual size ends inside the bitmap; the file goes on
       [](L& l) { at32(l, l.sections + 40 + 8, l.dataAt[0] - l.rsrc + 10); }, nullptr,
       pe::Place::PastSection},
      {"DataPastTheEndOfTheFile",
       [](L& l) {
         at32(l, l.sections + 40 + 8, 0x100000);  // .rsrc larger than the file
         at32(l, l.sections + 40 + 16, 0x100000);
         rsrc32(l, l.dataEntries[0] + 4, static_cast<uint32_t>(l.bytes.size()));
       },
       nullptr, pe::Place::PastSection},
  };
}

class MalformedModule : public testing::TestWithParam<Spoiled> {};

TEST_P(MalformedModule, EndsCleanly) {
  pebuild::Layout l = base();
  GetParam().spoil(l);
  support::CountingChannel channel(l.bytes);
  const Result<pe::ResourceTable> t = pe::readResourceTable(channel);
  EXPECT_EQ(channel.readsBeforeStart(), 0);
  EXPECT_LE(channel.bytesRead(), 3 * static_cast<int64_t>(l.bytes.size()));
  if (GetParam().reason) {
    ASSERT_FALSE(t);
    EXPECT_EQ(t.fault(), Fault::Source);
    EXPECT_NE(t.reason().find(GetParam().reason), std::string::npos) << t.reason();
    return;
  }
  ASSERT_TRUE(t) << t.reason();
  ASSERT_EQ(t->resources.size(), 3u);
  const auto bitmap1 = std::find_if(t->resources.begin(), t->resources.end(), [](const auto& r) {
    return !r.name.named && r.type.id == pe::kBitmap;
  });
  ASSERT_NE(bitmap1, t->resources.end());
  EXPECT_EQ(bitmap1->place, GetParam().place);
  const pe::ResourceIndex index(*t);
  for (int64_t pos = 1; pos <= static_cast<int64_t>(l.bytes.size()); pos += 64)
    EXPECT_NE(index.at(pos), static_cast<size_t>(bitmap1 - t->resources.begin())) << pos;
}

INSTANTIATE_TEST_SUITE_P(Spoiled, MalformedModule, testing::ValuesIn(spoiled()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
