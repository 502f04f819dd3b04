// Make Transparent on a 4096 x 4096 bitmap against one plain write of as many
// zero bytes to the same place. Make Transparent always flushes to the disk,
// so the fair baseline is the plain write followed by fsync; the plain write
// alone shows what the flush costs.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "bench/big_gauge.h"
#include "gau/transparency.h"
#include "io/file_channels.h"

namespace {

using bench::kPixelBytes;

struct Sample : bench::BigGauge {
  int64_t pixelOffset = 0;  // 0-based
};

// A gauge file holding one 4096 x 4096, 256-colour bitmap between filler.
const Sample& sample() {
  static const Sample s = [] {
    Sample r{bench::writeBigGauge(
        (std::filesystem::temp_directory_path() / "dialpix-bench-transparent.gau").string())};
    r.pixelOffset = r.pixelStart - 1;
    return r;
  }();
  return s;
}

void BM_MakeTransparent(benchmark::State& state) {
  const Sample& s = sample();
  std::string why;
  auto gauge = io::openFileChannel(s.name, io::OpenMode::ReadWriteExisting, &why);
  const std::vector<uint8_t> sevens(static_cast<size_t>(kPixelBytes), 7);
  for (auto _ : state) {
    // Pixels that are already 0 would leave nothing to change.
    state.PauseTiming();
    if (!gauge->write(s.pixelOffset + 1, sevens)) state.SkipWithError("refill failed");
    state.ResumeTiming();
    const Result<gau::Transparent> r = gau::makeTransparent(*gauge, s.bmpPos);
    if (!r || r->bytesZeroed != kPixelBytes) state.SkipWithError(r.reason().c_str());
  }
  state.SetBytesProcessed(state.iterations() * kPixelBytes);
}
BENCHMARK(BM_MakeTransparent)->Unit(benchmark::kMillisecond)->UseRealTime();

void plainWrite(benchmark::State& state, bool sync) {
  const Sample& s = sample();
  const int fd = ::open(s.name.c_str(), O_RDWR | O_CLOEXEC);
  const std::vector<uint8_t> zeros(static_cast<size_t>(kPixelBytes));
  for (auto _ : state) {
    if (::pwrite(fd, zeros.data(), zeros.size(), s.pixelOffset) != kPixelBytes ||
        (sync && ::fsync(fd) != 0))
      state.SkipWithError("write failed");
  }
  ::close(fd);
  state.SetBytesProcessed(state.iterations() * kPixelBytes);
}

void BM_PlainWriteAndFsync(benchmark::State& state) { plainWrite(state, true); }
BENCHMARK(BM_PlainWriteAndFsync)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainWriteOnly(benchmark::State& state) { plainWrite(state, false); }
BENCHMARK(BM_PlainWriteOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
