#include "forms/numbmp.h"

#include <QAction>
#include <QCloseEvent>
#include <QDateTime>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <algorithm>

#include "base/fault_message.h"
#include "base/number_text.h"
#include "forms/Module1.h"
#include "forms/bmp2gau.h"
#include "forms/dialpix.h"
#include "forms/dun.h"
#include "forms/gallery.h"
#include "forms/gau2bmp.h"
#include "forms/gauge_file.h"
#include "forms/gbpwt.h"
#include "forms/outofr.h"
#include "forms/paltool.h"
#include "forms/showbmp.h"
#include "gau/resource_bitmap.h"
#include "gau/scan.h"
#include "gau/transparency.h"
#include "gau/undo.h"
#include "io/file_channels.h"
#include "io/file_names.h"
#include "ui/beep.h"
#include "ui/controls.h"
#include "ui/message.h"
#include "ui/twips.h"

using namespace io;
using namespace ui;

numbmp::numbmp() {
  setWindowTitle(QString(26, QLatin1Char(' ')) + QStringLiteral("CHOOSE A BITMAP"));
  setClientSize(this, 4935, 5430);
  setBackground(this, QColor(192, 192, 192));
  setFont(msSansSerif(8.25, true));

  // Created in tab order.
  Text1 = new QLineEdit(this);
  place(Text1, 1680, 1440, 615, 285);
  Command1 = newButton(this, "View Bitmap", 480, 2160, 1815, 495);
  Command9 = newButton(this, "Palette Tool", 2640, 2160, 1815, 495);
  Command2 = newButton(this, "Convert to BMP", 480, 2880, 1815, 495);
  Command3 = newButton(this, "Convert from BMP", 2640, 2880, 1815, 495);
  Command7 = newButton(this, "Make Transparent", 480, 3600, 1815, 495);
  Command8 = newButton(this, "Make Zero Trnsprt", 2640, 3600, 1815, 495);
  Command4 = newButton(this, "RETURN", 840, 4800, 1215, 495);
  Command5 = newButton(this, "EXIT", 2880, 4800, 1215, 495);
  Command6 = newButton(this, "Clear", 1680, 1800, 615, 255);
  QWidget* order[] = {Text1,    Command1, Command9, Command2, Command3,
                      Command7, Command8, Command4, Command5, Command6};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  Label6 = newLabel(this, QStringLiteral("File:"), 1200, 120, 375, 255);
  Label5 = newLabel(this, QString(), 1680, 120, 3015, 255);
  setTextColor(Label5, QColor(0, 0, 255));
  Label1 =
      newLabel(this,
               QStringLiteral("This GAU contains  bitmaps.  Please enter the number of the one "
                              "you desire, then click the appropriate button."),
               1200, 480, 2535, 855);
  Label1->setWordWrap(true);
  Label2 = newLabel(this, QString(), 3720, 480, 615, 255);
  setTextColor(Label2, QColor(255, 0, 0));
  Label3 = newLabel(this, QStringLiteral("<Bitmap number"), 2400, 1440, 1455, 255);
  Label4 = newLabel(this,
                    QStringLiteral("  (When viewing a bitmap, the color palette will be incorrect, "
                                   "but you can get an idea what it looks like.)"),
                    240, 4320, 4575, 495);
  Label4->setWordWrap(true);

  connect(Text1, &QLineEdit::textChanged, this, &numbmp::Text1_Change);
  connect(Command1, &QPushButton::clicked, this, &numbmp::Command1_Click);
  connect(Command9, &QPushButton::clicked, this, &numbmp::Command9_Click);
  connect(Command2, &QPushButton::clicked, this, &numbmp::Command2_Click);
  connect(Command3, &QPushButton::clicked, this, &numbmp::Command3_Click);
  connect(Command7, &QPushButton::clicked, this, &numbmp::Command7_Click);
  connect(Command8, &QPushButton::clicked, this, &numbmp::Command8_Click);
  connect(Command6, &QPushButton::clicked, this, &numbmp::Command6_Click);
  connect(Command4, &QPushButton::clicked, this, &numbmp::Command4_Click);
  connect(Command5, &QPushButton::clicked, this, &numbmp::Command5_Click);
  auto* undo = new QShortcut(QKeySequence::Undo, this);
  connect(undo, &QShortcut::activated, this, &numbmp::undoLatestChange);
  Text1->installEventFilter(this);
  auto* all = new QAction(QStringLiteral("Show all bitmaps…"), this);
  all->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
  addAction(all);
  setContextMenuPolicy(Qt::ActionsContextMenu);
  connect(all, &QAction::triggered, this, &numbmp::showGallery);
  Text1->setFocus();
}

