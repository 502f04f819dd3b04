// The command line as a script uses it: the real executable run on gauge files
// built here, without a display, its output compared with the file logic the
// windows call.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <span>

#include "bmp/export.h"
#include "gau/palette.h"
#include "gau/transparency.h"
#include "io/file_channels.h"
#include "io/little_endian.h"
#include "io/system.h"
#include "tests/support/exhaustive_scan.h"
#include "tools/gauge_builder.h"

Q_DECLARE_METATYPE(io::System)

namespace {

using Bytes = std::vector<uint8_t>;

struct Run {
  int status = -1;
  QByteArray out, err;
};

// Runs dialpix in `dir` with no display to reach.
Run dialpix(const QString& dir, const QStringList& args) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(v);
  p.setProcessEnvironment(env);
  p.setWorkingDirectory(dir);
  p.start(QStringLiteral(DIALPIX_EXE), args);
  if (!p.waitForFinished(60000)) return {};
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
          p.readAllStandardError()};
}

Bytes readBytes(const QString& path) { return gaugebuild::readFile(path.toStdString()); }

void writeBytes(const QString& path, const Bytes& b) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(reinterpret_cast<const char*>(b.data()), static_cast<qint64>(b.size()));
}

// A gauge file with `count` small bitmaps of assorted sizes and colour counts.
Bytes manyBitmaps(int count) {
  gaugebuild::Gauge g;
  g.filler(30, 1);
  static const int32_t kColors[] = {0, 16, 2, 200};
  for (int i = 0; i < count; ++i) {
    g.plant(gaugebuild::patterned(1 + i % 7, 1 + i % 5, kColors[i % 4], static_cast<uint8_t>(i)));
    g.filler(static_cast<size_t>(i % 9), static_cast<uint32_t>(i) + 2);
  }
  return g.bytes();
}

// The list lines the scan gives for `file`, the fields read straight from the bytes.
QByteArray expectedList(const QString& shown, const Bytes& b) {
  QByteArray out;
  int n = 0;
  for (const int32_t pos : support::exhaustiveScan(b)) {
    const uint8_t* at = &b[static_cast<size_t>(pos - 1)];
    const int32_t stored = io::le32(at + 20);
    out += shown.toUtf8() + '\t' + QByteArray::number(++n) + '\t' + QByteArray::number(pos) + '\t' +
           QByteArray::number(io::le32(at - 8)) + 'x' + QByteArray::number(io::le32(at - 4)) +
           '\t' + QByteArray::number(stored == 0 ? 256 : stored) + '\n';
  }
  return out;
}

// The .BMP the window's export writes for bitmap `pos` of `gauge`.
Bytes windowExport(const QString& gauge, int32_t pos, const QString& target) {
  auto channel = io::openFileChannel(gauge.toStdString(), io::OpenMode::ReadOnly, nullptr);
  if (!channel || !bmp::exportBitmap(*channel, pos, target.toStdString())) return {};
  return readBytes(target);
}

}  // namespace

class tst_cli : public QObject {
  Q_OBJECT

 private slots:
  void listEqualsScan_data();
  void listEqualsScan();
  void exportEqualsWindowExport();
  void importThenExportRoundTrip();
  void importOfAPngMapsOntoThePalette();
  void patchesEqualTheWindows_data();
  void patchesEqualTheWindows();
  void statuses_data();
  void statuses();
  void unreadableGaugeAmongReadable();
  void foreignNamesAreListedAndOpened_data();
  void foreignNamesAreListedAndOpened();
  void renderShowsOwnColours();

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
  QVERIFY2(run.err.isEmpty(), run.err.constData());

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

  QImage picture(dir.filePath(QStringLiteral("p.png")));
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
  QTest::addColumn<int>("patch");
  QTest::newRow("transparent") << QStringList{QStringLiteral("transparent")} << 0;
  QTest::newRow("zero") << QStringList{QStringLiteral("zero")} << 1;
  QTest::newRow("palette green") << QStringList{QStringLiteral("palette"),
                                                QStringLiteral("--green"), QStringLiteral("77")}
                                 << 2;
}

void tst_cli::patchesEqualTheWindows() {
  QFETCH(QStringList, args);
  QFETCH(int, patch);
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
  if (patch == 2) QVERIFY(gau::writeEntryByte(*core, pos, 3, gau::ColorChannel::Green, 77));
  QVERIFY(core->bytes() != g.bytes());
  QVERIFY(readBytes(gauge) == core->bytes());
}

