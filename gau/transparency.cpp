#include "gau/transparency.h"

#include <cstdlib>
#include <memory>
#include <span>
#include <string>

#include "gau/change.h"
#include "io/file_channels.h"

namespace gau {
namespace {

// Blue, green and red of palette entry 0; the reserved byte after them stays.
constexpr int kEntryZeroBytes = 3;

}  // namespace

Result<Transparent> makeTransparent(io::Channel& gauge, int32_t bmpPos) {
  using R = Result<Transparent>;
  // A pixel array that runs past the end of the file belongs to a false hit:
  // zeroing what lies in the file would wipe whatever follows it.
  const Result<BitmapLayout> read = readLayout(gauge, bmpPos, Extent::WholeInFile);
  if (!read) return R::failure(read);
  Transparent done{*read, 0};
  const BitmapLayout& b = *read;
  if (b.pixelBytes <= 0) return done;  // an empty picture: nothing to zero, yet done

  // calloc'ed zero pages cost nothing until the write reads them.
  const std::unique_ptr<uint8_t, decltype(&std::free)> zeros(
      static_cast<uint8_t*>(std::calloc(static_cast<size_t>(b.pixelBytes), 1)), &std::free);
  if (!zeros)
    return R::failure(Fault::OutOfMemory, "There was not enough memory to zero its " +
                                              std::to_string(b.pixelBytes) + " pixel bytes.");
  if (const Result<> r =
          changeRange(gauge, b.pixelStart,
                      std::span<const uint8_t>(zeros.get(), static_cast<size_t>(b.pixelBytes)),
                      {"transparent", bmpPos});
      !r)
    return R::failure(r);
  done.bytesZeroed = b.pixelBytes;
  return done;
}

Result<> makeZeroTransparent(io::Channel& gauge, int32_t bmpPos) {
  const int64_t first = static_cast<int64_t>(bmpPos) + kPaletteFromBmpPos;
  const Result<int64_t> length = gaugeLength(gauge);
  if (!length) return Result<>::failure(length);
  if (!liesInFile(first, kEntryZeroBytes, *length))
    return Result<>::failure(Fault::Bitmap, "Its palette entry 0 would lie outside the file.");
  const uint8_t zeros[kEntryZeroBytes] = {};
  return changeRange(gauge, first, zeros, {"zero", bmpPos});
}

}  // namespace gau