// The scan: every byte position of the gauge file is tested for a bitmap header.
void numbmp::Form_Load() {
  Label5->setText(nameText(Module1.GauFileName));
  if (Channels.isOpen(kGaugeChannel)) {
    Channel& gauge = Channels[kGaugeChannel];
    const int64_t length = gauge.length();
    const gau::ScanResult found =
        gau::scanChannel(gauge, PositionTable::kLast, &PleaseWait::keepPainted);
    for (int32_t pos : found.positions) {
      ++Module1.BmpCount;
      Module1.BmpTable.store(Module1.BmpCount, pos);
    }
    Module1.BmpPos = static_cast<int32_t>(length + 1);
    Module1.ColorsUsed = found.lastColorCount;
    const QString file = nameText(Module1.GauFileName);
    const OpenFindings& opened = openFindings();
    if (opened.restored) {
      // Its number, or the id of a bitmap resource of another depth.
      const std::string name =
          gau::bitmapName(found.positions, gau::resourcesOf(gauge), opened.restored->bmpPos);
      notes_ << QStringLiteral("The gauge file %1: %2")
                    .arg(file, nameText(gau::restoredSentence(*opened.restored, name)));
    }
    if (!opened.recoveryProblem.empty())
      notes_ << QStringLiteral("The gauge file %1: %2").arg(file, nameText(opened.recoveryProblem));
    if (opened.withoutJournal)
      notes_
          << QStringLiteral("The gauge file %1: %2").arg(file, nameText(gau::withoutJournalNote()));
    if (gauge.readOnly()) notes_ << readOnlyNote(file);
    if (found.readFailed) {
      notes_ << QStringLiteral(
                    "The gauge file %1 could not be read to its end: %2. Only the "
                    "bitmaps before that point are listed.")
                    .arg(file, nameText(gauge.errorOr("the read stopped early")));
    } else if (found.totalHits > PositionTable::kLast) {
      notes_ << QStringLiteral(
                    "The gauge file %1 holds %2 bitmaps. Only the first %3 can be "
                    "reached; the count shows %3.")
                    .arg(file)
                    .arg(found.totalHits)
                    .arg(PositionTable::kLast);
    } else if (found.totalHits == 0) {
      // Otherwise every button would answer only "NUMBER OUT OF RANGE".
      notes_ << QStringLiteral(
                    "The gauge file %1 holds no 256-colour picture, so there is no bitmap to "
                    "choose. RETURN leads back to the list of gauge files.")
                    .arg(file);
    }
  }
  // One leading blank for a number that is not negative.
  const int count = Module1.BmpCount;
  Label2->setText(count >= 0 ? QStringLiteral(" %1").arg(count) : QString::number(count));
}

void numbmp::reportScan() {
  // Below the number box, not over it: that is where the user types next.
  if (!notes_.isEmpty()) ShowMessage(Text1, notes_.join(QStringLiteral("\n\n")));
  notes_.clear();
}

void numbmp::Text1_Change() {
  const std::optional<int16_t> n = roundToInt16(leadingNumber(Text1->text().toStdString()));
  numberTooLarge_ = !n.has_value();
  if (n) Module1.BmpNumber = *n;
}

bool numbmp::takeBitmap(QPushButton* button) {
  const int n = Module1.BmpNumber;
  if (numberTooLarge_ || n < 1 || n > Module1.BmpCount || !Module1.BmpTable.isSet(n)) {
    showNotice<outofr>(this, Text1);  // the number to correct
    return false;
  }
  if (refusedAsGone(button, button->text())) return false;
  Module1.BmpPos = Module1.BmpTable(n);
  return true;
}

void numbmp::Command1_Click() {
  if (!takeBitmap(Command1)) return;
  showbmp* viewer = ui::show<showbmp>(this);
  ui::hide<numbmp>();
  viewer->Command1->setFocus();
}

void numbmp::Command9_Click() {
  if (!takeBitmap(Command9)) return;
  ui::show<paltool>(this);
}

void numbmp::Command2_Click() {
  if (!takeBitmap(Command2)) return;
  ui::hide<numbmp>();
  ui::show<gau2bmp>(this);
}

void numbmp::Command3_Click() {
  if (!takeBitmap(Command3) || refusedAsReadOnly(Command3, Command3->text())) return;
  ui::hide<numbmp>();
  ui::show<bmp2gau>(this);
}

// The message for a transparency command that did not finish, by its fault.
QString numbmp::notDone(const char* what, Fault fault, const std::string& reason) const {
  const QString gauge = nameText(Module1.GauFileName);
  return QString::fromStdString(faultMessage(
      {.action = what,
       .bitmap = QStringLiteral("bitmap %1 of %2").arg(Module1.BmpNumber).arg(gauge).toStdString(),
       .gauge = gauge.toStdString()},
      fault, nameText(reason).toStdString()));
}

