#pragma once
// The done notice, shown after an operation that changed or wrote a file.

#include <QWidget>

#include "platform/window_registry.h"

class QLabel;
class QPushButton;

class dun : public QWidget {
  Q_OBJECT

 public:
  static constexpr platform::FormId kId = platform::FormId::dun;
  dun();

  QLabel* Label1;
  QPushButton* Command1;

  void Command1_Click();
};

class QString;
// The last step of an operation that writes a file: "DONE" when `problem` is
// empty, else the message saying why it did not happen.
void ShowDoneOrProblem(const QString& problem);
