// make_module_gauges DIR COUNT [PICTURES]: writes COUNT gauge files of 64 KiB
// each into DIR, with 3 pictures each or PICTURES (up to 101: the 3 and small
// icons), laid out as FS98 gauges are: a 32-bit Windows module whose pictures
// are bitmap resources. A resource reader (wrestool) lists them from the
// resource directory; dialpix finds the same bitmaps by scanning every byte.

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "io/little_endian.h"
#include "tests/support/exhaustive_scan.h"
#include "tools/gauge_builder.h"

namespace {

constexpr uint32_t kFileBytes = 64 * 1024;
constexpr uint32_t kNtHeaders = 0x80;     // where "PE\0\0" stands
constexpr uint32_t kHeaderBytes = 0x400;  // headers, rounded up to the file alignment
constexpr uint32_t kTextFile = 0x400, kTextBytes = 0x6000, kTextRva = 0x1000;
constexpr uint32_t kRsrcFile = kTextFile + kTextBytes, kRsrcRva = 0x7000;
constexpr uint32_t kRsrcBytes = kFileBytes - kRsrcFile;
constexpr uint16_t kBitmapType = 2;  // RT_BITMAP
constexpr uint32_t kSubdirectory = 0x80000000;

class Writer {
 public:
  explicit Writer(std::vector<uint8_t>& b) : b_(b) {}
  void u8(uint32_t at, uint8_t v) { b_.at(at) = v; }
  void u16(uint32_t at, uint16_t v) { io::putLe16(&b_.at(at + 1) - 1, v); }
  void u32(uint32_t at, uint32_t v) { io::putLe32(&b_.at(at + 3) - 3, v); }

