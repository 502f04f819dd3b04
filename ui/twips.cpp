#include "ui/twips.h"

#include <QPalette>
#include <QWidget>

namespace ui {

void place(QWidget* w, int left, int top, int width, int height) {
  w->setGeometry(twips(left), twips(top), twips(width), twips(height));
}

void setClientSize(QWidget* w, int width, int height) {
  w->setFixedSize(twips(width), twips(height));
}

void setBackground(QWidget* w, const QColor& c) {
  QPalette p = w->palette();
  p.setColor(QPalette::Window, c);
  w->setPalette(p);
  w->setAutoFillBackground(true);
}

void setTextColor(QWidget* w, const QColor& c) {
  QPalette p = w->palette();
  p.setColor(QPalette::WindowText, c);
  p.setColor(QPalette::Text, c);
  w->setPalette(p);
}

QFont msSansSerif(double points, bool bold) {
  QFont f(QStringLiteral("MS Sans Serif"));
  f.setStyleHint(QFont::SansSerif);
  // Arial-wide stand-ins come first: they keep captions inside the original control sizes.
  f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Arial"),
                 QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans"),
                 QStringLiteral("Sans Serif")});
  f.setPointSizeF(points);
  f.setBold(bold);
  return f;
}

}  // namespace ui
