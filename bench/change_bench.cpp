// What the safe change costs: the lock, the journal beside the gauge with its
// two flushes, and the move into the undo history, against today's direct
// write and flush of the same bytes, in the same run. Both write alternating
// contents, so every round really changes the bytes.
//   a 4096 x 4096 import (16 MiB of pixels), one palette byte (Send),
//   and opening a gauge with no journal beside it.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>

#include "bench/big_gauge.h"
#include "gau/change.h"
#include "gau/history.h"
#include "gau/palette.h"
#include "io/file_channels.h"

namespace {

namespace fs = std::filesystem;
using bench::kPixelBytes;

const fs::path kDir = fs::temp_directory_path() / "dialpix-bench-change";

// Up to 256 MiB of history by the end: it goes with the program.
struct RemovedAtExit {
  ~RemovedAtExit() {
    std::error_code ec;
    fs::remove_all(kDir, ec);
  }
} removedAtExit;

// A gauge holding one 4096 x 4096 bitmap; the undo history goes beside it.
const bench::BigGauge& sample() {
  static const bench::BigGauge s = [] {
    const fs::path& dir = kDir;
    fs::create_directories(dir);
    setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
    return bench::writeBigGauge((dir / "big.gau").string());
  }();
  return s;
}

std::unique_ptr<io::Channel> openSample() {
  return io::openFileChannel(sample().name, io::OpenMode::ReadWriteExisting, nullptr);
}

void BM_Import4096_Direct(benchmark::State& state) {
  auto gauge = openSample();
  std::vector<uint8_t> pixels[2] = {std::vector<uint8_t>(kPixelBytes, 1),
                                    std::vector<uint8_t>(kPixelBytes, 2)};
  int round = 0;
  for (auto _ : state)
    if (!gauge->write(sample().pixelStart, pixels[++round % 2]) || !gauge->flush())
      state.SkipWithError("write failed");
  state.SetBytesProcessed(state.iterations() * kPixelBytes);
}
BENCHMARK(BM_Import4096_Direct)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Import4096_Safe(benchmark::State& state) {
  auto gauge = openSample();
  std::vector<uint8_t> pixels[2] = {std::vector<uint8_t>(kPixelBytes, 1),
                                    std::vector<uint8_t>(kPixelBytes, 2)};
  int round = 0;
  for (auto _ : state)
    if (!gau::changeRange(*gauge, sample().pixelStart, pixels[++round % 2],
                          {"import", sample().bmpPos}))
      state.SkipWithError("change failed");
  state.SetBytesProcessed(state.iterations() * kPixelBytes);
}
BENCHMARK(BM_Import4096_Safe)->Unit(benchmark::kMillisecond)->UseRealTime();

// A 1% edit: the whole picture handed over, as an import does, with a
// 410 x 410 square (1% of the pixels) new each round. Its history, the bytes
// one such change keeps, is reported beside the time.
std::vector<uint8_t> editedPixels(uint8_t value) {
  std::vector<uint8_t> pixels(kPixelBytes, 7);
  for (int64_t y = 1000; y < 1410; ++y)
    std::fill_n(pixels.begin() + y * bench::kSide + 2000, 410, value);
  return pixels;
}

void BM_Edit1Percent4096_Direct(benchmark::State& state) {
  auto gauge = openSample();
  const std::vector<uint8_t> pixels[2] = {editedPixels(1), editedPixels(2)};
  int round = 0;
  for (auto _ : state)
    if (!gauge->write(sample().pixelStart, pixels[++round % 2]) || !gauge->flush())
      state.SkipWithError("write failed");
}
BENCHMARK(BM_Edit1Percent4096_Direct)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Edit1Percent4096_Safe(benchmark::State& state) {
  auto gauge = openSample();
  const std::vector<uint8_t> pixels[2] = {editedPixels(1), editedPixels(2)};
  int round = 0;
  for (auto _ : state)
    if (!gau::changeRange(*gauge, sample().pixelStart, pixels[++round % 2],
                          {"import", sample().bmpPos}))
      state.SkipWithError("change failed");
  const std::vector<gau::HistoryEntry> kept = gau::historyOf(sample().name);
  if (!kept.empty())
    state.counters["history_bytes"] = static_cast<double>(fs::file_size(kept.back().file));
}
BENCHMARK(BM_Edit1Percent4096_Safe)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PaletteSend_Direct(benchmark::State& state) {
  auto gauge = openSample();
  const int64_t red = sample().bmpPos + 28 + 4 * 3 + 2;
  int round = 0;
  for (auto _ : state)
    if (!gauge->put1(red, static_cast<uint8_t>(++round)) || !gauge->flush())
      state.SkipWithError("write failed");
}
BENCHMARK(BM_PaletteSend_Direct)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_PaletteSend_Safe(benchmark::State& state) {
  auto gauge = openSample();
  int round = 0;
  for (auto _ : state)
    if (!gau::writeEntryByte(*gauge, sample().bmpPos, 3, gau::ColorChannel::Red,
                             static_cast<uint8_t>(++round)))
      state.SkipWithError("change failed");
}
BENCHMARK(BM_PaletteSend_Safe)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Opening as the windows and the command line do, before the scan.
void BM_OpenGauge_AsBefore(benchmark::State& state) {
  sample();
  for (auto _ : state) benchmark::DoNotOptimize(openSample());
}
BENCHMARK(BM_OpenGauge_AsBefore)->Unit(benchmark::kMicrosecond);

void BM_OpenGauge_LookingForAJournal(benchmark::State& state) {
  sample();
  for (auto _ : state) {
    benchmark::DoNotOptimize(gau::recoverGauge(sample().name));
    benchmark::DoNotOptimize(openSample());
  }
}
BENCHMARK(BM_OpenGauge_LookingForAJournal)->Unit(benchmark::kMicrosecond);

}  // namespace
