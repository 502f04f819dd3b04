#include "forms/paltool.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdint>
#include <optional>

#include "forms/Module1.h"
#include "base/fault_message.h"
#include "base/number_text.h"
#include "forms/gauge_file.h"
#include "forms/outofr.h"
#include "gau/palette.h"
#include "io/file_channels.h"
#include "io/file_names.h"
#include "ui/beep.h"
#include "ui/controls.h"
#include "ui/message.h"
#include "ui/twips.h"

using namespace io;
using namespace ui;

namespace {

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kGreen(0, 128, 0);

// The range check of Display and Send: against the colour count held in the
// shared record, whichever tool read it last. 64-bit so a stray count cannot overflow.
bool inHeldPalette(int n) { return n >= 0 && n <= static_cast<int64_t>(Module1.ColorsUsed) - 1; }

// The palette window can outlive the gauge file (the chooser's RETURN closes
// it while this window may still be up).
bool gaugeOpen(QWidget* tool) {
  if (Channels.isOpen(kGaugeChannel)) return true;
  ShowMessage(tool, QStringLiteral("No gauge file is open. Pick one in the start window first."));
  return false;
}

// A refusal of the file logic, said of the bitmap it concerns.
template <class T>
QString aboutBitmap(const Result<T>& r) {
  const QString gauge = nameText(Module1.GauFileName);
  return QString::fromStdString(faultMessage(
      {.action = "Send",
       .bitmap = QStringLiteral("bitmap %1 of %2").arg(Module1.BmpNumber).arg(gauge).toStdString(),
       .gauge = gauge.toStdString()},
      r.fault(), nameText(r.reason()).toStdString()));
}

// Whole-text reading of a value box, where an empty box counts as 0;
// nothing for text that is no byte.
std::optional<uint8_t> boxByte(const QLineEdit* box) {
  if (box->text().trimmed().isEmpty()) return uint8_t{0};
  const std::optional<double> v = wholeNumber(box->text().toStdString());
  return v ? roundToByte(*v) : std::nullopt;
}

// On each change; text that is no byte keeps the previous one.
void takeByte(const QLineEdit* box, unsigned char& into) {
  if (const std::optional<uint8_t> b = boxByte(box)) into = *b;
}

void send(paltool* tool, gau::ColorChannel channel, QLineEdit* box, QPushButton* button,
          unsigned char& value, QLabel* shownIn) {
  // Read again whole: the byte kept from the keystrokes will not do, as typing
  // 300 passes through 30 on the way.
  const std::optional<uint8_t> typed = boxByte(box);
  if (!typed) {
    const char* name = channel == gau::ColorChannel::Red    ? "Red"
                       : channel == gau::ColorChannel::Blue ? "Blue"
                                                            : "Green";
    box->setFocus();  // the value to correct, once the message has gone
    box->selectAll();
    ShowMessage(button, QStringLiteral("The new value \"%1\" in the %2 box is not a whole number "
                                       "from 0 to 255, so nothing was written.")
                            .arg(box->text(), QLatin1String(name)));
    return;
  }
  value = *typed;
  if (refusedAsReadOnly(button, QStringLiteral("Send")) ||
      refusedAsGone(button, QStringLiteral("Send")))
    return;
  const int n = Module1.ColorNumber;
  if (!inHeldPalette(n)) {
    showNotice<outofr>(tool, tool->Text1);  // the colour number to correct
  } else if (gaugeOpen(tool)) {
    const Result<> r =
        gau::writeEntryByte(Channels[kGaugeChannel], Module1.BmpPos, n, channel, value);
    if (r)
      shownIn->setText(QString::number(value));
    else
      ShowMessage(tool, aboutBitmap(r));
  }
  Beep();
  tellChangeNotices(tool);
}

}  // namespace

