// The export and import windows, driven as a user drives them.

#include <QImage>
#include <QLineEdit>
#include <QPushButton>

#include <QMessageBox>

#include "form_fixture.h"
#include "forms/bmp2gau.h"
#include "forms/gau2bmp.h"
#include "io/file_channels.h"
#include "pe/resource_table.h"
#include "tools/pe_builder.h"
#include "ui/message.h"

using gaugebuild::Gauge;
using gaugebuild::patterned;

namespace {

void flushDeletes() { QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

// The next control that Tab reaches from `w`.
QWidget* nextTabStop(QWidget* w) {
  QWidget* next = w->nextInFocusChain();
  while (next != w && !(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
  return next;
}

}  // namespace

class ConversionTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TempDir> dir;
  Gauge gauge;
  gaugebuild::Bitmap first = patterned(10, 20, 16, 3);  // bitmap 1: rows of 12 bytes
  int32_t firstPos = 0;
  int beeps = 0;
  int messages = 0;
  std::unique_ptr<fixture::WaitProbe> wait;

  numbmp* chooseBitmap(const QString& number) {
    numbmp* chooser = ui::find<numbmp>();
    if (!chooser) chooser = fixture::pick("PANEL.GAU");
    fixture::typeNumber(chooser, number);
    wait = std::make_unique<fixture::WaitProbe>();
    beeps = ui::beepCount();
    messages = ui::messageCount();
    return chooser;
  }
  gau2bmp* openExport(const QString& number = "1") {
    chooseBitmap(number)->Command2->click();
    return ui::find<gau2bmp>();
  }
  bmp2gau* openImport(const QString& number = "1") {
    chooseBitmap(number)->Command3->click();
    return ui::find<bmp2gau>();
  }
  void exportAs(const QString& name, const QString& number = "1") {
    gau2bmp* w = openExport(number);
    QTest::keyClicks(w->Text1, name);
    w->Command2->click();
    w->Command3->click();
    flushDeletes();
    ui::hide<dun>();
  }
  // Success: one beep, "DONE", focus on RETURN, no message; "PLEASE WAIT" was up and is gone.
  bool done(QWidget* w, QPushButton* returnButton) {
    return ui::beepCount() == beeps + 1 && fixture::shown<dun>() && wait->exposures > 0 &&
           !fixture::shown<gbpwt>() && w->focusWidget() == returnButton &&
           ui::messageCount() == messages;
  }
  // Refusal: one message naming `file`, no beep, no "DONE", no "PLEASE WAIT".
  bool refused(const QString& file) {
    return ui::messageCount() == messages + 1 && ui::lastMessage().contains(file) &&
           ui::beepCount() == beeps && !fixture::shown<dun>() && !fixture::shown<gbpwt>();
  }

 private slots:
  void init() {
    fixture::resetProgram();
    gau2bmp::BmpName.clear();
    gau2bmp::BmpFileName.clear();
    dir = std::make_unique<TempDir>();
    gauge = Gauge();
    gauge.filler(64);
    firstPos = gauge.plant(first);
    gauge.filler(40, 3);
    gauge.plant(patterned(8, 4, 0));
    QVERIFY(gauge.writeTo("PANEL.GAU"));
  }
  void cleanup() {
    wait.reset();
    ui::destroy<gau2bmp>();
    ui::destroy<bmp2gau>();
    fixture::resetProgram();
    dir.reset();
  }

  void exportWindowOpensFromTheChooser() {
    gau2bmp* w = openExport("2");
    QVERIFY(fixture::shown<gau2bmp>() && !fixture::shown<numbmp>());
    QCOMPARE(w->windowTitle(), QStringLiteral("Convert GAU to BMP"));
    QCOMPARE(w->Label5->text(), QStringLiteral("2"));
    QCOMPARE(w->Label7->text(), QStringLiteral("PANEL.GAU"));
    QCOMPARE(w->Label7->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QCOMPARE(w->focusWidget(), w->Text1);
    QCOMPARE(nextTabStop(w->Text1), w->Command2);
    QCOMPARE(nextTabStop(w->Command2), w->Command3);
    QCOMPARE(nextTabStop(w->Command3), w->Command1);
  }

  void nameIsUsedAsTypedWithBmpAppended_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("file");
    QTest::newRow("plain") << "abc"
                           << "abc.bmp";
    QTest::newRow("extension typed") << "abc.bmp"
                                     << "abc.bmp.bmp";
    // No name: refused, not a hidden ".bmp".
    QTest::newRow("nothing typed") << ""
                                   << "";
    QTest::newRow("blanks only") << "   "
                                 << "";
  }
  void nameIsUsedAsTypedWithBmpAppended() {
    QFETCH(QString, typed);
    QFETCH(QString, file);
    gau2bmp* w = openExport();
    QTest::keyClicks(w->Text1, typed);
    w->Command2->click();
    if (file.isEmpty()) {
      QVERIFY(refused("Type a name"));
      QCOMPARE(QDir().entryList({"*.bmp"}, QDir::Files | QDir::Hidden), QStringList());
      return;
    }
    QVERIFY(done(w, w->Command3));
    QCOMPARE(dir->read(file.toStdString()).size(), size_t{1078 + 12 * 20});
    QCOMPARE(Module1.BmpWidth, 10);
    QCOMPARE(Module1.BmpHeight, 20);
    QCOMPARE(Module1.ColorsUsed, 16);
    QCOMPARE(dir->read("PANEL.GAU"), gauge.bytes());
  }

  void nameSurvivesReturnAndANewCreate() {
    exportAs("abc");
    QVERIFY(!ui::find<gau2bmp>());
    numbmp* chooser = ui::find<numbmp>();
    QVERIFY(fixture::shown<numbmp>() && chooser->focusWidget() == chooser->Command6);
    QVERIFY(QFile::remove("abc.bmp"));

    gau2bmp* w = openExport();
    QVERIFY(w->Text1->text().isEmpty());
    w->Command2->click();
    QVERIFY(QFile::exists("abc.bmp"));
    w->Text1->setText("x");
    w->Text1->clear();  // clearing the box is a change too: now there is no name
    w->Command2->click();
    QVERIFY(ui::lastMessage().contains("Type a name"));
    QVERIFY(!QFile::exists(".bmp"));
  }

  // Qt's own reader sees the same picture: size, palette and pixels.
  void qtReadsTheExportedFile() {
    exportAs("pic");
    QImage img(QStringLiteral("pic.bmp"));
    QCOMPARE(img.size(), QSize(10, 20));
    QCOMPARE(img.format(), QImage::Format_Indexed8);
    const QList<QRgb> table = img.colorTable();
    QCOMPARE(table.size(), 256);
    for (int k = 0; k < 16; ++k) {
      const uint8_t* e = &first.palette[4 * static_cast<size_t>(k)];
      QCOMPARE(table[k], qRgb(e[2], e[1], e[0]));
    }
    QCOMPARE(table[100], qRgb(0, 0, 0));
    QCOMPARE(table[255], qRgb(255, 255, 255));
    for (int y = 0; y < 20; ++y)  // bottom row stored first
      for (int x = 0; x < 10; ++x)
        QCOMPARE(img.pixelIndex(x, y), int(first.pixels[static_cast<size_t>((19 - y) * 12 + x)]));
  }

  void anUnwritableTargetIsReported() {
    gau2bmp* w = openExport();
    QTest::keyClicks(w->Text1, "missing/abc");
    w->Command2->click();
    QVERIFY(refused("missing/abc.bmp"));
    const QString folder = QDir::toNativeSeparators(QString::fromStdString(dir->file("missing")));
    QVERIFY2(ui::lastMessage().contains("The folder " + folder + " does not exist."),
             qPrintable(ui::lastMessage()));
    QVERIFY(!ui::lastMessage().contains(QDir::homePath() + "/"));
  }

  void importListsTheBmpFilesAsAtCreate() {
    for (const char* name : {"b.bmp", "A.BMP", ".hidden.bmp", "c.txt"})
      QVERIFY(Gauge().filler(10).writeTo(name));
    bmp2gau* w = openImport("2");
    QVERIFY(Gauge().filler(10).writeTo("later.bmp"));
    QCOMPARE(w->windowTitle(), QStringLiteral("Convert BMP to GAU"));
    QCOMPARE(w->Label4->text(), QStringLiteral("2"));
    QCOMPARE(w->Label6->text(), QStringLiteral("PANEL.GAU"));
    QStringList names;
    for (int i = 0; i < w->File1->count(); ++i) names << w->File1->item(i)->text();
    QCOMPARE(names, QStringList({"A.BMP", "b.bmp"}));
    QCOMPARE(w->focusWidget(), w->File1);
    QCOMPARE(nextTabStop(w->File1), w->Command3);
    QCOMPARE(nextTabStop(w->Command3), w->Command1);
  }

  void enterImportsOtherKeysDoNot() {
    exportAs("x");
    Gauge edited = Gauge().raw(dir->read("x.bmp"));
    edited.bytes()[1078 + 5] ^= 0x40;  // one pixel edited elsewhere
    QVERIFY(edited.writeTo("x.bmp"));

    QVERIFY(Gauge().filler(10).writeTo("y.bmp"));  // listed second
    bmp2gau* w = openImport();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QTest::keyClick(w->File1, Qt::Key_Return);  // nothing highlighted
    QVERIFY(refused("highlighted"));
    messages = ui::messageCount();
    QTest::keyClick(w->File1, Qt::Key_A);
    QCOMPARE(dir->read("PANEL.GAU"), gauge.bytes());
    QTest::keyClick(w->File1, Qt::Key_Down);  // the first Down highlights the first file
    QTest::keyClick(w->File1, Qt::Key_Return);
    QVERIFY(done(w, w->Command3));
    auto want = gauge.bytes();
    want[static_cast<size_t>(firstPos - 1 + 28 + 4 * 16 + 5)] ^= 0x40;
    QCOMPARE(dir->read("PANEL.GAU"), want);

    w->Command3->click();  // RETURN
    flushDeletes();
    QVERIFY(!ui::find<bmp2gau>());
    QCOMPARE(ui::find<numbmp>()->focusWidget(), ui::find<numbmp>()->Command6);
  }

  void aBmpWithALatin1NameIsListedAndImported_data() {
    QTest::addColumn<QByteArray>("name");  // as the program holds it
    QTest::addColumn<QString>("onlyOn");
    QTest::newRow("Latin-1 (POSIX)") << QByteArray("\xe9t\xe9.bmp") << "POSIX";
    QTest::newRow("UTF-8") << QByteArray("\xc3\xa9t\xc3\xa9.bmp") << "";
  }
  void aBmpWithALatin1NameIsListedAndImported() {
    QFETCH(QByteArray, name);
    QFETCH(QString, onlyOn);
    if (fixture::onOtherSystem(onlyOn)) QSKIP("this row holds on the other system");
    exportAs("x");
    Gauge edited = Gauge().raw(dir->read("x.bmp"));
    edited.bytes()[1078] ^= 0x40;
    QVERIFY(edited.writeTo(name.toStdString()) && QFile::remove("x.bmp"));
    bmp2gau* w = openImport();
    QCOMPARE(w->File1->count(), 1);
    QCOMPARE(w->File1->item(0)->text(), QStringLiteral("été.bmp"));
    w->File1->setCurrentRow(0);
    w->File1_DblClick();
    QVERIFY(done(w, w->Command3));
    auto want = gauge.bytes();
    want[static_cast<size_t>(firstPos - 1 + 28 + 4 * 16)] ^= 0x40;
    QCOMPARE(dir->read("PANEL.GAU"), want);
  }

  void aBmpOfAnotherSizeIsRefused() {
    exportAs("other", "2");  // 8 x 4
    const auto bmpBefore = dir->read("other.bmp");
    bmp2gau* w = openImport("1");  // 10 x 20
    w->File1->setCurrentRow(0);
    w->File1_DblClick();
    QVERIFY(refused("other.bmp"));
    QVERIFY(ui::lastMessage().contains("8 x 4"));
    QCOMPARE(dir->read("PANEL.GAU"), gauge.bytes());
    QCOMPARE(dir->read("other.bmp"), bmpBefore);
  }

  // A picture of another size over a bitmap resource: the refusal offers to make
  // the bitmap its size, OK stays the default; taking the offer rebuilds the
  // resource. A loose bitmap gets no offer.
  void aBitmapResourceIsOfferedThePicturesSize() {
    std::vector<pebuild::Resource> rs(2);
    for (int i = 0; i < 2; ++i) {
      Gauge bitmap;
      bitmap.plant(i == 0 ? first : patterned(8, 4, 16));  // 10 x 20, then 8 x 4
      rs[i].type.id = pe::kBitmap, rs[i].name.id = i + 1;
      rs[i].data = bitmap.bytes();
    }
    const std::vector<uint8_t> module = pebuild::build(rs).bytes;
    QVERIFY(Gauge().raw(module).writeTo("PANEL.GAU"));
    QImage wide(12, 6, QImage::Format_RGB32);
    wide.fill(qRgb(1, 252, 3));  // palette entry 3
    QVERIFY(wide.save(QStringLiteral("wide.bmp"), "BMP"));

    bmp2gau* w = openImport("1");
    w->File1->setCurrentRow(0);
    w->File1_DblClick();
    QVERIFY(refused("wide.bmp"));
    QMessageBox* box = ui::currentMessage();
    QVERIFY(box);
    QCOMPARE(static_cast<QAbstractButton*>(box->defaultButton()), box->button(QMessageBox::Ok));
    QAbstractButton* make = nullptr;
    for (QAbstractButton* b : box->buttons())
      if (b->text() == QStringLiteral("Make bitmap 1 12 × 6")) make = b;
    QVERIFY(make);
    QCOMPARE(dir->read("PANEL.GAU"), module);
    messages = ui::messageCount();
    wait = std::make_unique<fixture::WaitProbe>();
    make->click();
    QVERIFY(done(w, w->Command3));
    const auto resized = io::memoryChannel(dir->read("PANEL.GAU"));
    const Result<pe::ResourceTable> t = pe::readResourceTable(*resized);
    QVERIFY(t && t->resources.size() == 2);
    QCOMPARE(t->resources[0].size, 40u + 16 * 4 + 12 * 6);
    // Bitmap 2 moved with what followed bitmap 1, and the chooser knows where.
    QCOMPARE(int64_t{Module1.BmpTable(2)}, t->resources[1].position + 12);
    const std::vector<uint8_t> now = dir->read("PANEL.GAU");
    const auto pixels = now.begin() + t->resources[0].position - 1 + 40 + 16 * 4;
    QCOMPARE(std::vector<uint8_t>(pixels, pixels + 12 * 6), std::vector<uint8_t>(12 * 6, 3));
  }

  void aLooseBitmapIsNotOfferedAnotherSize() {
    QVERIFY(QImage(12, 6, QImage::Format_RGB32).save(QStringLiteral("wide.bmp"), "BMP"));
    bmp2gau* w = openImport("1");
    w->File1->setCurrentRow(0);
    w->File1_DblClick();
    QVERIFY(refused("wide.bmp"));
    QCOMPARE(ui::currentMessage()->buttons().size(), 1);
    QCOMPARE(dir->read("PANEL.GAU"), gauge.bytes());
  }

  // A 24-bit re-save with one pixel in a colour the palette lacks: it takes the
  // nearest entry, and the user is told beside "DONE".
  void aColourNotInThePaletteIsApproximatedAndTold() {
    exportAs("two", "2");  // 8 x 4, 256 colours; entry 20 is (10, 235, 20)
    QImage picture = QImage(QStringLiteral("two.bmp")).convertToFormat(QImage::Format_RGB32);
    picture.setPixel(1, 1, qRgb(11, 235, 20));
    QVERIFY(picture.save(QStringLiteral("edited.bmp"), "BMP"));
    QCOMPARE(dir->read("edited.bmp")[28], uint8_t{24});

    bmp2gau* w = openImport("2");
    w->File1->setCurrentItem(w->File1->findItems("edited.bmp", Qt::MatchExactly).value(0));
    w->File1_DblClick();
    QVERIFY(fixture::shown<dun>() && ui::beepCount() == beeps + 1);
    QCOMPARE(ui::lastMessage(),
             QStringLiteral("1 pixel of edited.bmp, in 1 colour that bitmap 2 has not in its "
                            "palette, took the nearest colour of that palette."));
    const auto after = dir->read("PANEL.GAU");
    std::vector<size_t> changed;
    for (size_t i = 0; i < after.size(); ++i)
      if (after[i] != gauge.bytes()[i]) changed.push_back(i);
    QCOMPARE(changed.size(), size_t{1});
    QCOMPARE(after[changed[0]], uint8_t{20});
  }
};

QTEST_MAIN(ConversionTest)
#include "tst_conversion.moc"
