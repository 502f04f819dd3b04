#pragma once
// A progress bar on standard error for work on many files: drawn only when
// standard error is a terminal and the work has taken more than a second, so
// nothing animated lands in a pipe or a log.

#include <QElapsedTimer>
#include <cstddef>

namespace cli {

class Progress {
 public:
  explicit Progress(size_t total);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // `done` of the total are finished.
  void advance(size_t done);
  // Clears the bar so a message can be printed on standard error; the next
  // advance() draws it again.
  void erase();

 private:
  size_t total_;
  bool terminal_;
  bool drawn_ = false;
  QElapsedTimer sinceStart_;
  qint64 lastDraw_ = -1;
};

}  // namespace cli
