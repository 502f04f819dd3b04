// The export and import windows, driven as a user drives them.

#include <QImage>
#include <QLineEdit>
#include <QPushButton>

#include "form_fixture.h"
#include "forms/bmp2gau.h"
#include "forms/gau2bmp.h"
#include "platform/twips.h"

using gaugebuild::Gauge;
using gaugebuild::patterned;

namespace {

struct Control {
  QWidget* widget;
  QString caption;
  int left, top, width, height;  // twips
};

// Every control at its place, with its caption.
void checkLayout(const std::vector<Control>& controls) {
  for (const Control& c : controls) {
    const QString text = c.widget->property("text").toString();
    QCOMPARE(text, c.caption);
    QCOMPARE(c.widget->geometry(), QRect(platform::twips(c.left), platform::twips(c.top),
                                         platform::twips(c.width), platform::twips(c.height)));
  }
}

// The next control that Tab reaches from `w`.
QWidget* nextTabStop(QWidget* w) {
  QWidget* next = w->nextInFocusChain();
  while (next != w && !(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
  return next;
}

QColor textColor(QWidget* w) { return w->palette().color(QPalette::WindowText); }

void flushDeletes() { QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

}  // namespace

class ConversionTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TempDir> dir;
  Gauge gauge;
  gaugebuild::Bitmap first = patterned(10, 20, 16, 3);  // bitmap 1: rows of 12 bytes
  int32_t firstPos = 0;

  numbmp* chooseBitmap(const QString& number) {
    numbmp* chooser = platform::find<numbmp>();
    if (!chooser) chooser = fixture::pick("PANEL.GAU");
    fixture::typeNumber(chooser, number);
    return chooser;
  }
  gau2bmp* openExport(const QString& number = "1") {
    chooseBitmap(number)->Command2->click();
    return platform::find<gau2bmp>();
  }
  bmp2gau* openImport(const QString& number = "1") {
    chooseBitmap(number)->Command3->click();
    return platform::find<bmp2gau>();
  }
  void convert(gau2bmp* w) { w->Command2->click(); }

 private slots:
  void init() {
    fixture::resetProgram();
    platform::destroy<gau2bmp>();
    platform::destroy<bmp2gau>();
    flushDeletes();
    gau2bmp::BmpName.clear();
    gau2bmp::BmpFileName.clear();
    dir = std::make_unique<TempDir>();
    gauge = Gauge();
    gauge.filler(64);
    firstPos = gauge.plant(first);
    gauge.filler(40, 3);
    gauge.plant(patterned(8, 4, 0));
    gauge.filler(40, 5);
    QVERIFY(gauge.writeTo("PANEL.GAU"));
  }
  void cleanup() {
    platform::destroy<gau2bmp>();
    platform::destroy<bmp2gau>();
    fixture::resetProgram();
    dir.reset();
  }

  void exportWindowLayout() {
    gau2bmp* w = openExport("2");
    QVERIFY(fixture::shown<gau2bmp>());
    QVERIFY(!fixture::shown<numbmp>());
    QCOMPARE(w->windowTitle(), QStringLiteral("Convert GAU to BMP"));
    QVERIFY(!w->windowIcon().isNull());
    QCOMPARE(w->size(), QSize(platform::twips(6690), platform::twips(4140)));
    checkLayout({
        {w->Label4, "Bitmap Number:", 600, 120, 1215, 255},
        {w->Label5, "2", 1800, 120, 495, 255},
        {w->Label6, "GAU File:", 2280, 120, 735, 255},
        {w->Label7, "PANEL.GAU", 3000, 120, 3495, 255},
        {w->Label1,
         "   Enter a file name for the new BMP (do NOT include the .BMP extension).  Choose a name "
         "that will help you remember this GAU and this bitmap number.",
         600, 480, 5535, 375},
        {w->Label3, "Then click CONVERT", 2400, 1080, 1575, 255},
        {w->Text1, "", 2040, 1560, 2415, 285},
        {w->Label2, "^ File Name", 2760, 1920, 855, 255},
        {w->Command2, "CONVERT", 2640, 2400, 1215, 495},
        {w->Command3, "RETURN", 1320, 3360, 1215, 495},
        {w->Command1, "EXIT", 3960, 3360, 1215, 495},
    });
    QCOMPARE(textColor(w->Label5), QColor(0, 0, 255));
    QCOMPARE(textColor(w->Label7), QColor(0, 0, 255));
    QCOMPARE(w->focusWidget(), w->Text1);
    QCOMPARE(nextTabStop(w->Text1), w->Command2);
    QCOMPARE(nextTabStop(w->Command2), w->Command3);
    QCOMPARE(nextTabStop(w->Command3), w->Command1);
  }

  void nameIsUsedAsTypedWithBmpAppended_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("file");
    QTest::newRow("plain") << "abc" << "abc.bmp";
    QTest::newRow("extension typed") << "abc.bmp" << "abc.bmp.bmp";
    QTest::newRow("nothing typed") << "" << ".bmp";
  }
  void nameIsUsedAsTypedWithBmpAppended() {
    QFETCH(QString, typed);
    QFETCH(QString, file);
    gau2bmp* w = openExport();
    QTest::keyClicks(w->Text1, typed);
    const int beeps = platform::beepCount();
    convert(w);
    QVERIFY(QFile::exists(file));
    QCOMPARE(dir->read(file.toStdString()).size(), size_t{1078 + 12 * 20});
    QCOMPARE(platform::beepCount(), beeps + 1);
    QVERIFY(fixture::shown<dun>());
    QVERIFY(!fixture::shown<gbpwt>());
    QCOMPARE(w->focusWidget(), w->Command3);
    QCOMPARE(Module1.BmpWidth, 10);
    QCOMPARE(Module1.BmpHeight, 20);
    QCOMPARE(Module1.ColorsUsed, 16);
    QCOMPARE(dir->read("PANEL.GAU"), gauge.bytes());
  }

  void nameSurvivesReturnAndANewCreate() {
    gau2bmp* w = openExport();
    QTest::keyClicks(w->Text1, "abc");
    w->Command3->click();  // RETURN
    flushDeletes();
    QVERIFY(!platform::find<gau2bmp>());
    QVERIFY(fixture::shown<numbmp>());
    QCOMPARE(platform::find<numbmp>()->focusWidget(), platform::find<numbmp>()->Command6);

    w = openExport();
    QVERIFY(w->Text1->text().isEmpty());
    convert(w);
    QVERIFY(QFile::exists("abc.bmp"));
    QCOMPARE(gau2bmp::BmpFileName, QStringLiteral("abc.bmp"));
    w->Text1->setText("x");
    w->Text1->clear();  // clearing the box is a change too
    convert(w);
    QVERIFY(QFile::exists(".bmp"));
  }

  // Qt's own reader sees the same picture: size, palette and pixels.
  void qtReadsTheExportedFile() {
    gau2bmp* w = openExport();
    QTest::keyClicks(w->Text1, "pic");
    convert(w);
    QImage img(QStringLiteral("pic.bmp"));
    QVERIFY(!img.isNull());
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
    const int beeps = platform::beepCount();
    const int messages = platform::messageCount();
    convert(w);
    QCOMPARE(platform::messageCount(), messages + 1);
    QVERIFY(platform::lastMessage().contains("missing/abc.bmp"));
    QCOMPARE(platform::beepCount(), beeps);
    QVERIFY(!fixture::shown<dun>());
    QVERIFY(!fixture::shown<gbpwt>());
  }

  void importWindowLayoutAndList() {
    for (const char* name : {"b.bmp", "A.BMP", ".hidden.bmp", "c.txt"})
      QVERIFY(Gauge().filler(10).writeTo(name));
    bmp2gau* w = openImport("2");
    QVERIFY(Gauge().filler(10).writeTo("later.bmp"));  // after the create: not listed
    QCOMPARE(w->windowTitle(), QStringLiteral("Convert BMP to GAU"));
    QVERIFY(!w->windowIcon().isNull());
    QStringList names;
    for (int i = 0; i < w->File1->count(); ++i) names << w->File1->item(i)->text();
    QCOMPARE(names, QStringList({"A.BMP", "b.bmp"}));
    checkLayout({
        {w->Label2, "Bitmap Number:", 840, 120, 1215, 255},
        {w->Label4, "2", 2040, 120, 615, 255},
        {w->Label5, "GAU File:", 2640, 120, 735, 255},
        {w->Label6, "PANEL.GAU", 3360, 120, 3135, 255},
        {w->Label1,
         "Highlight the BMP file that fits this GAU and bitmap number.  BE SURE IT IS THE CORRECT "
         "ONE!  A different-sized bitmap can ruin the GAU.  ",
         840, 480, 5055, 375},
        {w->Label3, "When the file is highlit, DOUBLE-CLICK or press ENTER", 1320, 960, 4095, 255},
        {w->Command3, "RETURN", 1320, 3480, 1215, 495},
        {w->Command1, "EXIT", 4080, 3480, 1215, 495},
    });
    QCOMPARE(w->File1->geometry(), QRect(platform::twips(1320), platform::twips(1200),
                                         platform::twips(3975), platform::twips(1845)));
    QCOMPARE(textColor(w->Label4), QColor(0, 0, 255));
    QCOMPARE(textColor(w->Label6), QColor(0, 0, 255));
    QCOMPARE(w->focusWidget(), w->File1);
    QCOMPARE(nextTabStop(w->File1), w->Command3);
    QCOMPARE(nextTabStop(w->Command3), w->Command1);
  }

  void enterImportsOtherKeysDoNot() {
    gau2bmp* out = openExport();
    QTest::keyClicks(out->Text1, "x");
    convert(out);
    Gauge edited = Gauge().raw(dir->read("x.bmp"));
    edited.bytes()[1078 + 5] ^= 0x40;  // one pixel edited elsewhere
    QVERIFY(edited.writeTo("x.bmp"));
    out->Command3->click();
    flushDeletes();
    platform::hide<dun>();

    bmp2gau* w = openImport();
    const int messages = platform::messageCount();
    QTest::keyClick(w->File1, Qt::Key_Return);  // nothing highlighted
    QCOMPARE(platform::messageCount(), messages + 1);
    QVERIFY(platform::lastMessage().contains("highlighted"));

    w->File1->setCurrentRow(0);
    const int beeps = platform::beepCount();
    QTest::keyClick(w->File1, Qt::Key_A);
    QCOMPARE(platform::beepCount(), beeps);
    QCOMPARE(dir->read("PANEL.GAU"), gauge.bytes());
    w->File1->setCurrentRow(0);
    QTest::keyClick(w->File1, Qt::Key_Return);
    QCOMPARE(platform::beepCount(), beeps + 1);
    QVERIFY(fixture::shown<dun>());
    QVERIFY(!fixture::shown<gbpwt>());
    QCOMPARE(w->focusWidget(), w->Command3);
    auto want = gauge.bytes();
    want[static_cast<size_t>(firstPos - 1 + 28 + 4 * 16 + 5)] ^= 0x40;
    QCOMPARE(dir->read("PANEL.GAU"), want);

    w->Command3->click();  // RETURN
    flushDeletes();
    QVERIFY(!platform::find<bmp2gau>());
    QCOMPARE(platform::find<numbmp>()->focusWidget(), platform::find<numbmp>()->Command6);
  }

  void aBmpOfAnotherSizeIsRefused() {
    gau2bmp* out = openExport("2");  // 8 x 4
    QTest::keyClicks(out->Text1, "other");
    convert(out);
    out->Command3->click();
    flushDeletes();
    platform::hide<dun>();
    const auto bmpBefore = dir->read("other.bmp");

    bmp2gau* w = openImport("1");  // 10 x 20
    w->File1->setCurrentRow(0);
    const int beeps = platform::beepCount();
    w->File1_DblClick();
    QVERIFY(platform::lastMessage().contains("other.bmp"));
    QVERIFY(platform::lastMessage().contains("8 x 4"));
    QCOMPARE(platform::beepCount(), beeps);
    QVERIFY(!fixture::shown<dun>());
    QVERIFY(!fixture::shown<gbpwt>());
    QCOMPARE(dir->read("PANEL.GAU"), gauge.bytes());
    QCOMPARE(dir->read("other.bmp"), bmpBefore);
  }
};

QTEST_MAIN(ConversionTest)
#include "tst_conversion.moc"
