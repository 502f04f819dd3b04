// The command line as a script uses it: the real executable run on gauge files
// built here, without a display, its output compared with the file logic the
// windows call. What holds on POSIX only is in tst_cli_posix.cpp.

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <filesystem>
#include <functional>
#include <map>
#include <span>

#include "gau/export.h"
#include "gau/palette.h"
#include "gau/transparency.h"
#include "io/file_channels.h"
#include "io/little_endian.h"
#include "io/system.h"
#include "tests/cli/cli_run.h"
#include "pe/resource_table.h"
#include "tests/support/exhaustive_scan.h"
#include "tests/support/mingw_gauge.h"
#include "tools/gauge_builder.h"
#include "tools/pe_builder.h"
#include "tests/support/bitmap_in_picture.h"

Q_DECLARE_METATYPE(io::System)

using namespace cli_test;

class tst_cli : public QObject {
  Q_OBJECT

 private slots:
  void listEqualsScan_data();
  void listEqualsScan();
  void listSaysWhereEachBitmapLies();
  void exportEqualsWindowExport();
  void importThenExportRoundTrip();
  void importOfAPngMapsOntoThePalette();
  void importResizeMakesTheResourceThePicturesSize();
  void patchesEqualTheWindows_data();
  void patchesEqualTheWindows();
  void undoTakesBackEachCommand_data();
  void undoTakesBackEachCommand();
  void killedImportsLeaveBeforeOrAfter();
  void concurrentImportsNeverMix();
  void paletteListsEveryEntryOnce_data();
  void paletteListsEveryEntryOnce();
  void statuses_data();
  void statuses();
  void unreadableGaugeAmongReadable();
  void foreignNamesAreListedAndOpened_data();
  void foreignNamesAreListedAndOpened();
  void sizesOfHitsNearTheStart_data();
  void sizesOfHitsNearTheStart();
  void renderShowsOwnColours();
  void sheetShowsEverySmallBitmapPixelForPixel();
  void bitmapsOfOtherDepthsById();

 private:
  QString demo_ = QStringLiteral(DIALPIX_DEMO_DIR);
};

void tst_cli::listEqualsScan_data() {
  QTest::addColumn<QString>("file");
  for (const QString& name : QDir(demo_).entryList({QStringLiteral("*.gau")}, QDir::Files))
    QTest::newRow(qPrintable(name)) << QDir(demo_).filePath(name);
  QTest::newRow("150 bitmaps") << QString();
}

void tst_cli::listEqualsScan() {
  QFETCH(QString, file);
  QTemporaryDir dir;
  if (file.isEmpty()) {
    file = dir.filePath(QStringLiteral("many.gau"));
    writeBytes(file, manyBitmaps(150));
  }
  const Bytes bytes = readBytes(file);
  const Run text = dialpix(dir.path(), {QStringLiteral("list"), file});
  QCOMPARE(text.status, 0);
  QCOMPARE(text.out, expectedList(file, bytes));

  const Run json = dialpix(dir.path(), {QStringLiteral("list"), QStringLiteral("--json"), file});
  QCOMPARE(json.status, 0);
  const QJsonArray files = QJsonDocument::fromJson(json.out).array();
  QCOMPARE(files.size(), 1);
  const QJsonObject f = files[0].toObject();
  QCOMPARE(f[QStringLiteral("file")].toString(), file);
  QCOMPARE(f[QStringLiteral("length")].toInteger(), static_cast<qint64>(bytes.size()));
  const std::vector<int32_t> hits = support::exhaustiveScan(bytes);
  const QJsonArray bitmaps = f[QStringLiteral("bitmaps")].toArray();
  QCOMPARE(bitmaps.size(), static_cast<qsizetype>(hits.size()));
  for (qsizetype i = 0; i < bitmaps.size(); ++i) {
    const QJsonObject b = bitmaps[i].toObject();
    QCOMPARE(b[QStringLiteral("number")].toInt(), i + 1);
    QCOMPARE(b[QStringLiteral("position")].toInt(), hits[static_cast<size_t>(i)]);
    QCOMPARE(b[QStringLiteral("stored_colors")].toInt(),
             io::le32(&bytes[static_cast<size_t>(hits[static_cast<size_t>(i)] + 19)]));
  }
}

void tst_cli::exportEqualsWindowExport() {
  QTemporaryDir dir;
  const QString many = dir.filePath(QStringLiteral("many.gau"));
  writeBytes(many, manyBitmaps(120));
  QStringList gauges{many};
  for (const QString& name : QDir(demo_).entryList({QStringLiteral("*.gau")}, QDir::Files))
    gauges << QDir(demo_).filePath(name);
  QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("out")));
  const Run run = dialpix(
      dir.path(),
      QStringList{QStringLiteral("export"), QStringLiteral("-o"), QStringLiteral("out")} + gauges);
  QCOMPARE(run.status, 0);
  // A gauge without pictures is said, not a failure.
  QCOMPARE(run.err, "dialpix: " + QDir(demo_).filePath(QStringLiteral("NOPICS.GAU")).toUtf8() +
                        ": It holds no bitmap, so nothing was exported.\n");

  int checked = 0;
  for (const QString& gauge : gauges) {
    const std::vector<int32_t> hits = support::exhaustiveScan(readBytes(gauge));
    for (size_t n = 1; n <= hits.size(); ++n, ++checked) {
      const QString name =
          QStringLiteral("%1-%2.bmp").arg(QFileInfo(gauge).completeBaseName()).arg(n);
      const Bytes window =
          windowExport(gauge, hits[n - 1], dir.filePath(QStringLiteral("window.bmp")));
      QVERIFY(!window.empty());
      QVERIFY2(readBytes(dir.filePath(QStringLiteral("out/") + name)) == window, qPrintable(name));
    }
  }
  QCOMPARE(QDir(dir.filePath(QStringLiteral("out"))).count() - 2, static_cast<uint>(checked));
}

