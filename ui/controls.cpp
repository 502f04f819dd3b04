#include "ui/controls.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/twips.h"

namespace ui {

QLabel* newLabel(QWidget* parent, const QString& caption, int left, int top, int width,
                 int height) {
  auto* label = new QLabel(caption, parent);
  place(label, left, top, width, height);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

QPushButton* newButton(QWidget* parent, const QString& caption, int left, int top, int width,
                       int height) {
  auto* button = new QPushButton(caption, parent);
  place(button, left, top, width, height);
  return button;
}

QLineEdit* newTextBox(QWidget* parent, int left, int top, int width, int height) {
  auto* box = new QLineEdit(parent);
  place(box, left, top, width, height);
  return box;
}

void fitCaption(QLabel* label) {
  constexpr double kSmallest = 6.0;
  const QSize box = label->contentsRect().size();
  QFont f = label->font();
  auto fits = [&] {
    return label->wordWrap() ? label->heightForWidth(box.width()) <= box.height()
                             : label->sizeHint().width() <= box.width();
  };
  while (!fits() && f.pointSizeF() - 0.25 >= kSmallest) {
    f.setPointSizeF(f.pointSizeF() - 0.25);
    label->setFont(f);
  }
}

void fitCaptions(std::initializer_list<QLabel*> labels) {
  double smallest = 0;
  for (QLabel* label : labels) {
    fitCaption(label);
    const double size = label->font().pointSizeF();
    if (smallest == 0 || size < smallest) smallest = size;
  }
  for (QLabel* label : labels) {
    QFont f = label->font();
    f.setPointSizeF(smallest);
    label->setFont(f);
  }
}

}  // namespace ui
