#pragma once
// Pictures from image files, decoded by Qt's image reader (QtGui only: no
// windows, no display), handed to the file logic as plain pixels.

#include <QImage>
#include <QList>
#include <cstdint>

#include "base/result.h"
#include "gau/colour_map.h"

namespace io {
class Channel;
}

namespace imageio {
using io::Channel;

// A decoded picture: 8-bit indices with their colour table, or 32-bit colours.
class DecodedImage {
 public:
  explicit DecodedImage(QImage image);
  // A view of the pixels; valid while this object lives.
  gau::Picture picture() const;
  const QImage& image() const { return image_; }

 private:
  QImage image_;
  QList<QRgb> colours_;
};

// Decodes the image file on `file` (any format the reader knows), which must
// be `width` x `height` pixels: the size is checked before a pixel is decoded.
// A picture with a pixel that cannot be known is refused rather than decoded
// with a guess in it: a .BMP whose pixel data ends early or whose runs leave
// the picture (see bmp::pixelDataProblem), and any picture of indices with a
// pixel past the end of its palette. A .BMP of 16-bit or bit-field pixels is
// decoded here, its fields widened exactly. Failures: Fault::Source
// (unreadable, undecodable or refused) and Fault::DoesNotFit (another size),
// each reason a sentence for the user.
Result<DecodedImage> decodeImage(Channel& file, int32_t width, int32_t height);

// The width and height of the picture on `file`, asked of the reader before
// a pixel is decoded (Fault::Source when the reader cannot tell).
struct PictureSize {
  int32_t width = 0, height = 0;
};
Result<PictureSize> pictureSize(Channel& file);

}  // namespace imageio
