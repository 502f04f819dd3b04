// The scan against glibc memmem over the same bytes, and the time from a pick
// in the start window to the chooser being up.

#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <random>

#include "forms/Module1.h"
#include "gau/scan.h"
#include "io/file_channels.h"
#include "tools/gauge_builder.h"

#if DIALPIX_BENCH_WINDOWS
#include <QApplication>

#include "forms/dialpix.h"
#include "forms/numbmp.h"
#include "ui/file_list.h"
#endif

namespace {

constexpr size_t kSize = size_t{64} << 20;
constexpr int kPlanted = 1000;

// 64 MiB of random bytes with 1,000 headers (signature + colour count 16) planted.
const std::vector<uint8_t>& sample() {
  static const std::vector<uint8_t> bytes = [] {
    std::vector<uint8_t> b(kSize);
    std::mt19937_64 rng(98);
    for (size_t i = 0; i < kSize; i += 8) {
      const uint64_t v = rng();
      std::memcpy(b.data() + i, &v, 8);
    }
    for (int k = 0; k < kPlanted; ++k) {
      const size_t at = (kSize / kPlanted) * static_cast<size_t>(k) + 101;
      const uint8_t sig[] = {1, 0, 8, 0};
      std::memcpy(b.data() + at, sig, 4);
      const uint8_t count[] = {16, 0, 0, 0};
      std::memcpy(b.data() + at + 20, count, 4);
    }
    return b;
  }();
  return bytes;
}

void BM_ScanBytes(benchmark::State& state) {
  const auto& b = sample();
  for (auto _ : state) {
    auto r = gau::scanBytes(b, SIZE_MAX);
    benchmark::DoNotOptimize(r.totalHits);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kSize));
}
BENCHMARK(BM_ScanBytes)->Unit(benchmark::kMillisecond);

void BM_MemmemSignature(benchmark::State& state) {
  const auto& b = sample();
  const uint8_t sig[] = {1, 0, 8, 0};
  for (auto _ : state) {
    size_t hits = 0;
    const uint8_t* p = b.data();
    const uint8_t* end = b.data() + b.size();
    while (const void* f = memmem(p, static_cast<size_t>(end - p), sig, 4)) {
      ++hits;
      p = static_cast<const uint8_t*>(f) + 1;
    }
    benchmark::DoNotOptimize(hits);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kSize));
}
BENCHMARK(BM_MemmemSignature)->Unit(benchmark::kMillisecond);

std::string writeSample() {
  const std::string name =
      (std::filesystem::temp_directory_path() / "dialpix-bench-scan.gau").string();
  if (!std::filesystem::exists(name) || std::filesystem::file_size(name) != kSize) {
    gaugebuild::Gauge g;
    g.raw(sample());
    g.writeTo(name);
  }
  return name;
}

// The scan of the file through its channel, block reads included.
void BM_ScanFile(benchmark::State& state) {
  const std::string name = writeSample();
  std::string why;
  auto ch = io::openFileChannel(name, io::OpenMode::ReadOnly, &why);
  for (auto _ : state) {
    auto r = gau::scanChannel(*ch, size_t{PositionTable::kLast});
    benchmark::DoNotOptimize(r.totalHits);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kSize));
}
BENCHMARK(BM_ScanFile)->Unit(benchmark::kMillisecond);

#if DIALPIX_BENCH_WINDOWS
// From the double-click in the start window to the chooser being shown.
void BM_PickToChooser(benchmark::State& state) {
  const std::string name = writeSample();
  const auto folder = std::filesystem::path(name).parent_path();
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char arg0[] = "dialpix_bench";
  static char* argv[] = {arg0, nullptr};
  static QApplication* app = QApplication::instance() ? nullptr : new QApplication(argc, argv);
  (void)app;
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  const QString file = QString::fromStdString(std::filesystem::path(name).filename().string());
  for (auto _ : state) {
    dialpix* start = ui::show<dialpix>();
    start->File1->setCurrentItem(start->File1->findItems(file, Qt::MatchExactly).first());
    start->File1_DblClick();
    numbmp* chooser = ui::find<numbmp>();
    benchmark::DoNotOptimize(chooser);
    state.PauseTiming();
    chooser->Command4_Click();  // RETURN: close the file, back to a start window
    ui::destroy<dialpix>();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    state.ResumeTiming();
  }
  std::filesystem::current_path(old);
}
BENCHMARK(BM_PickToChooser)->Unit(benchmark::kMillisecond)->Iterations(10);
#endif

}  // namespace
