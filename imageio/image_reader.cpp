#include "imageio/image_reader.h"

#include <QBuffer>
#include <QImageReader>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "bmp/bmp_file.h"
#include "bmp/foreign_bmp.h"
#include "io/file_channels.h"
#include "io/little_endian.h"
#include "io/system.h"

namespace imageio {
using io::le16;
using io::le32;
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

// The format Qt's reader decodes a .BMP into, which it does not say
// beforehand: indices up to 8 bits a pixel, else 32-bit colour, with alpha
// when the header has an alpha mask. A wrong guess only costs an allocation.
QImage::Format bmpFormat(std::span<const uint8_t> head) {
  if (!bmp::isBmp(head) || head.size() < bmp::kBitsOffset + 2) return QImage::Format_Invalid;
  const int32_t infoSize = le32(&head[bmp::kInfoSizeOffset]);
  const int bits = infoSize == 12 ? le16(&head[24]) : le16(&head[bmp::kBitsOffset]);
  constexpr size_t kAlphaMaskOffset = 66;  // in headers of 56 bytes and more
  const bool alpha =
      infoSize >= 56 && head.size() >= kAlphaMaskOffset + 4 && le32(&head[kAlphaMaskOffset]) != 0;
  switch (bits) {
    case 1:
      return QImage::Format_Mono;
    case 4:
    case 8:
      return QImage::Format_Indexed8;
    case 16:
    case 24:
      return QImage::Format_RGB32;
    case 32:
      return alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    default:
      return QImage::Format_Invalid;
  }
}

// A zeroed picture in memory of its own, in huge pages where the system
// offers them: filling 64 MiB of fresh memory page by page costs 16,384 page
// faults, and on some systems those cost more than the decoding.
QImage zeroedPicture(int32_t width, int32_t height, QImage::Format format) {
  const qsizetype rowBytes =
      (static_cast<qsizetype>(width) * QImage::toPixelFormat(format).bitsPerPixel() + 31) / 32 * 4;
  struct Mapping {
    void* start;
    size_t bytes;
  };
  const Mapping m{io::mapZeroed(static_cast<size_t>(rowBytes) * height),
                  static_cast<size_t>(rowBytes) * height};
  if (!m.start) {
    QImage plain(width, height, format);
    plain.fill(0);
    return plain;
  }
  return QImage(
      static_cast<uchar*>(m.start), width, height, rowBytes, format,
      [](void* info) {
        const auto* mapping = static_cast<Mapping*>(info);
        io::releaseZeroed(mapping->start, mapping->bytes);
        delete mapping;
      },
      new Mapping(m));
}

// A channel as a device for the reader, read a window of 1 MiB at a time:
// the reader asks for a row, or a byte, at a time.
class ChannelDevice final : public QIODevice {
 public:
  explicit ChannelDevice(Channel& channel) : channel_(channel), length_(channel.length()) {
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);  // pos() is then where the reader is
  }
  bool isSequential() const override { return false; }
  qint64 size() const override { return length_; }

 protected:
  qint64 readData(char* data, qint64 most) override {
    const qint64 at = pos();
    const qint64 n = std::min(most, length_ - at);
    if (n <= 0) return 0;
    if (at < windowStart_ || at + n > windowStart_ + static_cast<qint64>(window_.size())) {
      window_.resize(static_cast<size_t>(std::min(std::max(n, kWindow), length_ - at)));
      windowStart_ = at;
      if (channel_.read(at + 1, window_) != window_.size()) {
        window_.clear();
        return -1;
      }
    }
    std::memcpy(data, window_.data() + (at - windowStart_), static_cast<size_t>(n));
    return n;
  }
  qint64 writeData(const char*, qint64) override { return -1; }

 private:
  static constexpr qint64 kWindow = qint64{1} << 20;
  Channel& channel_;
  qint64 length_;
  std::vector<uint8_t> window_;
  qint64 windowStart_ = 0;
};

