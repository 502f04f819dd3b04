// A gauge of 1,000 bitmaps: opening its gallery (read, laid out, the first
// screen of thumbnails painted) beside opening the chooser (the double-click
// in the start window to the chooser shown), in the same run.

#include <benchmark/benchmark.h>

#if DIALPIX_BENCH_WINDOWS
#include <QApplication>
#include <QListView>
#include <filesystem>

#include "forms/dialpix.h"
#include "forms/gallery.h"
#include "forms/numbmp.h"
#include "tools/gauge_builder.h"
#include "ui/file_list.h"
#include "ui/window_registry.h"

namespace {

constexpr int kBitmaps = 1000;

// Bitmaps of the sizes gauges hold, from needles to a few whole faces.
std::filesystem::path writeGauge() {
  const auto folder = std::filesystem::temp_directory_path() / "dialpix_gallery_bench";
  std::filesystem::create_directories(folder);
  gaugebuild::Gauge g;
  for (int i = 0; i < kBitmaps; ++i) {
    g.filler(64, static_cast<uint32_t>(i));
    const int side = i % 50 == 0 ? 400 : 16 + i % 80;
    g.plant(gaugebuild::patterned(side, side / 2 + 4, 0, static_cast<uint8_t>(i)));
  }
  g.writeTo((folder / "THOUSAND.GAU").string());
  return folder;
}

QApplication& app() {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char arg0[] = "dialpix_bench";
  static char* argv[] = {arg0, nullptr};
  static QApplication* a = new QApplication(argc, argv);
  return *a;
}

numbmp* pick() {
  dialpix* start = ui::show<dialpix>();
  start->File1->refresh();
  start->File1->setCurrentItem(
      start->File1->findItems(QStringLiteral("THOUSAND.GAU"), Qt::MatchExactly).first());
  start->File1_DblClick();
  return ui::find<numbmp>();
}

void giveBack(numbmp* chooser) {
  chooser->Command4_Click();  // RETURN: close the file, back to a start window
  ui::destroy<dialpix>();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

struct InFolder {
  std::filesystem::path old = std::filesystem::current_path();
  explicit InFolder(const std::filesystem::path& p) { std::filesystem::current_path(p); }
  ~InFolder() { std::filesystem::current_path(old); }
};

void BM_Gauge1000_OpenChooser(benchmark::State& state) {
  app();
  InFolder here(writeGauge());
  for (auto _ : state) {
    numbmp* chooser = pick();
    benchmark::DoNotOptimize(chooser);
    state.PauseTiming();
    giveBack(chooser);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_Gauge1000_OpenChooser)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_Gauge1000_OpenGallery(benchmark::State& state) {
  app();
  InFolder here(writeGauge());
  numbmp* chooser = pick();
  for (auto _ : state) {
    chooser->showGallery();
    auto* window = chooser->findChild<gallery*>();
    benchmark::DoNotOptimize(
        window->List->viewport()->grab());  // the thumbnails in view, decoded and drawn
    state.PauseTiming();
    window->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    state.ResumeTiming();
  }
  giveBack(chooser);
}
BENCHMARK(BM_Gauge1000_OpenGallery)->Unit(benchmark::kMillisecond)->Iterations(10);

// Paging through every thumbnail: what each screen costs, the cache bounded.
void BM_Gauge1000_PageThroughGallery(benchmark::State& state) {
  app();
  InFolder here(writeGauge());
  numbmp* chooser = pick();
  chooser->showGallery();
  auto* window = chooser->findChild<gallery*>();
  int screens = 0;
  for (auto _ : state) {
    window->List->scrollToTop();
    for (int row = 0; row < kBitmaps; row += 24, ++screens) {
      window->List->scrollTo(window->List->model()->index(row, 0));
      benchmark::DoNotOptimize(window->List->viewport()->grab());
    }
  }
  state.counters["screens"] = benchmark::Counter(screens, benchmark::Counter::kAvgIterations);
  window->close();
  giveBack(chooser);
}
BENCHMARK(BM_Gauge1000_PageThroughGallery)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
#endif
