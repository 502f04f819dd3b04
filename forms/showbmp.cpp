#include "forms/showbmp.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

#include "forms/Module1.h"
#include "forms/gauge_file.h"
#include "forms/image_canvas.h"
#include "forms/numbmp.h"
#include "forms/outofr.h"
#include "gau/plot.h"
#include "io/file_channels.h"
#include "io/file_names.h"
#include "ui/controls.h"
#include "ui/message.h"
#include "ui/twips.h"

using namespace io;
using namespace ui;

namespace {

constexpr int kClientWidth = 9210;
constexpr int kClientHeight = 6390;

}  // namespace

showbmp::showbmp() {
  // No title text. An empty title would make Qt show the program's name there instead.
  setWindowTitle(QStringLiteral(" "));
  setClientSize(this, kClientWidth, kClientHeight);
  setBackground(this, QColor(192, 192, 192));
  setFont(msSansSerif(8.25, true));

  // Created in tab order; the labels take no focus.
  Command1 = newButton(this, "SHOW", 5640, 5640, 1215, 615);
  Command2 = newButton(this, "RETURN", 7560, 5640, 1335, 615);
  Label1 = newLabel(this, "Bitmap #", 5640, 4920, 855, 255);
  Label2 = newLabel(this, "", 6600, 4920, 495, 255);
  setTextColor(Label2, QColor(255, 0, 0));
  Command3 = newButton(this, "+1", 7560, 4920, 495, 495);
  Command4 = newButton(this, "-1", 8400, 4920, 495, 495);
  Label3 = newLabel(this, "OF", 6120, 5280, 495, 255);
  Label4 = newLabel(this, "", 6600, 5280, 495, 255);
  setTextColor(Label4, QColor(0, 0, 255));
  for (QPushButton* b : {Command1, Command2, Command3, Command4}) b->setFont(msSansSerif(12, true));
  setTabOrder(Command1, Command2);
  setTabOrder(Command2, Command3);
  setTabOrder(Command3, Command4);

  canvas_ = std::make_unique<ImageCanvas>(QSize(twips(kClientWidth), twips(kClientHeight)), font(),
                                          devicePixelRatioF());

  connect(Command1, &QPushButton::clicked, this, &showbmp::Command1_Click);
  connect(Command2, &QPushButton::clicked, this, &showbmp::Command2_Click);
  connect(Command3, &QPushButton::clicked, this, &showbmp::Command3_Click);
  connect(Command4, &QPushButton::clicked, this, &showbmp::Command4_Click);
}

showbmp::~showbmp() = default;

void showbmp::Form_Load() { setLabels(); }

const QImage& showbmp::picture() const { return canvas_->image(); }

void showbmp::setLabels() {
  Label2->setText(QString::number(Module1.BmpNumber));
  Label4->setText(QString::number(Module1.BmpCount));
}

void showbmp::Command1_Click() {
  // Drawn at the screen's own pixel ratio: a picture drawn at 1 and enlarged
  // would blur the zoom line and make the dots uneven.
  if (canvas_->pixelRatio() != devicePixelRatioF())
    canvas_ = std::make_unique<ImageCanvas>(QSize(twips(kClientWidth), twips(kClientHeight)),
                                            font(), devicePixelRatioF());
  if (!Channels.isOpen(kGaugeChannel)) {
    canvas_->clear();
    update();
    ShowMessage(this, QStringLiteral("No gauge file is open, so there is no bitmap to show."));
    return;
  }
  if (refusedAsGone(Command1, QStringLiteral("View Bitmap"))) return;
  const Result<gau::Shown> shown =
      gau::showBitmap(Channels[kGaugeChannel], Module1.BmpPos, Module1.PalTable, *canvas_);
  update();
  if (shown) {
    storeShown(*shown, Module1);
  } else {
    ShowMessage(this, QStringLiteral("Bitmap %1 of %2 cannot be shown. %3")
                          .arg(Module1.BmpNumber)
                          .arg(nameText(Module1.GauFileName), nameText(shown.reason())));
  }
}

void showbmp::Command2_Click() {
  ui::hide<showbmp>();
  numbmp::ShowAgain(this);
}

// The title bar's close button goes back to the chooser, as RETURN does.
void showbmp::closeEvent(QCloseEvent* event) {
  event->ignore();
  Command2_Click();
}

void showbmp::Command3_Click() { step(+1); }

void showbmp::Command4_Click() { step(-1); }

void showbmp::step(int delta) {
  const int next = Module1.BmpNumber + delta;
  if (next > Module1.BmpCount || next < 1) {
    showNotice<outofr>(this);
  } else {
    Module1.BmpNumber = static_cast<int16_t>(next);
  }
  Module1.BmpPos = Module1.BmpTable(Module1.BmpNumber);
  // A blank stands where a plus sign would; the chooser reads the number back.
  const int n = Module1.BmpNumber;
  if (numbmp* chooser = ui::find<numbmp>())
    chooser->Text1->setText(n >= 0 ? QStringLiteral(" %1").arg(n) : QString::number(n));
  setLabels();
}

void showbmp::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, canvas_->image());
}

void showbmp::showEvent(QShowEvent* event) {
  setLabels();
  QWidget::showEvent(event);
}

// The picture belongs to the window surface: once hidden, it is gone until SHOW.
void showbmp::hideEvent(QHideEvent* event) {
  canvas_->clear();
  QWidget::hideEvent(event);
}
