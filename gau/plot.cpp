#include "gau/plot.h"

#include <array>
#include <span>
#include <vector>

#include "gau/bitmap_record.h"
#include "io/file_channels.h"

namespace gau {
namespace {

// Serves the bytes of one stretch of the file at falling positions, reading
// the stretch in blocks from its end: the plot walks the pixel array backwards.
class BackwardBytes {
 public:
  static constexpr int64_t kBlock = 64 * 1024;

  BackwardBytes(io::Channel& gauge, int64_t first) : gauge_(gauge), first_(first) {}

  // The byte at `pos` (>= first). A block that cannot be read whole sets failed().
  uint8_t at(int64_t pos) {
    if (pos < bufFirst_ || pos >= bufFirst_ + bufLen_) refill(pos);
    return buf_[static_cast<size_t>(pos - bufFirst_)];
  }
  bool failed() const { return failed_; }

 private:
  void refill(int64_t pos) {
    bufFirst_ = std::max(first_, pos - kBlock + 1);
    bufLen_ = pos - bufFirst_ + 1;
    const size_t want = static_cast<size_t>(bufLen_);
    if (gauge_.read(bufFirst_, std::span(buf_.data(), want)) < want) failed_ = true;
  }

  io::Channel& gauge_;
  int64_t first_;
  int64_t bufFirst_ = 0;
  int64_t bufLen_ = 0;
  bool failed_ = false;
  std::vector<uint8_t> buf_ = std::vector<uint8_t>(kBlock);
};

// The viewer's own arithmetic on the header values, beyond the positions that
// readLayout checks: products of the sizes and the dot coordinates in twips.
std::string drawingError(const BitmapLayout& b) {
  const int64_t w = b.width;
  const int64_t h = b.height;
  if (!fitsInt32(w * h) || !fitsInt32(b.padding * h) || !fitsInt32(kDotPitch * w) ||
      !fitsInt32(kDotPitch * h)) {
    return "Its width " + std::to_string(b.width) + " and height " + std::to_string(b.height) +
           " are too large to be drawn.";
  }
  return {};
}

std::string readError(const io::Channel& gauge, const char* part) {
  return std::string("Its ") + part + " could not be read from " + gauge.name() + ": " +
         gauge.errorOr("the file ended early") + ".";
}

}  // namespace

Result<Shown> showBitmap(io::Channel& gauge, int32_t bmpPos, const PaletteTable& earlier,
                         Canvas& canvas) {
  using R = Result<Shown>;
  canvas.clear();

  // A false scan hit can claim any size; refuse it before reading on or drawing.
  const Result<BitmapLayout> read = readLayout(gauge, bmpPos, Extent::WholeInFile);
  if (!read) return R::failure(read);
  const BitmapLayout& b = *read;
  if (std::string why = drawingError(b); !why.empty()) return R::failure(Fault::Bitmap, why);

  Shown s;
  s.width = b.width;
  s.height = b.height;
  s.colors = b.colors;
  s.palette = earlier;  // entries beyond the count keep what an earlier SHOW left there

  std::vector<uint8_t> palette(4 * static_cast<size_t>(b.colors));
  if (gauge.read(b.paletteStart, palette) < palette.size())
    return R::failure(Fault::Source, readError(gauge, "palette"));
  for (int32_t k = 0; k < b.colors; ++k) {
    const uint8_t* entry = &palette[4 * static_cast<size_t>(k)];
    s.palette[k][1] = entry[0];  // blue
    s.palette[k][2] = entry[1];  // green
    s.palette[k][3] = entry[2];  // red
  }
  const uint8_t* lastEntry = &palette[palette.size() - 4];
  s.blue = lastEntry[0];
  s.green = lastEntry[1];
  s.red = lastEntry[2];

  const int32_t zoom = b.height > kZoom2Limit || b.width > kZoom2Limit ? 1 : 2;
  canvas.setDotSize(zoom);
  s.zoomDigit = static_cast<unsigned char>('0' + zoom);

  // From the last byte of the pixel array backwards: stored rows run bottom
  // up, so the top display row comes first, each row from its right end.
  int64_t work = b.pixelEnd();
  const int32_t step = kDotPitch * zoom;
  if (b.width > 0 && b.height > 0) {
    BackwardBytes pixels(gauge, b.pixelStart);
    for (int32_t r = 0; r < b.height; ++r) {
      work -= b.padding;
      const int32_t y = 1 + step * r;
      for (int32_t c = b.width - 1; c >= 0; --c) {
        const uint8_t value = pixels.at(work);
        s.byte = value;
        const auto& colour = s.palette[value];
        canvas.dot(step * (c + 1), y, static_cast<uint8_t>(colour[3]),
                   static_cast<uint8_t>(colour[2]), static_cast<uint8_t>(colour[1]));
        --work;
      }
      if (pixels.failed()) return R::failure(Fault::Source, readError(gauge, "pixels"));
    }
  } else if (b.height > 0) {
    work -= static_cast<int64_t>(b.padding) * b.height;  // rows without pixels still skip their pad
  }
  s.workPos = static_cast<int32_t>(work);

  canvas.printLine("");
  canvas.printLine(std::string(" ZOOM=") + static_cast<char>(s.zoomDigit));
  return s;
}

}  // namespace gau