// Where a picture of indices names an entry past the end of its colour table,
// as a sentence; empty when none does. Such a pixel has no colour to map.
std::optional<std::string> indexPastPalette(const QImage& image) {
  const int colours = image.colorCount();
  const bool mono = image.depth() == 1;
  if ((image.format() != QImage::Format_Indexed8 && !mono) || colours >= (mono ? 2 : 256))
    return std::nullopt;
  for (int y = 0; y < image.height(); ++y) {
    const uchar* row = image.constScanLine(y);
    for (int x = 0; x < image.width(); ++x) {
      const int index = mono ? image.pixelIndex(x, y) : row[x];
      if (index >= colours)
        return "Its pixel in row " + num(y + 1) + ", column " + num(x + 1) +
               " (counted from the top left) names palette entry " + num(index) +
               ", and its palette has only " + num(colours) +
               (colours == 1 ? " colour." : " colours.");
    }
  }
  return std::nullopt;
}

Result<DecodedImage> notTheBitmapsSize(int64_t w, int64_t h, int32_t width, int32_t height) {
  return Result<DecodedImage>::failure(
      Fault::DoesNotFit, "It is " + num(w) + " x " + num(h) + " pixels; the gauge bitmap is " +
                             num(width) + " x " + num(height) + ".");
}

