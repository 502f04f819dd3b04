#include "imageio/image_resize.h"

#include <memory>

#include "imageio/image_reader.h"
#include "io/file_channels.h"
#include "io/system.h"

namespace imageio {

Result<gau::Resized> importResized(io::Channel& gauge, int64_t headerPos, io::Channel& imageFile) {
  using R = Result<gau::Resized>;
  const Result<PictureSize> size = pictureSize(imageFile);
  if (!size) return R::failure(size);
  if (size->width > gau::kMaxResizedSide || size->height > gau::kMaxResizedSide)
    return R::failure(Fault::DoesNotFit, "It is " + std::to_string(size->width) + " x " +
                                             std::to_string(size->height) +
                                             " pixels; a bitmap is made at most " +
                                             std::to_string(gau::kMaxResizedSide) +
                                             " pixels a side.");
  const Result<DecodedImage> decoded = decodeImage(imageFile, size->width, size->height);
  if (!decoded) return R::failure(decoded);
  return gau::resizeBitmap(gauge, headerPos, decoded->picture());
}

Result<gau::Resized> importResized(io::Channel& gauge, int64_t headerPos,
                                   const std::string& fileName) {
  // Only a regular file is a picture: a named pipe or a device may never end.
  if (const io::FileKind kind = io::kindOf(fileName);
      kind != io::FileKind::Missing && kind != io::FileKind::Regular)
    return Result<gau::Resized>::failure(Fault::Source, "It is not a regular file.");
  std::string why;
  const std::unique_ptr<io::Channel> file =
      io::openFileChannel(fileName, io::OpenMode::ReadOnly, &why);
  if (!file) return Result<gau::Resized>::failure(Fault::Source, "It cannot be opened: " + why + ".");
  return importResized(gauge, headerPos, *file);
}

}  // namespace imageio
