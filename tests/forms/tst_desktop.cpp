// What a desktop user meets around the windows: the title bar's close button,
// the program's end, the keyboard alone, read-only gauges, the start folder,
// and which window a notice or message belongs to.

#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QWindow>
#include <algorithm>
#include <functional>
#include <map>

#include "gau/export.h"
#include "form_fixture.h"
#include "forms/start_windows.h"

using gaugebuild::Gauge;
using gaugebuild::patterned;
using Bytes = std::vector<uint8_t>;

namespace {

void flushDeletes() { QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

// A key as the keyboard gives it: to whatever has the focus.
bool press(int key) {
  QWidget* focus = QApplication::focusWidget();
  if (!focus) return false;
  QTest::keyClick(focus, static_cast<Qt::Key>(key));
  return true;
}

// The window that takes the keys (a transient's owner counts as active
// too for isActiveWindow(), so that will not do).
template <class Form>
bool activeNow() {
  Form* w = ui::find<Form>();
  return w && QTest::qWaitFor([w] { return QApplication::activeWindow() == w; });
}

}  // namespace

class DesktopTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TempDir> dir;
  Bytes panel;

  numbmp* pickPanel(const char* number) {
    numbmp* chooser = fixture::pick("PANEL.GAU");
    fixture::typeNumber(chooser, number);
    return chooser;
  }

 private slots:
  void init() {
    fixture::resetProgram();
    dir = std::make_unique<TempDir>();
    Gauge g;
    g.filler(40);
    g.plant(patterned(6, 4, 16, 1));
    g.filler(30, 2);
    g.plant(patterned(3, 3, 0, 1));
    QVERIFY(g.writeTo("PANEL.GAU"));
    panel = g.bytes();
  }
  void cleanup() {
    ui::endWhenNoWindowIsLeft(false);
    if (QMessageBox* box = ui::currentMessage()) box->close();
    ui::destroy<gau2bmp>();
    ui::destroy<bmp2gau>();
    fixture::resetProgram();
    dir.reset();
  }