// --resize on a gauge linked by MinGW: refused without it, the resource
// rebuilt with it (by number and by id), three steps of undo back to the gauge
// as built; a bitmap that is no resource keeps its size.
void tst_cli::importResizeMakesTheResourceThePicturesSize() {
  if (!mingwgauge::have("x86_64-w64-mingw32-gcc") || !mingwgauge::have("x86_64-w64-mingw32-windres"))
    QSKIP("MinGW is not installed");
  QTemporaryDir dir;
  const mingwgauge::Built built = mingwgauge::linkGauge("x86_64-w64-mingw32-", dir.path().toStdString());
  QVERIFY(!built.file.empty());
  const QString gauge = dir.filePath(QStringLiteral("g.gau"));
  writeBytes(gauge, built.file);
  const auto picture = [&](const QString& name, int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) image.setPixel(x, y, qRgb(x * 2, y * 2, (x + y) & 255));
    QVERIFY(image.save(dir.filePath(name)));
  };
  picture(QStringLiteral("big.png"), 128, 96);
  picture(QStringLiteral("small.png"), 16, 8);
  const QStringList big{QStringLiteral("import"), gauge, QStringLiteral("1"), QStringLiteral("big.png")};

  Run run = dialpix(dir.path(), big);
  QCOMPARE(run.status, 1);
  QVERIFY2(run.err.contains("128 x 96"), run.err.constData());
  QVERIFY(readBytes(gauge) == built.file);

  run = dialpix(dir.path(), QStringList{QStringLiteral("import"), QStringLiteral("--resize"), gauge,
                                        QStringLiteral("1"), QStringLiteral("big.png")});
  QCOMPARE(run.status, 0);
  QVERIFY2(run.err.contains("bitmap 1: made 128 x 96 (it was 64 x 64)."), run.err.constData());
  run = dialpix(dir.path(), QStringList{QStringLiteral("import"), QStringLiteral("--resize"), gauge,
                                        QStringLiteral("2"), QStringLiteral("small.png")});
  QCOMPARE(run.status, 0);
  const Bytes resized = readBytes(gauge);
  const auto channel = io::memoryChannel(resized);
  const Result<pe::ResourceTable> table = pe::readResourceTable(*channel);
  QVERIFY(table);
  std::vector<uint32_t> sizes;
  for (const pe::Resource& r : table->resources) sizes.push_back(r.size);
  QCOMPARE(sizes, (std::vector<uint32_t>{40 + 1024 + 128 * 96, 40 + 1024 + 16 * 8,
                                         static_cast<uint32_t>(built.bitmaps[2].size())}));
  QVERIFY(std::equal(mingwgauge::kOverlay.rbegin(), mingwgauge::kOverlay.rend(), resized.rbegin()));

  // The 24-bit bitmap, by its id.
  picture(QStringLiteral("true.png"), 81, 61);
  run = dialpix(dir.path(), QStringList{QStringLiteral("import"), QStringLiteral("--resize"), gauge,
                                        QStringLiteral("id:3"), QStringLiteral("true.png")});
  QCOMPARE(run.status, 0);
  QVERIFY2(run.err.contains("bitmap id:3: made 81 x 61 (it was 40 x 30)."), run.err.constData());

  run = dialpix(dir.path(), {QStringLiteral("undo"), QStringLiteral("--steps"), QStringLiteral("3"), gauge});
  QCOMPARE(run.status, 0);
  QVERIFY(readBytes(gauge) == built.file);

  // The demo gauges are no modules: their bitmaps lie loose.
  const QString loose = dir.filePath(QStringLiteral("loose.gau"));
  QVERIFY(QFile::copy(QDir(demo_).filePath(QStringLiteral("lamps.gau")), loose));
  run = dialpix(dir.path(), {QStringLiteral("import"), QStringLiteral("--resize"), loose,
                             QStringLiteral("1"), QStringLiteral("big.png")});
  QCOMPARE(run.status, 1);
  QVERIFY2(run.err.contains("no bitmap resource of its own"), run.err.constData());
}

void tst_cli::importThenExportRoundTrip() {
  QTemporaryDir dir;
  const QString gauge = dir.filePath(QStringLiteral("g.gau"));
  gaugebuild::Gauge g;
  g.filler(40, 5);
  g.plant(gaugebuild::patterned(5, 3, 16));
  g.filler(40, 6);
  writeBytes(gauge, g.bytes());
  const QStringList exportOne{QStringLiteral("export"), QStringLiteral("--force"), gauge,
                              QStringLiteral("1")};
  QCOMPARE(dialpix(dir.path(), exportOne).status, 0);

  // Edit the pixels as a paint program would, keeping the layout.
  Bytes edited = readBytes(dir.filePath(QStringLiteral("g-1.bmp")));
  for (size_t i = 1078; i < edited.size(); ++i)
    edited[i] = static_cast<uint8_t>(15 - edited[i] % 16);
  writeBytes(dir.filePath(QStringLiteral("edited.bmp")), edited);
  QCOMPARE(dialpix(dir.path(), {QStringLiteral("import"), gauge, QStringLiteral("1"),
                                QStringLiteral("edited.bmp")})
               .status,
           0);
  QCOMPARE(dialpix(dir.path(), exportOne).status, 0);
  QVERIFY(readBytes(dir.filePath(QStringLiteral("g-1.bmp"))) == edited);
  // Only pixel bytes changed: the header, palette and the bytes around are as built.
  const Bytes after = readBytes(gauge);
  QCOMPARE(after.size(), g.bytes().size());
  const auto firstPixel = static_cast<size_t>(40 + 40 + 16 * 4);
  QVERIFY(std::equal(after.begin(), after.begin() + firstPixel, g.bytes().begin()));
  QVERIFY(std::equal(after.begin() + firstPixel + 24, after.end(),
                     g.bytes().begin() + firstPixel + 24));
}

// A picture from a paint program: rendered to PNG, imported back unchanged, then
// with a colour the palette lacks.
void tst_cli::importOfAPngMapsOntoThePalette() {
  QTemporaryDir dir;
  gaugebuild::Gauge g;
  g.filler(30, 5);
  g.plant(gaugebuild::patterned(5, 3, 0));  // 256 distinct colours; pixels 0 to 23
  g.filler(30, 6);
  const QString gauge = dir.filePath(QStringLiteral("g.gau"));
  writeBytes(gauge, g.bytes());
  QCOMPARE(dialpix(dir.path(), {QStringLiteral("render"), gauge, QStringLiteral("1"),
                                QStringLiteral("-o"), QStringLiteral("p.png")})
               .status,
           0);
  const QStringList importPng{QStringLiteral("import"), gauge, QStringLiteral("1"),
                              QStringLiteral("p.png")};
  Run run = dialpix(dir.path(), importPng);
  QCOMPARE(run.status, 0);
  QVERIFY2(run.err.isEmpty(), run.err.constData());
  QVERIFY(readBytes(gauge) == g.bytes());

  // The render is an indexed PNG; a paint program saves it in colours.
  QImage picture =
      QImage(dir.filePath(QStringLiteral("p.png"))).convertToFormat(QImage::Format_RGB32);
  picture.setPixel(0, 0, qRgb(1, 2, 3));
  QVERIFY(picture.save(dir.filePath(QStringLiteral("p.png"))));
  run = dialpix(dir.path(), importPng);
  QCOMPARE(run.status, 0);
  QVERIFY2(run.err.contains("1 pixel of p.png, in 1 colour"), run.err.constData());
  // Only the top left pixel changed: stored rows run bottom up, 8 bytes each.
  const Bytes& before = g.bytes();
  const size_t topLeft = 30 + 40 + 4 * 256 + 2 * 8;
  Bytes after = readBytes(gauge);
  QCOMPARE(after.size(), before.size());
  QVERIFY(after[topLeft] != before[topLeft]);
  after[topLeft] = before[topLeft];
  QVERIFY(after == before);
}

