#include "imageio/image_import.h"

#include <memory>

#include "gau/bitmap_record.h"
#include "imageio/image_reader.h"
#include "io/file_channels.h"
#include "io/system.h"

namespace imageio {
using io::openFileChannel;
using io::OpenMode;

Result<ImageImport> importImage(Channel& gauge, int32_t bmpPos, Channel& imageFile) {
  using R = Result<ImageImport>;
  // Checked here once; everything below works on this layout.
  const Result<gau::BitmapLayout> checked = gau::convertibleLayout(gauge, bmpPos);
  if (!checked) return R::failure(checked);
  const gau::BitmapLayout& b = *checked;
  if (gau::copiesAsItIs(gauge, b, imageFile)) {
    const Result<gau::Imported> raw = gau::importPixels(gauge, b, imageFile);
    if (!raw) return R::failure(raw);
    ImageImport done;
    static_cast<gau::Imported&>(done) = *raw;
    return done;
  }

  // Everything else is decoded whole before a byte of the gauge is written.
  const Result<DecodedImage> decoded = decodeImage(imageFile, b.width, b.height);
  if (!decoded) return R::failure(decoded);
  const Result<gau::Imported> written = gau::importPicture(gauge, b, decoded->picture());
  if (!written) return R::failure(written);
  ImageImport done;
  static_cast<gau::Imported&>(done) = *written;
  done.decoded = true;
  return done;
}

namespace {

// Opening a named pipe waits for a writer, and a device may never end: only a
// regular file is a picture. Asked before the open, which would block.
Result<std::unique_ptr<Channel>> openPicture(const std::string& fileName) {
  using R = Result<std::unique_ptr<Channel>>;
  if (const io::FileKind kind = io::kindOf(fileName);
      kind != io::FileKind::Missing && kind != io::FileKind::Regular)
    return R::failure(Fault::Source, "It is not a regular file.");
  std::string why;
  std::unique_ptr<Channel> file = openFileChannel(fileName, OpenMode::ReadOnly, &why);
  if (!file) return R::failure(Fault::Source, "It cannot be opened: " + why + ".");
  return file;
}

}  // namespace

Result<ImageImport> importImage(Channel& gauge, int32_t bmpPos, const std::string& fileName) {
  const Result<std::unique_ptr<Channel>> file = openPicture(fileName);
  if (!file) return Result<ImageImport>::failure(file);
  return importImage(gauge, bmpPos, **file);
}

Result<gau::DibImported> importImageIntoDib(Channel& gauge, const gau::Dib& dib,
                                            const std::string& fileName) {
  using R = Result<gau::DibImported>;
  if (const Result<> takes = gau::takesPixels(dib); !takes) return R::failure(takes);
  const Result<std::unique_ptr<Channel>> file = openPicture(fileName);
  if (!file) return R::failure(file);
  const Result<DecodedImage> decoded = decodeImage(**file, dib.width, dib.height);
  if (!decoded) return R::failure(decoded);
  return gau::importIntoDib(gauge, dib, decoded->picture());
}

}  // namespace imageio
