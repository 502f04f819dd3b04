#include "forms/bmp2gau.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <memory>
#include <optional>

#include "forms/Module1.h"
#include "base/fault_message.h"
#include "forms/conversion_look.h"
#include "forms/dun.h"
#include "forms/gauge_file.h"
#include "forms/gbpwt.h"
#include "forms/numbmp.h"
#include "gau/resize.h"
#include "imageio/image_import.h"
#include "imageio/image_reader.h"
#include "imageio/image_resize.h"
#include "io/file_channels.h"
#include "io/file_names.h"
#include "ui/beep.h"
#include "ui/controls.h"
#include "ui/file_list.h"
#include "ui/message.h"
#include "ui/twips.h"

using namespace io;
using namespace ui;

namespace {

QString count(int64_t n, const char* one, const char* many) {
  return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

// Which pixels took the nearest palette colour, and how many colours they had.
QString approximationNote(const QString& file, const QString& number, int64_t pixels,
                          int64_t colours) {
  return QStringLiteral(
             "%1 of %2, in %3 that bitmap %4 has not in its palette, took the nearest "
             "colour of that palette.")
      .arg(count(pixels, "pixel", "pixels"), file, count(colours, "colour", "colours"), number);
}

// The size of the picture in `file` when the bitmap at `bmpPos` is a resource
// of its own that could be made that size; nothing otherwise.
std::optional<imageio::PictureSize> resizeOffer(Channel& gauge, int32_t bmpPos,
                                                const std::string& file) {
  std::string why;
  const std::unique_ptr<Channel> picture = openFileChannel(file, OpenMode::ReadOnly, &why);
  if (!picture) return std::nullopt;
  const Result<imageio::PictureSize> size = imageio::pictureSize(*picture);
  // The bitmap's header begins 12 bytes before the position that names it.
  if (!size || size->width > gau::kMaxResizedSide || size->height > gau::kMaxResizedSide ||
      !gau::resizableBitmap(gauge, int64_t{bmpPos} - 12))
    return std::nullopt;
  return *size;
}

}  // namespace

bmp2gau::bmp2gau() {
  setWindowTitle(QStringLiteral("Convert BMP to GAU"));
  setWindowIcon(conversionIcon());
  setClientSize(this, 6690, 4140);

  // Created in tab order: the list first, so it has the focus.
  File1 = new FileListBox(QStringLiteral("*.bmp"), this);
  place(File1, 1320, 1200, 3975, 1845);
  Command3 = new QPushButton(QStringLiteral("RETURN"), this);
  place(Command3, 1320, 3480, 1215, 495);
  Command1 = new QPushButton(QStringLiteral("EXIT"), this);
  place(Command1, 4080, 3480, 1215, 495);
  setTabOrder(File1, Command3);
  setTabOrder(Command3, Command1);

  Label1 =
      newLabel(this,
               QStringLiteral("Highlight the BMP file that fits this GAU and bitmap number.  BE "
                              "SURE IT IS THE CORRECT ONE!  A different-sized bitmap can ruin "
                              "the GAU.  "),
               840, 480, 5055, 375);
  Label1->setWordWrap(true);
  Label3 = newLabel(this, QStringLiteral("When the file is highlit, DOUBLE-CLICK or press ENTER"),
                    1320, 960, 4095, 255);
  Label2 = newLabel(this, QStringLiteral("Bitmap Number:"), 840, 120, 1215, 255);
  Label4 = newLabel(this, QString(), 2040, 120, 615, 255);
  Label5 = newLabel(this, QStringLiteral("GAU File:"), 2640, 120, 735, 255);
  Label6 = newLabel(this, QString(), 3360, 120, 3135, 255);
  for (QLabel* fixedCaption : {Label1, Label2, Label3, Label5}) fitCaption(fixedCaption);
  const QColor blue(0, 0, 255);
  setTextColor(Label4, blue);
  setTextColor(Label6, blue);

  connect(File1, &FileListBox::dblClicked, this, &bmp2gau::File1_DblClick);
  connect(File1, &FileListBox::keyPressed, this, &bmp2gau::File1_KeyPress);
  connect(Command3, &QPushButton::clicked, this, &bmp2gau::Command3_Click);
  connect(Command1, &QPushButton::clicked, this, &bmp2gau::Command1_Click);
  File1->setFocus();
}

void bmp2gau::Form_Load() {
  Label4->setText(QString::number(Module1.BmpNumber));
  Label6->setText(nameText(Module1.GauFileName));
}

void bmp2gau::File1_DblClick() { importHighlighted(); }

// Enter imports; every other key is left to the list.
void bmp2gau::File1_KeyPress(int KeyAscii) {
  if (KeyAscii == 13) importHighlighted();
}

void bmp2gau::importHighlighted() {
  const std::string file = File1->selectedFile();
  const QString name = nameText(file);
  if (file.empty()) {
    ShowMessage(File1,
                File1->count() == 0
                    ? QStringLiteral("There is no bitmap file (*.bmp) in this folder to import.")
                    : QStringLiteral("No bitmap file is highlighted. Highlight one in the list "
                                     "first, then press Enter or double-click it."));
    return;
  }
  if (refusedAsGone(File1, QStringLiteral("Convert from BMP"))) return;
  const QString gauge = nameText(Module1.GauFileName);
  const QString number = QString::number(Module1.BmpNumber);
  QString problem;
  QString approximated;
  std::optional<imageio::PictureSize> offer;
  {
    PleaseWait wait;
    if (!Channels.isOpen(kGaugeChannel)) {
      problem = QStringLiteral("No gauge file is open, so %1 was not imported.").arg(name);
    } else {
      const Result<imageio::ImageImport> r =
          imageio::importImage(Channels[kGaugeChannel], Module1.BmpPos, file);
      if (r) {
        Module1.ColorsUsed = r->colors;
        Beep();
        Command3->setFocus();
        if (r->approximatedPixels > 0)
          approximated =
              approximationNote(name, number, r->approximatedPixels, r->approximatedColours);
      } else {
        problem = QString::fromStdString(faultMessage(
            {.action = "the import of " + name.toStdString(),
             .bitmap = QStringLiteral("bitmap %1 of %2").arg(number, gauge).toStdString(),
             .gauge = gauge.toStdString(),
             .file = name.toStdString()},
            r.fault(), nameText(r.reason()).toStdString()));
        if (r.fault() == Fault::DoesNotFit)
          offer = resizeOffer(Channels[kGaugeChannel], Module1.BmpPos, file);
      }
    }
  }  // "PLEASE WAIT" goes away here, whatever happened
  if (offer) {
    // The refusal stands unless the user asks otherwise: OK stays the default.
    QMessageBox* box = ShowMessage(
        File1, problem,
        QStringLiteral("Make bitmap %1 %2 × %3").arg(number).arg(offer->width).arg(offer->height));
    QAbstractButton* make = box->defaultButton();
    box->setDefaultButton(QMessageBox::Ok);
    connect(make, &QAbstractButton::clicked, this, [this, file] { resizeTo(file); });
    return;
  }
  ShowDoneOrProblem(File1, problem);
  // Said beside "DONE", below this window where the notice does not cover it: the
  // picture held colours the gauge cannot show as they are.
  if (!approximated.isEmpty()) ShowMessage(this, approximated, {}, Placement::BelowOwner);
  tellChangeNotices(this);
}

void bmp2gau::resizeTo(const std::string& file) {
  const QString name = nameText(file);
  const QString gauge = nameText(Module1.GauFileName);
  const QString number = QString::number(Module1.BmpNumber);
  QString problem;
  QString said;
  {
    PleaseWait wait;
    const Result<gau::Resized> r =
        Channels.isOpen(kGaugeChannel)
            ? imageio::importResized(Channels[kGaugeChannel], int64_t{Module1.BmpPos} - 12, file)
            : Result<gau::Resized>::failure(Fault::Bitmap, "No gauge file is open.");
    if (r) {
      numbmp::Rescan();
      Beep();
      Command3->setFocus();
      if (r->approximatedPixels > 0)
        said = approximationNote(name, number, r->approximatedPixels, r->approximatedColours);
      if (r->wasCompressed)
        said += (said.isEmpty() ? QString() : QStringLiteral(" ")) +
                QStringLiteral("Its run-length coded pixels were replaced by plain rows.");
    } else {
      problem = QString::fromStdString(faultMessage(
          {.action = "making bitmap " + number.toStdString() + " the size of " + name.toStdString(),
           .bitmap = QStringLiteral("bitmap %1 of %2").arg(number, gauge).toStdString(),
           .gauge = gauge.toStdString(),
           .file = name.toStdString()},
          r.fault(), nameText(r.reason()).toStdString()));
    }
  }
  ShowDoneOrProblem(File1, problem);
  if (!said.isEmpty()) ShowMessage(this, said, {}, Placement::BelowOwner);
  tellChangeNotices(this);
}

void bmp2gau::Command3_Click() {
  ui::destroy<bmp2gau>();
  numbmp::ShowAgain(this);
}

void bmp2gau::Command1_Click() { endProgram(); }

// The title bar's close button goes back to the chooser, as RETURN does.
void bmp2gau::closeEvent(QCloseEvent* event) {
  event->ignore();
  Command3_Click();
}