// The same patch by the command line and by the core the windows call.
void tst_cli::patchesEqualTheWindows_data() {
  QTest::addColumn<QStringList>("args");
  QTest::addColumn<int>("patch");       // 0 Make Transparent, 1 Make Zero Trnsprt, 2 Send
  QTest::addColumn<QList<int>>("rgb");  // Send: the bytes of entry 3 set, -1 where none
  QTest::newRow("transparent") << QStringList{"transparent"} << 0 << QList<int>{};
  QTest::newRow("zero") << QStringList{"zero"} << 1 << QList<int>{};
  QTest::newRow("palette red") << QStringList{"palette", "--red", "11"} << 2
                               << QList<int>{11, -1, -1};
  QTest::newRow("palette green") << QStringList{"palette", "--green", "77"} << 2
                                 << QList<int>{-1, 77, -1};
  QTest::newRow("palette blue") << QStringList{"palette", "--blue", "255"} << 2
                                << QList<int>{-1, -1, 255};
  QTest::newRow("palette all three")
      << QStringList{"palette", "--blue", "3", "--red", "1", "--green", "2"} << 2
      << QList<int>{1, 2, 3};
}

void tst_cli::patchesEqualTheWindows() {
  QFETCH(QStringList, args);
  QFETCH(int, patch);
  QFETCH(QList<int>, rgb);
  QTemporaryDir dir;
  gaugebuild::Gauge g;
  g.filler(25, 7);
  g.plant(gaugebuild::patterned(6, 4, 16, 9));
  g.filler(20, 8);
  const int32_t pos = g.plant(gaugebuild::patterned(7, 5, 0, 3));
  g.filler(30, 9);
  const QString gauge = dir.filePath(QStringLiteral("p.gau"));
  writeBytes(gauge, g.bytes());

  // Bitmap 2; the palette entry 3 goes after the number.
  args.insert(1, gauge);
  args.insert(2, QStringLiteral("2"));
  if (patch == 2) args.insert(3, QStringLiteral("3"));
  const Run run = dialpix(dir.path(), args);
  QCOMPARE(run.status, 0);

  auto core = io::memoryChannel(g.bytes());
  if (patch == 0) QVERIFY(gau::makeTransparent(*core, pos));
  if (patch == 1) QVERIFY(gau::makeZeroTransparent(*core, pos));
  const gau::ColorChannel channels[] = {gau::ColorChannel::Red, gau::ColorChannel::Green,
                                        gau::ColorChannel::Blue};
  for (qsizetype c = 0; c < rgb.size(); ++c)
    if (rgb[c] >= 0)
      QVERIFY(gau::writeEntryByte(*core, pos, 3, channels[c], static_cast<uint8_t>(rgb[c])));
  QVERIFY(core->bytes() != g.bytes());
  QVERIFY(readBytes(gauge) == core->bytes());
}

void tst_cli::undoTakesBackEachCommand_data() {
  QTest::addColumn<QStringList>("args");  // after GAUGE and N
  QTest::newRow("import") << QStringList{QStringLiteral("edited.bmp")};
  QTest::newRow("transparent") << QStringList{};
  QTest::newRow("zero") << QStringList{};
  QTest::newRow("palette") << QStringList{QStringLiteral("3"), QStringLiteral("--red"),
                                          QStringLiteral("9"), QStringLiteral("--blue"),
                                          QStringLiteral("8")};
}

void tst_cli::undoTakesBackEachCommand() {
  QFETCH(QStringList, args);
  QTemporaryDir dir;
  gaugebuild::Gauge g;
  g.filler(40, 5);
  g.plant(gaugebuild::patterned(6, 3, 16, 1));
  g.filler(40, 6);
  const QString gauge = dir.filePath(QStringLiteral("g.gau"));
  writeBytes(gauge, g.bytes());
  QCOMPARE(dialpix(dir.path(), {QStringLiteral("export"), gauge, QStringLiteral("1")}).status, 0);
  Bytes edited = readBytes(dir.filePath(QStringLiteral("g-1.bmp")));
  for (size_t i = 1078; i < edited.size(); ++i) edited[i] ^= 1;
  writeBytes(dir.filePath(QStringLiteral("edited.bmp")), edited);

  const QString word = QString::fromLatin1(QTest::currentDataTag());
  const QStringList change = QStringList{word, gauge, QStringLiteral("1")} + args;
  QCOMPARE(dialpix(dir.path(), change).status, 0);
  QVERIFY(readBytes(gauge) != g.bytes());
  const int steps = 1;  // one command, one change, even for two palette bytes
  const Run undo = dialpix(dir.path(), {QStringLiteral("undo"), gauge});
  QVERIFY2(undo.status == 0, undo.err.constData());
  QVERIFY2(undo.err.contains("was undone"), undo.err.constData());
  QVERIFY(readBytes(gauge) == g.bytes());
  QVERIFY(!QFile::exists(gauge + QStringLiteral("-journal")));
  QCOMPARE(dialpix(dir.path(),
                   {QStringLiteral("undo"), QStringLiteral("--steps"), QStringLiteral("0"), gauge})
               .status,
           2);

  const Run listed =
      dialpix(dir.path(), {QStringLiteral("history"), QStringLiteral("--json"), gauge});
  const QJsonArray kept =
      QJsonDocument::fromJson(listed.out).object()[QStringLiteral("changes")].toArray();
  QCOMPARE(kept.size(), 2 * steps);
  QCOMPARE(kept.last()[QStringLiteral("command")].toString(), word);
  QCOMPARE(kept.last()[QStringLiteral("bitmap")].toInt(), 1);

  // Changed behind dialpix's back: the undo of the undo is refused, the file kept.
  Bytes outside = g.bytes();
  outside[40 + 40 + 16 * 4] ^= 0x80;                                           // the first pixel
  if (word == QLatin1String("palette")) outside[40 + 40 + 3 * 4 + 2] ^= 0x80;  // its red
  if (word == QLatin1String("zero")) outside[40 + 40 + 1] ^= 0x80;  // entry 0's green, zeroed
  writeBytes(gauge, outside);
  const Run refused = dialpix(dir.path(), {QStringLiteral("undo"), gauge});
  QCOMPARE(refused.status, 1);
  QVERIFY2(refused.err.contains("no longer holds"), refused.err.constData());
  QVERIFY(readBytes(gauge) == outside);
}

