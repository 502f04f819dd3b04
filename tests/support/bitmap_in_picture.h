#pragma once
// Finds a bitmap, pixel for pixel, in a picture of it (a window's grab, a
// PNG): each of its pixels as a square of `block` x `block` picture pixels.
// What is looked for is read from the bitmap's own bytes, never drawn by
// dialpix's code.

#include <QImage>
#include <QPoint>
#include <optional>
#include <vector>

#include "tools/bmp_builder.h"
#include "tools/gauge_builder.h"

namespace testing_support {

// A planted 8-bit bitmap in its own colours, entries past its colour count black.
inline QImage pictureOf(const gaugebuild::Bitmap& b) {
  QImage out(b.width, b.height, QImage::Format_RGB32);
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x) {
      const uint8_t i = b.pixels[static_cast<size_t>((b.height - 1 - y) * b.rowBytes() + x)];
      const uint8_t* e = i < b.colors() ? &b.palette[4 * size_t{i}] : nullptr;
      out.setPixel(x, y, e ? qRgb(e[2], e[1], e[0]) : qRgb(0, 0, 0));
    }
  return out;
}

// A 24-bit bitmap resource's data (header and pixels, no file header) whose
// pixel (x, y) is red x, green y, blue 200 - x; and that picture.
inline QImage otherDepthPicture(int w, int h) {
  QImage out(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) out.setPixel(x, y, qRgb(x, y, 200 - x));
  return out;
}
inline std::vector<uint8_t> otherDepthDib(int w, int h) {
  bmpbuild::Bmp b;
  b.width = w;
  b.height = h;
  b.bits = 24;
  const QImage p = otherDepthPicture(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.pixels.push_back(p.pixel(x, y) & 0xFFFFFF);
  std::vector<uint8_t> file = bmpbuild::write(b);
  return {file.begin() + 14, file.end()};
}

// The top left of the first place where `want` stands whole in `picture`.
inline std::optional<QPoint> findPicture(const QImage& picture, const QImage& want, int block = 1) {
  const QImage p = picture.convertToFormat(QImage::Format_RGB32);
  const QImage q = want.convertToFormat(QImage::Format_RGB32);
  const int w = q.width() * block, h = q.height() * block;
  for (int y0 = 0; y0 + h <= p.height(); ++y0)
    for (int x0 = 0; x0 + w <= p.width(); ++x0) {
      bool all = true;
      for (int y = 0; all && y < h; ++y)
        for (int x = 0; all && x < w; ++x)
          all = (p.pixel(x0 + x, y0 + y) & 0xFFFFFF) == (q.pixel(x / block, y / block) & 0xFFFFFF);
      if (all) return QPoint(x0, y0);
    }
  return std::nullopt;
}

inline std::optional<QPoint> findBitmap(const QImage& picture, const gaugebuild::Bitmap& b,
                                        int block = 1) {
  return findPicture(picture, pictureOf(b), block);
}

}  // namespace testing_support