void numbmp::Command7_Click() {
  if (!takeBitmap(Command7) || refusedAsReadOnly(Command7, Command7->text())) return;
  if (!Channels.isOpen(kGaugeChannel))
    return;  // the chooser only exists while its gauge file is open
  Result<gau::Transparent> done = Result<gau::Transparent>::failure(Fault::Bitmap, {});
  {
    PleaseWait wait;
    Module1.CharBuf = 0;
    done = gau::makeTransparent(Channels[kGaugeChannel], Module1.BmpPos);
    if (done) {
      Module1.BmpWidth = done->layout.width;
      Module1.BmpHeight = done->layout.height;
      Module1.ColorsUsed = done->layout.colors;
    }
  }  // please-wait is hidden here, before DONE and the beep
  if (!done) {
    ShowMessage(Command7, notDone("Make Transparent", done.fault(), done.reason()));
    return;
  }
  showNotice<dun>(this);
  Beep();
  tellChangeNotices(this);
}

void numbmp::Command8_Click() {
  if (!takeBitmap(Command8) || refusedAsReadOnly(Command8, Command8->text())) return;
  if (!Channels.isOpen(kGaugeChannel)) return;
  Module1.CharBuf = 0;
  const Result<> done = gau::makeZeroTransparent(Channels[kGaugeChannel], Module1.BmpPos);
  if (!done) {
    ShowMessage(Command8, notDone("Make Zero Trnsprt", done.fault(), done.reason()));
    return;
  }
  showNotice<dun>(this);
  Beep();
  tellChangeNotices(this);
}

void numbmp::Command6_Click() {
  Text1->setText(QString());
  Text1->setFocus();
}

void numbmp::Command4_Click() {
  Module1.BmpCount = 0;
  Channels.closeAll();
  // The palette tool works on the file just closed; left up, it would later
  // patch the next file at this one's positions.
  ui::hide<paltool>();
  ui::destroy<numbmp>();
  ui::show<dialpix>(this);
}

void numbmp::Command5_Click() { endProgram(); }

bool numbmp::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Text1 && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Undo)) {
    undoLatestChange();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void numbmp::undoLatestChange() {
  const QString file = nameText(Module1.GauFileName);
  if (!Channels.isOpen(kGaugeChannel)) return;
  if (refusedAsReadOnly(this, QStringLiteral("Undo"))) return;
  Result<gau::Undone> undone = Result<gau::Undone>::failure(Fault::Bitmap, {});
  {
    PleaseWait wait;
    undone = gau::undoLatest(Channels[kGaugeChannel]);
  }
  if (!undone) {
    ShowMessage(
        this, QStringLiteral("Nothing was undone in %1. %2").arg(file, nameText(undone.reason())));
    return;
  }
  const gau::ChangeRecord& r = undone->record;
  if (r.kind == gau::RecordKind::Tail) Rescan();
  std::vector<int32_t> positions;
  for (int n = 1; n <= Module1.BmpCount && Module1.BmpTable.isSet(n); ++n)
    positions.push_back(Module1.BmpTable(n));
  const std::string name =
      gau::bitmapName(positions, gau::resourcesOf(Channels[kGaugeChannel]), r.bmpPos);
  const QString bitmap = !name.empty() ? QStringLiteral("bitmap %1").arg(nameText(name))
                                       : QStringLiteral("the bitmap at byte %1").arg(r.bmpPos);
  Beep();
  ShowMessage(
      this,
      QStringLiteral("Undone: the change of %1 (%2) to %3 of %4. %5 before "
                     "it. Ctrl+Z again puts the change back.")
          .arg(
              QDateTime::fromSecsSinceEpoch(r.time).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
              QString::fromStdString(r.command), bitmap, file,
              r.bytesChanged == 1
                  ? QStringLiteral("Its one changed byte is as it was")
                  : QStringLiteral("Its %1 changed bytes are as they were").arg(r.bytesChanged)));
  tellChangeNotices(this);
}

void numbmp::showGallery() {
  if (!gallery_) {
    gallery_ = new gallery(this);
    connect(gallery_, &gallery::chosen, this, [this](int number) {
      Text1->setText(QString::number(number));
      ui::showWindow(this);
      Text1->setFocus();
    });
  }
  ui::showWindow(gallery_, this);
}

// The title bar's close button ends the program, as EXIT does.
void numbmp::closeEvent(QCloseEvent* event) {
  event->ignore();
  Command5_Click();
}

void numbmp::Rescan() {
  if (!Channels.isOpen(kGaugeChannel)) return;
  const gau::ScanResult found =
      gau::scanChannel(Channels[kGaugeChannel], PositionTable::kLast, &PleaseWait::keepPainted);
  Module1.BmpCount = 0;
  for (int32_t pos : found.positions) {
    ++Module1.BmpCount;
    Module1.BmpTable.store(Module1.BmpCount, pos);
  }
}

void numbmp::ShowAgain(const QWidget* from) {
  numbmp* chooser = ui::show<numbmp>(from);
  chooser->Command6->setFocus();
}
