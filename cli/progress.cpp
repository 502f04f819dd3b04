#include "cli/progress.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "io/system.h"

namespace cli {
namespace {

constexpr qint64 kQuietMs = 1000;  // short work shows no bar at all
constexpr qint64 kRedrawMs = 100;

}  // namespace

Progress::Progress(size_t total) : total_(total), terminal_(io::stderrIsTerminal()) {
  sinceStart_.start();
}

Progress::~Progress() { erase(); }

void Progress::advance(size_t done) {
  if (!terminal_ || total_ < 2) return;
  const qint64 now = sinceStart_.elapsed();
  if (now < kQuietMs || (now - lastDraw_ < kRedrawMs && done < total_)) return;
  lastDraw_ = now;

  char count[48];
  const int countWidth = std::snprintf(count, sizeof count, " %zu/%zu", done, total_);
  const int width = std::clamp(io::terminalColumns() - countWidth - 3, 10, 60);
  const int filled =
      static_cast<int>(static_cast<double>(done) / static_cast<double>(total_) * width);
  std::string bar = "\r[";
  bar.append(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(width - filled), '.');
  bar += ']';
  std::fputs(bar.c_str(), stderr);
  std::fputs(count, stderr);
  std::fflush(stderr);
  drawn_ = true;
}

void Progress::erase() {
  if (!drawn_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  drawn_ = false;
  lastDraw_ = -1;
}

}  // namespace cli
