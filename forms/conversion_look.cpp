#include "forms/conversion_look.h"

#include <QLabel>
#include <QPainter>
#include <iterator>

namespace {

QPixmap conversionPixmap(int size) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.scale(size / 32.0, size / 32.0);
  // The picture: sky, ground and a sun in a grey frame.
  p.setPen(QColor(0, 0, 0));
  p.setBrush(QColor(192, 192, 192));
  p.drawRect(1, 3, 24, 22);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 255, 255));
  p.drawRect(4, 6, 19, 10);
  p.setBrush(QColor(0, 128, 0));
  p.drawRect(4, 16, 19, 7);
  p.setBrush(QColor(255, 255, 0));
  p.drawEllipse(15, 7, 6, 6);
  // The arrow out of it.
  p.setBrush(QColor(255, 0, 0));
  p.setPen(QColor(128, 0, 0));
  const QPoint arrow[] = {{12, 24}, {22, 24}, {22, 20}, {31, 26}, {22, 31}, {22, 28}, {12, 28}};
  p.drawPolygon(arrow, static_cast<int>(std::size(arrow)));
  return pm;
}

}  // namespace

QIcon conversionIcon() {
  QIcon icon;
  icon.addPixmap(conversionPixmap(32));
  icon.addPixmap(conversionPixmap(16));
  return icon;
}

