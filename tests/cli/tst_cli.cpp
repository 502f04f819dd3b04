// The command line as a script uses it: the real executable run on gauge files
// built here, without a display, its output compared with the file logic the
// windows call.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

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
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <span>

#include "bmp/export.h"
#include "gau/palette.h"
#include "gau/transparency.h"
#include "io/file_channels.h"
#include "io/little_endian.h"
#include "tests/support/exhaustive_scan.h"
#include "tools/gauge_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Run {
  int status = -1;
  QByteArray out, err;
};

// Runs in `dir` with no display to reach, the undo history kept in `dir`, so
// it goes with the test's folder.
void prepare(QProcess& p, const QString& dir) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(v);
  env.insert(QStringLiteral("XDG_STATE_HOME"), dir + QStringLiteral("/.state"));
  p.setProcessEnvironment(env);
  p.setWorkingDirectory(dir);
}

// Runs dialpix in `dir`; `child` (may be empty) runs in the new process before
// it starts dialpix, `program` replaces dialpix.
Run dialpix(const QString& dir, const QStringList& args, const std::function<void()>& child = {},
            const QString& program = QStringLiteral(DIALPIX_EXE)) {
  QProcess p;
  prepare(p, dir);
  if (child) p.setChildProcessModifier(child);
  p.start(program, args);
  if (!p.waitForFinished(60000)) return {};
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
          p.readAllStandardError()};
}

// A temporary folder whose files may have names Qt cannot spell, so that
// QTemporaryDir cannot remove them: removed by their bytes.
struct ByteNamedDir : QTemporaryDir {
  ~ByteNamedDir() {
    std::error_code ec;
    std::filesystem::remove_all(path().toStdString(), ec);
  }
};

Bytes readBytes(const QString& path) { return gaugebuild::readFile(path.toStdString()); }

void writeBytes(const QString& path, const Bytes& b) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(reinterpret_cast<const char*>(b.data()), static_cast<qint64>(b.size()));
}

// Every file of `dir` below, by name, as it is now; links read through.
std::map<QString, Bytes> snapshot(const QString& dir) {
  std::map<QString, Bytes> files;
  QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    if (QFileInfo(path).isFile()) files[QDir(dir).relativeFilePath(path)] = readBytes(path);
  }
  return files;
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
  void undoTakesBackEachCommand_data();
  void undoTakesBackEachCommand();
  void killedImportsLeaveBeforeOrAfter();
  void concurrentImportsNeverMix();
  void paletteListsEveryEntryOnce_data();
  void paletteListsEveryEntryOnce();
  void writesStoppedBySizeLimitFail_data();
  void writesStoppedBySizeLimitFail();
  void temporaryFilesDoNotOutliveTheExport();
  void statuses_data();
  void statuses();
  void unreadableGaugeAmongReadable();
  void latin1NamesAreListedAndOpened();
  void everyNameIsWrittenByItsOwnBytes();
  void sizesOfHitsNearTheStart_data();
  void sizesOfHitsNearTheStart();
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
  const int steps = word == QLatin1String("palette") ? 2 : 1;  // a byte a change
  const Run undo = dialpix(dir.path(), {QStringLiteral("undo"), QStringLiteral("--steps"),
                                        QString::number(steps), gauge});
  QVERIFY2(undo.status == 0, undo.err.constData());
  QVERIFY2(undo.err.contains("was undone"), undo.err.constData());
  QVERIFY(readBytes(gauge) == g.bytes());
  QVERIFY(!QFile::exists(gauge + QStringLiteral("-journal")));

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
  if (word == QLatin1String("zero")) outside[40 + 40] ^= 0x80;
  writeBytes(gauge, outside);
  const Run refused = dialpix(dir.path(), {QStringLiteral("undo"), gauge});
  QCOMPARE(refused.status, 1);
  QVERIFY2(refused.err.contains("no longer holds"), refused.err.constData());
  QVERIFY(readBytes(gauge) == outside);
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
      QVERIFY2(p->exitCode() == 0 || err.contains("Another dialpix is changing"), err.constData());
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

