#include "forms/outofr.h"

#include <QLabel>
#include <QPushButton>

#include "ui/twips.h"

using namespace ui;

outofr::outofr() {
  setWindowTitle(QStringLiteral(" "));  // no title text; an empty one shows the program name
  setWindowFlags(Qt::Dialog);
  setClientSize(this, 4275, 2685);
  const QColor grey(128, 128, 128);
  setBackground(this, grey);

  Label1 = new QLabel(QStringLiteral("NUMBER OUT     OF RANGE"), this);
  place(Label1, 840, 480, 2535, 855);
  Label1->setFont(msSansSerif(18));
  Label1->setWordWrap(true);
  setBackground(Label1, grey);

  Command1 = new QPushButton(QStringLiteral("OK"), this);
  place(Command1, 1560, 1800, 1095, 495);
  Command1->setFont(msSansSerif(18));
  connect(Command1, &QPushButton::clicked, this, &outofr::Command1_Click);
  Command1->setFocus();
}

void outofr::Command1_Click() { ui::hide<outofr>(); }
