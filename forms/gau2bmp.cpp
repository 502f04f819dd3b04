#include "forms/gau2bmp.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "forms/Module1.h"
#include "base/fault_message.h"
#include "gau/export.h"
#include "forms/conversion_look.h"
#include "forms/dun.h"
#include "forms/gauge_file.h"
#include "forms/gbpwt.h"
#include "forms/numbmp.h"
#include "io/file_channels.h"
#include "io/file_names.h"
#include "ui/beep.h"
#include "ui/controls.h"
#include "ui/message.h"
#include "ui/twips.h"

using namespace io;
using namespace ui;

gau2bmp::gau2bmp() {
  setWindowTitle(QStringLiteral("Convert GAU to BMP"));
  setWindowIcon(conversionIcon());
  setClientSize(this, 6690, 4140);

  // Created in tab order: the name box first, so it has the focus.
  Text1 = new QLineEdit(this);
  place(Text1, 2040, 1560, 2415, 285);
  Command2 = newButton(this, QStringLiteral("CONVERT"), 2640, 2400, 1215, 495);
  Command3 = newButton(this, QStringLiteral("RETURN"), 1320, 3360, 1215, 495);
  Command1 = newButton(this, QStringLiteral("EXIT"), 3960, 3360, 1215, 495);
  setTabOrder(Text1, Command2);
  setTabOrder(Command2, Command3);
  setTabOrder(Command3, Command1);

  Label1 =
      newLabel(this,
               QStringLiteral("   Enter a file name for the new BMP (do NOT include the .BMP "
                              "extension).  Choose a name that will help you remember this GAU "
                              "and this bitmap number."),
               600, 480, 5535, 375);
  Label1->setWordWrap(true);
  Label2 = newLabel(this, QStringLiteral("^ File Name"), 2760, 1920, 855, 255);
  Label3 = newLabel(this, QStringLiteral("Then click CONVERT"), 2400, 1080, 1575, 255);
  Label4 = newLabel(this, QStringLiteral("Bitmap Number:"), 600, 120, 1215, 255);
  Label5 = newLabel(this, QString(), 1800, 120, 495, 255);
  Label6 = newLabel(this, QStringLiteral("GAU File:"), 2280, 120, 735, 255);
  Label7 = newLabel(this, QString(), 3000, 120, 3495, 255);
  for (QLabel* fixedCaption : {Label1, Label2, Label3, Label4, Label6}) fitCaption(fixedCaption);
  const QColor blue(0, 0, 255);
  setTextColor(Label5, blue);
  setTextColor(Label7, blue);

  connect(Text1, &QLineEdit::textChanged, this, &gau2bmp::Text1_Change);
  connect(Command2, &QPushButton::clicked, this, &gau2bmp::Command2_Click);
  connect(Command3, &QPushButton::clicked, this, &gau2bmp::Command3_Click);
  connect(Command1, &QPushButton::clicked, this, &gau2bmp::Command1_Click);
  Text1->setFocus();
}

void gau2bmp::Form_Load() {
  Label5->setText(QString::number(Module1.BmpNumber));
  Label7->setText(nameText(Module1.GauFileName));
}

void gau2bmp::Text1_Change() { BmpName = Text1->text(); }

// CONVERT: the name is used as typed with ".bmp" appended, in the working folder.
void gau2bmp::Command2_Click() {
  // ".bmp" alone would be a hidden file that no list shows.
  if (BmpName.trimmed().isEmpty()) {
    ShowMessage(Text1, QStringLiteral("Type a name for the new BMP file first, then click "
                                      "CONVERT. Nothing was written."));
    return;
  }
  if (refusedAsGone(Command2, QStringLiteral("Convert to BMP"))) return;
  const QString gauge = nameText(Module1.GauFileName);
  QString problem;
  {
    PleaseWait wait;
    BmpFileName = BmpName + QStringLiteral(".bmp");
    if (!Channels.isOpen(kGaugeChannel)) {
      problem = QStringLiteral("No gauge file is open, so %1 was not written.").arg(BmpFileName);
    } else {
      const Result<bmp::Exported> r =
          bmp::exportBitmap(Channels[kGaugeChannel], Module1.BmpPos, nameBytes(BmpFileName),
                            &PleaseWait::keepPainted);
      const QString reason = nameText(r.reason());
      if (r) {
        Module1.BmpWidth = r->width;
        Module1.BmpHeight = r->height;
        Module1.ColorsUsed = r->colors;
        Beep();
        Command3->setFocus();
      } else {
        problem = QString::fromStdString(
            faultMessage({.action = "the export to " + BmpFileName.toStdString(),
                          .bitmap = QStringLiteral("bitmap %1 of %2")
                                        .arg(QString::number(Module1.BmpNumber), gauge)
                                        .toStdString(),
                          .gauge = gauge.toStdString(),
                          .file = BmpFileName.toStdString()},
                         r.fault(), reason.toStdString()));
        const QFileInfo folder(QFileInfo(BmpFileName).absolutePath());
        // Paths as the system writes them: C:\panels\x on Windows.
        const QString shownFolder = QDir::toNativeSeparators(folder.filePath());
        const bool targetFault = r.fault() != Fault::Bitmap;
        if (targetFault && !folder.isDir())
          problem += QStringLiteral(" The folder %1 does not exist.").arg(shownFolder);
        // A folder of installed gauges, opened read-only, is often not the user's to write.
        else if (targetFault && !folder.isWritable())
          problem += QStringLiteral(
                         " You cannot write to the folder %1: type the name with a folder you "
                         "can write to in front of it, such as %2.")
                         .arg(shownFolder,
                              QDir::toNativeSeparators(QDir::homePath() + QLatin1Char('/') +
                                                       QFileInfo(BmpName).fileName()));
      }
    }
  }  // "PLEASE WAIT" goes away here, whatever happened
  ShowDoneOrProblem(Command2, problem);
}

void gau2bmp::Command3_Click() {
  ui::destroy<gau2bmp>();
  numbmp::ShowAgain(this);
}

void gau2bmp::Command1_Click() { endProgram(); }

// The title bar's close button goes back to the chooser, as RETURN does.
void gau2bmp::closeEvent(QCloseEvent* event) {
  event->ignore();
  Command3_Click();
}
