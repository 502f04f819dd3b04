// make_fuzz_seeds DIR: writes small odd gauge files into DIR as starting
// points for the fuzz targets, beside the demo gauges of make_samples: cut
// files, extreme header values, signatures at the edges, a .BMP read as a
// gauge. Each is written twice: bare, and with 64 zero bytes after it, which
// the targets that take their choices from the end of the input read as
// "the first scan hit, no extra steps", so the file itself stays whole.

#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "bmp/bmp_file.h"
#include "gau/export.h"
#include "io/file_channels.h"
#include "tests/support/odd_gauges.h"
#include "tools/bmp_builder.h"
#include "tools/gauge_builder.h"
#include "tools/pe_builder.h"

namespace {

using gaugebuild::Gauge;
using gaugebuild::patterned;
using Bytes = std::vector<uint8_t>;

Bytes withSize(int32_t w, int32_t h) { return support::withSize(w, h).bytes; }
Bytes cutAt(int32_t keep, int32_t colors = 2) { return support::cutAt(keep, colors).bytes; }
Bytes withColors(int32_t stored) { return support::withColors(stored).bytes; }

// The export of a 4 x 2 bitmap: a .BMP whose own header the scan also finds.
Bytes exportedBmp() {
  Gauge g;
  g.filler(20, 5);
  const int32_t pos = g.plant(patterned(4, 2, 16, 1));
  return support::exportOf({g.bytes(), pos});
}

// A 13 x 5 picture (the bitmap fuzz_image imports over) in the layouts
// editors write: each header size, run-length data, top-down rows, 1 to 32
// bits a pixel, bit fields with alpha.
std::vector<std::pair<std::string, Bytes>> layouts() {
  const gaugebuild::Bitmap b = patterned(13, 5, 16);
  bmpbuild::Bmp base;
  base.width = 13, base.height = 5;
  for (int k = 0; k < 16; ++k)
    base.palette.push_back(uint32_t{b.palette[4 * k + 2]} << 16 | b.palette[4 * k + 1] << 8 |
                           b.palette[4 * k]);
  for (int i = 0; i < 13 * 5; ++i) base.pixels.push_back(static_cast<uint32_t>(i * 7 % 16));
  auto colours = [&](bmpbuild::Bmp f) {
    for (uint32_t& p : f.pixels) p = (p == 3 ? 0 : 0xFF000000u) | f.palette[p];  // 3: see-through
    f.palette.clear();
    return f;
  };
  std::vector<std::pair<std::string, Bytes>> s;
  auto add = [&](const char* name, auto edit, bool colour = false, int bits = 8) {
    bmpbuild::Bmp f = colour ? colours(base) : base;
    f.bits = bits;
    edit(f);
    s.emplace_back(std::string("layout-") + name, bmpbuild::write(f));
  };
  for (int header : {12, 40, 52, 56, 108, 124})
    add(("header" + std::to_string(header)).c_str(), [&](auto& f) { f.infoSize = header; });
  add("top-down", [](auto& f) { f.topDown = true; });
  add("rle8", [](auto& f) { f.compression = bmpbuild::Rle8; });
  add(
      "rle4", [](auto& f) { f.compression = bmpbuild::Rle4; }, false, 4);
  add(
      "1-bit",
      [](auto& f) {
        for (uint32_t& p : f.pixels) p &= 1;
        f.palette.resize(2);
      },
      false, 1);
  add(
      "24-bit", [](auto&) {}, true, 24);
  add(
      "16-bit", [](auto&) {}, true, 16);
  add(
      "32-bit-alpha",
      [](auto& f) {
        f.infoSize = 124, f.compression = bmpbuild::BitFields, f.masks[3] = 0xFF000000;
      },
      true, 32);
  return s;
}

// Gauges laid out as Windows modules, as the MinGW tools would: bitmaps of
// several depths, one named, one in two languages, one inside an RCDATA
// resource, an icon and a named type; then one whose tables loop.
std::vector<std::pair<std::string, Bytes>> modules() {
  auto dib = [](int32_t w, int32_t h, int32_t colors, uint8_t first) {
    Gauge g;
    g.plant(patterned(w, h, colors, first));
    return g.bytes();
  };
  auto res = [](pebuild::Key type, pebuild::Key name, uint32_t language, Bytes data) {
    pebuild::Resource r;
    r.type = std::move(type), r.name = std::move(name), r.language = language;
    r.data = std::move(data);
    return r;
  };
  const pebuild::Key bitmap{.name = {}, .id = 2};
  auto id = [](uint32_t n) { return pebuild::Key{.name = {}, .id = n}; };
  const std::vector<pebuild::Resource> rs = {
      res(bitmap, id(1), 1033, dib(4, 2, 2, 1)),
      res(bitmap, id(2), 1033, dib(5, 3, 16, 2)),
      res(bitmap, id(2), 1031, dib(3, 3, 0, 3)),
      res(bitmap, {.name = "NEEDLE", .id = 0}, 1033, dib(2, 2, 4, 4)),
      res(id(3), id(1), 1033, Bytes(40, 7)),
      res(id(14), id(5), 1033, {0, 0, 1, 0, 1, 0, 16, 16, 16, 0, 1, 0, 4, 0, 40, 0, 0, 0, 1, 0}),
      res(id(10), id(100), 1033, dib(4, 4, 2, 5)),
      res({.name = "PANEL", .id = 0}, id(7), 1033, {'p', 'a', 'n', 'e', 'l'})};
  std::vector<std::pair<std::string, Bytes>> s;
  s.emplace_back("module-pe32", pebuild::build(rs).bytes);
  s.emplace_back("module-pe32plus", pebuild::build(rs, pebuild::Bits::Pe32Plus).bytes);
  pebuild::Layout loop = pebuild::build({rs[0]});
  io::putLe32(&loop.bytes[loop.rsrc + loop.tables[1] + 16 + 4], 0x80000000);  // back to the root
  s.emplace_back("module-loop", loop.bytes);
  return s;
}

std::vector<std::pair<std::string, Bytes>> seeds() {
  std::vector<std::pair<std::string, Bytes>> s;
  s.emplace_back("empty", Bytes{});
  s.emplace_back("three-bytes", Bytes{1, 0, 8});
  s.emplace_back("signature-at-5", support::signatureAt5().bytes);
  s.emplace_back("width-0", withSize(0, 2));
  s.emplace_back("height-0", withSize(4, 0));
  s.emplace_back("width-negative", withSize(-5, 2));
  s.emplace_back("height-negative", withSize(4, -2));
  s.emplace_back("width-int-min", withSize(INT32_MIN, 1));
  s.emplace_back("height-int-min", withSize(4, INT32_MIN));
  s.emplace_back("width-int-max", withSize(INT32_MAX, 1));
  s.emplace_back("height-int-max", withSize(4, INT32_MAX));
  s.emplace_back("width-0-height-int-max", withSize(0, INT32_MAX));
  s.emplace_back("colours-0", support::plain(0).bytes);
  s.emplace_back("colours-256", support::plain(256).bytes);
  s.emplace_back("colours-257", withColors(257));
  s.emplace_back("colours-negative", withColors(-1));
  s.emplace_back("cut-in-header", cutAt(10));
  s.emplace_back("cut-in-colour-count", cutAt(22));
  s.emplace_back("cut-in-palette", cutAt(40, 16));
  s.emplace_back("cut-in-pixels", cutAt(40));
  const Bytes bmp = exportedBmp();
  s.emplace_back("bmp", bmp);
  s.emplace_back("bmp-header-only", Bytes(bmp.begin(), bmp.begin() + bmp::kPixelOffset));
  {
    // More hits than the chooser keeps.
    Gauge g;
    for (int i = 0; i < 101; ++i) g.plant(patterned(1, 1, 1, static_cast<uint8_t>(i)));
    s.emplace_back("101-bitmaps", g.bytes());
  }
  {
    // A second header inside the first one's pixel array.
    Gauge inner;
    inner.plant(patterned(2, 2, 1));
    gaugebuild::Bitmap outer = patterned(8, 8, 2);
    std::copy(inner.bytes().begin(), inner.bytes().end(), outer.pixels.begin());
    Gauge g;
    g.filler(16, 8);
    g.plant(outer);
    s.emplace_back("nested", g.bytes());
  }
  for (auto& [name, bytes] : layouts()) s.emplace_back(name, bytes);
  for (auto& [name, bytes] : modules()) s.emplace_back(name, bytes);
  return s;
}

bool write(const std::string& path, const Bytes& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  struct stat st {};
  if (argc != 2 || ::stat(argv[1], &st) != 0 || !S_ISDIR(st.st_mode)) {
    std::fprintf(stderr, "usage: make_fuzz_seeds DIR (an existing folder)\n");
    return 2;
  }
  for (const auto& [name, bytes] : seeds()) {
    Bytes tailed = bytes;
    tailed.resize(bytes.size() + 64, 0);
    const std::string base = std::string(argv[1]) + "/odd-" + name;
    if (!write(base, bytes) || !write(base + "+tail", tailed)) {
      std::fprintf(stderr, "make_fuzz_seeds: cannot write %s\n", base.c_str());
      return 1;
    }
  }
  return 0;
}