// A write that the system refuses part-way (here: past the file size limit,
// with SIGXFSZ ignored, as a full disk would) is a failure, and nothing cut
// short is put in place.
void tst_cli::writesStoppedBySizeLimitFail_data() {
  QTest::addColumn<QStringList>("args");
  QTest::newRow("import") << QStringList{"import", "g.gau", "1", "old.bmp"};
  QTest::newRow("export") << QStringList{"export", "--force", "g.gau", "1"};
  QTest::newRow("render") << QStringList{"render",  "g.gau",   "1",       "-o",
                                         "g-1.bmp", "--force", "--scale", "64"};
}

void tst_cli::writesStoppedBySizeLimitFail() {
  QFETCH(QStringList, args);
  QTemporaryDir dir;
  gaugebuild::Gauge g;
  g.filler(3000, 7);  // the pixels lie past the limit
  const int32_t pos = g.plant(gaugebuild::patterned(40, 40, 0, 2));
  writeBytes(dir.filePath(QStringLiteral("g.gau")), g.bytes());
  // The picture to import: the bitmap as exported, its pixels changed; and the .BMP to keep.
  Bytes picture = windowExport(dir.filePath(QStringLiteral("g.gau")), pos,
                               dir.filePath(QStringLiteral("old.bmp")));
  for (size_t i = 1078; i < picture.size(); ++i) picture[i] ^= 0x55;
  writeBytes(dir.filePath(QStringLiteral("old.bmp")), picture);
  writeBytes(dir.filePath(QStringLiteral("g-1.bmp")), {'o', 'l', 'd'});
  const std::map<QString, Bytes> before = snapshot(dir.path());

  const Run run = dialpix(dir.path(), args, [] {
    const rlimit limit{2048, 2048};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::signal(SIGXFSZ, SIG_IGN);
  });
  QCOMPARE(run.status, 1);
  QVERIFY2(run.err.contains("File too large") && !run.err.contains("libpng"), run.err.constData());
  QVERIFY(snapshot(dir.path()) == before);  // no cut file, no temporary file left
}

// No temporary file outlives an export: one killed removes its own, and
// the next export into the folder removes those of processes gone.
void tst_cli::temporaryFilesDoNotOutliveTheExport() {
  QTemporaryDir dir;
  gaugebuild::Gauge g;
  g.filler(30, 7);
  g.plant(gaugebuild::patterned(8000, 8000, 0, 2));
  writeBytes(dir.filePath(QStringLiteral("big.gau")), g.bytes());
  QDir out(dir.path());
  const QStringList temporary{QStringLiteral(".dialpix-*")};
  const auto temporaries = [&out, &temporary] {
    return out.entryList(temporary, QDir::Files | QDir::Hidden);
  };

  QProcess p;
  p.setWorkingDirectory(dir.path());
  p.start(QStringLiteral(DIALPIX_EXE), {QStringLiteral("export"), QStringLiteral("big.gau")});
  QVERIFY(p.waitForStarted());
  QElapsedTimer waited;
  waited.start();
  while (temporaries().isEmpty() && p.state() == QProcess::Running && waited.elapsed() < 20000)
    QThread::usleep(200);
  if (temporaries().isEmpty()) QSKIP("the export ended before its temporary file was seen");
  ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
  QVERIFY(p.waitForFinished(60000));
  QCOMPARE(p.exitStatus(), QProcess::CrashExit);
  QCOMPARE(temporaries(), QStringList());

  // Leftovers: of a process that has ended, and of one still running (this one).
  QProcess ended;
  ended.start(QStringLiteral("sleep"), {QStringLiteral("0.1")});
  QVERIFY(ended.waitForStarted());
  const QString gone = QStringLiteral(".dialpix-%1-0.tmp").arg(ended.processId());
  QVERIFY(ended.waitForFinished());
  const QString running = QStringLiteral(".dialpix-%1-0.tmp").arg(::getpid());
  for (const QString& name : {gone, running}) writeBytes(out.filePath(name), {'x'});
  writeBytes(dir.filePath(QStringLiteral("small.gau")), manyBitmaps(1));
  QCOMPARE(dialpix(dir.path(), {QStringLiteral("export"), QStringLiteral("small.gau")}).status, 0);
  QCOMPARE(temporaries(), QStringList{running});
}

