#pragma once
// The done notice, shown after an operation that changed or wrote a file.

#include "forms/notice.h"

class QLabel;
class QPushButton;

class dun : public Notice {
  Q_OBJECT

 public:
  static constexpr ui::FormId kId = ui::FormId::dun;
  dun();

  QLabel* Label1;
  QPushButton* Command1;

  void Command1_Click();

 protected:
  QPushButton* okButton() const override { return Command1; }
};

class QString;
// The last step of an operation that writes a file, in the window `owner`:
// "DONE" when `problem` is empty, else the message saying why it did not happen.
void ShowDoneOrProblem(QWidget* owner, const QString& problem);
