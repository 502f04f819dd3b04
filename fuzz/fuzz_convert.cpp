// The export and the import over any gauge bytes, any bitmap position and
// .BMP bytes from an export, spoiled a little: never a read before the first byte, never a gauge
// byte written outside the bitmap's pixel array, nothing written at all on a refusal, and an
// accepted import that equals the byte-by-byte copy of the checked length.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "bmp/bmp_file.h"
#include "gau/export.h"
#include "fuzz_support.h"
#include "gau/bitmap_record.h"
#include "gau/import.h"
#include "gau/scan.h"
#include "io/file_channels.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first byte steers how the .BMP is spoiled; the rest is the gauge.
  if (size < 1) return 0;
  const uint8_t steer = data[0];
  const std::vector<uint8_t> gaugeBytes(data + 1, data + size);

  // Positions to try: up to eight scan hits from one the steering byte picks
  // (each costs a few copies of the file, and a file can hold 100), and a few
  // that a false hit could give.
  const std::vector<int32_t> hits = gau::scanBytes(gaugeBytes).positions;
  std::vector<int32_t> positions;
  for (size_t i = 0; i < std::min<size_t>(hits.size(), 8); ++i)
    positions.push_back(hits[(steer + i) % hits.size()]);
  const auto length = static_cast<int32_t>(gaugeBytes.size());
  for (int32_t p : {1, 9, 13, length, length + 1}) positions.push_back(p);

  for (const int32_t pos : positions) {
    // Counting channels stop an export or import that moves more bytes than the files hold.
    auto gauge = std::make_unique<fuzz::CountingChannel>(gaugeBytes);
    auto out = std::make_unique<fuzz::CountingChannel>(
        std::vector<uint8_t>{}, 2 * static_cast<int64_t>(gaugeBytes.size()) + 4096);
    const Result<bmp::Exported> e = bmp::writeBmp(*gauge, pos, *out);
    FUZZ_CHECK(gauge->bytes() == gaugeBytes, "the export never writes the gauge");
    FUZZ_CHECK(gauge->readsBeforeStart() == 0, "the export reads nothing before position 1");
    if (e) {
      FUZZ_CHECK(static_cast<int64_t>(out->bytes().size()) == e->fileBytes,
                 "file size as reported");
      FUZZ_CHECK(fuzz::le32(out->bytes(), bmp::kFileSizeOffset + 1) == e->fileBytes,
                 "the file size field is the file's size");
    } else {
      FUZZ_CHECK(out->bytes().empty(), "a refused export writes nothing");
    }

    // The exported file, or the gauge bytes themselves, with one byte changed
    // and a few bytes cut off or added, as an edit elsewhere might leave it.
    std::vector<uint8_t> bmpBytes = e ? out->bytes() : gaugeBytes;
    if (!bmpBytes.empty()) bmpBytes[(steer * 37u) % bmpBytes.size()] ^= steer;
    const size_t by = (steer >> 1) % 8;
    if (steer & 1)
      bmpBytes.resize(bmpBytes.size() > by ? bmpBytes.size() - by : 0);
    else
      bmpBytes.insert(bmpBytes.end(), by, steer);

    auto bmpFile = std::make_unique<fuzz::CountingChannel>(bmpBytes);
    const Result<gau::Imported> r = gau::importPixels(*gauge, pos, *bmpFile);
    FUZZ_CHECK(bmpFile->bytes() == bmpBytes, "the import never writes the .BMP");
    FUZZ_CHECK(gauge->readsBeforeStart() == 0 && bmpFile->readsBeforeStart() == 0,
               "the import reads nothing before position 1");
    const std::vector<uint8_t>& after = gauge->bytes();
    FUZZ_CHECK(after.size() == gaugeBytes.size(), "the import never changes the gauge's length");
    if (!r) {
      FUZZ_CHECK(after == gaugeBytes, "a refused import writes nothing");
      continue;
    }
    const Result<gau::BitmapLayout> layout = gau::convertibleLayout(*gauge, pos);
    FUZZ_CHECK(layout, "an accepted import had a convertible bitmap");
    const auto start = static_cast<size_t>(layout->pixelStart - 1);
    const auto n = static_cast<size_t>(r->bytesWritten);
    FUZZ_CHECK(r->bytesWritten == layout->pixelBytes, "exactly the pixel array is written");
    FUZZ_CHECK(n == 0 || bmpBytes.size() >= bmp::kPixelOffset + n,
               "the .BMP held the bytes written");
    FUZZ_CHECK(std::memcmp(after.data(), gaugeBytes.data(), start) == 0 &&
                   std::memcmp(after.data() + start + n, gaugeBytes.data() + start + n,
                               after.size() - start - n) == 0,
               "no byte outside the pixel array changes");
    FUZZ_CHECK(
        n == 0 || std::memcmp(after.data() + start, bmpBytes.data() + bmp::kPixelOffset, n) == 0,
        "the pixel array equals the .BMP's pixel bytes");
  }
  return 0;
}
