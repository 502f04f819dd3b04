#include "gau/import.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "bmp/bmp_file.h"
#include "gau/bitmap_record.h"
#include "platform/file_channels.h"

namespace gau {
namespace {

ImportResult failed(ImportProblem p, std::string reason) {
  ImportResult r;
  r.problem = p;
  r.reason = std::move(reason);
  return r;
}


// Bytes at the start of a .BMP that the checks look at.
constexpr size_t kHeaderBytes = bmp::kFileHeaderBytes + bmp::kInfoHeaderBytes;

}  // namespace

ImportResult importPixels(platform::Channel& gauge, int32_t bmpPos, platform::Channel& bmpFile) {
  const LayoutResult checked = bmp::convertibleLayout(gauge, bmpPos);
  if (!checked) return failed(ImportProblem::Bitmap, checked.error);
  const BitmapLayout& b = *checked.layout;

  const int64_t length = bmpFile.length();
  std::vector<uint8_t> header(static_cast<size_t>(std::min<int64_t>(length, kHeaderBytes)));
  if (bmpFile.read(1, header) != header.size())
    return failed(ImportProblem::Source,
                  "It could not be read: " + bmpFile.errorOr("the read stopped early") + ".");
  if (const std::optional<std::string> why = bmp::mismatch(header, length, b.width, b.height))
    return failed(ImportProblem::DoesNotFit, *why);

  // Read everything before writing anything, so a failed read leaves the gauge as it was.
  std::vector<uint8_t> pixels(static_cast<size_t>(b.pixelBytes));
  if (bmpFile.read(bmp::kPixelOffset + 1, pixels) != pixels.size())
    return failed(ImportProblem::Source, "Its pixels could not be read: " +
                                             bmpFile.errorOr("the read stopped early") + ".");
  if (!gauge.write(b.pixelStart, pixels) || !gauge.flush())
    return failed(ImportProblem::GaugeWrite, gauge.errorOr("the write failed"));

  ImportResult r;
  r.colors = b.colors;
  r.bytesWritten = b.pixelBytes;
  return r;
}

ImportResult importBitmap(platform::Channel& gauge, int32_t bmpPos, const std::string& bmpName) {
  std::string why;
  const std::unique_ptr<platform::Channel> bmpFile =
      platform::openFileChannel(bmpName, platform::OpenMode::ReadOnly, &why);
  if (!bmpFile) return failed(ImportProblem::Source, "It cannot be opened: " + why + ".");
  return importPixels(gauge, bmpPos, *bmpFile);
}

}  // namespace gau