  // The title bar's close button does what the window's own way out does.
  void closeButtonIsTheWindowsWayOut_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<bool>("chooserAfter");  // shown afterwards, the closed window gone
    QTest::addColumn<int>("ends");
    for (const char* tool : {"viewer", "export", "import", "palette tool"})
      QTest::newRow(tool) << tool << true << 0;
    QTest::newRow("chooser: EXIT") << "chooser" << false << 1;
    QTest::newRow("start window: EXIT") << "start window" << false << 1;
    QTest::newRow("DONE: OK") << "DONE" << true << 0;
    QTest::newRow("NUMBER OUT OF RANGE: OK") << "NUMBER OUT OF RANGE" << true << 0;
    QTest::newRow("PLEASE WAIT stays") << "PLEASE WAIT" << true << 0;
  }
  void closeButtonIsTheWindowsWayOut() {
    QFETCH(QString, window);
    QFETCH(bool, chooserAfter);
    QFETCH(int, ends);
    numbmp* chooser = pickPanel("1");
    const std::map<QString, std::function<QWidget*()>> open = {
        {"viewer", [&] { return chooser->Command1->click(), ui::find<showbmp>(); }},
        {"export", [&] { return chooser->Command2->click(), ui::find<gau2bmp>(); }},
        {"import", [&] { return chooser->Command3->click(), ui::find<bmp2gau>(); }},
        {"palette tool", [&] { return chooser->Command9->click(), ui::find<paltool>(); }},
        {"chooser", [&] { return chooser; }},
        {"start window", [&] { return chooser->Command4->click(), ui::find<dialpix>(); }},
        {"DONE", [&] { return chooser->Command8->click(), ui::find<dun>(); }},
        {"NUMBER OUT OF RANGE",
         [&] {
           return fixture::typeNumber(chooser, "9"), chooser->Command1->click(),
                  ui::find<outofr>();
         }},
        {"PLEASE WAIT", [&] { return ui::show<gbpwt>(); }},
    };
    QWidget* w = open.at(window)();
    QVERIFY(fixture::visible(w));
    w->close();
    flushDeletes();
    QCOMPARE(fixture::endCalls, ends);
    if (window == "PLEASE WAIT") {
      QVERIFY(fixture::visible(w));  // it goes when its work is done
      ui::hide<gbpwt>();
    }
    if (chooserAfter) {
      QVERIFY(fixture::shown<numbmp>());
      const std::vector<QWidget*> others = {ui::find<showbmp>(), ui::find<paltool>(),
                                            ui::find<dun>(),     ui::find<outofr>(),
                                            ui::find<gau2bmp>(), ui::find<bmp2gau>()};
      for (QWidget* other : others) QVERIFY(!fixture::visible(other));
    }
  }

  void programEndsWhenNoWindowIsLeft() {
    ui::endWhenNoWindowIsLeft();
    numbmp* chooser = pickPanel("1");
    chooser->Command1->click();
    ui::find<showbmp>()->Command2->click();  // RETURN: one window goes, the next comes
    QTest::qWait(1);
    QCOMPARE(fixture::endCalls, 0);
    ui::hide<numbmp>();  // however the last one goes
    QTRY_COMPARE(fixture::endCalls, 1);
    QVERIFY(!io::Channels.isOpen(io::kGaugeChannel));
  }

  // Tab, Enter and typing alone: a whole export, and back.
  void wholeExportWithTheKeyboardAlone() {
    numbmp* chooser = fixture::pick("PANEL.GAU");
    QVERIFY(activeNow<numbmp>());
    QTest::keyClicks(QApplication::focusWidget(), "2");
    for (int key : {Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Return}) QVERIFY(press(key));
    QVERIFY(activeNow<gau2bmp>());
    QTest::keyClicks(QApplication::focusWidget(), "keys");
    QVERIFY(press(Qt::Key_Tab) && press(Qt::Key_Enter));
    QCOMPARE(dir->read("keys.bmp").size(), size_t{1078 + 3 * 4});
    QVERIFY(activeNow<dun>());
    QVERIFY(press(Qt::Key_Return));  // DONE's OK; the keyboard goes back to RETURN
    QVERIFY(!fixture::shown<dun>() && activeNow<gau2bmp>());
    QTRY_COMPARE(QApplication::focusWidget(), ui::find<gau2bmp>()->Command3);
    QVERIFY(press(Qt::Key_Return));
    QVERIFY(activeNow<numbmp>());
    QCOMPARE(QApplication::focusWidget(), chooser->Command6);
  }

  void escapeClosesANoticeAndTheNumberIsToCorrect() {
    numbmp* chooser = pickPanel("9");
    QVERIFY(activeNow<numbmp>());
    QVERIFY(press(Qt::Key_Tab) && press(Qt::Key_Return));  // View Bitmap
    QVERIFY(activeNow<outofr>());
    QVERIFY(press(Qt::Key_Escape));

    QVERIFY(!fixture::shown<outofr>() && activeNow<numbmp>());
    QTRY_COMPARE(QApplication::focusWidget(), chooser->Text1);
    QCOMPARE(chooser->Text1->selectedText(), QStringLiteral("9"));
  }

  // A notice or message stands over the window it concerns and above it; one message at a time.
  void noticesAndMessagesBelongToTheirWindow() {
    numbmp* chooser = pickPanel("1");
    chooser->Command9->click();
    paltool* tool = ui::find<paltool>();
    QCOMPARE(tool->geometry().center(), chooser->geometry().center());
    tool->Text1->setText("999");
    tool->Command4->click();
    outofr* notice = ui::find<outofr>();
    QCOMPARE(notice->windowHandle()->transientParent(), tool->windowHandle());
    QCOMPARE(notice->geometry().center(), tool->geometry().center());
    ui::ShowMessage(chooser, "first");
    ui::ShowMessage(tool, "second");
    flushDeletes();
    const auto boxes = QApplication::topLevelWidgets();
    QCOMPARE(
        std::count_if(boxes.begin(), boxes.end(),
                      [](QWidget* w) { return qobject_cast<QMessageBox*>(w) && w->isVisible(); }),
        1);
    QCOMPARE(ui::currentMessage()->parentWidget(), tool);
  }

  // Opened read-only: looking works, every write is refused with a message
  // and writes nothing.
  void aReadOnlyGauge_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("works");
    QTest::newRow("View Bitmap") << "View Bitmap" << true;
    QTest::newRow("Convert to BMP") << "Convert to BMP" << true;
    QTest::newRow("Display Color Values") << "Display Color Values" << true;
    QTest::newRow("Convert from BMP") << "Convert from BMP" << false;
    QTest::newRow("Make Transparent") << "Make Transparent" << false;
    QTest::newRow("Make Zero Trnsprt") << "Make Zero Trnsprt" << false;
    QTest::newRow("Send") << "Send" << false;
  }
  void aReadOnlyGauge() {
    QFETCH(QString, button);
    QFETCH(bool, works);
    QVERIFY(io::Channels.open(io::kGaugeChannel, "PANEL.GAU",
                                    io::OpenMode::ReadOnly, nullptr));
    Module1.GauFileName = "PANEL.GAU";
    numbmp* chooser = ui::show<numbmp>();
    const int before = ui::messageCount();
    chooser->reportScan();
    QCOMPARE(ui::messageCount(), before + 1);  // said once, on open
    QVERIFY(ui::lastMessage().contains("read-only"));
    fixture::typeNumber(chooser, "1");
    const int messages = ui::messageCount();
    if (button == "Display Color Values" || button == "Send") {
      chooser->Command9->click();
      paltool* tool = ui::find<paltool>();
      tool->Text3->setText("9");
      (button == "Send" ? tool->Command6 : tool->Command4)->click();
      QCOMPARE(tool->Label10->text().isEmpty(), !works);
    } else {
      const auto buttons = chooser->findChildren<QPushButton*>();
      (*std::find_if(buttons.begin(), buttons.end(), [&](QPushButton* b) {
        return b->text() == button;
      }))->click();
      if (gau2bmp* w = ui::find<gau2bmp>()) w->Command2->click();
      if (showbmp* w = ui::find<showbmp>()) w->Command1->click();
    }
    QCOMPARE(ui::messageCount(), messages + !works);
    if (!works) QVERIFY(ui::lastMessage().contains("copy it to a folder you can write"));
    QCOMPARE(fixture::shown<bmp2gau>(), false);
    QCOMPARE(dir->read("PANEL.GAU"), panel);
  }

  // Another program puts a fresh file in the gauge's place (a rename over it)
  // or moves it away while it is open: every operation is refused, nothing goes
  // into the old file where nobody would find it, and the way back is offered.
  void aGaugeReplacedOrRemovedWhileOpen_data() {
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("replaced");  // else moved away
    for (const char* op : {"Make Transparent", "Make Zero Trnsprt", "Convert to BMP",
                           "Convert from BMP", "Send", "Display Color Values", "View Bitmap"}) {
      QTest::newRow(qPrintable(QStringLiteral("%1, replaced").arg(op))) << op << true;
      QTest::newRow(qPrintable(QStringLiteral("%1, moved").arg(op))) << op << false;
    }
  }
  void aGaugeReplacedOrRemovedWhileOpen() {
    QFETCH(QString, operation);
    QFETCH(bool, replaced);
    numbmp* chooser = pickPanel("1");
    QVERIFY(bmp::exportBitmap(io::Channels[io::kGaugeChannel], Module1.BmpTable(1), "x.bmp"));
    // The tool window is up before the file changes; the operation comes after.
    std::function<void()> operate;
    if (operation == "Convert to BMP") {
      chooser->Command2->click();
      ui::find<gau2bmp>()->Text1->setText("y");
      operate = [] { ui::find<gau2bmp>()->Command2->click(); };
    } else if (operation == "Convert from BMP") {
      chooser->Command3->click();
      ui::find<bmp2gau>()->File1->setCurrentRow(0);
      operate = [] { ui::find<bmp2gau>()->File1_DblClick(); };
    } else if (operation == "Send" || operation == "Display Color Values") {
      chooser->Command9->click();
      paltool* tool = ui::find<paltool>();
      tool->Text3->setText("9");
      operate = [tool, send = operation == "Send"] {
        (send ? tool->Command6 : tool->Command4)->click();
      };
    } else if (operation == "View Bitmap") {
      chooser->Command1->click();
      operate = [] { ui::find<showbmp>()->Command1->click(); };
    } else {
      operate = [chooser, operation] {
        (operation == "Make Transparent" ? chooser->Command7 : chooser->Command8)->click();
      };
    }
    Bytes fresh = panel;
    fresh.push_back(7);
    // Moved away first: wine neither replaces nor removes the name of an open file.
    std::filesystem::rename("PANEL.GAU", "old.gau");
    if (replaced) {
      QVERIFY(Gauge().raw(fresh).writeTo("new.gau"));
      std::filesystem::rename("new.gau", "PANEL.GAU");
    }
    const int messages = ui::messageCount(), beeps = ui::beepCount();
    operate();
    QCOMPARE(ui::messageCount(), messages + 1);
    QVERIFY(ui::lastMessage().contains(replaced ? "was replaced by another file since it was opened"
                                                : "was renamed or moved since it was opened"));
    QVERIFY(ui::lastMessage().contains("nothing was written"));
    QVERIFY(!fixture::shown<dun>());
    QCOMPARE(ui::beepCount(), beeps);
    QCOMPARE(std::filesystem::exists("PANEL.GAU"), replaced);
    if (replaced) QCOMPARE(dir->read("PANEL.GAU"), fresh);
    QVERIFY(!std::filesystem::exists("y.bmp"));

    // Its second button leads back to a fresh start window.
    QMessageBox* box = ui::currentMessage();
    QCOMPARE(box->defaultButton()->text(), QStringLiteral("Start Window"));
    box->defaultButton()->click();
    flushDeletes();
    QVERIFY(fixture::shown<dialpix>() && !ui::find<numbmp>() && !ui::find<gau2bmp>());
    QVERIFY(!ui::find<bmp2gau>() && !fixture::shown<showbmp>() && !fixture::shown<paltool>());
    QVERIFY(!io::Channels.isOpen(io::kGaugeChannel));
  }

  // The program's own messages in the chooser: its window takes no input while
  // one is up, and the box leaves the number box in sight, so that no digit
  // goes astray and the number typed is the number used next.
  void messagesAreModalAndLeaveTheNumberBoxInSight_data() {
    QTest::addColumn<QString>("cause");
    QTest::newRow("note on opening") << "note on opening";
    QTest::newRow("read-only refusal") << "read-only refusal";
    QTest::newRow("gauge replaced") << "gauge replaced";
  }
  void messagesAreModalAndLeaveTheNumberBoxInSight() {
    QFETCH(QString, cause);
    numbmp* chooser = nullptr;
    if (cause == "note on opening") {
      QVERIFY(Gauge().filler(100).writeTo("none.gau"));
      chooser = fixture::pick("none.gau");
    } else if (cause == "read-only refusal") {
      QVERIFY(io::Channels.open(io::kGaugeChannel, "PANEL.GAU", io::OpenMode::ReadOnly, nullptr));
      Module1.GauFileName = "PANEL.GAU";
      chooser = ui::show<numbmp>();
      fixture::typeNumber(chooser, "1");
      chooser->Command7->click();
    } else {
      chooser = pickPanel("1");
      std::filesystem::rename("PANEL.GAU", "OLD.GAU");
      QVERIFY(Gauge().raw(panel).writeTo("PANEL.GAU"));
      chooser->Command8->click();
    }
    QMessageBox* box = ui::currentMessage();
    QVERIFY(box && box->isVisible());
    const QRect numberBox(chooser->Text1->mapToGlobal(QPoint(0, 0)), chooser->Text1->size());
    // Placed once the window system has shown the chooser, which on Windows
    // comes after the message is up.
    QTRY_VERIFY(!box->frameGeometry().intersects(numberBox));
    const QString typed = chooser->Text1->text();
    QTest::keyClick(chooser->windowHandle(), Qt::Key_2);
    QCOMPARE(chooser->Text1->text(), typed);
    box->close();
    QTest::keyClick(chooser->windowHandle(), Qt::Key_2);  // and input comes back after it
    QCOMPARE(chooser->Text1->text(), typed + "2");
  }

  // Where the system refuses writing: not for root, who may write anyway, so
  // as root tst_desktop_unprivileged runs this as nobody.
  void aGaugeWithoutWritePermissionOpensReadOnly() {
    std::filesystem::permissions("PANEL.GAU", std::filesystem::perms::owner_read);
    if (io::openFileChannel("PANEL.GAU", io::OpenMode::ReadWriteExisting, nullptr))
      QSKIP("root may write to any file");
    numbmp* chooser = fixture::pick("PANEL.GAU");
    QVERIFY(chooser);
    QVERIFY(io::Channels[io::kGaugeChannel].readOnly());
    QCOMPARE(chooser->Label2->text(), QStringLiteral(" 2"));
    QVERIFY(ui::lastMessage().contains("read-only"));
  }

  void startFolderFromTheCommandLine_data() {
    QTest::addColumn<QString>("arg");
    QTest::addColumn<bool>("chooser");  // opened straight into it
    QTest::addColumn<QString>("message");
    QTest::newRow("folder") << "sub" << false << "";
    QTest::newRow("gauge file") << "sub/IN.GAU" << true << "";
    QTest::newRow("nothing there") << "missing" << false << "no file or folder missing";
    QTest::newRow("folder without gauges") << "empty" << false << "no gauge file (*.gau) in";
  }
  void startFolderFromTheCommandLine() {
    QFETCH(QString, arg);
    QFETCH(bool, chooser);
    QFETCH(QString, message);
    std::filesystem::create_directory("sub");
    std::filesystem::create_directory("empty");
    Gauge in;
    in.filler(9).plant(patterned(2, 2, 2));
    QVERIFY(in.writeTo("sub/IN.GAU"));
    const auto top = std::filesystem::current_path();
    const int messages = ui::messageCount();
    QCOMPARE(startWindows({arg.toStdString()}), -1);
    QTest::qWait(1);  // the start window speaks once it is up
    QCOMPARE(std::filesystem::current_path(),
             message.contains("no file") ? top : top / arg.section('/', 0, 0).toStdString());
    QCOMPARE(fixture::shown<numbmp>(), chooser);
    QCOMPARE(fixture::shown<dialpix>(), !chooser);
    if (chooser) QCOMPARE(Module1.GauFileName, std::string("IN.GAU"));
    if (!chooser && message.isEmpty())
      QCOMPARE(ui::find<dialpix>()->File1->item(0)->text(), QStringLiteral("IN.GAU"));
    QCOMPARE(ui::messageCount(), messages + !message.isEmpty());
    QVERIFY(ui::lastMessage().contains(message));
    // Every window, a notice included, shows the program's icon, not the system's blank one.
    for (const QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible()) QVERIFY2(!w->windowIcon().isNull(), qPrintable(w->windowTitle()));
  }

  void anEmptyFolderOffersAnother() {
    std::filesystem::create_directory("empty");
    std::filesystem::current_path("empty");
    dialpix::ChooseFolder = [](QWidget*) { return QStringLiteral(".."); };
    ui::show<dialpix>();
    QTest::qWait(1);
    QVERIFY(ui::lastMessage().contains(QDir::toNativeSeparators(QStringLiteral("/empty."))));
    QMessageBox* box = ui::currentMessage();
    QVERIFY(box);
    const auto buttons = box->buttons();
    (*std::find_if(buttons.begin(), buttons.end(), [](QAbstractButton* b) {
      return b->text().startsWith("Choose Folder");
    }))->click();
    dialpix::ChooseFolder = nullptr;
    QCOMPARE(ui::find<dialpix>()->File1->count(), 1);
    QCOMPARE(std::filesystem::current_path(), dir->path());
  }
};

QTEST_MAIN(DesktopTest)
#include "tst_desktop.moc"
