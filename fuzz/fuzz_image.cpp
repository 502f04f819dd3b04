// The whole import of arbitrary .BMP bytes, through Qt's image reader, over a
// 13 x 5 bitmap of 16 colours (the size of the layout seeds): never a gauge
// byte written outside the pixel array, the row padding only by a byte-for-byte
// copy of the export's own layout, nothing written on a refusal, and the
// picture file never written.

#include <vector>

#include "fuzz_support.h"
#include "imageio/image_import.h"
#include "tools/gauge_builder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const auto [gaugeBytes, pos] = [] {
    gaugebuild::Gauge g;
    g.filler(11);
    const int32_t at = g.plant(gaugebuild::patterned(13, 5, 16));
    g.filler(5, 2);
    return std::pair{g.bytes(), at};
  }();
  // Every input is taken for a .BMP, so the reader's other formats stay out of it.
  std::vector<uint8_t> file(data, data + size);
  if (file.size() >= 2) file[0] = 'B', file[1] = 'M';

  auto gauge = std::make_unique<fuzz::CountingChannel>(gaugeBytes);
  auto image = std::make_unique<fuzz::CountingChannel>(file, -1, "FUZZ.BMP");
  const Result<imageio::ImageImport> r = imageio::importImage(*gauge, pos, *image);
  FUZZ_CHECK(image->bytes() == file && image->bytesWritten() == 0, "the picture is only read");
  const std::vector<uint8_t>& after = gauge->bytes();
  if (!r) {
    FUZZ_CHECK(after == gaugeBytes, "a refused import writes nothing");
    return 0;
  }
  const int64_t first = pos + 28 + 4 * 16;  // 1-based, the first pixel byte
  FUZZ_CHECK(fuzz::changesOnlyWithin(gaugeBytes, after, first, first + 16 * 5 - 1),
             "nothing outside the pixel array changes");
  for (int row = 0; row < 5 && r->decoded; ++row)
    for (int pad = 13; pad < 16; ++pad) {
      const size_t at = static_cast<size_t>(first - 1 + row * 16 + pad);
      FUZZ_CHECK(after[at] == gaugeBytes[at], "a decoded picture leaves the row padding alone");
    }
  FUZZ_CHECK(r->approximatedColours <= r->approximatedPixels && r->approximatedPixels <= 13 * 5,
             "counts within the picture");
  return 0;
}