void tst_cli::statuses_data() {
  QTest::addColumn<QStringList>("args");  // "gui" first: run the companion program itself
  QTest::addColumn<int>("status");
  QTest::addColumn<QString>("err");  // a part of standard error; empty: nothing there
  // "closed": 1 and 2 (">&- 2>&-"); "all closed": 0 to 2; "no output": 1; "full": 1 on /dev/full
  QTest::addColumn<QString>("streams");
  const QString g = QStringLiteral("g.gau");
  const auto row = [](const char* name, const QStringList& args, int status, const char* err,
                      const char* streams = "") {
    QTest::newRow(name) << args << status << QString::fromUtf8(err) << QString::fromUtf8(streams);
  };
  row("version", {"--version"}, 0, "");
  row("help of a command", {"export", "--help"}, 0, "");
  row("help to a full disk", {"--help"}, 1, "No space left on device", "full");
  row("version with its output closed", {"--version"}, 1, "Bad file descriptor", "no output");
  row("list with its output closed", {"list", g}, 1, "Bad file descriptor", "no output");
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
  row("import of a named pipe, which would block the open", {"import", g, "1", "fifo.png"}, 1,
      "not a regular file");
  // What a file without write permission is, for root as for anyone: not written.
  row("transparent on a read-only gauge", {"transparent", "ro.gau", "1"}, 1, "read-only");
  row("zero on a read-only gauge", {"zero", "ro.gau", "1"}, 1, "read-only");
  row("palette on a read-only gauge", {"palette", "ro.gau", "1", "2", "--red", "9"}, 1,
      "read-only");
  row("import into a read-only gauge", {"import", "ro.gau", "1", "g-2.bmp"}, 1, "read-only");
  // render -o replaces a file as export does, or refuses.
  row("render over a read-only file", {"render", g, "1", "-o", "ro.png", "--force"}, 1,
      "ro.png: It is read-only");
  row("render through a link", {"render", g, "1", "-o", "link.png", "--force"}, 1, "symbolic link");
  row("render into a named pipe", {"render", g, "1", "-o", "fifo.png", "--force"}, 1,
      "not a regular file");
  // A device node of its own (only root may make one): a wrong render replaces it.
  row("render into a device", {"render", g, "1", "-o", "null.png", "--force"}, 1,
      "not a regular file");
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
  row("windows without a display", {}, 1, "the windows need a display");
  row("a folder without a display", {"empty"}, 1, "the windows need a display");
  row("the companion without a display", {"gui", "empty"}, 1, "the windows need a display");
  // Closed standard streams: a file opened then must not take their numbers.
  row("refusal with the streams closed", {"transparent", g, "9"}, 1, "", "closed");
  row("import with the streams closed", {"import", g, "9", "g-2.bmp"}, 1, "", "closed");
  row("import with all three closed", {"import", g, "9", "g-2.bmp"}, 1, "", "all closed");
  row("companion with the streams closed", {"gui", "import", g, "9", "g-2.bmp"}, 1, "", "closed");
}