// A module laid out as the linker lays out a gauge: a bitmap resource, an
// icon, a named bitmap, a bitmap inside an RCDATA resource, and one after the
// last section. Each hit's resource and role must be what the layout put there.
void tst_cli::listSaysWhereEachBitmapLies() {
  const auto dib =
      [](int32_t w) {  // a BITMAPINFOHEADER, palette and pixels, as a resource holds it
        gaugebuild::Gauge g;
        g.plant(gaugebuild::patterned(w, 2, 2));
        return g.bytes();
      };
  std::vector<uint8_t> inside(16, 0xEE);
  const std::vector<uint8_t> picture = dib(3);
  inside.insert(inside.end(), picture.begin(), picture.end());
  // A 24-bit 2 x 1 bitmap and a 4-bit run-length one: no hits, listed by --all.
  std::vector<uint8_t> deep(40 + 8, 0), rle(40 + 16 * 4 + 4, 0);
  for (auto [header, w, bits, compression] :
       {std::tuple(&deep, 2, 24, 0), std::tuple(&rle, 5, 4, 2)}) {
    io::putLe32(header->data(), 40);
    io::putLe32(header->data() + 4, static_cast<uint32_t>(w));
    io::putLe32(header->data() + 8, 1);
    (*header)[12] = 1;
    (*header)[14] = static_cast<uint8_t>(bits);
    io::putLe32(header->data() + 16, static_cast<uint32_t>(compression));
  }
  const pebuild::Layout module = pebuild::build({{{"", 2}, {"", 4096}, 1033, dib(4)},
                                                 {{"", 3}, {"", 3}, 1033, dib(5)},
                                                 {{"", 2}, {"NEEDLE", 0}, 1031, dib(6)},
                                                 {{"", 10}, {"", 2}, 1033, inside},
                                                 {{"", 2}, {"", 0x1101}, 1033, deep},
                                                 {{"", 2}, {"", 0x1102}, 1033, rle}});
  gaugebuild::Gauge tail;
  tail.plant(gaugebuild::patterned(7, 2, 2));
  Bytes file = module.bytes;
  file.insert(file.end(), tail.bytes().begin(), tail.bytes().end());
  QTemporaryDir dir;
  writeBytes(dir.filePath(QStringLiteral("m.gau")), file);

  // By the position of its header: what the last column must say.
  std::map<int, QByteArray> expected{
      {static_cast<int>(module.dataAt[0]) + 13, "bitmap 4096"},
      {static_cast<int>(module.dataAt[1]) + 13, "icon 3"},
      {static_cast<int>(module.dataAt[2]) + 13, "bitmap NEEDLE"},
      {static_cast<int>(module.dataAt[3]) + 16 + 13, "inside rcdata 2"},
      {static_cast<int>(module.bytes.size()) + 13, "loose"}};
  const Run text = dialpix(dir.path(), {QStringLiteral("list"), QStringLiteral("m.gau")});
  QCOMPARE(text.status, 0);
  const QList<QByteArray> lines = text.out.trimmed().split('\n');
  QCOMPARE(lines.size(), 5);
  for (const QByteArray& line : lines) {
    const QList<QByteArray> f = line.split('\t');
    QCOMPARE(f.last(), expected[f[2].toInt()]);
  }
  const Run json = dialpix(
      dir.path(), {QStringLiteral("list"), QStringLiteral("--json"), QStringLiteral("m.gau")});
  QCOMPARE(QJsonDocument::fromJson(json.out).toJson(), json.out);  // exactly as Qt writes it
  const QJsonArray hits =
      QJsonDocument::fromJson(json.out).array()[0].toObject()[QStringLiteral("bitmaps")].toArray();
  for (const QJsonValue& h : hits) {
    const QByteArray& where = expected[h[QStringLiteral("position")].toInt()];
    const QJsonValue r = h[QStringLiteral("resource")];
    QCOMPARE(h[QStringLiteral("role")].toString().toUtf8(), where.split(' ').first());
    if (where == "loose") QVERIFY(r.isNull());
    if (where == "bitmap NEEDLE") {
      QCOMPARE(r[QStringLiteral("name")].toString(), QStringLiteral("NEEDLE"));
      QCOMPARE(r[QStringLiteral("language")].toInt(), 1031);
      QCOMPARE(r[QStringLiteral("type")].toInt(), 2);
    }
    if (where == "bitmap 4096") QCOMPARE(r[QStringLiteral("id")].toInt(), 4096);
    if (where == "inside rcdata 2") QCOMPARE(r[QStringLiteral("type")].toInt(), 10);
  }
  // The other depths, by id, only with --all.
  const Run all = dialpix(
      dir.path(), {QStringLiteral("list"), QStringLiteral("--all"), QStringLiteral("m.gau")});
  const QList<QByteArray> more = all.out.trimmed().split('\n').mid(5);
  QCOMPARE(more, (QList<QByteArray>{"m.gau\tid:4353\t" + QByteArray::number(module.dataAt[4] + 13) +
                                        "\t2x1\t24-bit\tbitmap 4353",
                                    "m.gau\tid:4354\t" + QByteArray::number(module.dataAt[5] + 13) +
                                        "\t5x1\t4-bit rle4\tbitmap 4354"}));
  const Run allJson = dialpix(dir.path(), {QStringLiteral("list"), QStringLiteral("--all"),
                                           QStringLiteral("--json"), QStringLiteral("m.gau")});
  QCOMPARE(QJsonDocument::fromJson(allJson.out).toJson(), allJson.out);
  const QJsonArray other = QJsonDocument::fromJson(allJson.out)
                               .array()[0]
                               .toObject()[QStringLiteral("other_bitmaps")]
                               .toArray();
  QCOMPARE(other.size(), 2);
  QCOMPARE(other[0][QStringLiteral("bits")].toInt(), 24);
  QCOMPARE(other[1][QStringLiteral("compression")].toInt(), 2);
  QCOMPARE(other[1][QStringLiteral("resource")][QStringLiteral("id")].toInt(), 0x1102);
  QVERIFY(!QJsonDocument::fromJson(json.out).array()[0].toObject().contains(
      QStringLiteral("other_bitmaps")));
}

// Gauge and two pictures for the import races: a 1022 x 256 bitmap (padded
// rows) and two PNG edits of it, decoded and mapped onto its palette.
struct Race {
  QTemporaryDir dir;
  QString gauge = dir.filePath(QStringLiteral("race.gau"));
  Bytes before, afterA, afterB;

  Race() {
    gaugebuild::Gauge g;
    g.filler(64, 3);
    g.plant(gaugebuild::patterned(1022, 256, 0, 7));
    g.filler(64, 4);
    before = g.bytes();
    writeBytes(gauge, before);
    const QString rendered = dir.filePath(QStringLiteral("r.png"));
    dialpix(dir.path(),
            {QStringLiteral("render"), gauge, QStringLiteral("1"), QStringLiteral("-o"), rendered});
    for (const char c : {'a', 'b'}) {
      QImage picture(rendered);
      if (c == 'a') picture.mirror(true, false);
      if (c == 'b') picture.mirror(false, true);
      picture.save(dir.filePath(QStringLiteral("%1.png").arg(QLatin1Char(c))));
      dialpix(dir.path(), importOf(c));
      (c == 'a' ? afterA : afterB) = readBytes(gauge);
      writeBytes(gauge, before);
    }
  }
  QStringList importOf(char c) const {
    return {QStringLiteral("import"), gauge, QStringLiteral("1"),
            QStringLiteral("%1.png").arg(QLatin1Char(c))};
  }
};

// Bounded rounds: at most `rounds`, and no more once `seconds` have passed.
bool anotherRound(int round, int rounds, const QElapsedTimer& clock, int seconds) {
  return round < rounds && clock.elapsed() < seconds * 1000;
}

