// The import of pictures other programs write, each beside the byte-for-byte
// import of the export's own layout, all over the same 4096 x 4096,
// 256-colour gauge bitmap and each flushed to the disk:
//   Header124     8 bits, a 124-byte header and the export's palette (GIMP's layout)
//   Rle8          8 bits run-length encoded, 124-byte header (ImageMagick's)
//   GaugeColours  24 bits, every pixel one of the gauge's colours
//   RandomColours 24 bits, 4096 x 4096 random colours: nearly every pixel approximated
// and the mapping of those random colours alone, beside Pillow's
// Image.quantize(palette=...) of the same picture into the same palette, timed
// inside Python (Debian's python3-pil; skipped when it is not installed).

#if DIALPIX_BENCH_IMAGEIO

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "gau/export.h"
#include "gau/colour_map.h"
#include "io/file_channels.h"
#include "imageio/image_import.h"
#include "imageio/image_reader.h"
#include "tools/bmp_builder.h"
#include "tools/gauge_builder.h"

namespace {

constexpr int32_t kSide = 4096;

struct Sample {
  std::filesystem::path folder;
  std::string gauge;
  int32_t pos = 0;
  std::vector<uint32_t> palette;  // 0xRRGGBB, as the export shows it
  std::string file(const char* name) const { return (folder / name).string(); }
};

void save(const std::string& path, const std::vector<uint8_t>& bytes) {
  gaugebuild::Gauge().raw(bytes).writeTo(path);
}

// A gauge with one 4096 x 4096 bitmap of 256 random colours whose picture is
// blocks of 8 pixels, and the files of each layout holding that picture.
const Sample& sample() {
  static const Sample s = [] {
    Sample s;
    s.folder = std::filesystem::temp_directory_path() / "dialpix-bench-image-import";
    std::filesystem::create_directories(s.folder);
    s.gauge = s.file("big.gau");
    std::mt19937 random(1998);
    gaugebuild::Bitmap b;
    b.width = b.height = kSide;
    for (int k = 0; k < 256; ++k) {
      const uint32_t c = random() & 0xFFFFFF;
      b.palette.insert(b.palette.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0});
      s.palette.push_back(k == 255 ? 0xFFFFFF : c);
    }
    std::vector<uint32_t> indices;  // top row first
    indices.reserve(size_t{kSide} * kSide);
    for (int32_t y = 0; y < kSide; ++y)
      for (int32_t x = 0; x < kSide; ++x) indices.push_back(((x >> 3) * 7 + (y >> 3) * 13) & 255);
    for (int32_t y = kSide - 1; y >= 0; --y)
      for (int32_t x = 0; x < kSide; ++x)
        b.pixels.push_back(uint8_t(indices[size_t(y) * kSide + x]));
    gaugebuild::Gauge g;
    g.filler(4000);
    s.pos = g.plant(b);
    g.filler(4000, 2);
    g.writeTo(s.gauge);
    auto ch = io::openFileChannel(s.gauge, io::OpenMode::ReadOnly, nullptr);
    if (!bmp::exportBitmap(*ch, s.pos, s.file("raw.bmp"))) std::abort();

    bmpbuild::Bmp f;
    f.width = f.height = kSide;
    f.infoSize = 124;
    f.palette = s.palette;
    f.pixels = indices;
    save(s.file("header124.bmp"), bmpbuild::write(f));
    f.compression = bmpbuild::Rle8;
    save(s.file("rle8.bmp"), bmpbuild::write(f));
    f = bmpbuild::Bmp();
    f.width = f.height = kSide;
    f.bits = 24;
    for (uint32_t i : indices) f.pixels.push_back(0xFF000000 | s.palette[i]);
    save(s.file("gaugecolours.bmp"), bmpbuild::write(f));
    for (uint32_t& c : f.pixels) c = 0xFF000000 | (random() & 0xFFFFFF);
    save(s.file("randomcolours.bmp"), bmpbuild::write(f));
    return s;
  }();
  return s;
}

