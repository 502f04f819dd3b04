#pragma once
// Placeholder until the window is built.

#include <QPushButton>
#include <QWidget>

#include "platform/window_registry.h"

class gau2bmp : public QWidget {
  Q_OBJECT

 public:
  static constexpr platform::FormId kId = platform::FormId::gau2bmp;
  gau2bmp() { Command1 = new QPushButton(this); }
  QPushButton* Command1;
};
