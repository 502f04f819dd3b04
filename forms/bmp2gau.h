#pragma once
// Placeholder until the window is built.

#include <QPushButton>
#include <QWidget>

#include "platform/window_registry.h"

class bmp2gau : public QWidget {
  Q_OBJECT

 public:
  static constexpr platform::FormId kId = platform::FormId::bmp2gau;
  bmp2gau() { Command1 = new QPushButton(this); }
  QPushButton* Command1;
};
