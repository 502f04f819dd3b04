// The gallery beside the chooser: opened by Ctrl+G or the right-click menu,
// walked by keyboard, handing the chosen number back, and showing each
// bitmap's own pixels, also after a change.

#include <QAction>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>

#include "form_fixture.h"
#include "forms/gallery.h"
#include "tests/support/bitmap_in_picture.h"
#include "tools/pe_builder.h"

using gaugebuild::Bitmap;
using gaugebuild::Gauge;
using gaugebuild::patterned;
using testing_support::findBitmap;

namespace {

std::vector<uint8_t> dibOf(const Bitmap& b) {
  Gauge g;
  g.plant(b);
  return g.bytes();
}

}  // namespace

class GalleryTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TempDir> dir;
  std::vector<Bitmap> planted;  // FOUR.GAU's bitmaps, in file order

  numbmp* open(const QString& name) {
    numbmp* chooser = fixture::pick(name);
    if (chooser && !QTest::qWaitForWindowActive(chooser)) return nullptr;
    return chooser;
  }
  gallery* galleryOf(numbmp* chooser) { return chooser->findChild<gallery*>(); }
  // The thumbnails as the screen shows them.
  static QImage shot(gallery* g) { return g->List->viewport()->grab().toImage(); }
  static int block(gallery* g) {
    return std::max(1, static_cast<int>(std::floor(g->devicePixelRatioF() + 0.001)));
  }

 private slots:
  void init() {
    fixture::resetProgram();
    dir = std::make_unique<TempDir>();
    Gauge four;
    four.filler(50);
    planted = {patterned(5, 3, 16, 1), patterned(12, 7, 0, 40), patterned(2, 2, 4, 2),
               patterned(150, 20, 0, 9)};
    for (const Bitmap& b : planted) {
      four.plant(b);
      four.filler(30, 3);
    }
    QVERIFY(four.writeTo("FOUR.GAU"));
    QVERIFY(Gauge().filler(300).writeTo("NONE.GAU"));
  }
  void cleanup() {
    fixture::resetProgram();
    dir.reset();
  }

  void keyboardWalksAndEnterChooses_data() {
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<int>("number");
    QTest::newRow("two to the right") << QList<int>{Qt::Key_Right, Qt::Key_Right} << 3;
    QTest::newRow("End") << QList<int>{Qt::Key_End} << 4;
    QTest::newRow("End, then Home") << QList<int>{Qt::Key_End, Qt::Key_Home} << 1;
    QTest::newRow("right, then left") << QList<int>{Qt::Key_Right, Qt::Key_Left} << 1;
  }
  void keyboardWalksAndEnterChooses() {
    QFETCH(QList<int>, keys);
    QFETCH(int, number);
    numbmp* chooser = open("FOUR.GAU");
    QVERIFY(chooser);
    QTest::keyClick(chooser->Text1, Qt::Key_G, Qt::ControlModifier);
    gallery* g = galleryOf(chooser);
    QVERIFY(fixture::visible(g));
    QVERIFY(QTest::qWaitForWindowActive(g));
    QCOMPARE(g->List->currentIndex().row(), 0);  // the first picture, selected
    QCOMPARE(g->List->model()->rowCount(), 4);
    for (int key : keys) QTest::keyClick(g->List, static_cast<Qt::Key>(key));
    QTest::keyClick(g->List, Qt::Key_Return);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!galleryOf(chooser));
    QCOMPARE(chooser->Text1->text(), QString::number(number));
    QVERIFY(QTest::qWaitForWindowActive(chooser));
    QCOMPARE(QApplication::focusWidget(), chooser->Text1);
    // Every tool of the chooser now works on that bitmap.
    chooser->Command1_Click();
    QCOMPARE(Module1.BmpPos, Module1.BmpTable(number));
  }

  // Escape leaves the number as it was; a double-click chooses as Enter does.
  void escapeAndDoubleClick() {
    numbmp* chooser = open("FOUR.GAU");
    fixture::typeNumber(chooser, "3");
    chooser->showGallery();
    gallery* g = galleryOf(chooser);
    QVERIFY(QTest::qWaitForWindowActive(g));
    QTest::keyClick(g->List, Qt::Key_End);
    QTest::keyClick(g->List, Qt::Key_Escape);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!galleryOf(chooser));
    QCOMPARE(chooser->Text1->text(), QStringLiteral("3"));

    chooser->showGallery();
    g = galleryOf(chooser);
    QVERIFY(QTest::qWaitForWindowActive(g));
    const QPoint second = g->List->visualRect(g->List->model()->index(1, 0)).center();
    QTest::mouseClick(g->List->viewport(), Qt::LeftButton, {}, second);
    QTest::mouseDClick(g->List->viewport(), Qt::LeftButton, {}, second);
    QCOMPARE(chooser->Text1->text(), QStringLiteral("2"));
  }

  void chooserMenuOffersTheGallery() {
    numbmp* chooser = open("FOUR.GAU");
    QCOMPARE(chooser->contextMenuPolicy(), Qt::ActionsContextMenu);
    const QList<QAction*> actions = chooser->actions();
    QCOMPARE(actions.size(), 1);
    QCOMPARE(actions[0]->text(), QStringLiteral("Show all bitmaps…"));
    QCOMPARE(actions[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_G));
    actions[0]->trigger();
    QVERIFY(fixture::visible(galleryOf(chooser)));
    actions[0]->trigger();  // once open, the same window comes up again
    QCOMPARE(chooser->findChildren<gallery*>().size(), 1);
  }

  // Each small bitmap stands whole in the window, in its own colours: 1:1 at
  // a scale of 1 and 1.5, two by two at 2 (ctest runs it at 1.5 too).
  void thumbnailsShowTheBitmapsOwnPixels() {
    numbmp* chooser = open("FOUR.GAU");
    chooser->showGallery();
    gallery* g = galleryOf(chooser);
    QVERIFY(QTest::qWaitForWindowExposed(g));
    const QImage screen = shot(g);
    for (size_t i = 0; i < 3; ++i)
      QVERIFY2(findBitmap(screen, planted[i], block(g)), qPrintable(QString::number(i + 1)));
    QCOMPARE(g->sheet().cells[3].where, QStringLiteral("loose"));
    QVERIFY(!g->sheet().cells[3].real());
  }

  void changesShowAtOnce() {
    numbmp* chooser = open("FOUR.GAU");
    chooser->showGallery();
    gallery* g = galleryOf(chooser);
    QVERIFY(QTest::qWaitForWindowExposed(g));
    fixture::typeNumber(chooser, "2");
    chooser->Command7_Click();  // Make Transparent: every pixel colour 0
    Bitmap cleared = planted[1];
    std::fill(cleared.pixels.begin(), cleared.pixels.end(), 0);
    QVERIFY(findBitmap(shot(g), cleared, block(g)));
    QVERIFY(!findBitmap(shot(g), planted[1], block(g)));
    chooser->undoLatestChange();
    QVERIFY(findBitmap(shot(g), planted[1], block(g)));
  }

  void gaugeWithoutBitmaps() {
    numbmp* chooser = open("NONE.GAU");
    QVERIFY(chooser);
    ui::currentMessage()->close();  // the chooser's own word on it, which holds its input
    QVERIFY(QTest::qWaitForWindowActive(chooser));
    QTest::keyClick(chooser->Text1, Qt::Key_G, Qt::ControlModifier);
    gallery* g = galleryOf(chooser);
    QVERIFY(fixture::visible(g));
    QCOMPARE(g->List->model()->rowCount(), 0);
    QVERIFY(g->Summary->text().contains(QStringLiteral("holds no bitmap")));
    QTest::keyClick(g->List, Qt::Key_Return);  // nothing to choose: nothing happens
    QVERIFY(fixture::visible(g));
    QCOMPARE(chooser->Text1->text(), QString());
  }

  // Far beyond the chooser's 100: the gallery shows them all and hands back any.
  void thousandBitmaps() {
    Gauge many;
    for (int i = 0; i < 1000; ++i) {
      many.filler(7, static_cast<uint32_t>(i));
      many.plant(patterned(8, 4, 16, static_cast<uint8_t>(i)));
    }
    QVERIFY(many.writeTo("MANY.GAU"));
    numbmp* chooser = open("MANY.GAU");
    chooser->showGallery();
    gallery* g = galleryOf(chooser);
    QCOMPARE(g->List->model()->rowCount(), 1000);
    QVERIFY(QTest::qWaitForWindowExposed(g));
    QTest::keyClick(g->List, Qt::Key_PageDown);
    QVERIFY(g->List->currentIndex().row() > 1);
    QTest::keyClick(g->List, Qt::Key_End);
    QTest::keyClick(g->List, Qt::Key_Return);
    QCOMPARE(chooser->Text1->text(), QStringLiteral("1000"));
  }

  // A module: an 8-bit bitmap resource, a 24-bit one, and a loose hit after it.
  void otherDepthsExportImportAndRender() {
    const Bitmap eight = patterned(4, 3, 16, 5);
    const pebuild::Layout module =
        pebuild::build({{{"", 2}, {"", 4096}, 1033, dibOf(eight)},
                        {{"", 2}, {"", 4353}, 1033, testing_support::otherDepthDib(3, 2)}});
    Gauge g;
    g.raw(module.bytes);
    g.plant(patterned(3, 3, 4, 7));
    QVERIFY(g.writeTo("MOD.GAU"));
    numbmp* chooser = open("MOD.GAU");
    chooser->showGallery();
    gallery* window = galleryOf(chooser);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    const auto& cells = window->sheet().cells;
    QCOMPARE(cells.size(), size_t{3});
    QCOMPARE(cells[0].where, QStringLiteral("bitmap 4096"));
    QVERIFY(cells[0].real());
    QCOMPARE(cells[1].where, QStringLiteral("loose"));
    QCOMPARE(cells[2].ref, QStringLiteral("id:4353"));
    QCOMPARE(cells[2].depth, QStringLiteral("24-bit"));
    QVERIFY(findBitmap(shot(window), eight, block(window)));

    QString answer;
    window->askFile = [&answer](gallery::Ask, const QString&, const QString&, const QString&) {
      return answer;
    };
    answer = QStringLiteral("out.bmp");
    window->exportOther(2);
    QImage exported(answer);
    QCOMPARE(exported.size(), QSize(3, 2));
    QCOMPARE(exported.pixel(2, 1), qRgb(2, 1, 198));

    QImage edited(3, 2, QImage::Format_RGB32);
    edited.fill(qRgb(10, 20, 30));
    QVERIFY(edited.save(QStringLiteral("edited.png")));
    answer = QStringLiteral("edited.png");
    window->importOther(2);
    answer = QStringLiteral("rendered.png");
    window->renderOther(2);
    const QImage rendered(answer);
    QCOMPARE(rendered.size(), QSize(3, 2));
    QCOMPARE(rendered.pixel(1, 1), qRgb(10, 20, 30));
    // The import is a change like the others: the window shows it at once.
    QImage screen = shot(window).convertToFormat(QImage::Format_RGB32);
    bool found = false;
    for (int y = 0; y < screen.height() && !found; ++y)
      for (int x = 0; x < screen.width() && !found; ++x)
        found = screen.pixel(x, y) == qRgb(10, 20, 30);
    QVERIFY(found);
  }
};

QTEST_MAIN(GalleryTest)
#include "tst_gallery.moc"
