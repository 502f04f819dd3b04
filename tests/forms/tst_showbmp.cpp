// The viewer, driven from the chooser as a user drives it.

#include <QLineEdit>
#include <QPushButton>

#include "form_fixture.h"
#include "forms/showbmp.h"

using gaugebuild::Bitmap;
using gaugebuild::Gauge;
using gaugebuild::patterned;

class ShowbmpTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TempDir> dir;
  std::vector<int32_t> pos;
  std::vector<uint8_t> original;

  showbmp* view(const char* number) {
    numbmp* chooser = ui::find<numbmp>();
    fixture::typeNumber(chooser, number);
    chooser->Command1_Click();
    return ui::find<showbmp>();
  }
  static void click(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
  static bool blank(const QImage& picture) {
    for (int y = 0; y < picture.height(); ++y)
      for (int x = 0; x < picture.width(); ++x)
        if (qAlpha(picture.pixel(x, y)) != 0) return false;
    return true;
  }

 private slots:
  void init() {
    fixture::resetProgram();
    dir = std::make_unique<TempDir>();
    Gauge g;
    g.filler(60);
    pos.push_back(g.plant(patterned(10, 10, 16)));
    g.filler(20, 2);
    Bitmap red = patterned(4, 3, 2);
    red.palette = {0, 0, 0, 0, 0, 0, 255, 0};  // entry 1 is pure red
    red.pixels.assign(red.pixels.size(), 1);
    pos.push_back(g.plant(red));
    g.filler(20, 3);
    pos.push_back(g.plant(patterned(4, 4, 2)));
    g.poke32(pos.back() - 8, 3'000'000);  // a false hit: its pixels would run far past the end
    g.filler(20, 4);
    QVERIFY(g.writeTo("VIEW.GAU"));
    original = g.bytes();
    QVERIFY(fixture::pick("VIEW.GAU"));
  }
  void cleanup() {
    QCOMPARE(dir->read("VIEW.GAU"), original);  // the viewer never writes
    ui::destroy<showbmp>();
    fixture::resetProgram();
    pos.clear();
    dir.reset();
  }

  void stepping_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("delta");
    QTest::addColumn<int>("expected");
    QTest::addColumn<bool>("notice");
    QTest::newRow("+1 from 1") << "1" << 1 << 2 << false;
    QTest::newRow("+1 on the last") << "3" << 1 << 3 << true;
    QTest::newRow("-1 from 3") << "3" << -1 << 2 << false;
    QTest::newRow("-1 on the first") << "1" << -1 << 1 << true;
  }
  void stepping() {
    QFETCH(QString, start);
    QFETCH(int, delta);
    QFETCH(int, expected);
    QFETCH(bool, notice);
    showbmp* viewer = view(start.toLatin1());
    click(viewer->Command1);
    const QImage before = viewer->picture();
    viewer->Label2->setText("x");
    viewer->Label4->setText("x");
    {
      QLineEdit* field = ui::find<numbmp>()->Text1;
      const QSignalBlocker quiet(field);  // a stale text, without changing BmpNumber
      field->setText("x");
    }
    click(delta > 0 ? viewer->Command3 : viewer->Command4);
    QCOMPARE(int(Module1.BmpNumber), expected);
    QCOMPARE(Module1.BmpPos, pos[size_t(expected - 1)]);
    QCOMPARE(fixture::shown<outofr>(), notice);
    QCOMPARE(ui::find<numbmp>()->Text1->text(), QStringLiteral(" %1").arg(expected));
    QCOMPARE(viewer->Label2->text(), QString::number(expected));
    QCOMPARE(viewer->Label4->text(), QStringLiteral("3"));
    QCOMPARE(viewer->picture(), before);  // stepping does not redraw
  }

  void paintsThePictureInItsColoursWithTheZoomLineBelow() {
    showbmp* viewer = view("2");
    click(viewer->Command1);
    const QImage shot = viewer->grab().toImage();
    QCOMPARE(shot.pixelColor(3, 1), QColor(255, 0, 0));
    QCOMPARE(shot.pixelColor(300, 200), QColor(192, 192, 192));
    // Bottom row of dots at y = 41 twips (3 pixels); the zoom line lies one text line lower.
    int inkRows = 0;
    for (int y = 5; y < 40; ++y)
      for (int x = 0; x < 60; ++x)
        if (qGray(shot.pixel(x, y)) < 100) {
          ++inkRows;
          break;
        }
    QVERIFY(inkRows >= 5);
  }

  // Every bitmap pixel is a block of its own, zoom x zoom pixels at (zoom (c + 1), zoom r),
  // r counted from the top row: no row or column paints over another. At a screen
  // scale (ctest runs it at 1.5 too) the block is as many whole device pixels, the
  // same for every dot.
  void everyPixelKeepsItsOwnBlock_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("zoom");
    QTest::newRow("2 x 2 at zoom 2") << 2 << 2 << 2;
    QTest::newRow("3 x 201 at zoom 1") << 3 << 201 << 1;
  }
  void everyPixelKeepsItsOwnBlock() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, zoom);
    ui::find<numbmp>()->Command4_Click();
    const Bitmap b = patterned(width, height, 0, 1);
    Gauge g;
    g.filler(20).plant(b);
    QVERIFY(g.writeTo("GRID.GAU") && fixture::pick("GRID.GAU"));
    showbmp* viewer = view("1");
    click(viewer->Command1);
    const QImage shot = viewer->grab().toImage();
    const int block = std::max(1, qRound(zoom * viewer->devicePixelRatioF()));
    for (int r = 0; r < height; ++r) {
      for (int c = 0; c < width; ++c) {
        const int i = b.pixels[static_cast<size_t>((height - 1 - r) * b.rowBytes() + c)];
        const QColor want(i / 2, 255 - i, i);  // entry i of the patterned palette
        for (int d = 0; d < block * block; ++d) {
          const QPoint at(block * (c + 1) + d % block, block * r + d / block);
          QVERIFY2(shot.pixelColor(at) == want,
                   qPrintable(QStringLiteral("row %1, column %2 at (%3, %4)")
                                  .arg(r)
                                  .arg(c)
                                  .arg(at.x())
                                  .arg(at.y())));
        }
      }
    }
  }

  void showTwiceLeavesOnePicture() {
    showbmp* viewer = view("2");
    click(viewer->Command1);
    const QImage alone = viewer->picture();
    click(viewer->Command4);
    click(viewer->Command1);  // bitmap 1: larger, in other colours
    click(viewer->Command3);
    click(viewer->Command1);
    click(viewer->Command1);
    QCOMPARE(viewer->picture(), alone);
  }

  void hiddenWindowComesBackWithoutPicture() {
    showbmp* viewer = view("1");
    QVERIFY(!fixture::shown<numbmp>());
    QVERIFY(viewer->windowTitle().trimmed().isEmpty());
    QCOMPARE(viewer->Label4->text(), QStringLiteral("3"));
    QVERIFY(blank(viewer->picture()));  // showing draws nothing
    click(viewer->Command1);
    QVERIFY(!blank(viewer->picture()));
    click(viewer->Command2);
    QVERIFY(!fixture::shown<showbmp>());
    QVERIFY(fixture::shown<numbmp>());
    QCOMPARE(view("2"), viewer);
    QCOMPARE(viewer->Label2->text(), QStringLiteral("2"));
    QVERIFY(blank(viewer->picture()));
    QCOMPARE(viewer->grab().toImage().pixelColor(3, 1), QColor(192, 192, 192));
  }

  void nonsenseHeaderIsRefusedWithAMessage() {
    showbmp* viewer = view("2");
    click(viewer->Command1);
    click(viewer->Command3);
    const int before = ui::messageCount();
    click(viewer->Command1);
    QCOMPARE(ui::messageCount(), before + 1);
    QVERIFY(ui::lastMessage().startsWith("Bitmap 3 of VIEW.GAU cannot be shown."));
    QVERIFY(ui::lastMessage().contains("past the end of the file"));
    QVERIFY(blank(viewer->picture()));
    QVERIFY(fixture::shown<showbmp>());
    click(viewer->Command4);  // and the window is still usable
    click(viewer->Command1);
    QCOMPARE(viewer->picture().pixelColor(3, 1), QColor(255, 0, 0));
  }
};

QTEST_MAIN(ShowbmpTest)
#include "tst_showbmp.moc"
