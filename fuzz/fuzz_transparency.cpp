// Make Transparent and Make Zero Trnsprt over any gauge bytes and any bitmap
// position, each on its own copy, sometimes with every write failing. The
// expectations are worked out here from the bytes: Make Transparent refuses
// a bitmap whose palette or pixels run past the end of the file, and else
// changes nothing but its pixel array and zeroes all of it; Make Zero Trnsprt changes nothing but
// the blue, green and red bytes of entry 0. The length never changes, a refusal or a failed write
// leaves the file byte-identical, nothing is read before position 1.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "gau/transparency.h"

namespace {

void makeTransparent(const std::vector<uint8_t>& bytes, int32_t pos, bool failWrites) {
  fuzz::CountingChannel gauge(bytes);
  gauge.failWrites(failWrites);
  const Result<gau::Transparent> r = gau::makeTransparent(gauge, pos);
  const std::vector<uint8_t>& after = gauge.bytes();
  FUZZ_CHECK(gauge.readsBeforeStart() == 0, "Make Transparent reads nothing before position 1");
  FUZZ_CHECK(after.size() == bytes.size(), "Make Transparent never changes the length");

  // The header as the design reads it; the command must refuse when its size
  // fields lie outside the file or its arithmetic leaves signed 32 bits.
  const int64_t P = pos;
  const auto L = static_cast<int64_t>(bytes.size());
  bool workable = P - 8 >= 1 && P + 23 <= L;
  int64_t start = 0, length = 0;
  if (workable) {
    const int32_t w = fuzz::le32(bytes, P - 8);
    const int32_t h = fuzz::le32(bytes, P - 4);
    const int32_t stored = fuzz::le32(bytes, P + 20);
    const int64_t pad = (4 - (int64_t{w} % 4 + 4) % 4) % 4;
    start = P + 28 + 4 * int64_t{stored == 0 ? 256 : stored};
    length = (w + pad) * h;
    workable = stored >= 0 && stored <= 256 && fuzz::fits32(w + pad) && fuzz::fits32(length) &&
               fuzz::fits32(start) && fuzz::fits32(start + length - 1) && start - 1 <= L &&
               (length <= 0 || start + length - 1 <= L);
  }
  if (!workable) {
    FUZZ_CHECK(!r && !r.reason().empty(),
               "a header outside the file, a bitmap cut by the end or beyond 32 bits is refused");
    FUZZ_CHECK(after == bytes, "a refusal writes nothing");
    return;
  }
  const int64_t last = start + length - 1;
  const int64_t zeroed = std::max<int64_t>(0, length);
  if (failWrites) {
    // A change that changes no byte writes nothing, so it cannot fail.
    bool alreadyZero = true;
    for (int64_t p = start; p <= last && alreadyZero; ++p)
      alreadyZero = bytes[static_cast<size_t>(p - 1)] == 0;
    FUZZ_CHECK(after == bytes, "a failed write leaves the file as it was");
    FUZZ_CHECK(alreadyZero ? bool(r) : !r, "a failed write is reported, never DONE");
    return;
  }
  FUZZ_CHECK(r, "a sound header is made transparent");
  FUZZ_CHECK(r->bytesZeroed == zeroed, "the count zeroed is the pixel array in the file");
  FUZZ_CHECK(fuzz::changesOnlyWithin(bytes, after, start, last),
             "nothing outside the pixel array changes");
  for (int64_t p = start; p <= last; ++p)
    FUZZ_CHECK(after[static_cast<size_t>(p - 1)] == 0, "every pixel byte in the file is 0");
}

void makeZeroTransparent(const std::vector<uint8_t>& bytes, int32_t pos, bool failWrites) {
  fuzz::CountingChannel gauge(bytes);
  gauge.failWrites(failWrites);
  const Result<> r = gau::makeZeroTransparent(gauge, pos);
  const std::vector<uint8_t>& after = gauge.bytes();
  FUZZ_CHECK(gauge.readsBeforeStart() == 0, "Make Zero Trnsprt reads nothing before position 1");
  FUZZ_CHECK(after.size() == bytes.size(), "Make Zero Trnsprt never changes the length");
  const int64_t first = int64_t{pos} + 28;  // blue, green, red of entry 0
  const bool inFile = fuzz::inFile(first, first + 2, static_cast<int64_t>(bytes.size()));
  // A change that changes no byte writes nothing, so it cannot fail.
  const bool alreadyBlack = inFile && bytes[static_cast<size_t>(first - 1)] == 0 &&
                            bytes[static_cast<size_t>(first)] == 0 &&
                            bytes[static_cast<size_t>(first + 1)] == 0;
  if (!inFile || (failWrites && !alreadyBlack)) {
    FUZZ_CHECK(!r && !r.reason().empty(),
               "entry 0 outside the file, or a failed write, is refused");
    FUZZ_CHECK(after == bytes, "a refusal writes nothing");
    return;
  }
  FUZZ_CHECK(r, "entry 0 inside the file is made black");
  FUZZ_CHECK(fuzz::changesOnlyWithin(bytes, after, first, first + 2),
             "nothing but blue, green and red of entry 0 changes");
  for (int64_t p = first; p <= first + 2; ++p)
    FUZZ_CHECK(after[static_cast<size_t>(p - 1)] == 0, "entry 0 is black");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const fuzz::PositionChoice choice = fuzz::consumeChoice(in);
  const uint8_t flags = in.ConsumeIntegral<uint8_t>();
  const std::vector<uint8_t> bytes = in.ConsumeRemainingBytes<uint8_t>();
  const int32_t pos = fuzz::resolve(choice, bytes);
  makeTransparent(bytes, pos, (flags & 1) != 0);
  makeZeroTransparent(bytes, pos, (flags & 2) != 0);
  return 0;
}
