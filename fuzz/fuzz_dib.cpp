// A bitmap of any depth read from any bytes at any position, then written
// into: its header read or refused with a reason, its parts inside its data,
// and an import or Make Transparent changing nothing outside its palette and
// pixels (nothing at all when refused or when a write fails). The resource
// table's bitmaps of other depths go through the same reader.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "gau/resource_bitmap.h"

namespace {

// Bytes outside [first, end) of `after` are those of `before`.
bool sameOutside(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after,
                 int64_t first, int64_t end) {
  for (size_t i = 0; i < before.size(); ++i) {
    const auto pos = static_cast<int64_t>(i) + 1;
    if ((pos < first || pos >= end) && before[i] != after[i]) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const bool failWrites = data[0] & 1;
  const int64_t at = 1 + data[1] % 64;
  const std::vector<uint8_t> bytes(data + 2, data + size);
  const auto length = static_cast<int64_t>(bytes.size());

  fuzz::CountingChannel gauge(bytes, 4 * length + 4096);
  gauge.failWrites(failWrites);
  const Result<gau::Dib> d = gau::readDib(gauge, at, length);
  FUZZ_CHECK(gauge.readsBeforeStart() == 0, "no read before position 1");
  if (!d) {
    FUZZ_CHECK(!d.reason().empty(), "a refusal says why");
  } else {
    FUZZ_CHECK(d->width > 0 && d->height > 0, "a bitmap has pixels");
    FUZZ_CHECK(d->paletteFrom >= d->headerBytes && d->pixelsFrom >= d->paletteFrom,
               "header, palette and pixels in that order");
    FUZZ_CHECK(d->pixelsFrom + d->pixelBytes <= d->dataBytes, "the pixels lie in its data");
    FUZZ_CHECK(at - 1 + d->dataBytes <= length, "its data lies in the file");
    const Result<std::vector<uint8_t>> file = gau::dibFileBytes(gauge, *d);
    FUZZ_CHECK(!file || static_cast<int64_t>(file->size()) == 14 + d->dataBytes,
               "a .BMP is a file header and the data");

    // A picture of its size, when that is small, in colours from the input.
    const int64_t pixels = int64_t{d->width} * d->height;
    if (pixels <= 4096) {
      std::vector<uint32_t> argb(static_cast<size_t>(pixels));
      for (size_t i = 0; i < argb.size(); ++i)
        argb[i] = 0xFF000000u | (data[i % size] * 0x010203u);
      const gau::Picture picture{d->width, d->height, d->width, {}, {}, argb};
      const Result<gau::DibImported> r = gau::importIntoDib(gauge, *d, picture);
      FUZZ_CHECK(sameOutside(bytes, gauge.bytes(), d->paletteStart(),
                             d->pixelStart() + d->pixelBytes),
                 "an import writes only pixels");
      FUZZ_CHECK(r || gauge.bytes() == bytes, "a refused or failed import writes nothing");
      FUZZ_CHECK(gauge.bytes().size() == bytes.size(), "the length never changes");
    }
    fuzz::CountingChannel again(bytes, 4 * length + 4096);
    again.failWrites(failWrites);
    const Result<int64_t> t = gau::makeDibTransparent(again, *d);
    FUZZ_CHECK(sameOutside(bytes, again.bytes(), d->pixelStart(), d->pixelStart() + d->pixelBytes),
               "Make Transparent writes only pixels");
    FUZZ_CHECK(t || again.bytes() == bytes, "a refused or failed Make Transparent writes nothing");
    if (t)
      FUZZ_CHECK(std::all_of(again.bytes().begin() + (d->pixelStart() - 1),
                             again.bytes().begin() + (d->pixelStart() - 1 + d->pixelBytes),
                             [](uint8_t b) { return b == 0; }),
                 "and zeroes every pixel byte");
  }

  // The other depths of a module: each one's header read by the same reader.
  fuzz::CountingChannel module(bytes, 8 * length + 8192);
  const pe::ResourceTable table = gau::resourcesOf(module);
  for (const gau::OtherBitmap& b : gau::otherBitmaps(module, table, {}))
    FUZZ_CHECK(b.resource && b.dib.headerPos == b.resource->position &&
                   b.dib.dataBytes <= b.resource->size,
               "an other bitmap lies in its resource");
  return 0;
}
