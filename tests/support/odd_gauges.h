#pragma once
// Small odd gauge files, each with one 4 x 2 bitmap between other bytes and
// then spoiled in one way: the malformed-file tests and the fuzz seeds share them.

#include <cstdint>
#include <vector>

#include "gau/export.h"
#include "io/file_channels.h"
#include "tools/gauge_builder.h"

namespace support {

using Bytes = std::vector<uint8_t>;

struct OddGauge {
  Bytes bytes;
  int32_t pos = 0;  // BmpPos of the planted bitmap
};

// A `w` x `h` bitmap of `colors` colours between filler, then `edit(gauge, pos)`.
template <class Edit>
OddGauge planted(Edit edit, int32_t colors = 2, int32_t w = 4, int32_t h = 2) {
  gaugebuild::Gauge g;
  g.filler(20, 3);
  const int32_t pos = g.plant(gaugebuild::patterned(w, h, colors, 1));
  g.filler(12, 4);
  edit(g, pos);
  return {g.bytes(), pos};
}
inline OddGauge plain(int32_t colors = 2) {
  return planted([](gaugebuild::Gauge&, int32_t) {}, colors);
}
inline OddGauge withSize(int32_t w, int32_t h) {
  return planted(
      [=](gaugebuild::Gauge& g, int32_t pos) { g.poke32(pos - 8, w), g.poke32(pos - 4, h); });
}
inline OddGauge withColors(int32_t stored) {
  return planted([=](gaugebuild::Gauge& g, int32_t pos) { g.poke32(pos + 20, stored); });
}
// The file ends at BmpPos + keep - 1.
inline OddGauge cutAt(int32_t keep, int32_t colors = 2) {
  return planted([=](gaugebuild::Gauge& g,
                     int32_t pos) { g.bytes().resize(static_cast<size_t>(pos + keep - 1)); },
                 colors);
}
// The signature at byte 5: width and height would lie before the file.
inline OddGauge signatureAt5() {
  gaugebuild::Gauge g;
  g.raw({9, 9, 9, 9, 1, 0, 8, 0}).filler(16, 6).raw({2, 0, 0, 0, 0, 0, 0, 0}).filler(16, 7);
  return {g.bytes(), 5};
}
// The export of the bitmap, or nothing when it cannot be exported.
inline Bytes exportOf(const OddGauge& s) {
  auto gauge = io::memoryChannel(s.bytes);
  auto out = io::memoryChannel({});
  return bmp::writeBmp(*gauge, s.pos, *out) ? out->bytes() : Bytes{};
}

}  // namespace support