paltool::paltool() {
  setWindowTitle(QStringLiteral("Palette Tool"));
  setClientSize(this, 4590, 4320);
  setFont(msSansSerif(8.25));

  Label1 = newLabel(this, "Available colors for this bitmap:", 720, 120, 2175, 255);
  Label3 = newLabel(this, "", 3000, 120, 375, 255);
  setTextColor(Label3, kBlue);
  Label2 = newLabel(this, "Numbered from 0 to:", 1440, 360, 1455, 255);
  Label4 = newLabel(this, "", 3000, 360, 375, 255);
  setTextColor(Label4, kRed);
  Label5 = newLabel(this, "Enter a color number:", 720, 840, 1575, 255);
  Text1 = newTextBox(this, 2280, 810, 615, 285);
  Command3 = newButton(this, "Clear", 3000, 840, 615, 255);
  Command4 = newButton(this, "Display Color Values", 1320, 1200, 1695, 375);
  // Red, blue, green from left to right, in both halves of the window.
  Label6 = newLabel(this, "Red:", 720, 1680, 375, 255);
  Label9 = newLabel(this, "", 1200, 1680, 375, 255);
  setTextColor(Label9, kRed);
  Label7 = newLabel(this, "Blue:", 1920, 1680, 375, 255);
  Label10 = newLabel(this, "", 2400, 1680, 375, 255);
  setTextColor(Label10, kBlue);
  Label8 = newLabel(this, "Green:", 3000, 1680, 495, 255);
  Label11 = newLabel(this, "", 3600, 1680, 375, 255);
  setTextColor(Label11, kGreen);

  // A one-pixel line from (0, 2040) to (4560, 2040).
  Line1 = new QFrame(this);
  Line1->setFrameShape(QFrame::HLine);
  Line1->setFrameShadow(QFrame::Plain);
  Line1->setGeometry(0, twips(2040), twips(4560) + 1, 1);

  Label12 = newLabel(this, "Enter new value(s):", 1680, 2160, 1455, 255);
  Label13 = newLabel(this, "Red:", 840, 2520, 375, 255);
  Label14 = newLabel(this, "Blue:", 2040, 2520, 375, 255);
  Label15 = newLabel(this, "Green:", 3240, 2520, 495, 255);
  for (QLabel* fixed : {Label1, Label2, Label5, Label12}) fitCaption(fixed);
  fitCaptions({Label6, Label7, Label8, Label13, Label14, Label15});
  Text2 = newTextBox(this, 720, 2760, 735, 285);
  Text3 = newTextBox(this, 1920, 2760, 735, 285);
  Text4 = newTextBox(this, 3120, 2760, 735, 285);
  Command5 = newButton(this, "Send", 720, 3120, 735, 255);
  Command6 = newButton(this, "Send", 1920, 3120, 735, 255);
  Command7 = newButton(this, "Send", 3120, 3120, 735, 255);
  Command1 = newButton(this, "RETURN", 720, 3720, 1095, 375);
  Command2 = newButton(this, "EXIT", 2760, 3720, 1095, 375);

  QWidget* order[] = {Text1, Command4, Text2,    Command5, Text3,   Command6,
                      Text4, Command7, Command1, Command2, Command3};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  connect(Command4, &QPushButton::clicked, this, &paltool::Command4_Click);
  connect(Text2, &QLineEdit::textChanged, this, &paltool::Text2_Change);
  connect(Text3, &QLineEdit::textChanged, this, &paltool::Text3_Change);
  connect(Text4, &QLineEdit::textChanged, this, &paltool::Text4_Change);
  connect(Command5, &QPushButton::clicked, this, &paltool::Command5_Click);
  connect(Command6, &QPushButton::clicked, this, &paltool::Command6_Click);
  connect(Command7, &QPushButton::clicked, this, &paltool::Command7_Click);
  connect(Command3, &QPushButton::clicked, this, &paltool::Command3_Click);
  connect(Command1, &QPushButton::clicked, this, &paltool::Command1_Click);
  connect(Command2, &QPushButton::clicked, this, &paltool::Command2_Click);
  Text1->setFocus();
}

// Runs once a run: later showings, for any bitmap, keep these counts.
void paltool::Form_Load() {
  Module1.BmpPos = Module1.BmpTable(Module1.BmpNumber);
  if (!gaugeOpen(this)) return;
  const Result<gau::ColorCount> count =
      gau::readColorCount(Channels[kGaugeChannel], Module1.BmpPos);
  if (!count) {
    // Said once the window is up: shown now, the message would have no window to stand over.
    QTimer::singleShot(0, this, [this, text = aboutBitmap(count)] { ShowMessage(Label3, text); });
    return;
  }
  Module1.ColorsUsed = count->colors;
  Label3->setText(QString::number(count->colors));
  Label4->setText(QString::number(static_cast<int64_t>(count->colors) - 1));
}

void paltool::Command4_Click() {
  const double typed = leadingNumber(Text1->text().toStdString());
  const std::optional<int16_t> n = roundToInt16(typed);
  // A number beyond 16 bits is held at the nearer end, still out of range,
  // so a later Send refuses it as well.
  Module1.ColorNumber = n ? *n : (typed > 0 ? INT16_MAX : INT16_MIN);
  if (!n || !inHeldPalette(Module1.ColorNumber)) {
    showNotice<outofr>(this, Text1);  // the value labels keep what they show
  } else if (refusedAsGone(Command4, Command4->text())) {
    return;
  } else if (gaugeOpen(this)) {
    const Result<gau::Entry> e =
        gau::readEntry(Channels[kGaugeChannel], Module1.BmpPos, Module1.ColorNumber);
    if (e) {
      Label9->setText(QString::number(e->red));
      Label11->setText(QString::number(e->green));
      Label10->setText(QString::number(e->blue));
      Module1.ByteBuf = e->blue;  // the byte read last
    } else {
      ShowMessage(this, aboutBitmap(e));
    }
  }
  Beep();
}

void paltool::Text2_Change() { takeByte(Text2, Module1.NewRed); }
void paltool::Text3_Change() { takeByte(Text3, Module1.NewBlue); }
void paltool::Text4_Change() { takeByte(Text4, Module1.NewGreen); }

void paltool::Command5_Click() {
  send(this, gau::ColorChannel::Red, Text2, Command5, Module1.NewRed, Label9);
}
void paltool::Command6_Click() {
  send(this, gau::ColorChannel::Blue, Text3, Command6, Module1.NewBlue, Label10);
}
void paltool::Command7_Click() {
  send(this, gau::ColorChannel::Green, Text4, Command7, Module1.NewGreen, Label11);
}

void paltool::Command3_Click() {
  Text1->setText(QString());
  Label9->setText(QString());
  Label10->setText(QString());
  Label11->setText(QString());
  Text1->setFocus();
}

void paltool::Command1_Click() { ui::hide<paltool>(); }

void paltool::Command2_Click() { endProgram(); }

// The title bar's close button hides the tool, as RETURN does.
void paltool::closeEvent(QCloseEvent* event) {
  event->ignore();
  Command1_Click();
}
