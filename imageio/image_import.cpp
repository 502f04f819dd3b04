#include "imageio/image_import.h"

#include <memory>

#include "gau/bitmap_record.h"
#include "io/file_channels.h"
#include "io/system.h"
#include "imageio/image_reader.h"

namespace imageio {
using io::OpenMode;
using io::openFileChannel;

Result<ImageImport> importImage(Channel& gauge, int32_t bmpPos, Channel& imageFile) {
  using R = Result<ImageImport>;
  if (gauge.readOnly())
    return R::failure(Fault::ReadOnly, "The gauge file is open for reading only.");
  const Result<gau::BitmapLayout> checked = gau::convertibleLayout(gauge, bmpPos);
  if (!checked) return R::failure(checked);
  const gau::BitmapLayout& b = *checked;

  if (gau::copiesAsItIs(gauge, bmpPos, imageFile)) {
    const Result<gau::Imported> raw = gau::importPixels(gauge, bmpPos, imageFile);
    if (!raw) return R::failure(raw);
    ImageImport done;
    static_cast<gau::Imported&>(done) = *raw;
    return done;
  }

  // Everything else is decoded whole before a byte of the gauge is written.
  const Result<DecodedImage> decoded = decodeImage(imageFile, b.width, b.height);
  if (!decoded) return R::failure(decoded);
  const Result<gau::Imported> written = gau::importPicture(gauge, bmpPos, decoded->picture());
  if (!written) return R::failure(written);
  ImageImport done;
  static_cast<gau::Imported&>(done) = *written;
  done.decoded = true;
  return done;
}

Result<ImageImport> importImage(Channel& gauge, int32_t bmpPos, const std::string& fileName) {
  // Opening a named pipe waits for a writer, and a device may never end:
  // only a regular file is a picture. Asked before the open, which would block.
  if (const io::FileKind kind = io::kindOf(fileName);
      kind != io::FileKind::Missing && kind != io::FileKind::Regular)
    return Result<ImageImport>::failure(Fault::Source, "It is not a regular file.");
  std::string why;
  const std::unique_ptr<Channel> file = openFileChannel(fileName, OpenMode::ReadOnly, &why);
  if (!file)
    return Result<ImageImport>::failure(Fault::Source, "It cannot be opened: " + why + ".");
  return importImage(gauge, bmpPos, *file);
}

}  // namespace imageio