void tst_cli::statuses() {
  QFETCH(QStringList, args);
  QFETCH(int, status);
  QFETCH(QString, err);
  QFETCH(QString, streams);
  QTemporaryDir dir;
  gaugebuild::Gauge g;
  g.filler(30, 3);
  g.plant(gaugebuild::patterned(4, 4, 16));
  g.plant(gaugebuild::patterned(9, 2, 16));
  const auto in = [&dir](const char* name) { return dir.filePath(QString::fromUtf8(name)); };
  writeBytes(in("g.gau"), g.bytes());
  writeBytes(in("ro.gau"), g.bytes());
  gaugebuild::Gauge cut;  // a false hit, 4 x 100000 by its header, before a real bitmap
  cut.poke32(cut.filler(30, 3).plant(gaugebuild::patterned(4, 2, 16)) - 4, 100000);
  cut.plant(gaugebuild::patterned(9, 2, 16));
  writeBytes(in("cut.gau"), cut.bytes());
  writeBytes(in("g-2.bmp"), {'o', 'l', 'd'});
  writeBytes(in("ro.png"), {'p', 'n', 'g'});
  for (const char* ro : {"ro.gau", "ro.png"}) QVERIFY(::chmod(qPrintable(in(ro)), 0444) == 0);
  QVERIFY(QFile::link(QStringLiteral("g-2.bmp"), in("link.png")));
  QVERIFY(::mkfifo(qPrintable(in("fifo.png")), 0644) == 0);
  QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("empty")));
  if (::mknod(qPrintable(in("null.png")), S_IFCHR | 0666, makedev(1, 3)) != 0 &&
      args.contains(QLatin1String("null.png")))
    QSKIP("making a device node needs root");
  const std::map<QString, Bytes> before = snapshot(dir.path());

  QString program = QStringLiteral(DIALPIX_EXE);
  if (!args.isEmpty() && args[0] == QLatin1String("gui")) {
    program = QFileInfo(program).dir().filePath(QStringLiteral("dialpix-gui"));
    args.removeFirst();
  }
  std::function<void()> child;
  if (streams == QLatin1String("closed")) child = [] { ::close(1), ::close(2); };
  if (streams == QLatin1String("all closed")) child = [] { ::close(0), ::close(1), ::close(2); };
  if (streams == QLatin1String("no output")) child = [] { ::close(1); };
  if (streams == QLatin1String("full")) child = [] { ::dup2(::open("/dev/full", O_WRONLY), 1); };
  const Run run = dialpix(dir.path(), args, child, program);
  QCOMPARE(run.status, status);
  if (err.isEmpty() && !streams.contains(QLatin1String("closed")))
    QVERIFY2(run.err.isEmpty(), run.err.constData());
  else
    QVERIFY2(run.err.contains(err.toUtf8()), run.err.constData());
  if (status != 0) {  // what was there is as it was
    const std::map<QString, Bytes> after = snapshot(dir.path());
    for (const auto& [name, bytes] : before) QVERIFY2(after.at(name) == bytes, qPrintable(name));
  }
}

