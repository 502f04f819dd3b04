#pragma once
// The large gauge the write benchmarks share: one 4096 x 4096, 256-colour
// bitmap (pixels all 7) between filler, written to `path`.

#include <cstdint>
#include <string>

#include "tools/gauge_builder.h"

namespace bench {

inline constexpr int32_t kSide = 4096;
inline constexpr int64_t kPixelBytes = int64_t{kSide} * kSide;

struct BigGauge {
  std::string name;
  int32_t bmpPos = 0;
  int64_t pixelStart = 0;  // 1-based
};

inline BigGauge writeBigGauge(const std::string& path) {
  BigGauge r;
  r.name = path;
  gaugebuild::Gauge g;
  g.filler(4000);
  gaugebuild::Bitmap b = gaugebuild::patterned(4, 1, 0);
  b.width = kSide;
  b.height = kSide;
  b.pixels.assign(static_cast<size_t>(kPixelBytes), 7);
  r.bmpPos = g.plant(b);
  g.filler(4000, 2);
  g.writeTo(path);
  r.pixelStart = r.bmpPos + 28 + 4 * 256;
  return r;
}

}  // namespace bench
