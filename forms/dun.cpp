#include "forms/dun.h"

#include <QLabel>
#include <QPushButton>

#include "ui/message.h"
#include "ui/twips.h"

using namespace ui;

dun::dun() {
  setWindowTitle(QStringLiteral(" "));  // no title text; an empty one shows the program name
  setWindowFlags(Qt::Dialog);
  setClientSize(this, 3105, 2565);
  const QColor grey(128, 128, 128);
  setBackground(this, grey);

  Label1 = new QLabel(QStringLiteral("DONE"), this);
  place(Label1, 840, 600, 1455, 495);
  Label1->setFont(msSansSerif(24));
  setBackground(Label1, grey);

  Command1 = new QPushButton(QStringLiteral("OK"), this);
  place(Command1, 1080, 1560, 975, 495);
  Command1->setFont(msSansSerif(18));
  connect(Command1, &QPushButton::clicked, this, &dun::Command1_Click);
  Command1->setFocus();
}

void dun::Command1_Click() { ui::hide<dun>(); }

void ShowDoneOrProblem(QWidget* owner, const QString& problem) {
  if (problem.isEmpty()) {
    showNotice<dun>(owner);
  } else {
    ui::ShowMessage(owner, problem);
  }
}
