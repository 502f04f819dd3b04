#pragma once
// Gauges linked as real ones are, by MinGW's windres and gcc, for the tests
// of bitmaps made another size: code, data that a relocation points at, an
// exported function, three bitmap resources of two depths (64 x 64 and
// 33 x 17 at 8 bits, 40 x 30 at 24), the relocations and debug sections after
// the resources, and bytes appended after the last section, with the checksum
// made right again. Plus the Windows loader's view of a gauge under wine.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "io/little_endian.h"
#include "pe/resource_rewrite.h"
#include "tools/bmp_builder.h"

namespace mingwgauge {

using Bytes = std::vector<uint8_t>;

// A bitmap resource's data: header, palette (8-bit) and pixels, bottom row first.
inline Bytes dib(int bits, int32_t w, int32_t h, uint32_t seed) {
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
inline std::vector<uint32_t> colours(const Bytes& d) {
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

inline const char* const kSource =
    "static int table[4] = {3, 5, 7, 9};\n"
    "int *volatile pointer = &table[2];\n"  // data that a relocation points at
    "__declspec(dllexport) int gauge_answer(int x) { return *pointer * 10 + x; }\n";
inline constexpr int kAnswer = 75;  // gauge_answer(5)
inline const std::string kOverlay = "appended: an installer's payload, kept byte for byte";

struct Built {
  Bytes file;
  std::vector<Bytes> bitmaps;  // resources 1, 2, 3
};

inline bool have(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

inline void writeFile(const std::string& name, const Bytes& b) {
  std::ofstream(name, std::ios::binary)
      .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

inline std::string run(const std::string& command, int* status) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    *status = pclose(p);
  }
  return out;
}

// A gauge DLL of `prefix`'s MinGW, with the overlay appended and its checksum made right again.
inline Built linkGauge(const std::string& prefix, const std::string& folder) {
  Built g;
  g.bitmaps = {dib(8, 64, 64, 1), dib(8, 33, 17, 2), dib(24, 40, 30, 3)};
  std::string rc;
  for (size_t i = 0; i < g.bitmaps.size(); ++i) {
    Bytes bmp = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    io::putLe32(&bmp[2], static_cast<uint32_t>(14 + g.bitmaps[i].size()));
    io::putLe32(&bmp[10], 14 + 40 + (g.bitmaps[i][14] == 8 ? 1024 : 0));
    bmp.insert(bmp.end(), g.bitmaps[i].begin(), g.bitmaps[i].end());
    writeFile(folder + "/b" + std::to_string(i + 1) + ".bmp", bmp);
    rc += std::to_string(i + 1) + " BITMAP \"b" + std::to_string(i + 1) + ".bmp\"\n";
  }
  writeFile(folder + "/gauge.rc", Bytes(rc.begin(), rc.end()));
  writeFile(folder + "/gauge.c", Bytes(kSource, kSource + std::strlen(kSource)));
  const std::string build = "cd '" + folder + "' && " + prefix +
                            "windres gauge.rc -O coff -o res.o && " + prefix +
                            "gcc -shared -O1 -o built.gau gauge.c res.o";
  if (std::system(build.c_str()) != 0) return {};
  std::ifstream in(folder + "/built.gau", std::ios::binary);
  g.file.assign(std::istreambuf_iterator<char>(in), {});
  g.file.insert(g.file.end(), kOverlay.begin(), kOverlay.end());
  const size_t checksum = io::le32u(&g.file[0x3C]) + 24 + 64;
  io::putLe32(&g.file[checksum], pe::peChecksum(g.file, checksum));
  return g;
}

// Loads `gauge` (in `folder`) under wine as a program calling its export, or
// as data with `asData`, after `first` when not empty; writes each bitmap's
// pixels to folder/out/ID.rgb. What load_gauge printed.
inline std::string loadUnderWine(const std::string& folder, const std::string& gauge,
                                 const std::string& out, bool asData, const std::string& first,
                                 const std::string& prefix) {
  int status = -1;
  return run("cd '" + folder + "' && WINEPREFIX='" + prefix +
                 "' WINEDEBUG=-all WINEDLLOVERRIDES='winemenubuilder.exe=d;mscoree,mshtml=' "
                 "timeout 300 wine load_gauge.exe '" + gauge + "' " +
                 (asData ? "-" : "gauge_answer") + " '" + out + "' " +
                 (first.empty() ? "-" : first) + " 1 2 3 2>/dev/null | tr -d '\\r'",
             &status);
}

// Builds load_gauge.exe into `folder`; false when MinGW's 64-bit gcc or wine is missing.
inline bool buildLoader(const std::string& folder, const std::string& sourceDir) {
  if (!have("wine") || !have("x86_64-w64-mingw32-gcc")) return false;
  const std::string build = "x86_64-w64-mingw32-gcc -O1 -o '" + folder + "/load_gauge.exe' '" +
                            sourceDir + "/tests/support/load_gauge.c' -limagehlp -lgdi32";
  return std::system(build.c_str()) == 0;
}

}  // namespace mingwgauge
