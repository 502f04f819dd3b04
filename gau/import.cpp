#include "gau/import.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bmp/bmp_file.h"
#include "gau/bitmap_record.h"
#include "gau/change.h"
#include "io/file_channels.h"

namespace gau {
namespace {

Result<Imported> failed(Fault fault, std::string reason) {
  return Result<Imported>::failure(fault, std::move(reason));
}

// Bytes at the start of a .BMP that the checks look at.
constexpr size_t kHeaderBytes = bmp::kFileHeaderBytes + bmp::kInfoHeaderBytes;

}  // namespace

Result<Imported> importPixels(io::Channel& gauge, int32_t bmpPos, io::Channel& bmpFile) {
  const Result<BitmapLayout> checked = convertibleLayout(gauge, bmpPos);
  if (!checked) return Result<Imported>::failure(checked);
  return importPixels(gauge, *checked, bmpFile);
}

Result<Imported> importPixels(io::Channel& gauge, const BitmapLayout& b, io::Channel& bmpFile) {
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
  if (const Result<> done = changeRange(gauge, b.pixelStart, pixels, {"import", b.bmpPos}); !done)
    return Result<Imported>::failure(done);
  return Imported{b.colors, b.pixelBytes};
}

Result<Imported> importBitmap(io::Channel& gauge, int32_t bmpPos, const std::string& bmpName) {
  std::string why;
  const std::unique_ptr<io::Channel> bmpFile =
      io::openFileChannel(bmpName, io::OpenMode::ReadOnly, &why);
  if (!bmpFile) return failed(Fault::Source, "It cannot be opened: " + why + ".");
  return importPixels(gauge, bmpPos, *bmpFile);
}

bool copiesAsItIs(io::Channel& gauge, const BitmapLayout& b, io::Channel& bmpFile) {
  const int64_t length = bmpFile.length();
  if (length < bmp::kPixelOffset) return false;
  std::vector<uint8_t> header(bmp::kPixelOffset);
  if (bmpFile.read(1, header) != header.size() ||
      bmp::mismatch(header, length, b.width, b.height, b.pixelBytes))
    return false;
  std::vector<uint8_t> palette(4 * static_cast<size_t>(b.colors));
  if (gauge.read(b.paletteStart, palette) != palette.size()) return false;
  const ShownPalette shown = shownPalette(palette);
  for (int i = 0; i < bmp::kPaletteEntries; ++i) {
    const uint8_t* e = &header[bmp::kPaletteOffset + 4 * static_cast<size_t>(i)];
    if ((kOpaque | uint32_t{e[2]} << 16 | uint32_t{e[1]} << 8 | e[0]) != shown.colour[i])
      return false;
  }
  return true;
}

Result<Imported> importPicture(io::Channel& gauge, int32_t bmpPos, const Picture& picture) {
  const Result<BitmapLayout> checked = convertibleLayout(gauge, bmpPos);
  if (!checked) return Result<Imported>::failure(checked);
  return importPicture(gauge, *checked, picture);
}

Result<Imported> importPicture(io::Channel& gauge, const BitmapLayout& b, const Picture& picture) {
  if (picture.width != b.width || picture.height != b.height)
    return Result<Imported>::failure(
        Fault::DoesNotFit, "It is " + std::to_string(picture.width) + " x " +
                               std::to_string(picture.height) + " pixels; the gauge bitmap is " +
                               std::to_string(b.width) + " x " + std::to_string(b.height) + ".");
  if (const std::optional<std::string> why = pictureProblem(picture))
    return Result<Imported>::failure(Fault::Source, *why);

  std::vector<uint8_t> palette(4 * static_cast<size_t>(b.colors));
  if (gauge.read(b.paletteStart, palette) != palette.size())
    return Result<Imported>::failure(
        Fault::Bitmap,
        "Its palette could not be read: " + gauge.errorOr("the read stopped early") + ".");
  std::vector<uint8_t> pixels(static_cast<size_t>(b.width) * static_cast<size_t>(b.height));
  const MapCounts counts = mapPicture(picture, shownPalette(palette), pixels, b.width);

  // Padded rows go in over the array as it stands, so the padding bytes keep their values.
  std::vector<uint8_t> array;
  if (b.padding != 0) {
    array.resize(static_cast<size_t>(b.pixelBytes));
    if (gauge.read(b.pixelStart, array) != array.size())
      return failed(Fault::Bitmap, "Its pixels could not be read: " +
                                       gauge.errorOr("the read stopped early") + ".");
    for (int32_t row = 0; row < b.height; ++row)
      std::copy_n(pixels.begin() + static_cast<ptrdiff_t>(row) * b.width, b.width,
                  array.begin() + static_cast<ptrdiff_t>(row * b.rowBytes));
  }
  if (const Result<> done =
          changeRange(gauge, b.pixelStart, b.padding == 0 ? pixels : array, {"import", b.bmpPos});
      !done)
    return Result<Imported>::failure(done);

  Imported r;
  r.colors = b.colors;
  r.bytesWritten = static_cast<int64_t>(pixels.size());
  r.approximatedPixels = counts.approximatedPixels;
  r.approximatedColours = counts.approximatedColours;
  return r;
}

}  // namespace gau
