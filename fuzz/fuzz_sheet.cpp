// The sheet of any file: its cells read, each thumbnail drawn or refused with
// a reason, never larger than a cell, a small hit 1:1, never a read before
// the first byte, and the file never written.

#include <vector>

#include "fuzz_support.h"
#include "imageio/bitmap_sheet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  // A thumbnail reads at most its 96 rows, each within the file.
  auto gauge = std::make_unique<fuzz::CountingChannel>(
      bytes, 200 * static_cast<int64_t>(size) + (int64_t{1} << 20));
  const imageio::Sheet sheet = imageio::readSheet(*gauge, imageio::Depths::All);
  size_t drawn = 0;
  for (const imageio::SheetCell& c : sheet.cells) {
    if (++drawn > 4) break;  // a file of many hits costs no more than four
    const Result<QImage> t = imageio::thumbnail(*gauge, c);
    if (!t) {
      FUZZ_CHECK(!t.reason().empty(), "a refusal says why");
      continue;
    }
    FUZZ_CHECK(t->width() >= 1 && t->height() >= 1 && t->width() <= imageio::kThumbnailSide &&
                   t->height() <= imageio::kThumbnailSide,
               "a thumbnail fits its cell");
    if (!c.dib && c.width <= imageio::kThumbnailSide && c.height <= imageio::kThumbnailSide)
      FUZZ_CHECK(t->width() == c.width && t->height() == c.height, "a small hit is shown 1:1");
  }
  if (sheet.cells.size() <= 2) (void)imageio::drawSheet(*gauge, sheet);
  FUZZ_CHECK(gauge->readsBeforeStart() == 0, "no read before position 1");
  FUZZ_CHECK(gauge->bytes() == bytes && gauge->bytesWritten() == 0, "the file is only read");
  return 0;
}
