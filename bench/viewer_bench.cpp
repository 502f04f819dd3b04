// SHOW of a 1024 x 1024, 256-colour bitmap (zoom 1): the block reading and
// plotting alone, and into the window's image as the viewer draws it.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "forms/Module1.h"
#include "gau/plot.h"
#include "io/file_channels.h"
#include "tools/gauge_builder.h"

#if DIALPIX_BENCH_WINDOWS
#include <QApplication>

#include "forms/image_canvas.h"
#include "ui/twips.h"
#endif

namespace {

constexpr int32_t kSide = 1024;

struct Sample {
  std::vector<uint8_t> bytes;
  int32_t pos = 0;
};

const Sample& sample() {
  static const Sample s = [] {
    gaugebuild::Gauge g;
    g.filler(4096);
    Sample out;
    out.pos = g.plant(gaugebuild::patterned(kSide, kSide, 0));
    g.filler(4096, 2);
    out.bytes = g.bytes();
    return out;
  }();
  return s;
}

bool writeFile(const std::string& path) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(sample().bytes.data()),
          static_cast<std::streamsize>(sample().bytes.size()));
  return static_cast<bool>(f);
}

// Counts the dots, so that only the reading and the loop are measured.
class NullCanvas final : public gau::Canvas {
 public:
  int64_t dots = 0;

 protected:
  void erase() override {}
  void drawDot(int32_t, int32_t, uint8_t, uint8_t, uint8_t) override { ++dots; }
  void drawText(int32_t, int32_t, const std::string&) override {}
  int32_t lineHeight() const override { return 195; }
};

void BM_ShowReadAndPlotOnly(benchmark::State& state) {
  auto gauge = io::memoryChannel(sample().bytes, "BIG.GAU");
  Module1Record m;
  m.BmpPos = sample().pos;
  NullCanvas canvas;
  for (auto _ : state) {
    if (!gau::showBitmap(*gauge, m.BmpPos, m.PalTable, canvas)) state.SkipWithError("refused");
  }
  benchmark::DoNotOptimize(canvas.dots);
}
BENCHMARK(BM_ShowReadAndPlotOnly)->Unit(benchmark::kMillisecond);

#if DIALPIX_BENCH_WINDOWS
// The viewer's own canvas (an image of the window's client size, zoom line in
// its font), reading from a gauge file on disk as the window does.
void BM_ShowIntoWindowImage(benchmark::State& state) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static int argc = 1;
  static char name[] = "dialpix_bench";
  static char* argv[] = {name, nullptr};
  static QApplication* app = QApplication::instance() ? nullptr : new QApplication(argc, argv);
  (void)app;
  const auto path = (std::filesystem::temp_directory_path() / "dialpix_viewer_bench.gau").string();
  std::string error;
  std::unique_ptr<io::Channel> gauge;
  if (!writeFile(path) ||
      !(gauge = io::openFileChannel(path, io::OpenMode::ReadOnly, &error))) {
    state.SkipWithError("cannot write the sample gauge file");
    return;
  }
  Module1Record m;
  m.BmpPos = sample().pos;
  ImageCanvas canvas(QSize(ui::twips(9210), ui::twips(6390)),
                     ui::msSansSerif(8.25, true));
  for (auto _ : state) {
    if (!gau::showBitmap(*gauge, m.BmpPos, m.PalTable, canvas)) state.SkipWithError("refused");
  }
  benchmark::DoNotOptimize(canvas.image().constBits());
  gauge.reset();
  std::filesystem::remove(path);
}
BENCHMARK(BM_ShowIntoWindowImage)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
