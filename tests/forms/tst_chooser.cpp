// The start window and the chooser, driven as a user drives them.

#include <QLineEdit>
#include <QPushButton>

#include "form_fixture.h"
#include "forms/paltool.h"
#include "forms/showbmp.h"

using gaugebuild::Gauge;
using gaugebuild::patterned;

class ChooserTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TempDir> dir;
  std::vector<int32_t> sevenPos;  // positions planted in seven.gau
  std::vector<int32_t> twoPos;

 private slots:
  void init() {
    fixture::resetProgram();
    dir = std::make_unique<TempDir>();
    Gauge seven;
    seven.filler(100);
    for (int i = 0; i < 7; ++i) {
      sevenPos.push_back(seven.plant(patterned(5 + i, 3, i == 0 ? 0 : 16)));
      seven.filler(37, static_cast<uint32_t>(i));
    }
    QVERIFY(seven.writeTo("SEVEN.GAU"));
    Gauge two;
    two.filler(10);
    twoPos = {two.plant(patterned(4, 4, 2)), 0};
    two.filler(3);
    twoPos[1] = two.plant(patterned(3, 3, 2));
    QVERIFY(two.writeTo("two.gau"));
    QVERIFY(Gauge().filler(500).writeTo("empty.gau"));
    QVERIFY(Gauge().filler(10).writeTo(".hidden.gau"));
    QVERIFY(Gauge().filler(10).writeTo("notes.txt"));
  }
  void cleanup() {
    fixture::resetProgram();
    sevenPos.clear();
    dir.reset();
  }

  void listsGaugeFilesWithoutRegardToCase() {
    dialpix* start = ui::show<dialpix>();
    QStringList names;
    for (int i = 0; i < start->File1->count(); ++i) names << start->File1->item(i)->text();
    QCOMPARE(names, QStringList({"empty.gau", "SEVEN.GAU", "two.gau"}));
    QCOMPARE(start->windowTitle(), QStringLiteral("WELCOME TO DIALPIX 1.1 FOR FS98"));
    QVERIFY(QTest::qWaitForWindowActive(start));
    QCOMPARE(QApplication::focusWidget(), start->File1);
  }

  void doubleClickOpensTheChooserWithTheCount() {
    fixture::WaitProbe wait;
    numbmp* chooser = fixture::pick("SEVEN.GAU");
    QCOMPARE(wait.exposures, 1);  // on screen during the scan, then gone
    QVERIFY(chooser);
    QVERIFY(fixture::shown<numbmp>());
    QVERIFY(!ui::find<dialpix>());
    QVERIFY(!fixture::shown<gbpwt>());
    QCOMPARE(chooser->Label2->text(), QStringLiteral(" 7"));
    QCOMPARE(chooser->Label5->text(), QStringLiteral("SEVEN.GAU"));
    QCOMPARE(Module1.BmpCount, int16_t{7});
    for (int k = 1; k <= 7; ++k) QCOMPARE(Module1.BmpTable(k), sevenPos[k - 1]);
    QCOMPARE(Module1.BmpPos, static_cast<int32_t>(dir->read("SEVEN.GAU").size() + 1));
    QVERIFY(chooser->Text1->text().isEmpty());
    QCOMPARE(chooser->windowTitle(), QString(26, ' ') + "CHOOSE A BITMAP");
  }

  void enterOpensAndOtherKeysDoNot() {
    dialpix* start = ui::show<dialpix>();
    start->File1->setCurrentRow(1);
    QTest::keyClick(start->File1, Qt::Key_A);
    QTest::keyClick(start->File1, Qt::Key_Space);
    QVERIFY(!ui::find<numbmp>());
    start->File1->setCurrentRow(1);
    QTest::keyClick(start->File1, Qt::Key_Return);
    QVERIFY(fixture::shown<numbmp>());
    QCOMPARE(Module1.GauFileName, std::string("SEVEN.GAU"));
  }

  // Archives from older Windows machines carry Latin-1 names, which are not
  // valid UTF-8; on Windows names are UTF-16, also outside the code page.
  void namesInEitherEncodingAreListedAndOpened_data() {
    QTest::addColumn<QByteArray>("bytes");  // as the program holds them
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("onlyOn");
    QTest::newRow("Latin-1 (POSIX)") << QByteArray("caf\xe9.gau") << "café.gau"
                                     << "POSIX";
    QTest::newRow("UTF-8") << QByteArray("caf\xc3\xa9.gau") << "café.gau"
                           << "";
    QTest::newRow("outside the code page (Windows)")
        << QByteArray("\xce\xa9\xce\xbb.gau") << "Ωλ.gau"
        << "Windows";
  }
  void namesInEitherEncodingAreListedAndOpened() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    QFETCH(QString, onlyOn);
    if (fixture::onOtherSystem(onlyOn)) QSKIP("this row holds on the other system");
    Gauge g;
    g.filler(10).plant(patterned(4, 2, 2));
    QVERIFY(g.writeTo(bytes.toStdString()));
    numbmp* chooser = fixture::pick(shown);
    QVERIFY(chooser);
    QCOMPARE(chooser->Label2->text(), QStringLiteral(" 1"));
    QCOMPARE(chooser->Label5->text(), shown);
    QCOMPARE(Module1.GauFileName, bytes.toStdString());
  }

  void firstDownHighlightsTheFirstFile() {
    dialpix* start = ui::show<dialpix>();
    QVERIFY(QTest::qWaitForWindowActive(start));
    QTest::keyClick(start->File1, Qt::Key_Down);
    QTest::keyClick(start->File1, Qt::Key_Return);
    QCOMPARE(Module1.GauFileName, std::string("empty.gau"));
  }

  void ctrlZUndoesTheLatestChange() {
    const std::vector<uint8_t> before = dir->read("two.gau");
    numbmp* chooser = fixture::pick("two.gau");
    fixture::typeNumber(chooser, QStringLiteral("2"));
    chooser->Command7_Click();
    QVERIFY(dir->read("two.gau") != before);
    QTest::keyClick(chooser->Text1, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(dir->read("two.gau") == before);
    QVERIFY2(ui::lastMessage().contains("Undone: the change of") &&
                 ui::lastMessage().contains("(transparent) to bitmap 2 of two.gau"),
             qPrintable(ui::lastMessage()));
    QCOMPARE(chooser->Text1->text(), QStringLiteral("2"));  // the box keeps its number
  }

  void aFileWithoutBitmapsCountsZeroAndSaysSoOnce() {
    const int before = ui::messageCount();
    numbmp* chooser = fixture::pick("empty.gau");
    QVERIFY(chooser);
    QCOMPARE(chooser->Label2->text(), QStringLiteral(" 0"));
    QCOMPARE(ui::messageCount(), before + 1);
    QVERIFY(ui::lastMessage().contains("no 256-colour picture"));
  }

  void refusesWhatCannotBeOpened() {
    dialpix* start = ui::show<dialpix>();
    // Enter with nothing highlighted.
    start->File1->clearSelection();
    const int before = ui::messageCount();
    start->File1_KeyPress(13);
    QCOMPARE(ui::messageCount(), before + 1);
    QVERIFY(!ui::find<numbmp>());
    // A file that vanished after the list was read.
    start->File1->setCurrentRow(2);
    std::filesystem::remove("two.gau");
    start->File1_DblClick();
    QCOMPARE(ui::messageCount(), before + 2);
    QVERIFY(ui::lastMessage().contains("two.gau"));
    QVERIFY(start->File1->findItems("two.gau", Qt::MatchExactly).isEmpty());  // listed afresh
    QVERIFY(!ui::find<numbmp>());
    QVERIFY(!fixture::shown<gbpwt>());
    QVERIFY(fixture::shown<dialpix>());
    QVERIFY(!io::Channels.isOpen(io::kGaugeChannel));
  }

  void numberBoxClearAndOutOfRange() {
    numbmp* chooser = fixture::pick("SEVEN.GAU");
    struct Row {
      const char* text;
      int16_t number;
    };
    for (const Row r : {Row{" 4 ", 4}, Row{"4.4", 4}, Row{"4.5", 4}, Row{"5.5", 6},
                        Row{"12abc", 12}, Row{"1 2", 12}, Row{"abc", 0}, Row{"&H3", 3}}) {
      fixture::typeNumber(chooser, r.text);
      QCOMPARE(Module1.BmpNumber, r.number);
    }
    fixture::typeNumber(chooser, "3");
    chooser->Command6_Click();
    QVERIFY(chooser->Text1->text().isEmpty());
    QCOMPARE(Module1.BmpNumber, int16_t{0});

    // Out of range never reaches a tool: outofr, nothing else.
    for (const char* bad : {"0", "8", "101", "-1", "40000", "99999999999"}) {
      ui::hide<outofr>();
      Module1.BmpPos = 4242;
      fixture::typeNumber(chooser, bad);
      for (QPushButton* b : {chooser->Command1, chooser->Command9, chooser->Command2,
                             chooser->Command3, chooser->Command7, chooser->Command8}) {
        ui::hide<outofr>();
        b->click();
        QVERIFY2(fixture::shown<outofr>(), bad);
        QVERIFY(fixture::shown<numbmp>());
        QCOMPARE(Module1.BmpPos, 4242);
      }
      QVERIFY(!ui::find<showbmp>() || !fixture::shown<showbmp>());
      QVERIFY(!fixture::shown<paltool>());
    }
  }

  void toolButtonsHandOver() {
    numbmp* chooser = fixture::pick("SEVEN.GAU");
    fixture::typeNumber(chooser, "3");
    chooser->Command9->click();  // Palette Tool: the chooser stays up
    QCOMPARE(Module1.BmpPos, sevenPos[2]);
    QVERIFY(fixture::shown<paltool>());
    QVERIFY(fixture::shown<numbmp>());
    ui::hide<paltool>();
    fixture::typeNumber(chooser, "2");
    chooser->Command1->click();  // View Bitmap: the chooser hides
    QCOMPARE(Module1.BmpPos, sevenPos[1]);
    QVERIFY(fixture::shown<showbmp>());
    QVERIFY(!fixture::shown<numbmp>());
    ui::hide<showbmp>();
  }

  void returnAndSecondPick() {
    numbmp* chooser = fixture::pick("SEVEN.GAU");
    fixture::typeNumber(chooser, "5");
    chooser->Command9->click();  // a palette tool left up must not outlive its file
    chooser->Command4_Click();   // RETURN
    QVERIFY(!fixture::shown<paltool>());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(Module1.BmpCount, int16_t{0});
    QVERIFY(!io::Channels.isOpen(io::kGaugeChannel));
    QVERIFY(!ui::find<numbmp>());
    QVERIFY(fixture::shown<dialpix>());

    chooser = fixture::pick("two.gau");
    QCOMPARE(chooser->Label2->text(), QStringLiteral(" 2"));
    QCOMPARE(Module1.BmpTable(1), twoPos[0]);
    QCOMPARE(Module1.BmpTable(2), twoPos[1]);
    for (int k = 3; k <= 7; ++k) QCOMPARE(Module1.BmpTable(k), sevenPos[k - 1]);  // stale, kept
    QVERIFY(chooser->Text1->text().isEmpty());
    QCOMPARE(Module1.BmpNumber, int16_t{5});  // kept while the new box is empty
    chooser->Command8->click();               // 5 > 2 bitmaps: refused
    QVERIFY(fixture::shown<outofr>());
  }

  void exitEndsTheProgram() {
    numbmp* chooser = fixture::pick("SEVEN.GAU");
    chooser->Command5->click();
    QCOMPARE(fixture::endCalls, 1);
    QVERIFY(!io::Channels.isOpen(io::kGaugeChannel));
  }

  void moreThanAHundredBitmapsAreCapped() {
    Gauge many;
    for (int i = 0; i < 105; ++i) many.plant(patterned(2, 1, 1));
    QVERIFY(many.writeTo("many.gau"));
    const int before = ui::messageCount();
    numbmp* chooser = fixture::pick("many.gau");
    QCOMPARE(chooser->Label2->text(), QStringLiteral(" 100"));
    QCOMPARE(ui::messageCount(), before + 1);
    QVERIFY(ui::lastMessage().contains("100"));
  }

  void noticesHideOnOk() {
    dun* done = ui::show<dun>();
    QCOMPARE(done->Label1->text(), QStringLiteral("DONE"));
    done->Command1->click();
    QVERIFY(!fixture::shown<dun>());
    outofr* oor = ui::show<outofr>();
    QCOMPARE(oor->Label1->text(), QStringLiteral("NUMBER OUT     OF RANGE"));
    oor->Command1->click();
    QVERIFY(!fixture::shown<outofr>());
    QCOMPARE(ui::create<gbpwt>()->windowTitle(), QString(27, ' ') + "PLEASE WAIT");
  }
};

QTEST_MAIN(ChooserTest)
#include "tst_chooser.moc"