void tst_cli::killedImportsLeaveBeforeOrAfter() {
  Race race;
  QVERIFY(race.afterA != race.before);
  QElapsedTimer clock;
  clock.start();
  const Run timed = dialpix(race.dir.path(), race.importOf('a'));
  QCOMPARE(timed.status, 0);
  const qint64 runMs = std::max<qint64>(clock.elapsed(), 20);
  int round = 0, cutOff = 0;
  for (clock.restart(); anotherRound(round, 200, clock, 15); ++round) {
    writeBytes(race.gauge, race.before);
    QProcess p;
    prepare(p, race.dir.path());
    p.start(QStringLiteral(DIALPIX_EXE), race.importOf('a'));
    QVERIFY(p.waitForStarted());
    QThread::usleep(static_cast<unsigned long>(QRandomGenerator::global()->bounded(runMs * 1000)));
    p.kill();  // SIGKILL
    p.waitForFinished();
    cutOff += p.exitStatus() == QProcess::CrashExit;
    // The next open plays a left journal back.
    QCOMPARE(dialpix(race.dir.path(), {QStringLiteral("list"), race.gauge}).status, 0);
    const Bytes now = readBytes(race.gauge);
    QVERIFY2(now == race.before || now == race.afterA, qPrintable(QString::number(round)));
    QVERIFY(!QFile::exists(race.gauge + QStringLiteral("-journal")));
  }
  qInfo("%d rounds, %d imports killed", round, cutOff);
  QVERIFY(cutOff > 0);
}

void tst_cli::concurrentImportsNeverMix() {
  Race race;
  QElapsedTimer clock;
  clock.start();
  int round = 0;
  for (; anotherRound(round, 150, clock, 15); ++round) {
    writeBytes(race.gauge, race.before);
    QProcess a, b;
    for (QProcess* p : {&a, &b}) prepare(*p, race.dir.path());
    a.start(QStringLiteral(DIALPIX_EXE), race.importOf('a'));
    b.start(QStringLiteral(DIALPIX_EXE), race.importOf('b'));
    for (QProcess* p : {&a, &b}) {
      QVERIFY(p->waitForFinished(30000));
      const QByteArray err = p->readAllStandardError();
      QVERIFY2(
          p->exitCode() == 0 || err.contains("Another dialpix is changing"),
          qPrintable(
              QStringLiteral("status %1: %2").arg(p->exitCode()).arg(QString::fromLocal8Bit(err))));
    }
    const Bytes now = readBytes(race.gauge);
    QVERIFY2(now == race.afterA || now == race.afterB, qPrintable(QString::number(round)));
  }
  qInfo("%d rounds", round);
}

// The palette as the palette tool shows it, one line an entry, no more.
void tst_cli::paletteListsEveryEntryOnce_data() {
  QTest::addColumn<QStringList>("entry");
  QTest::newRow("all") << QStringList{};
  QTest::newRow("entry 15") << QStringList{"15"};
}

void tst_cli::paletteListsEveryEntryOnce() {
  QFETCH(QStringList, entry);
  QTemporaryDir dir;
  gaugebuild::Gauge g;
  g.filler(25, 7);
  const int32_t pos = g.plant(gaugebuild::patterned(6, 4, 16, 9));
  writeBytes(dir.filePath(QStringLiteral("p.gau")), g.bytes());
  const Run run = dialpix(dir.path(), QStringList{"palette", "p.gau", "1"} + entry);
  QCOMPARE(run.status, 0);
  auto core = io::memoryChannel(g.bytes());
  QByteArray want;
  for (int n = entry.isEmpty() ? 0 : 15; n < 16; ++n) {
    const Result<gau::Entry> e = gau::readEntry(*core, pos, n);
    QVERIFY(e);
    want += QByteArray::number(n) + '\t' + QByteArray::number(e->red) + '\t' +
            QByteArray::number(e->green) + '\t' + QByteArray::number(e->blue) + '\n';
  }
  QCOMPARE(run.out, want);
}

void tst_cli::statuses_data() {
  QTest::addColumn<QStringList>("args");
  QTest::addColumn<int>("status");
  QTest::addColumn<QString>("err");  // a part of standard error; empty: nothing there
  const QString g = QStringLiteral("g.gau");
  const auto row = [](const char* name, const QStringList& args, int status, const char* err) {
    QTest::newRow(name) << args << status << QString::fromUtf8(err);
  };
  row("version", {"--version"}, 0, "");
  row("help of a command", {"export", "--help"}, 0, "");
  row("list without a path", {"list"}, 2, "dialpix list:");
  row("list of a folder without gauge files", {"list", "empty"}, 0,
      "empty: It holds no gauge file");
  row("unknown option", {"zero", "--bogus", g, "1"}, 2, "bogus");
  row("an option without its value", {"palette", g, "1", "2", "--red"}, 2, "after '--red'");
  row("control characters in an argument", {"zero", "--b\033]0;x\nogus", g, "1"}, 2,
      "b\\033]0;x\\nogus");
  row("number is not one", {"zero", g, "x"}, 2, "bitmap number 'x' is not a whole number");
  row("bitmap 0", {"transparent", g, "0"}, 1, "g.gau: bitmap 0:");
  row("bitmap -1", {"transparent", g, "-1"}, 1, "g.gau: bitmap -1: The file holds bitmaps 1 to 2");
  row("pixels past the end of the file", {"transparent", "cut.gau", "1"}, 1,
      "run past the end of the file");
  row("bitmap past the count", {"export", g, "1", "3"}, 1,
      "g.gau: bitmap 3: The file holds bitmaps 1 to 2");
  // Loose numbers: only whole numbers, written as such, and nothing is done.
  row("typo in a number exports nothing", {"export", "--force", g, "3x"}, 2, "'3x' is neither");
  row("3.0 is no bitmap number", {"export", "--force", g, "1", "3.0"}, 2, "'3.0' is neither");
  row("3. is no bitmap number", {"transparent", g, "1."}, 2, "bitmap number '1.'");
  row("almost 3 is no bitmap number", {"import", g, "1.9999999999999999", "g-2.bmp"}, 2,
      "bitmap number '1.9999999999999999' is not a whole number");
  row("a palette value with a fraction", {"palette", g, "1", "2", "--red", "7.5"}, 2,
      "--red '7.5' is not a whole number");
  row("a palette entry with a fraction", {"palette", g, "1", "2.0"}, 2, "palette entry '2.0'");
  row("file not there", {"list", g, "no.gau"}, 1, "no.gau: It cannot be opened");
  row("export over an existing file", {"export", g, "2"}, 1, "--force");
  row("export into a file", {"export", "-o", "g-2.bmp", g, "1"}, 1, "g-2.bmp: It is not a folder");
  row("one gauge named twice is exported once", {"export", g, "1", "./g.gau", "1"}, 0, "");
  row("--force replaces it", {"export", "--force", g, "2"}, 0, "");
  row("palette entry past the palette", {"palette", g, "1", "16", "--red", "1"}, 1, "no entry 16");
  row("palette value not a byte", {"palette", g, "1", "2", "--blue", "256"}, 1,
      "256 is not 0 to 255");
  row("import of a picture of another size", {"import", g, "1", "g-2.bmp"}, 1,
      "import of g-2.bmp was not done");
  // What a file without write permission is, for root as for anyone: not written.
  row("transparent on a read-only gauge", {"transparent", "ro.gau", "1"}, 1,
      "the gauge file ro.gau is read-only");
  row("zero on a read-only gauge", {"zero", "ro.gau", "1"}, 1,
      "the gauge file ro.gau is read-only");
  row("palette on a read-only gauge", {"palette", "ro.gau", "1", "2", "--red", "9"}, 1,
      "the gauge file ro.gau is read-only");
  row("import into a read-only gauge", {"import", "ro.gau", "1", "g-2.bmp"}, 1,
      "the gauge file ro.gau is read-only");
  // render -o replaces a file as export does, or refuses.
  row("render over a read-only file", {"render", g, "1", "-o", "ro.png", "--force"}, 1,
      "ro.png: It is read-only");
  row("render over its own gauge", {"render", g, "1", "-o", g, "--force"}, 1,
      "the file being read");
  row("render into a folder", {"render", g, "1", "-o", "empty", "--force"}, 1,
      "It is a folder; name a file in it. Bitmap 1");
  // No command word: the windows, decided before Qt starts.
  row("a word that is no command", {"lsit", "x.gau"}, 2,
      "'lsit' is not a command, file or folder; did you mean 'list'?");
  row("a word alone", {"no-such-word"}, 2, "'no-such-word' is not a command, file or folder");
  row("a word with control characters", {"l\033]0;x\nst"}, 2, "'l\\033]0;x\\nst' is not");
  row("an option that is none", {"--bogus"}, 2, "'--bogus' is not a command");
}