 private:
  std::vector<uint8_t>& b_;
};

void section(Writer& w, uint32_t at, const char* name, uint32_t rva, uint32_t bytes, uint32_t file,
             uint32_t flags) {
  for (uint32_t i = 0; name[i] != 0; ++i) w.u8(at + i, static_cast<uint8_t>(name[i]));
  w.u32(at + 8, bytes);  // virtual size
  w.u32(at + 12, rva);
  w.u32(at + 16, bytes);  // raw size
  w.u32(at + 20, file);
  w.u32(at + 36, flags);
}

// One module of `count` pictures; the bitmaps' sizes vary with `seed`.
std::vector<uint8_t> module(uint32_t seed, uint32_t count) {
  std::vector<gaugebuild::Bitmap> pictures = {
      gaugebuild::patterned(120 + static_cast<int32_t>(seed % 9), 128, 0,
                            static_cast<uint8_t>(seed)),
      gaugebuild::patterned(48, 40 + static_cast<int32_t>(seed % 7), 16),
      gaugebuild::patterned(100, 60, 200, 7)};
  for (uint32_t i = 3; i < count; ++i)
    pictures.push_back(gaugebuild::patterned(4, 4, 2, static_cast<uint8_t>(seed + i)));
  const auto n = static_cast<uint32_t>(pictures.size());

  // Headers and code: other bytes that no scan may take for a picture.
  gaugebuild::Gauge g;
  g.filler(kFileBytes, seed);
  std::vector<uint8_t>& b = g.bytes();
  Writer w(b);
  w.u16(0, 0x5A4D);  // "MZ"
  w.u32(0x3C, kNtHeaders);
  w.u32(kNtHeaders, 0x00004550);  // "PE\0\0"
  const uint32_t coff = kNtHeaders + 4;
  w.u16(coff, 0x014C);  // i386
  w.u16(coff + 2, 2);   // sections
  w.u32(coff + 4, 0);   // time stamp
  w.u32(coff + 8, 0);   // no symbols
  w.u32(coff + 12, 0);
  w.u16(coff + 16, 224);     // optional header size
  w.u16(coff + 18, 0x2102);  // executable, 32-bit, DLL
  const uint32_t opt = coff + 20;
  w.u16(opt, 0x010B);  // PE32
  w.u32(opt + 4, kTextBytes);
  w.u32(opt + 8, kRsrcBytes);
  w.u32(opt + 12, 0);
  w.u32(opt + 16, kTextRva);  // entry point
  w.u32(opt + 20, kTextRva);
  w.u32(opt + 24, kRsrcRva);
  w.u32(opt + 28, 0x10000000);  // image base
  w.u32(opt + 32, 0x1000);      // section alignment
  w.u32(opt + 36, 0x200);       // file alignment
  w.u16(opt + 40, 4);
  w.u16(opt + 48, 4);
  w.u32(opt + 52, 0);
  w.u32(opt + 56, kRsrcRva + 0xA000);  // image size
  w.u32(opt + 60, kHeaderBytes);
  w.u32(opt + 64, 0);  // checksum
  w.u16(opt + 68, 2);  // GUI subsystem
  w.u16(opt + 70, 0);
  w.u32(opt + 72, 0x100000);
  w.u32(opt + 76, 0x1000);
  w.u32(opt + 80, 0x100000);
  w.u32(opt + 84, 0x1000);
  w.u32(opt + 88, 0);
  w.u32(opt + 92, 16);  // data directories
  for (uint32_t d = 0; d < 16; ++d) w.u32(opt + 96 + 8 * d, 0), w.u32(opt + 100 + 8 * d, 0);
  w.u32(opt + 96 + 8 * 2, kRsrcRva);  // resources
  w.u32(opt + 100 + 8 * 2, kRsrcBytes);
  const uint32_t sections = opt + 224;
  for (uint32_t i = sections; i < sections + 80; ++i) b[i] = 0;
  section(w, sections, ".text", kTextRva, kTextBytes, kTextFile, 0x60000020);
  section(w, sections + 40, ".rsrc", kRsrcRva, kRsrcBytes, kRsrcFile, 0x40000040);
  for (uint32_t i = sections + 80; i < kHeaderBytes; ++i) b[i] = 0;

  // Resource tree: type -> names 1..n -> language 1033 -> data entry.
  const uint32_t root = kRsrcFile;
  const uint32_t names = root + 16 + 8;
  const uint32_t languages = names + 16 + 8 * n;
  const uint32_t entries = languages + n * (16 + 8);
  uint32_t data = entries + 16 * n;
  for (uint32_t i = root; i < data; ++i) b[i] = 0;
  auto rsrcOffset = [](uint32_t file) { return file - kRsrcFile; };
  w.u16(root + 14, 1);  // one id entry
  w.u32(root + 16, kBitmapType);
  w.u32(root + 20, kSubdirectory | rsrcOffset(names));
  w.u16(names + 14, static_cast<uint16_t>(n));
  for (uint32_t i = 0; i < n; ++i) {
    const uint32_t language = languages + i * (16 + 8);
    w.u32(names + 16 + 8 * i, i + 1);
    w.u32(names + 20 + 8 * i, kSubdirectory | rsrcOffset(language));
    w.u16(language + 14, 1);
    w.u32(language + 16, 1033);
    w.u32(language + 20, rsrcOffset(entries + 16 * i));
    // A bitmap resource is a .BMP without its 14-byte file header: what the scan finds.
    gaugebuild::Gauge one;
    one.plant(pictures[i]);
    const std::vector<uint8_t>& bytes = one.bytes();
    if (data + bytes.size() > kFileBytes) return {};  // more pictures than the module holds
    std::copy(bytes.begin(), bytes.end(), b.begin() + data);
    w.u32(entries + 16 * i, kRsrcRva + rsrcOffset(data));
    w.u32(entries + 16 * i + 4, static_cast<uint32_t>(bytes.size()));
    data += (static_cast<uint32_t>(bytes.size()) + 7) / 8 * 8;
  }
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  const int pictures = argc == 4 ? std::atoi(argv[3]) : 3;
  if ((argc != 3 && argc != 4) || pictures < 3 || pictures > 101) {
    std::fprintf(stderr, "usage: make_module_gauges DIR COUNT [PICTURES (3 to 101)]\n");
    return 2;
  }
  const std::string dir = argv[1];
  const int count = std::atoi(argv[2]);
  ::mkdir(dir.c_str(), 0777);
  for (int i = 0; i < count; ++i) {
    const std::vector<uint8_t> b =
        module(static_cast<uint32_t>(i) + 1, static_cast<uint32_t>(pictures));
    if (b.size() != kFileBytes ||
        support::exhaustiveScan(b).size() != static_cast<size_t>(pictures)) {
      std::fprintf(stderr, "make_module_gauges: module %d would not hold exactly its %d pictures\n",
                   i, pictures);
      return 1;
    }
    char name[32];
    std::snprintf(name, sizeof name, "/gauge%03d.gau", i);
    gaugebuild::Gauge out;
    out.raw(b);
    if (!out.writeTo(dir + name)) {
      std::fprintf(stderr, "make_module_gauges: cannot write %s%s\n", dir.c_str(), name);
      return 1;
    }
  }
  return 0;
}
