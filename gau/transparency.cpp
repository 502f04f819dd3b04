#include "gau/transparency.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>

#include "platform/file_channels.h"

namespace gau {
namespace {

// Blue, green and red of palette entry 0; the reserved byte after them stays.
constexpr int kEntryZeroBytes = 3;

std::string where(const platform::Channel& gauge, int32_t bmpPos) {
  return "the bitmap at byte " + std::to_string(bmpPos) + " of " + gauge.name();
}

std::string writeFailure(const platform::Channel& gauge, const std::string& what) {
  return "Writing " + what + " to " + gauge.name() + " failed: " +
         gauge.errorOr("unknown error") + ".";
}

}  // namespace

TransparentResult makeTransparent(platform::Channel& gauge, int32_t bmpPos) {
  TransparentResult r;
  // Only the size fields must be sound: the fill is clipped to the file below.
  LayoutResult read = readLayout(gauge, bmpPos, Extent::SizeFields);
  if (!read) {
    r.error = "Nothing was written: " + where(gauge, bmpPos) +
              " cannot be made transparent. " + read.error;
    return r;
  }
  r.layout = read.layout;
  const BitmapLayout& b = *read.layout;
  if (b.pixelBytes <= 0) return r;  // an empty picture: nothing to zero, yet done

  const int64_t length = gauge.length();
  const int64_t inFile = std::min(b.pixelBytes, length - (b.pixelStart - 1));
  if (inFile <= 0) return r;

  // calloc'ed zero pages cost nothing until the write reads them.
  const std::unique_ptr<uint8_t, decltype(&std::free)> zeros(
      static_cast<uint8_t*>(std::calloc(static_cast<size_t>(inFile), 1)), &std::free);
  if (!zeros) {
    r.error = "Nothing was written: there was not enough memory to zero the " +
              std::to_string(inFile) + " pixel bytes of " + where(gauge, bmpPos) + ".";
    return r;
  }
  if (!gauge.write(b.pixelStart, std::span<const uint8_t>(zeros.get(), static_cast<size_t>(inFile)))) {
    r.error = writeFailure(gauge, "the zero pixel bytes") + " Some pixels may already be 0.";
    return r;
  }
  if (!gauge.flush()) {
    r.error = writeFailure(gauge, "the zero pixel bytes") + " They may not have reached the disk.";
    return r;
  }
  r.bytesZeroed = inFile;
  return r;
}

ZeroEntryResult makeZeroTransparent(platform::Channel& gauge, int32_t bmpPos) {
  ZeroEntryResult r;
  const int64_t first = static_cast<int64_t>(bmpPos) + kPaletteOffset;
  if (!liesInFile(first, kEntryZeroBytes, gauge.length())) {
    r.error = "Nothing was written: palette entry 0 of " + where(gauge, bmpPos) +
              " would lie outside the file.";
    return r;
  }
  const uint8_t zeros[kEntryZeroBytes] = {};
  if (!gauge.write(first, zeros)) {
    r.error = writeFailure(gauge, "palette entry 0");
    return r;
  }
  if (!gauge.flush()) {
    r.error = writeFailure(gauge, "palette entry 0") + " It may not have reached the disk.";
    return r;
  }
  return r;
}

}  // namespace gau
