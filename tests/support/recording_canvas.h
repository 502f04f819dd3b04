#pragma once
// A drawing surface that records what is drawn on it, for checking SHOW.

#include <cstdint>
#include <string>
#include <vector>

#include "gau/plot.h"

namespace support {

struct Dot {
  int32_t x, y;
  int size;
  int r, g, b;
  bool operator==(const Dot&) const = default;
};
struct Line {
  int32_t x, y;
  std::string text;
  bool operator==(const Line&) const = default;
};

class RecordingCanvas final : public gau::Canvas {
 public:
  static constexpr int32_t kLine = 195;
  // Past `maxDots` dots the canvas stops recording and sets `overflowed`: one
  // dot per pixel byte, so more dots than the file has bytes is a runaway loop.
  explicit RecordingCanvas(size_t maxDots = SIZE_MAX) : maxDots_(maxDots) {}
  std::vector<Dot> dots;
  std::vector<Line> lines;
  int erased = 0;
  bool overflowed = false;

 protected:
  void erase() override { ++erased, dots.clear(), lines.clear(); }
  void drawDot(int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b) override {
    if (dots.size() >= maxDots_) {
      overflowed = true;
      return;
    }
    dots.push_back({x, y, dotSize(), r, g, b});
  }
  void drawText(int32_t x, int32_t y, const std::string& t) override { lines.push_back({x, y, t}); }
  int32_t lineHeight() const override { return kLine; }

 private:
  size_t maxDots_;
};

}  // namespace support
