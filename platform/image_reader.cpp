#include "platform/image_reader.h"

#include <QBuffer>
#include <QImageReader>
#include <cstdlib>
#include <span>
#include <string>

#include "bmp/bmp_file.h"
#include "bmp/foreign_bmp.h"
#include "platform/little_endian.h"

namespace platform {
namespace {

std::span<const uint8_t> view(const QByteArray& bytes) {
  return {reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size())};
}

std::string num(int64_t v) { return std::to_string(v); }

// Sets the reader's allocation limit for the length of one decode: room for the
// bitmap's own size at 8 bytes a pixel (16-bit-a-channel PNGs decode so).
class AllocationLimit {
 public:
  AllocationLimit(int32_t width, int32_t height) : old_(QImageReader::allocationLimit()) {
    const int64_t mib = int64_t{8} * width * height / (1024 * 1024) + 1;
    QImageReader::setAllocationLimit(static_cast<int>(std::min<int64_t>(mib, INT32_MAX)));
  }
  ~AllocationLimit() { QImageReader::setAllocationLimit(old_); }
  AllocationLimit(const AllocationLimit&) = delete;
  AllocationLimit& operator=(const AllocationLimit&) = delete;

 private:
  int old_;
};

// True for a .BMP of at most 8 bits a pixel: the reader decodes it into 8-bit
// indices, and run-length data may skip pixels, which it leaves as they were.
bool indexedBmp(std::span<const uint8_t> f) {
  if (f.size() < 30 || f[0] != 'B' || f[1] != 'M') return false;
  const int32_t infoSize = platform::le32(&f[bmp::kInfoSizeOffset]);
  const int bits = infoSize == 12 ? platform::le16(&f[24]) : platform::le16(&f[bmp::kBitsOffset]);
  return bits == 4 || bits == 8;
}

}  // namespace

DecodedImage::DecodedImage(QImage image) : image_(std::move(image)) {
  switch (image_.format()) {
    case QImage::Format_Indexed8:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
      break;
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
      image_ = image_.convertToFormat(QImage::Format_Indexed8);
      break;
    default:
      image_ = image_.convertToFormat(QImage::Format_ARGB32);
      break;
  }
  colours_ = image_.colorTable();
}

gau::Picture DecodedImage::picture() const {
  gau::Picture p;
  p.width = image_.width();
  p.height = image_.height();
  const auto bytes = static_cast<size_t>(image_.sizeInBytes());
  if (image_.format() == QImage::Format_Indexed8) {
    p.rowStride = image_.bytesPerLine();
    p.indices = {image_.constBits(), bytes};
    p.colourTable = {colours_.constData(), static_cast<size_t>(colours_.size())};
  } else {
    p.rowStride = image_.bytesPerLine() / 4;
    p.argb = {reinterpret_cast<const uint32_t*>(image_.constBits()), bytes / 4};
  }
  return p;
}

Result<DecodedImage> decodeImage(const QByteArray& original, int32_t width, int32_t height) {
  QByteArray bytes = original;
  if (const std::optional<std::string> why = bmp::cutShort(view(bytes)))
    return Result<DecodedImage>::failure(Fault::Source, *why);
  if (std::optional<std::vector<uint8_t>> wide = bmp::widenedHeader(view(bytes)))
    bytes = QByteArray(reinterpret_cast<const char*>(wide->data()),
                       static_cast<qsizetype>(wide->size()));

  QBuffer device(&bytes);
  device.open(QIODevice::ReadOnly);
  QImageReader reader(&device);
  const QSize size = reader.size();  // a top-down .BMP gives its height negative here
  if (size.isValid() && (size.width() != width || std::abs(size.height()) != height))
    return Result<DecodedImage>::failure(
        Fault::DoesNotFit, "It is " + num(size.width()) + " x " + num(std::abs(size.height())) +
                               " pixels; the gauge bitmap is " + num(width) + " x " + num(height) +
                               ".");

  const AllocationLimit limit(width, height);
  QImage image;
  if (indexedBmp(view(bytes)) && width > 0 && height > 0) {
    // Decoded into a picture of index 0 where the data skips pixels.
    image = QImage(width, height, QImage::Format_Indexed8);
    image.fill(0);
  }
  if (!reader.read(&image)) {
    const QString why = reader.errorString();
    return Result<DecodedImage>::failure(
        Fault::Source, "It could not be decoded as a picture" +
                           (why.isEmpty() ? std::string() : ": " + why.toStdString()) + ".");
  }
  if (image.width() != width || image.height() != height)
    return Result<DecodedImage>::failure(
        Fault::DoesNotFit, "It is " + num(image.width()) + " x " + num(image.height()) +
                               " pixels; the gauge bitmap is " + num(width) + " x " + num(height) +
                               ".");
  return DecodedImage(std::move(image));
}

}  // namespace platform
