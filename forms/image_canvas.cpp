#include "forms/image_canvas.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>

// Dots stand on a grid of whole device pixels, one grid step a dot: dots
// kDotPitch x zoom twips apart are dotPixels apart. At the layout's 15
// twips to a pixel, dots 10 or 20 twips apart would share pixels and each
// row would paint over part or all of the row before it.

namespace {

// floor(n / d), d > 0. A large picture has a million dots, so the usual case
// takes a reciprocal and one correction instead of a 64-bit division.
inline int64_t floorDiv(int64_t n, int64_t d, double inverse) {
  if (n < 0) return -((-n + d - 1) / d);
  auto q = static_cast<int64_t>(static_cast<double>(n) * inverse);
  if (q * d > n) {
    --q;
  } else if ((q + 1) * d <= n) {
    ++q;
  }
  return q;
}

}  // namespace

ImageCanvas::ImageCanvas(QSize size, const QFont& font, double pixelRatio)
    : image_(size * pixelRatio, QImage::Format_ARGB32_Premultiplied),
      font_(font),
      ratio_(pixelRatio) {
  image_.setDevicePixelRatio(pixelRatio);
  image_.fill(Qt::transparent);
}

void ImageCanvas::erase() { image_.fill(Qt::transparent); }

const ImageCanvas::Grid& ImageCanvas::grid() const {
  if (grid_.dotSize != dotSize()) {
    const int zoom = std::max(dotSize(), 1);
    grid_.dotSize = dotSize();
    grid_.dotPixels = std::max(1, static_cast<int>(std::lround(zoom * ratio_)));
    grid_.pitch = int64_t{gau::kDotPitch} * zoom;
    grid_.inversePitch = 1.0 / static_cast<double>(grid_.pitch);
  }
  return grid_;
}

int ImageCanvas::toDevice(int32_t t) const {
  const Grid& g = grid();
  return static_cast<int>(floorDiv(int64_t{t} * g.dotPixels, g.pitch, g.inversePitch));
}

void ImageCanvas::drawDot(int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b) {
  const Grid& grid = this->grid();
  const auto x0 = floorDiv(int64_t{x} * grid.dotPixels, grid.pitch, grid.inversePitch);
  const auto y0 = floorDiv(int64_t{y} * grid.dotPixels, grid.pitch, grid.inversePitch);
  const int width = image_.width(), height = image_.height();
  if (x0 >= width || y0 >= height) return;  // most of a large picture
  const int left = static_cast<int>(std::max<int64_t>(x0, 0));
  const int top = static_cast<int>(std::max<int64_t>(y0, 0));
  const int right = static_cast<int>(std::min<int64_t>(x0 + grid.dotPixels, width));
  const int bottom = static_cast<int>(std::min<int64_t>(y0 + grid.dotPixels, height));
  const QRgb colour = qRgb(r, g, b);
  for (int py = top; py < bottom; ++py) {
    auto* line = reinterpret_cast<QRgb*>(image_.scanLine(py));
    std::fill(line + left, line + std::max(left, right), colour);
  }
}

void ImageCanvas::drawText(int32_t x, int32_t y, const std::string& text) {
  QPainter p(&image_);
  p.setFont(font_);
  p.setPen(Qt::black);
  const QFontMetrics metrics(font_);
  p.drawText(QPointF(toDevice(x) / ratio_, toDevice(y) / ratio_ + metrics.ascent()),
             QString::fromStdString(text));
}

int32_t ImageCanvas::lineHeight() const {
  // One line of text in twips of this surface.
  const double devicePixels = QFontMetrics(font_).height() * ratio_;
  const double twipsPerDevicePixel = static_cast<double>(grid().pitch) / grid().dotPixels;
  return static_cast<int32_t>(std::ceil(devicePixels * twipsPerDevicePixel));
}