void import(benchmark::State& state, const char* name) {
  const Sample& s = sample();
  auto gauge = io::openFileChannel(s.gauge, io::OpenMode::ReadWriteExisting, nullptr);
  const std::string file = s.file(name);
  for (auto _ : state) {
    const Result<imageio::ImageImport> r = imageio::importImage(*gauge, s.pos, file);
    if (!r) state.SkipWithError(r.reason().c_str());
  }
  state.SetItemsProcessed(state.iterations() * kSide * kSide);
}

void BM_ImportRaw(benchmark::State& state) { import(state, "raw.bmp"); }
void BM_ImportHeader124(benchmark::State& state) { import(state, "header124.bmp"); }
void BM_ImportRle8(benchmark::State& state) { import(state, "rle8.bmp"); }
void BM_ImportGaugeColours(benchmark::State& state) { import(state, "gaugecolours.bmp"); }
void BM_ImportRandomColours(benchmark::State& state) { import(state, "randomcolours.bmp"); }
BENCHMARK(BM_ImportRaw)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImportHeader124)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImportRle8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImportGaugeColours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImportRandomColours)->Unit(benchmark::kMillisecond)->UseRealTime();

// The exact nearest-colour mapping of the decoded random picture, nothing else.
void BM_MapRandomColours(benchmark::State& state) {
  const Sample& s = sample();
  auto in =
      io::openFileChannel(s.file("randomcolours.bmp"), io::OpenMode::ReadOnly, nullptr);
  const Result<imageio::DecodedImage> decoded = imageio::decodeImage(*in, kSide, kSide);
  if (!decoded) return state.SkipWithError(decoded.reason().c_str());
  gau::ShownPalette palette;
  palette.colors = 256;
  for (int k = 0; k < 256; ++k) palette.colour[k] = 0xFF000000 | s.palette[k];
  std::vector<uint8_t> out(size_t{kSide} * kSide);
  int64_t approximated = 0;
  for (auto _ : state) {
    approximated = gau::mapPicture(decoded->picture(), palette, out, kSide).approximatedPixels;
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["approximated"] = static_cast<double>(approximated);
  state.SetItemsProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(BM_MapRandomColours)->Unit(benchmark::kMillisecond)->UseRealTime();

// Pillow's quantize of the same picture into the export's palette, timed
// around the call alone; `dither` as Pillow names it (its default is FLOYDSTEINBERG).
void pillowQuantize(benchmark::State& state, const char* dither) {
  const Sample& s = sample();
  const std::string command =
      "/usr/bin/python3 -c 'import sys, time\n"
      "from PIL import Image\n"
      "img = Image.open(sys.argv[1]); img.load()\n"
      "pal = Image.open(sys.argv[2]); pal.load()\n"
      "t = time.perf_counter()\n"
      "img.quantize(palette=pal, dither=Image.Dither." +
      std::string(dither) +
      ")\n"
      "print(time.perf_counter() - t)' " +
      s.file("randomcolours.bmp") + " " + s.file("raw.bmp") + " 2>/dev/null";
  for (auto _ : state) {
    FILE* p = popen(command.c_str(), "r");
    double seconds = -1;
    if (!p || std::fscanf(p, "%lf", &seconds) != 1) seconds = -1;
    if (p) pclose(p);
    if (seconds < 0) return state.SkipWithError("Pillow (Debian's python3-pil) is not installed");
    state.SetIterationTime(seconds);
  }
  state.SetItemsProcessed(state.iterations() * kSide * kSide);
}
void BM_PillowQuantize(benchmark::State& state) { pillowQuantize(state, "FLOYDSTEINBERG"); }
void BM_PillowQuantizeNoDither(benchmark::State& state) { pillowQuantize(state, "NONE"); }
BENCHMARK(BM_PillowQuantize)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_PillowQuantizeNoDither)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace

#endif
