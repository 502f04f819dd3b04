// The palette tool and the chooser's two transparency buttons, driven through the windows.

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "form_fixture.h"
#include "forms/paltool.h"

using gaugebuild::Gauge;
using gaugebuild::patterned;
using Bytes = std::vector<uint8_t>;

class PaltoolTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TempDir> dir;
  std::vector<int32_t> pos;  // bitmaps of pal.gau: 8 x 3 with 256 colours, 5 x 2 with 16, 4 x 0
  Bytes original;
  numbmp* chooser = nullptr;

  // Red, blue, green of entry k: bitmap 1 has blue k, green 255 - k, red k / 2; bitmap 2 adds 100.
  static QStringList entry(int bitmap, int k) {
    const int a = bitmap == 2 ? 100 : 0;
    return {QString::number((k / 2 + a) & 255), QString::number((k + a) & 255),
            QString::number((255 - k + a) & 255)};
  }
  static QStringList shown(paltool* t) { return {t->Label9->text(), t->Label10->text(), t->Label11->text()}; }
  paltool* openTool(int bitmap) {
    fixture::typeNumber(chooser, QString::number(bitmap));
    chooser->Command9->click();
    return ui::find<paltool>();
  }
  static void display(paltool* t, const QString& number) {
    t->Text1->setText(number);
    t->Command4->click();
  }
  Bytes changed(int bitmap, int offset, const Bytes& bytes) const {
    Bytes b = original;
    std::copy(bytes.begin(), bytes.end(), b.begin() + pos[bitmap - 1] + offset - 1);
    return b;
  }

 private slots:
  void init() {
    fixture::resetProgram();
    dir = std::make_unique<TempDir>();
    Gauge g;
    g.filler(50);
    auto second = patterned(5, 2, 16, 1);
    for (auto& b : second.palette) b += 100;
    pos = {g.plant(patterned(8, 3, 0, 1)), g.filler(20, 2).plant(second),
           g.filler(20, 3).plant(patterned(4, 0, 2))};
    QVERIFY(g.filler(600, 4).writeTo("pal.gau"));
    original = g.bytes();
    // Read-only for everyone, root included, who could write it but must not.
    QVERIFY(g.writeTo("ro.gau"));
    std::filesystem::permissions("ro.gau", std::filesystem::perms::owner_read);
    Gauge early;  // a signature at byte 8: its size fields would start before the file
    early.plant(patterned(4, 2, 2, 1));
    early.bytes().erase(early.bytes().begin(), early.bytes().begin() + 5);
    QVERIFY(early.writeTo("early.gau"));
    Gauge cut;  // a false hit, 4 x 100000 by its header, before a real bitmap
    cut.filler(30, 5);
    const int32_t hit = cut.plant(patterned(4, 2, 16, 1));
    cut.poke32(hit - 4, 100000);
    QVERIFY(cut.filler(40, 6).plant(patterned(8, 3, 0, 2)) > 0 && cut.writeTo("cut.gau"));
    QVERIFY(chooser = fixture::pick("pal.gau"));
  }
  void cleanup() {
    ui::destroy<paltool>();
    ui::destroy<gbpwt>();
    fixture::resetProgram();
    dir.reset();
  }

  void displays_data() {
    QTest::addColumn<int>("bitmap");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("entryShown");  // -1: the out-of-range notice, entry 1 stays shown
    const std::tuple<const char*, int, const char*, int> rows[] = {
        {"empty is 0", 1, "", 0},        {"letters are 0", 1, "abc", 0}, {"2.5 is 2", 1, "2.5", 2},
        {"3.5 is 4", 1, "3.5", 4},       {"7abc is 7", 1, "7abc", 7},    {"255 of 256", 1, "255", 255},
        {"256 of 256", 1, "256", -1},    {"-1", 1, "-1", -1},            {"beyond 16 bits", 1, "99999", -1},
        {"15 of 16", 2, "15", 15},       {"16 of 16", 2, "16", -1}};
    for (const auto& [name, bitmap, typed, shownEntry] : rows)
      QTest::newRow(name) << bitmap << QString(typed) << shownEntry;
  }
  void displays() {
    QFETCH(int, bitmap);
    QFETCH(QString, typed);
    QFETCH(int, entryShown);
    paltool* tool = openTool(bitmap);
    QCOMPARE(tool->Label3->text() + " " + tool->Label4->text(), QString(bitmap == 1 ? "256 255" : "16 15"));
    display(tool, "1");
    const int beeps = ui::beepCount();
    display(tool, typed);
    QCOMPARE(ui::beepCount(), beeps + 1);
    QCOMPARE(fixture::shown<outofr>(), entryShown < 0);
    QCOMPARE(shown(tool), entry(bitmap, entryShown < 0 ? 1 : entryShown));
  }

  void sends_data() {
    QTest::addColumn<int>("box");             // 0 red, 1 blue, 2 green
    QTest::addColumn<QStringList>("typing");  // each typed key by key into the emptied box
    QTest::addColumn<QString>("displayed");   // colour number displayed first, then 9 typed over it
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("byte");  // -1: refused with a message naming the box, nothing written
    QTest::newRow("blue 10 to entry 3") << 1 << QStringList{"10"} << "3" << 40 << 10;
    QTest::newRow("red to entry 3") << 0 << QStringList{"10"} << "3" << 42 << 10;
    QTest::newRow("green to entry 3") << 2 << QStringList{"10"} << "3" << 41 << 10;
    QTest::newRow("no display: entry 0") << 1 << QStringList{"10"} << "" << 28 << 10;
    QTest::newRow("nothing typed: byte 0") << 2 << QStringList{} << "" << 29 << 0;
    QTest::newRow("255") << 0 << QStringList{"255"} << "3" << 42 << 255;
    QTest::newRow("2.5 is 2") << 2 << QStringList{"2.5"} << "3" << 41 << 2;
    QTest::newRow("emptied box is 0") << 1 << QStringList{"12", ""} << "3" << 40 << 0;
    // Typed key by key, each of these passes through a byte on the way.
    QTest::newRow("300") << 1 << QStringList{"300"} << "3" << 40 << -1;
    QTest::newRow("256") << 0 << QStringList{"256"} << "3" << 42 << -1;
    QTest::newRow("0x10") << 2 << QStringList{"0x10"} << "3" << 41 << -1;
    QTest::newRow("-1 after 12") << 1 << QStringList{"12", "-1"} << "3" << 40 << -1;
    QTest::newRow("letters") << 1 << QStringList{"abc"} << "3" << 40 << -1;
  }
  void sends() {
    QFETCH(int, box);
    QFETCH(QStringList, typing);
    QFETCH(QString, displayed);
    QFETCH(int, offset);
    QFETCH(int, byte);
    paltool* tool = openTool(1);
    QLineEdit* boxes[] = {tool->Text2, tool->Text3, tool->Text4};
    QPushButton* sendButtons[] = {tool->Command5, tool->Command6, tool->Command7};
    if (!displayed.isEmpty()) {
      display(tool, displayed);
      tool->Text1->setText("9");
    }
    for (const QString& t : typing) {
      boxes[box]->clear();
      QTest::keyClicks(boxes[box], t);
    }
    const int beeps = ui::beepCount(), messages = ui::messageCount();
    const QString before = shown(tool)[box];
    sendButtons[box]->click();
    if (byte < 0) {
      QCOMPARE(dir->read("pal.gau"), original);
      QCOMPARE(ui::messageCount(), messages + 1);
      const char* names[] = {"Red", "Blue", "Green"};
      QVERIFY(ui::lastMessage().contains(QStringLiteral("in the %1 box").arg(names[box])));
      QCOMPARE(shown(tool)[box], before);
      QCOMPARE(ui::beepCount(), beeps);
      return;
    }
    QCOMPARE(dir->read("pal.gau"), changed(1, offset, {static_cast<uint8_t>(byte)}));
    QCOMPARE(shown(tool)[box], QString::number(byte));
    QCOMPARE(ui::beepCount(), beeps + 1);
  }

  void sendsNothingOutsideThePalette() {
    paltool* tool = openTool(1);
    tool->Text3->setText("10");
    for (const char* typed : {"300", "99999", "-1"}) {
      display(tool, typed);
      ui::hide<outofr>();
      tool->Command6->click();
      QVERIFY(fixture::shown<outofr>());
    }
    // Counts stay from bitmap 1 (256): bitmap 2's entry 3 shows, its entry 100 takes no Send.
    tool->Command1->click();
    QVERIFY(!fixture::shown<paltool>() && fixture::shown<numbmp>());
    QCOMPARE(openTool(2), tool);
    QCOMPARE(tool->Label3->text() + " " + tool->Label4->text(), QStringLiteral("256 255"));
    display(tool, "3");
    QCOMPARE(shown(tool), entry(2, 3));
    display(tool, "100");
    const int messages = ui::messageCount();
    tool->Command6->click();
    QCOMPARE(ui::messageCount(), messages + 1);
    QCOMPARE(dir->read("pal.gau"), original);
  }

  // A gauge cut short since it was opened: the warning of the tool's first
  // showing stands over the tool, not where a window without a place goes.
  void aWarningAtLoadStandsOverTheTool() {
    std::filesystem::resize_file("pal.gau", static_cast<uintmax_t>(pos[2] + 10));
    paltool* tool = openTool(3);  // its colour count is gone
    QTRY_VERIFY(ui::currentMessage() && ui::currentMessage()->isVisible());
    QVERIFY(ui::lastMessage().contains("colour count lies outside the file"));
    QVERIFY(tool->frameGeometry().contains(ui::currentMessage()->frameGeometry().topLeft()));
  }

  void clearReturnExitAndAClosedGauge() {
    paltool* tool = openTool(1);
    display(tool, "3");
    tool->Text3->setText("10");
    tool->Command3->click();
    QCOMPARE(tool->Text1->text() + shown(tool).join(""), QString());
    QCOMPARE(tool->focusWidget(), tool->Text1);
    tool->Command6->click();  // still entry 3, still 10
    QCOMPARE(dir->read("pal.gau"), changed(1, 40, {10}));
    chooser->Command4->click();  // the chooser's RETURN closes the file and hides the tool
    QVERIFY(!fixture::shown<paltool>());
    const int messages = ui::messageCount();  // its buttons, reached anyway, refuse
    tool->Command4->click();
    tool->Command5->click();
    QCOMPARE(ui::messageCount(), messages + 2);
    tool->Command2->click();
    QCOMPARE(fixture::endCalls, 1);
  }

  void transparencyButtons_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("number");
    QTest::addColumn<bool>("zeroEntry");  // Make Zero Trnsprt, else Make Transparent
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("zeros");  // -1: refused with a message
    QTest::newRow("8 x 3, count 0") << "pal.gau" << 1 << false << 1052 << 24;
    QTest::newRow("5 x 2, 16 colours") << "pal.gau" << 2 << false << 92 << 16;
    QTest::newRow("height 0: done, nothing written") << "pal.gau" << 3 << false << 0 << 0;
    QTest::newRow("zero entry 0") << "pal.gau" << 2 << true << 28 << 3;
    QTest::newRow("size fields before the file") << "early.gau" << 1 << false << 0 << -1;
    QTest::newRow("pixels past the end of the file") << "cut.gau" << 1 << false << 0 << -1;
    QTest::newRow("read-only gauge") << "ro.gau" << 1 << false << 0 << -1;
    QTest::newRow("read-only gauge, zero entry 0") << "ro.gau" << 1 << true << 0 << -1;
  }
  void transparencyButtons() {
    QFETCH(QString, file);
    QFETCH(int, number);
    QFETCH(bool, zeroEntry);
    QFETCH(int, offset);
    QFETCH(int, zeros);
    if (file != "pal.gau") {
      chooser->Command4->click();
      chooser = fixture::pick(file);
    }
    const Bytes before = dir->read(file.toStdString());
    fixture::typeNumber(chooser, QString::number(number));
    for (int twice = 0; twice < 2; ++twice) {
      const int beeps = ui::beepCount(), messages = ui::messageCount();
      ui::hide<dun>();
      fixture::WaitProbe wait;
      (zeroEntry ? chooser->Command8 : chooser->Command7)->click();
      QCOMPARE(fixture::shown<dun>(), zeros >= 0);
      QCOMPARE(ui::beepCount(), beeps + (zeros >= 0));
      QCOMPARE(ui::messageCount(), messages + (zeros < 0));
      // On screen while it ran, then gone; a read-only gauge is refused before it runs.
      QCOMPARE(wait.exposures > 0, !zeroEntry && file != "ro.gau");
      QVERIFY(!fixture::shown<gbpwt>());
      QCOMPARE(dir->read(file.toStdString()), zeros > 0 ? changed(number, offset, Bytes(zeros, 0)) : before);
    }
  }
};

QTEST_MAIN(PaltoolTest)
#include "tst_paltool.moc"
