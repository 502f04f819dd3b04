#pragma once
// The notice for a number outside its range.

#include "forms/notice.h"

class QLabel;
class QPushButton;

class outofr : public Notice {
  Q_OBJECT

 public:
  static constexpr ui::FormId kId = ui::FormId::outofr;
  outofr();

  QLabel* Label1;
  QPushButton* Command1;

  void Command1_Click();

 protected:
  QPushButton* okButton() const override { return Command1; }
};