void tst_cli::statuses_data() {
  QTest::addColumn<QStringList>("args");
  QTest::addColumn<int>("status");
  QTest::addColumn<QString>("err");  // a part of standard error; empty: nothing there
  const QString g = QStringLiteral("g.gau");
  QTest::newRow("version") << QStringList{QStringLiteral("--version")} << 0 << QString();
  QTest::newRow("help of a command")
      << QStringList{QStringLiteral("export"), QStringLiteral("--help")} << 0 << QString();
  QTest::newRow("list without a path")
      << QStringList{QStringLiteral("list")} << 2 << QStringLiteral("dialpix list:");
  QTest::newRow("unknown option") << QStringList{QStringLiteral("zero"), QStringLiteral("--bogus"),
                                                 g, QStringLiteral("1")}
                                  << 2 << QStringLiteral("bogus");
  QTest::newRow("number is not one") << QStringList{QStringLiteral("zero"), g, QStringLiteral("x")}
                                     << 2 << QStringLiteral("x is not a bitmap number");
  QTest::newRow("bitmap 0") << QStringList{QStringLiteral("transparent"), g, QStringLiteral("0")}
                            << 1 << QStringLiteral("g.gau: bitmap 0:");
  QTest::newRow("bitmap past the count")
      << QStringList{QStringLiteral("export"), g, QStringLiteral("1"), QStringLiteral("3")} << 1
      << QStringLiteral("g.gau: bitmap 3: The file holds bitmaps 1 to 2");
  QTest::newRow("file not there") << QStringList{QStringLiteral("list"), g,
                                                 QStringLiteral("no.gau")}
                                  << 1 << QStringLiteral("no.gau: It cannot be opened");
  QTest::newRow("export over an existing file")
      << QStringList{QStringLiteral("export"), g, QStringLiteral("2")} << 1
      << QStringLiteral("--force");
  QTest::newRow("one gauge named twice is exported once")
      << QStringList{QStringLiteral("export"), g, QStringLiteral("1"), QStringLiteral("./g.gau"),
                     QStringLiteral("1")}
      << 0 << QString();
  QTest::newRow("--force replaces it")
      << QStringList{QStringLiteral("export"), QStringLiteral("--force"), g, QStringLiteral("2")}
      << 0 << QString();
  QTest::newRow("palette entry past the palette")
      << QStringList{QStringLiteral("palette"), g,
                     QStringLiteral("1"),       QStringLiteral("16"),
                     QStringLiteral("--red"),   QStringLiteral("1")}
      << 1 << QStringLiteral("no entry 16");
  QTest::newRow("palette value not a byte")
      << QStringList{QStringLiteral("palette"), g,
                     QStringLiteral("1"),       QStringLiteral("2"),
                     QStringLiteral("--blue"),  QStringLiteral("256")}
      << 1 << QStringLiteral("256 is not 0 to 255");
  QTest::newRow("import of a picture of another size")
      << QStringList{QStringLiteral("import"), g, QStringLiteral("1"), QStringLiteral("g-2.bmp")}
      << 1 << QStringLiteral("nothing was written");
}

void tst_cli::statuses() {
  QFETCH(QStringList, args);
  QFETCH(int, status);
  QFETCH(QString, err);
  QTemporaryDir dir;
  gaugebuild::Gauge g;
  g.filler(30, 3);
  g.plant(gaugebuild::patterned(4, 4, 16));
  g.plant(gaugebuild::patterned(9, 2, 16));
  writeBytes(dir.filePath(QStringLiteral("g.gau")), g.bytes());
  const Bytes old = {'o', 'l', 'd'};
  writeBytes(dir.filePath(QStringLiteral("g-2.bmp")), old);

  const Run run = dialpix(dir.path(), args);
  QCOMPARE(run.status, status);
  if (err.isEmpty())
    QVERIFY2(run.err.isEmpty(), run.err.constData());
  else
    QVERIFY2(run.err.contains(err.toUtf8()), run.err.constData());
  if (status != 0) {
    QVERIFY(readBytes(dir.filePath(QStringLiteral("g.gau"))) == g.bytes());
    QVERIFY(readBytes(dir.filePath(QStringLiteral("g-2.bmp"))) == old);
  }
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
  QCOMPARE(run.out, QByteArray("panel/a.gau\t1\t33\t3x3\t2\n"
                               "panel/C.GAU\t1\t33\t3x3\t2\n"
                               "panel/sub/d.Gau\t1\t33\t3x3\t2\n"));
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
  QTemporaryDir dir;
  gaugebuild::Gauge g;
  g.filler(20, 4);
  g.plant(gaugebuild::patterned(3, 3, 2));
  const std::string name = stem.toStdString() + ".GAU";
  QVERIFY(g.writeTo(io::nameOf(io::pathOf(dir.path().toStdString()) / io::pathOf(name))));

  const Run list = dialpix(dir.path(), {QStringLiteral("list"), QStringLiteral(".")});
  QCOMPARE(list.status, 0);
  const std::string listed = QDir::toNativeSeparators(QStringLiteral("./")).toStdString() + name;
  QCOMPARE(list.out, QByteArray::fromStdString(listed + "\t1\t33\t3x3\t2\n"));
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

QTEST_GUILESS_MAIN(tst_cli)
#include "tst_cli.moc"
