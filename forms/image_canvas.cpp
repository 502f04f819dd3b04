#include "forms/image_canvas.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>

// Dots stand on a grid of whole device pixels, one grid step a dot: dots
// kDotPitch x zoom twips apart are dotPixels() apart. At the layout's 15
// twips to a pixel, dots 10 or 20 twips apart would share pixels and each
// row would paint over part or all of the row before it.

ImageCanvas::ImageCanvas(QSize size, const QFont& font, double pixelRatio)
    : image_(size * pixelRatio, QImage::Format_ARGB32_Premultiplied),
      font_(font),
      ratio_(pixelRatio) {
  image_.setDevicePixelRatio(pixelRatio);
  image_.fill(Qt::transparent);
}

void ImageCanvas::erase() { image_.fill(Qt::transparent); }

int ImageCanvas::dotPixels() const {
  return std::max(1, static_cast<int>(std::lround(std::max(dotSize(), 1) * ratio_)));
}

int ImageCanvas::toDevice(int32_t t) const {
  const int64_t pitch = int64_t{gau::kDotPitch} * std::max(dotSize(), 1);
  const int64_t scaled = int64_t{t} * dotPixels();
  // Floored, for negative positions too.
  return static_cast<int>(scaled >= 0 ? scaled / pitch : -((-scaled + pitch - 1) / pitch));
}

void ImageCanvas::drawDot(int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b) {
  const int size = dotPixels();
  const int x0 = toDevice(x), y0 = toDevice(y);
  const int left = std::max(x0, 0), top = std::max(y0, 0);
  const int right = std::min(x0 + size, image_.width());
  const int bottom = std::min(y0 + size, image_.height());
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
  const double twipsPerDevicePixel =
      static_cast<double>(gau::kDotPitch) * std::max(dotSize(), 1) / dotPixels();
  return static_cast<int32_t>(std::ceil(devicePixels * twipsPerDevicePixel));
}