void tst_cli::unreadableGaugeAmongReadable() {
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

// A gauge from an old Windows archive: its name is Latin-1 bytes, no UTF-8.
void tst_cli::latin1NamesAreListedAndOpened() {
  ByteNamedDir dir;
  gaugebuild::Gauge g;
  g.filler(20, 4);
  g.plant(gaugebuild::patterned(3, 3, 2));
  const std::string name = "ALT\xCDMETRO.GAU";
  QVERIFY(g.writeTo(dir.path().toStdString() + "/" + name));

  const Run list = dialpix(dir.path(), {QStringLiteral("list"), QStringLiteral(".")});
  QCOMPARE(list.status, 0);
  QCOMPARE(list.out, QByteArray::fromStdString("./" + name + "\t1\t33\t3x3\t2\n"));
  // The name as a shell hands it over: bytes.
  QProcess p;
  p.setWorkingDirectory(dir.path());
  p.start(
      QStringLiteral("/bin/sh"),
      {QStringLiteral("-c"), QStringLiteral("exec \"$0\" export \"$(printf 'ALT\\315METRO.GAU')\""),
       QStringLiteral(DIALPIX_EXE)});
  QVERIFY(p.waitForFinished(60000));
  QCOMPARE(p.exitCode(), 0);
  QVERIFY(std::filesystem::exists(dir.path().toStdString() + "/ALT\xCDMETRO-1.bmp"));
}

// Names in another encoding, names that would break a line or drive the
// terminal: the text listing and the messages write each quoted where it must
// be, the JSON exactly, and every name stays that of its own file.
void tst_cli::everyNameIsWrittenByItsOwnBytes() {
  struct Name {
    std::string bytes;
    QByteArray named, listed;  // as messages write it when named so, as list does in ./
  };
  const Name names[] = {
      {"lat\xE9in.gau", "lat\xE9in.gau", "./lat\xE9in.gau"},  // Latin-1, beside the same in UTF-8
      {"lat\xC3\xA9in.gau", "lat\xC3\xA9in.gau", "./lat\xC3\xA9in.gau"},
      {"tab\there.gau", R"("tab\there.gau")", R"("./tab\there.gau")"},
      {"new\nline.gau", R"("new\nline.gau")", R"("./new\nline.gau")"},
      {"esc\x1B[2J.gau", R"("esc\033[2J.gau")", R"("./esc\033[2J.gau")"},
      {"csi\xC2\x9B.gau", R"("csi\302\233.gau")", R"("./csi\302\233.gau")"},
      {"csi\x9B.gau", R"("csi\233.gau")", R"("./csi\233.gau")"},
      {"\"\\q.gau", R"("\"\\q.gau")", R"(./"\q.gau)"},
      {"sur\xED\xB3\xA9.gau", "sur\xED\xB3\xA9.gau", "./sur\xED\xB3\xA9.gau"},  // U+DCE9 as UTF-8
  };
  ByteNamedDir dir;
  QString exportAll =
      QStringLiteral("exec \"$0\" export");  // the names as a shell passes them: bytes
  QList<QByteArray> expectedErr;
  for (size_t i = 0; i < std::size(names); ++i) {  // file i holds i + 1 bitmaps
    gaugebuild::Gauge g;
    for (size_t k = 0; k <= i; ++k)
      g.filler(9, static_cast<uint32_t>(k)).plant(gaugebuild::patterned(2, 2, 2));
    QVERIFY(g.writeTo(dir.path().toStdString() + "/" + names[i].bytes));
    exportAll += QStringLiteral(" \"$(printf '");
    for (const char c : names[i].bytes)
      exportAll +=
          QStringLiteral("\\%1").arg(static_cast<unsigned char>(c), 3, 8, QLatin1Char('0'));
    exportAll += QStringLiteral("')\" 99");
    expectedErr << "dialpix: " + names[i].named + ": bitmap 99: The file holds";
  }

  const Run text = dialpix(dir.path(), {QStringLiteral("list"), QStringLiteral(".")});
  QCOMPARE(text.status, 0);
  QList<QByteArray> lines = text.out.split('\n');
  lines.removeLast();
  for (const Name& n : names) {
    const auto mine = std::count_if(lines.begin(), lines.end(), [&](const QByteArray& l) {
      return l.startsWith(n.listed + '\t');
    });
    QCOMPARE(mine, &n - names + 1);
  }
  QCOMPARE(lines.size(), 45);

  const Run json =
      dialpix(dir.path(), {QStringLiteral("list"), QStringLiteral("--json"), QStringLiteral(".")});
  QCOMPARE(json.status, 0);
  QCOMPARE(QJsonDocument::fromJson(json.out).toJson(), json.out);  // exact JSON, as Qt writes it
  const QJsonArray files = QJsonDocument::fromJson(json.out).array();
  QCOMPARE(files.size(), static_cast<qsizetype>(std::size(names)));
  for (const QJsonValue& v : files) {
    const QJsonObject f = v.toObject();
    const bool utf8 = !f.contains(QStringLiteral("file_base64"));
    const QByteArray bytes =
        utf8 ? f[QStringLiteral("file")].toString().toUtf8()
             : QByteArray::fromBase64(f[QStringLiteral("file_base64")].toString().toLatin1());
    const auto n = std::find_if(std::begin(names), std::end(names), [&](const Name& n) {
      return "./" + n.bytes == bytes.toStdString();
    });
    QVERIFY2(n != std::end(names), bytes.constData());
    QCOMPARE(utf8, QString::fromUtf8(bytes).toUtf8() == bytes);
    QCOMPARE(f[QStringLiteral("bitmaps")].toArray().size(), n - names + 1);
  }

  // One line each, in the order named, naming each file as the listing does.
  QProcess p;
  p.setWorkingDirectory(dir.path());
  p.start(QStringLiteral("/bin/sh"),
          {QStringLiteral("-c"), exportAll, QStringLiteral(DIALPIX_EXE)});
  QVERIFY(p.waitForFinished(60000));
  QCOMPARE(p.exitCode(), 1);
  const QList<QByteArray> err = p.readAllStandardError().trimmed().split('\n');
  QCOMPARE(err.size(), expectedErr.size());
  for (qsizetype i = 0; i < err.size(); ++i) QVERIFY2(err[i].startsWith(expectedErr[i]), err[i]);
}

// The width and height of a hit lie 8 and 4 bytes before it: in the file from
// a hit at byte 9 on, before it at byte 8.
void tst_cli::sizesOfHitsNearTheStart_data() {
  QTest::addColumn<int>("cut");  // bytes taken off the front of a file that starts with a bitmap
  QTest::addColumn<QByteArray>("line");
  QTest::newRow("at byte 9") << 4 << QByteArray("h.gau\t1\t9\t3x2\t2\n");
  QTest::newRow("at byte 8") << 5 << QByteArray("h.gau\t1\t8\t?x?\t2\n");
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

QTEST_GUILESS_MAIN(tst_cli)
#include "tst_cli.moc"
