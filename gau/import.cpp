#include "gau/import.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bmp/bmp_file.h"
#include "gau/bitmap_record.h"
#include "platform/file_channels.h"

namespace gau {
namespace {

Result<Imported> failed(Fault fault, std::string reason) {
  return Result<Imported>::failure(fault, std::move(reason));
}

// Bytes at the start of a .BMP that the checks look at.
constexpr size_t kHeaderBytes = bmp::kFileHeaderBytes + bmp::kInfoHeaderBytes;

}  // namespace

Result<Imported> importPixels(platform::Channel& gauge, int32_t bmpPos,
                              platform::Channel& bmpFile) {
  if (gauge.readOnly()) return failed(Fault::ReadOnly, "The gauge file is open for reading only.");
  const Result<BitmapLayout> checked = convertibleLayout(gauge, bmpPos);
  if (!checked) return Result<Imported>::failure(checked);
  const BitmapLayout& b = *checked;

  const int64_t length = bmpFile.length();
  if (length < 0) return failed(Fault::Source, "It could not be read: " + bmpFile.error() + ".");
  std::vector<uint8_t> header(static_cast<size_t>(std::min<int64_t>(length, kHeaderBytes)));
  if (bmpFile.read(1, header) != header.size())
    return failed(Fault::Source,
                  "It could not be read: " + bmpFile.errorOr("the read stopped early") + ".");
  if (const std::optional<std::string> why =
          bmp::mismatch(header, length, b.width, b.height, b.pixelBytes))
    return failed(Fault::DoesNotFit, *why);

  // Read everything before writing anything, so a failed read leaves the gauge as it was.
  std::vector<uint8_t> pixels(static_cast<size_t>(b.pixelBytes));
  if (bmpFile.read(bmp::kPixelOffset + 1, pixels) != pixels.size())
    return failed(Fault::Source, "Its pixels could not be read: " +
                                     bmpFile.errorOr("the read stopped early") + ".");
  if (!gauge.write(b.pixelStart, pixels) || !gauge.flush())
    return failed(Fault::GaugeWrite,
                  "Writing the pixels failed: " + gauge.errorOr("unknown error") + ".");
  return Imported{b.colors, b.pixelBytes};
}

Result<Imported> importBitmap(platform::Channel& gauge, int32_t bmpPos,
                              const std::string& bmpName) {
  std::string why;
  const std::unique_ptr<platform::Channel> bmpFile =
      platform::openFileChannel(bmpName, platform::OpenMode::ReadOnly, &why);
  if (!bmpFile) return failed(Fault::Source, "It cannot be opened: " + why + ".");
  return importPixels(gauge, bmpPos, *bmpFile);
}

}  // namespace gau
