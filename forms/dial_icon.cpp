#include "forms/dial_icon.h"

#include <QPainter>

QImage dialIconImage() {
  QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setBrush(QColor(0, 0, 128));
  p.setPen(QPen(QColor(192, 192, 192), 2));
  p.drawEllipse(2, 2, 28, 28);
  p.setPen(QPen(Qt::white, 1));
  for (int a = 0; a < 360; a += 45) {
    p.save();
    p.translate(16, 16);
    p.rotate(a);
    p.drawLine(0, -12, 0, -9);
    p.restore();
  }
  p.setPen(QPen(QColor(255, 0, 0), 2));
  p.drawLine(16, 16, 24, 9);
  return image;
}
