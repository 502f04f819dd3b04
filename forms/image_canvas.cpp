#include "forms/image_canvas.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

#include "platform/twips.h"

namespace {

// The first pixel of a run of `size` pixels centred on `t` twips.
int dotStart(int32_t t, int size) {
  // round(t / 15 - size / 2), floored for negative values too
  const int64_t num = 2 * static_cast<int64_t>(t) - platform::kTwipsPerPixel * (size - 1);
  const int64_t den = 2 * platform::kTwipsPerPixel;
  return static_cast<int>(num >= 0 ? num / den : -((-num + den - 1) / den));
}

}  // namespace

ImageCanvas::ImageCanvas(QSize size, const QFont& font)
    : image_(size, QImage::Format_ARGB32_Premultiplied),
      font_(font),
      lineHeight_(QFontMetrics(font).height() * platform::kTwipsPerPixel) {
  image_.fill(Qt::transparent);
}

void ImageCanvas::erase() { image_.fill(Qt::transparent); }

void ImageCanvas::drawDot(int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b) {
  const int size = std::max(dotSize(), 1);
  const int left = std::max(dotStart(x, size), 0);
  const int top = std::max(dotStart(y, size), 0);
  const int right = std::min(dotStart(x, size) + size, image_.width());
  const int bottom = std::min(dotStart(y, size) + size, image_.height());
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
  p.drawText(QPoint(x / platform::kTwipsPerPixel, y / platform::kTwipsPerPixel + metrics.ascent()),
             QString::fromStdString(text));
}