// A .BMP of bit fields, decoded here rather than by the reader, which widens
// a field narrower than 8 bits by shifting it and so darkens every colour.
Result<DecodedImage> decodeBitFields(Channel& file, const bmp::BitFieldLayout& layout,
                                     std::span<const uint8_t> head, int64_t length, int32_t width,
                                     int32_t height) {
  using R = Result<DecodedImage>;
  if (const std::optional<std::string> why = bmp::pixelDataProblem(head, length))
    return R::failure(Fault::Source, *why);
  if (layout.width != width || layout.height != height)
    return notTheBitmapsSize(layout.width, layout.height, width, height);
  QImage image = zeroedPicture(width, height, QImage::Format_ARGB32);
  if (image.isNull())
    return R::failure(Fault::Source, "There is no memory for its " + num(width) + " x " +
                                         num(height) + " pixels.");
  const std::span<uint32_t> pixels{reinterpret_cast<uint32_t*>(image.bits()),
                                   static_cast<size_t>(image.sizeInBytes() / 4)};
  if (const std::optional<std::string> why =
          bmp::decodeBitFields(file, layout, pixels, image.bytesPerLine() / 4))
    return R::failure(Fault::Source, *why);
  return DecodedImage(std::move(image));
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

Result<DecodedImage> decodeImage(Channel& file, int32_t width, int32_t height) {
  using R = Result<DecodedImage>;
  const int64_t length = file.length();
  if (length < 0) return R::failure(Fault::Source, "It could not be read: " + file.error() + ".");
  std::vector<uint8_t> head(static_cast<size_t>(std::min<int64_t>(length, bmp::kHeadBytes)));
  if (file.read(1, head) != head.size())
    return R::failure(Fault::Source,
                      "It could not be read: " + file.errorOr("the read stopped early") + ".");

  if (bmp::isBmp(head))
    if (const std::optional<bmp::BitFieldLayout> fields = bmp::bitFieldLayout(head))
      return decodeBitFields(file, *fields, head, length, width, height);

  // An uncompressed .BMP is read row by row straight from the file; anything
  // else is read whole first (run-length data is checked, a header widened).
  QByteArray whole;
  std::unique_ptr<QIODevice> device;
  if (bmp::isBmp(head) && !bmp::needsWholeFile(head)) {
    if (const std::optional<std::string> why = bmp::pixelDataProblem(head, length))
      return R::failure(Fault::Source, *why);
    device = std::make_unique<ChannelDevice>(file);
  } else {
    if (length > INT32_MAX)
      return R::failure(
          Fault::Source,
          "It is " + num(length) + " bytes long, more than a gauge bitmap's picture needs.");
    whole = QByteArray(static_cast<qsizetype>(length), Qt::Uninitialized);
    if (file.read(1, {reinterpret_cast<uint8_t*>(whole.data()), static_cast<size_t>(length)}) !=
        static_cast<size_t>(length))
      return R::failure(Fault::Source,
                        "It could not be read: " + file.errorOr("the read stopped early") + ".");
    if (const std::optional<std::string> why = bmp::pixelDataProblem(view(whole), length))
      return R::failure(Fault::Source, *why);
    if (std::optional<std::vector<uint8_t>> wide = bmp::widenedHeader(view(whole)))
      whole = QByteArray(reinterpret_cast<const char*>(wide->data()),
                         static_cast<qsizetype>(wide->size()));
    auto buffer = std::make_unique<QBuffer>(&whole);
    buffer->open(QIODevice::ReadOnly);
    device = std::move(buffer);
  }

  QImageReader reader(device.get());
  // Qt 6.4 gives a top-down .BMP's height negative here, a size QSize calls
  // invalid; the width says whether the reader knows the size at all.
  const QSize size = reader.size();
  const int64_t rows = std::abs(int64_t{size.height()});
  if (size.width() >= 0 && (size.width() != width || rows != height))
    return notTheBitmapsSize(size.width(), rows, width, height);

  const AllocationLimit limit(width, height);
  // The reader fills a picture handed to it when size and format agree.
  // Run-length data may skip pixels, which it leaves as they were: in a picture
  // that starts zeroed they are index 0.
  QImage image;
  QImage::Format format = reader.imageFormat();
  if (format == QImage::Format_Invalid) format = bmpFormat(head);
  if (format != QImage::Format_Invalid && width > 0 && height > 0)
    image = zeroedPicture(width, height, format);
  if (!reader.read(&image)) {
    const QString why = reader.errorString();
    return R::failure(Fault::Source,
                      "It could not be decoded as a picture" +
                          (why.isEmpty() ? std::string() : ": " + why.toStdString()) + ".");
  }
  if (image.width() != width || image.height() != height)
    return notTheBitmapsSize(image.width(), image.height(), width, height);
  if (const std::optional<std::string> why = indexPastPalette(image))
    return R::failure(Fault::Source, *why);
  return DecodedImage(std::move(image));
}

Result<PictureSize> pictureSize(Channel& file) {
  using R = Result<PictureSize>;
  const int64_t length = file.length();
  if (length < 0) return R::failure(Fault::Source, "It could not be read: " + file.error() + ".");
  if (length > INT32_MAX)
    return R::failure(Fault::Source, "It is " + num(length) + " bytes long, too long for a picture.");
  QByteArray whole(static_cast<qsizetype>(length), Qt::Uninitialized);
  if (file.read(1, {reinterpret_cast<uint8_t*>(whole.data()), static_cast<size_t>(length)}) !=
      static_cast<size_t>(length))
    return R::failure(Fault::Source,
                      "It could not be read: " + file.errorOr("the read stopped early") + ".");
  if (bmp::isBmp(view(whole)))
    if (const std::optional<bmp::BitFieldLayout> fields = bmp::bitFieldLayout(view(whole)))
      return PictureSize{fields->width, fields->height};
  if (std::optional<std::vector<uint8_t>> wide = bmp::widenedHeader(view(whole)))
    whole = QByteArray(reinterpret_cast<const char*>(wide->data()),
                       static_cast<qsizetype>(wide->size()));
  QBuffer buffer(&whole);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  // A top-down .BMP's height comes negative (see decodeImage).
  const QSize size = reader.size();
  if (size.width() < 0)
    return R::failure(Fault::Source, "Its size cannot be known before it is decoded" +
                                         (reader.errorString().isEmpty()
                                              ? std::string()
                                              : ": " + reader.errorString().toStdString()) +
                                         ".");
  return PictureSize{size.width(), std::abs(size.height())};
}

}  // namespace imageio