void tst_cli::statuses() {
  QFETCH(QStringList, args);
  QFETCH(int, status);
  QFETCH(QString, err);
  QTemporaryDir dir;
  makeStatusFolder(dir.path());
  checkStatus(dir.path(), args, status, err);
}

void tst_cli::unreadableGaugeAmongReadable() {
  if (io::thisSystem() != io::System::Posix) QSKIP("a link to nothing is made on POSIX only");
  QTemporaryDir dir;
  gaugebuild::Gauge g;
  g.filler(20, 4);
  g.plant(gaugebuild::patterned(3, 3, 2));
  QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("panel/sub")));
  for (const char* name : {"panel/a.gau", "panel/C.GAU", "panel/sub/d.Gau", "panel/notes.txt"})
    writeBytes(dir.filePath(QString::fromLatin1(name)), g.bytes());
  // An entry that names a gauge file nobody can read: a link to nothing.
  QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone.gau")),
                      dir.filePath(QStringLiteral("panel/b.gau"))));

  const Run run =
      dialpix(dir.path(), {QStringLiteral("list"), QStringLiteral("-r"), QStringLiteral("panel")});
  QCOMPARE(run.status, 1);
  QCOMPARE(run.out, QByteArray("panel/a.gau\t1\t33\t3x3\t2\tloose\n"
                               "panel/C.GAU\t1\t33\t3x3\t2\tloose\n"
                               "panel/sub/d.Gau\t1\t33\t3x3\t2\tloose\n"));
  QVERIFY2(run.err.startsWith("dialpix: panel/b.gau: It cannot be opened"), run.err.constData());
}

// Names no plain ASCII holds, as each system keeps them: on POSIX the Latin-1
// bytes of a gauge from an old Windows archive (no UTF-8), as a shell hands them
// over; on Windows UTF-16 names, in the code page and outside it, as the
// command line carries them.
void tst_cli::foreignNamesAreListedAndOpened_data() {
  QTest::addColumn<QByteArray>("stem");  // the name's bytes: as the disk holds them on POSIX
  QTest::addColumn<io::System>("onlyOn");
  QTest::newRow("Latin-1 bytes (POSIX)") << QByteArray("ALT\xCDMETRO") << io::System::Posix;
  QTest::newRow("Latin-1 letter (Windows)")
      << QByteArray("ALT\xC3\x8DMETRO") << io::System::Windows;
  QTest::newRow("outside the code page (Windows)")
      << QByteArray("\xCE\xA9\xCE\xBB-\xE6\x97\xA5") << io::System::Windows;
}

void tst_cli::foreignNamesAreListedAndOpened() {
  QFETCH(QByteArray, stem);
  QFETCH(io::System, onlyOn);
  if (onlyOn != io::thisSystem()) QSKIP("this row holds on the other system");
  ByteNamedDir dir;
  gaugebuild::Gauge g;
  g.filler(20, 4);
  g.plant(gaugebuild::patterned(3, 3, 2));
  const std::string name = stem.toStdString() + ".GAU";
  QVERIFY(g.writeTo(io::nameOf(io::pathOf(dir.path().toStdString()) / io::pathOf(name))));

  const Run list = dialpix(dir.path(), {QStringLiteral("list"), QStringLiteral(".")});
  QCOMPARE(list.status, 0);
  const std::string listed = QDir::toNativeSeparators(QStringLiteral("./")).toStdString() + name;
  QCOMPARE(list.out, QByteArray::fromStdString(listed + "\t1\t33\t3x3\t2\tloose\n"));
  QProcess p;
  p.setWorkingDirectory(dir.path());
  if (onlyOn == io::System::Posix)  // the name as a shell hands it over: bytes
    p.start(QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"),
             QStringLiteral("exec \"$0\" export \"$(printf 'ALT\\315METRO.GAU')\""),
             QStringLiteral(DIALPIX_EXE)});
  else
    p.start(QStringLiteral(DIALPIX_EXE), {QStringLiteral("export"), QString::fromStdString(name)});
  QVERIFY(p.waitForFinished(60000));
  QCOMPARE(p.exitCode(), 0);
  QVERIFY(std::filesystem::exists(io::pathOf(dir.path().toStdString()) /
                                  io::pathOf(stem.toStdString() + "-1.bmp")));
}
// The width and height of a hit lie 8 and 4 bytes before it: in the file from
// a hit at byte 9 on, before it at byte 8.
void tst_cli::sizesOfHitsNearTheStart_data() {
  QTest::addColumn<int>("cut");  // bytes taken off the front of a file that starts with a bitmap
  QTest::addColumn<QByteArray>("line");
  QTest::newRow("at byte 9") << 4 << QByteArray("h.gau\t1\t9\t3x2\t2\tloose\n");
  QTest::newRow("at byte 8") << 5 << QByteArray("h.gau\t1\t8\t?x?\t2\tloose\n");
}

void tst_cli::sizesOfHitsNearTheStart() {
  QFETCH(int, cut);
  QFETCH(QByteArray, line);
  QTemporaryDir dir;
  gaugebuild::Gauge g;
  g.plant(gaugebuild::patterned(3, 2, 2));
  Bytes b = g.bytes();
  b.erase(b.begin(), b.begin() + cut);
  writeBytes(dir.filePath(QStringLiteral("h.gau")), b);
  const Run run = dialpix(dir.path(), {QStringLiteral("list"), QStringLiteral("h.gau")});
  QCOMPARE(run.status, 0);
  QCOMPARE(run.out, line);
}

