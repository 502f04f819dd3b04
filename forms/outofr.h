#pragma once
// The notice for a number outside its range.

#include <QWidget>

#include "platform/window_registry.h"

class QLabel;
class QPushButton;

class outofr : public QWidget {
  Q_OBJECT

 public:
  static constexpr platform::FormId kId = platform::FormId::outofr;
  outofr();

  QLabel* Label1;
  QPushButton* Command1;

  void Command1_Click();
};
