// The export and the import of a 4096 x 4096 bitmap, each beside a plain copy
// of the same number of bytes: one block read, one block write and an fsync,
// the same durability the conversions give. Compare the MB/s of each pair.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bmp/bmp_file.h"
#include "gau/export.h"
#include "gau/import.h"
#include "io/file_channels.h"
#include "tools/gauge_builder.h"

namespace {

constexpr int32_t kSide = 4096;
constexpr int64_t kPixelBytes = int64_t{kSide} * kSide;
constexpr int64_t kBmpBytes = bmp::kPixelOffset + kPixelBytes;

struct Sample {
  std::filesystem::path folder;
  std::string gauge, bmpFile, copyTarget;
  int32_t pos = 0;
  int64_t pixelStart = 0;  // 0-based offset of the pixels in the gauge file
};

// A gauge file with one 256-colour 4096 x 4096 bitmap in a folder of its own,
// and a .BMP exported from it.
const Sample& sample() {
  static const Sample s = [] {
    Sample s;
    s.folder = std::filesystem::temp_directory_path() / "dialpix-bench-conversion";
    std::filesystem::create_directories(s.folder);
    s.gauge = (s.folder / "big.gau").string();
    s.bmpFile = (s.folder / "big.bmp").string();
    s.copyTarget = (s.folder / "copy.bin").string();
    gaugebuild::Gauge g;
    g.filler(4000);
    s.pos = g.plant(gaugebuild::patterned(kSide, kSide, 0));
    g.filler(4000, 2);
    g.writeTo(s.gauge);
    s.pixelStart = s.pos - 1 + 28 + 4 * 256;
    auto ch = io::openFileChannel(s.gauge, io::OpenMode::ReadOnly, nullptr);
    if (!bmp::exportBitmap(*ch, s.pos, s.bmpFile)) std::abort();  // the import benchmarks read it
    g.writeTo(s.copyTarget);  // the in-place copy writes over a file of the gauge's size
    return s;
  }();
  return s;
}

// Reads `n` bytes at `from` of `src` in one block and writes them at `to` of
// `dst`, then syncs `dst`.
void plainCopy(const std::string& src, off_t from, const std::string& dst, int flags, off_t to,
               int64_t n, std::vector<uint8_t>& buf) {
  buf.resize(static_cast<size_t>(n));
  const int in = ::open(src.c_str(), O_RDONLY);
  const int out = ::open(dst.c_str(), flags, 0644);
  if (::pread(in, buf.data(), buf.size(), from) != static_cast<ssize_t>(buf.size()) ||
      ::pwrite(out, buf.data(), buf.size(), to) != static_cast<ssize_t>(buf.size()))
    std::abort();
  ::fsync(out);
  ::close(out);
  ::close(in);
}

void BM_Export(benchmark::State& state) {
  const Sample& s = sample();
  auto gauge = io::openFileChannel(s.gauge, io::OpenMode::ReadOnly, nullptr);
  const std::string target = (s.folder / "out.bmp").string();
  for (auto _ : state) {
    const Result<bmp::Exported> r = bmp::exportBitmap(*gauge, s.pos, target);
    if (!r) state.SkipWithError(r.reason().c_str());
  }
  state.SetBytesProcessed(state.iterations() * kBmpBytes);
}
BENCHMARK(BM_Export)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same bytes copied from the gauge into a new file.
void BM_PlainCopyToNewFile(benchmark::State& state) {
  const Sample& s = sample();
  std::vector<uint8_t> buf;
  const std::string target = (s.folder / "plain.bmp").string();
  for (auto _ : state)
    plainCopy(s.gauge, s.pixelStart - bmp::kPixelOffset, target, O_WRONLY | O_CREAT | O_TRUNC, 0,
              kBmpBytes, buf);
  state.SetBytesProcessed(state.iterations() * kBmpBytes);
}
BENCHMARK(BM_PlainCopyToNewFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Import(benchmark::State& state) {
  const Sample& s = sample();
  auto gauge = io::openFileChannel(s.gauge, io::OpenMode::ReadWriteExisting, nullptr);
  for (auto _ : state) {
    const Result<gau::Imported> r = gau::importBitmap(*gauge, s.pos, s.bmpFile);
    if (!r) state.SkipWithError(r.reason().c_str());
  }
  state.SetBytesProcessed(state.iterations() * kPixelBytes);
}
BENCHMARK(BM_Import)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same pixel bytes written in place over an existing file.
void BM_PlainCopyInPlace(benchmark::State& state) {
  const Sample& s = sample();
  std::vector<uint8_t> buf;
  for (auto _ : state)
    plainCopy(s.bmpFile, bmp::kPixelOffset, s.copyTarget, O_WRONLY, s.pixelStart, kPixelBytes, buf);
  state.SetBytesProcessed(state.iterations() * kPixelBytes);
}
BENCHMARK(BM_PlainCopyInPlace)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