void tst_cli::renderShowsOwnColours() {
  QTemporaryDir dir;
  gaugebuild::Gauge g;
  g.filler(20, 2);
  const gaugebuild::Bitmap b = gaugebuild::patterned(5, 3, 16, 4);
  g.plant(b);
  writeBytes(dir.filePath(QStringLiteral("r.gau")), g.bytes());
  QCOMPARE(dialpix(dir.path(), {QStringLiteral("render"), QStringLiteral("r.gau"),
                                QStringLiteral("1"), QStringLiteral("-o"), QStringLiteral("r.png"),
                                QStringLiteral("--scale"), QStringLiteral("3")})
               .status,
           0);
  const QImage png(dir.filePath(QStringLiteral("r.png")));
  QCOMPARE(png.size(), QSize(15, 9));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) {
      // Stored rows run bottom up; a pixel byte indexes blue, green, red, reserved.
      const uint8_t index = b.pixels[static_cast<size_t>((2 - y) * b.rowBytes() + x)];
      const uint8_t* e = index < 16 ? &b.palette[4 * index] : nullptr;
      const QRgb want = e ? qRgb(e[2], e[1], e[0]) : qRgb(0, 0, 0);
      QCOMPARE(png.pixel(3 * x + 2, 3 * y + 1), want);
    }
}

// A module (an 8-bit and a 24-bit bitmap resource), then a loose hit and one
// too large for a cell.
void tst_cli::sheetShowsEverySmallBitmapPixelForPixel() {
  using testing_support::findBitmap;
  using testing_support::findPicture;
  QTemporaryDir dir;
  gaugebuild::Gauge resource;
  const gaugebuild::Bitmap inModule = gaugebuild::patterned(6, 5, 16, 3);
  resource.plant(inModule);
  gaugebuild::Gauge g;
  g.raw(pebuild::build({{{"", 2}, {"", 4096}, 1033, resource.bytes()},
                        {{"", 2}, {"", 4353}, 1033, testing_support::otherDepthDib(4, 3)}})
            .bytes);
  const gaugebuild::Bitmap loose = gaugebuild::patterned(7, 2, 0, 30);
  const gaugebuild::Bitmap large = gaugebuild::patterned(300, 40, 0, 1);
  g.plant(loose);
  g.filler(9);
  g.plant(large);
  writeBytes(dir.filePath(QStringLiteral("s.gau")), g.bytes());
  writeBytes(dir.filePath(QStringLiteral("none.gau")), gaugebuild::Gauge().filler(100).bytes());
  const auto sheet = [&dir](const QStringList& more) {
    return dialpix(dir.path(), QStringList{QStringLiteral("sheet")} + more);
  };

  QCOMPARE(sheet({QStringLiteral("s.gau"), QStringLiteral("-o"), QStringLiteral("a.png")}).status, 0);
  const QImage eight(dir.filePath(QStringLiteral("a.png")));
  QVERIFY(findBitmap(eight, inModule));
  QVERIFY(findBitmap(eight, loose));
  QVERIFY(!findBitmap(eight, large));  // scaled into its cell
  const QImage other = testing_support::otherDepthPicture(4, 3);
  QVERIFY(!findPicture(eight, other));

  QCOMPARE(sheet({QStringLiteral("--all"), QStringLiteral("s.gau"), QStringLiteral("-o"),
                  QStringLiteral("all.png")})
               .status,
           0);
  const QImage all(dir.filePath(QStringLiteral("all.png")));
  QVERIFY(findBitmap(all, inModule) && findBitmap(all, loose) && findPicture(all, other));

  // An existing file is kept without --force; a gauge without bitmaps draws nothing.
  const Run kept = sheet({QStringLiteral("s.gau"), QStringLiteral("-o"), QStringLiteral("all.png")});
  QCOMPARE(kept.status, 1);
  QCOMPARE(QImage(dir.filePath(QStringLiteral("all.png"))), all);
  const Run none = sheet({QStringLiteral("none.gau"), QStringLiteral("-o"), QStringLiteral("n.png")});
  QCOMPARE(none.status, 1);
  QVERIFY2(none.err.contains("holds no 8-bit bitmap"), none.err.constData());
  QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("n.png"))));
  QCOMPARE(sheet({QStringLiteral("s.gau")}).status, 2);  // no -o
}

namespace {

// A bitmap resource as a compiler keeps it: a 40-byte header, `colours`
// palette entries, then rows of `bits` a pixel (top down for a negative height).
Bytes dibResource(int32_t w, int32_t h, int bits, int colours, uint32_t compression = 0,
                  uint32_t header = 40) {
  const int64_t stride = (int64_t{w} * bits + 31) / 32 * 4;
  Bytes d(header + 4 * static_cast<size_t>(colours) + static_cast<size_t>(stride * std::abs(h)), 0);
  io::putLe32(d.data(), header);
  io::putLe32(d.data() + 4, static_cast<uint32_t>(w));
  io::putLe32(d.data() + 8, static_cast<uint32_t>(h));
  d[12] = 1;
  d[14] = static_cast<uint8_t>(bits);
  io::putLe32(d.data() + 16, compression);
  io::putLe32(d.data() + 32, static_cast<uint32_t>(colours));
  for (size_t i = header; i < d.size(); ++i) d[i] = static_cast<uint8_t>(i * 37 + 11);
  return d;
}

}  // namespace

// Bitmap resources of other depths, named by id: exported as they are, drawn,
// imported exactly (24 and 32 bits) or onto their palette (4 bits), made
// transparent, undone; and ids that name no one bitmap refused as usage errors.
void tst_cli::bitmapsOfOtherDepthsById() {
  gaugebuild::Gauge eight;
  eight.plant(gaugebuild::patterned(4, 2, 2));
  const Bytes deep = dibResource(3, 2, 24, 0), four = dibResource(5, 2, 4, 16),
              top = dibResource(2, -2, 32, 0),
              v5 = dibResource(3, 1, 8, 2, 0, 124);  // an 8-bit hit the 8-bit tools misread
  Bytes rle = dibResource(4, 1, 4, 16, 2);
  const uint8_t runs[] = {4, 0x12, 0, 1};  // four pixels 1, 2, 1, 2; the end
  std::copy(std::begin(runs), std::end(runs), rle.end() - 4);
  const pebuild::Layout module = pebuild::build({{{"", 2}, {"", 4096}, 1033, eight.bytes()},
                                                 {{"", 2}, {"", 0x1101}, 1033, deep},
                                                 {{"", 2}, {"", 0x1102}, 1033, four},
                                                 {{"", 2}, {"", 0x1103}, 1033, rle},
                                                 {{"", 2}, {"", 0x1104}, 1033, top},
                                                 {{"", 2}, {"", 0x2000}, 1031, deep},
                                                 {{"", 2}, {"", 0x2000}, 1033, deep},
                                                 {{"", 2}, {"", 0x1105}, 1033, v5}});
  QTemporaryDir dir;
  const QString gauge = dir.filePath(QStringLiteral("m.gau"));
  writeBytes(gauge, module.bytes);
  const auto run = [&dir](QStringList args) { return dialpix(dir.path(), args); };
  const auto resourceNow = [&](size_t k, size_t size) {
    const Bytes now = readBytes(gauge);
    return Bytes(now.begin() + module.dataAt[k], now.begin() + module.dataAt[k] + size);
  };

  // The export: a file header, then the resource's bytes as they are.
  QCOMPARE(run({"export", "m.gau", "id:0x1101", "id:4096", "1"}).status, 0);
  Bytes bmp = readBytes(dir.filePath(QStringLiteral("m-id4353.bmp")));
  QCOMPARE(Bytes(bmp.begin() + 14, bmp.end()), deep);
  QCOMPARE(io::le32(&bmp[10]), 14 + 40);
  QCOMPARE(readBytes(dir.filePath(QStringLiteral("m-id4096.bmp"))),
           readBytes(dir.filePath(QStringLiteral("m-1.bmp"))));  // one bitmap, two names
  const QImage exported(dir.filePath(QStringLiteral("m-id4353.bmp")));
  QCOMPARE(exported.size(), QSize(3, 2));

  // The drawing is what an outside reader sees in the exported file.
  QCOMPARE(run({"render", "m.gau", "id:4353", "-o", "r.png"}).status, 0);
  QCOMPARE(QImage(dir.filePath(QStringLiteral("r.png"))).convertToFormat(QImage::Format_RGB32),
           exported.convertToFormat(QImage::Format_RGB32));

  // 24 and 32 bits take a picture's colours exactly, top-down rows included.
  QImage picture(3, 2, QImage::Format_RGB32);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) picture.setPixel(x, y, qRgb(10 * x + 1, 50 * y + 2, 77));
  QVERIFY(picture.save(dir.filePath(QStringLiteral("p.png"))));
  QCOMPARE(run({"import", "m.gau", "id:4353", "p.png"}).status, 0);
  const Bytes after = resourceNow(1, deep.size());
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      const uint8_t* px = &after[40 + static_cast<size_t>((1 - y) * 12 + 3 * x)];  // bottom up
      QCOMPARE(qRgb(px[2], px[1], px[0]), picture.pixel(x, y));
    }
  QCOMPARE(after[40 + 9], deep[40 + 9]);  // row padding kept
  QVERIFY(picture.copy(0, 0, 2, 2).save(dir.filePath(QStringLiteral("q.png"))));
  QCOMPARE(run({"import", "m.gau", "id:0x1104", "q.png"}).status, 0);
  const Bytes topNow = resourceNow(4, top.size());
  QCOMPARE(qRgb(topNow[40 + 2], topNow[40 + 1], topNow[40]), picture.pixel(0, 0));
  QCOMPARE(topNow[40 + 3], top[40 + 3]);  // the fourth byte kept

  // 4 bits: each colour to its palette entry, two pixels a byte, high nibble first.
  QImage indexed(5, 2, QImage::Format_RGB32);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 5; ++x) {
      const uint8_t* e = &four[40 + 4 * static_cast<size_t>((x + 3 * y) % 16)];
      indexed.setPixel(x, y, qRgb(e[2], e[1], e[0]));
    }
  QVERIFY(indexed.save(dir.filePath(QStringLiteral("i.png"))));
  QCOMPARE(run({"import", "m.gau", "id:4354", "i.png"}).status, 0);
  const Bytes fourNow = resourceNow(2, four.size());
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 5; ++x) {
      const uint8_t byte = fourNow[40 + 64 + static_cast<size_t>((1 - y) * 4 + x / 2)];
      const int index = x % 2 == 0 ? byte >> 4 : byte & 15;
      const uint8_t* e = &four[40 + 4 * static_cast<size_t>(index)];
      QCOMPARE(qRgb(e[2], e[1], e[0]), indexed.pixel(x, y));
    }

  QCOMPARE(run({"transparent", "m.gau", "id:4356"}).status, 0);
  const Bytes cleared = resourceNow(4, top.size());
  QVERIFY(std::all_of(cleared.begin() + 40, cleared.end(), [](uint8_t b) { return b == 0; }));
  // By id, a 124-byte header's pixels lie behind it and its palette, as Windows reads them.
  QCOMPARE(run({"transparent", "m.gau", "id:4357"}).status, 0);
  const Bytes v5Now = resourceNow(7, v5.size());
  QCOMPARE(Bytes(v5Now.begin(), v5Now.begin() + 124 + 8), Bytes(v5.begin(), v5.begin() + 124 + 8));
  QVERIFY(std::all_of(v5Now.begin() + 124 + 8, v5Now.end(), [](uint8_t b) { return b == 0; }));
  // A run-length-encoded bitmap is drawn and exported, but takes no pixels.
  QCOMPARE(run({"render", "m.gau", "id:4355", "-o", "rle.png"}).status, 0);
  const QImage runImage(dir.filePath(QStringLiteral("rle.png")));
  QCOMPARE(runImage.size(), QSize(4, 1));
  for (int x = 0; x < 4; ++x) {
    const uint8_t* e = &rle[40 + 4 * static_cast<size_t>(1 + x % 2)];
    QCOMPARE(runImage.pixel(x, 0), qRgb(e[2], e[1], e[0]));
  }
  const Run compressed = run({"import", "m.gau", "id:4355", "p.png"});
  QCOMPARE(compressed.status, 1);
  QVERIFY2(compressed.err.contains("compressed"), compressed.err);

  const Run history = run({"history", "m.gau"});
  QVERIFY2(history.out.contains("\ttransparent\tid:4356\t"), history.out);
  QVERIFY2(history.out.contains("\ttransparent\t2\t4"), history.out);  // the hit keeps its number
  QCOMPARE(run({"undo", "--steps", "5", "m.gau"}).status, 0);
  QCOMPARE(readBytes(gauge), module.bytes);

  // Ids that name no one bitmap: usage errors that say why, nothing written.
  const Run none = run({"transparent", "m.gau", "id:9"});
  QCOMPARE(none.status, 2);
  QVERIFY2(none.err.contains("no bitmap resource id:9"), none.err);
  const Run two = run({"render", "m.gau", "id:0x2000", "-o", "two.png"});
  QCOMPARE(two.status, 2);
  QVERIFY2(two.err.contains("1031, 1033") && two.err.contains("id:8192/1031"), two.err);
  QCOMPARE(run({"render", "m.gau", "id:0x2000/1033", "-o", "two.png"}).status, 0);
  QCOMPARE(run({"zero", "m.gau", "id:"}).status, 2);
  QCOMPARE(readBytes(gauge), module.bytes);
}

QTEST_GUILESS_MAIN(tst_cli)
#include "tst_cli.moc"
