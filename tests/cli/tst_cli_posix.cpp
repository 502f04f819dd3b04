// The command line where only POSIX has the means: names as bytes passed by a
// shell, signals, a file size limit, closed or full standard streams, named
// pipes, devices and links, and no display. The Windows program is tested by
// tst_cli and tst_cli_windows.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <algorithm>
#include <csignal>

#include "gau/change_record.h"
#include "io/file_channels.h"
#include "tests/cli/cli_run.h"

using namespace cli_test;

namespace {

// Runs `child` in the new process before it starts dialpix.
std::function<void(QProcess&)> onStart(const std::function<void()>& child) {
  if (!child) return {};
  return [child](QProcess& p) { p.setChildProcessModifier(child); };
}

}  // namespace

class tst_cli_posix : public QObject {
  Q_OBJECT

 private slots:
  void writesStoppedBySizeLimitFail_data();
  void writesStoppedBySizeLimitFail();
  void temporaryFilesDoNotOutliveTheExport();
  void statuses_data();
  void statuses();
  void everyNameIsWrittenByItsOwnBytes();
  void historyWritesNamesAndFieldsAsListDoes();
};

// A write that the system refuses part-way (here: past the file size limit,
// with SIGXFSZ ignored, as a full disk would) is a failure, and nothing cut
// short is put in place.
void tst_cli_posix::writesStoppedBySizeLimitFail_data() {
  QTest::addColumn<QStringList>("args");
  QTest::newRow("import") << QStringList{"import", "g.gau", "1", "old.bmp"};
  QTest::newRow("export") << QStringList{"export", "--force", "g.gau", "1"};
  QTest::newRow("render") << QStringList{"render",  "g.gau",   "1",       "-o",
                                         "g-1.bmp", "--force", "--scale", "64"};
}

void tst_cli_posix::writesStoppedBySizeLimitFail() {
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

  const Run run = dialpix(dir.path(), args, onStart([] {
                            const rlimit limit{2048, 2048};
                            ::setrlimit(RLIMIT_FSIZE, &limit);
                            ::signal(SIGXFSZ, SIG_IGN);
                          }));
  QCOMPARE(run.status, 1);
  QVERIFY2(run.err.contains("File too large") && !run.err.contains("libpng"), run.err.constData());
  QVERIFY(snapshot(dir.path()) == before);  // no cut file, no temporary file left
}

// No temporary file outlives an export: one interrupted removes its own, and
// the next export into the folder removes those of processes killed outright,
// but never a file of yours that is only named like one.
void tst_cli_posix::temporaryFilesDoNotOutliveTheExport() {
  QTemporaryDir dir;
  gaugebuild::Gauge g;
  g.filler(30, 7);
  g.plant(gaugebuild::patterned(8000, 8000, 0, 2));
  writeBytes(dir.filePath(QStringLiteral("big.gau")), g.bytes());
  QDir out(dir.path());
  const auto temporaries = [&out](const QString& pattern = QStringLiteral(".dialpix-*")) {
    return out.entryList({pattern}, QDir::Files | QDir::Hidden);
  };

  // Yours, named as leftovers of a process that has ended and of one still running (this one).
  QProcess ended;
  ended.start(QStringLiteral("sleep"), {QStringLiteral("0.1")});
  QVERIFY(ended.waitForStarted());
  const qint64 gone = ended.processId();
  QVERIFY(ended.waitForFinished());
  QStringList kept;
  for (const char* name : {".dialpix-%1-0.tmp", ".dialpix-%1-1-1f.tmp", ".dialpix-%1-2-0.tmp"})
    kept << QString::fromLatin1(name).arg(gone);
  kept << QStringLiteral(".dialpix-%1-0-1f.tmp").arg(::getpid());
  for (const QString& name : kept) writeBytes(out.filePath(name), {'B', 'M'});
  kept.sort();

  // Starts an export of the big gauge and stops it with `signal` once its
  // temporary file is there (SIGKILL: once it carries its own number, which
  // it does just after it is made).
  const auto stopped = [&](int signal) {
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start(QStringLiteral(DIALPIX_EXE), {QStringLiteral("export"), QStringLiteral("big.gau")});
    if (!p.waitForStarted()) return false;
    const QString own = QStringLiteral(".dialpix-%1-*").arg(p.processId());
    const QString numbered = own + QStringLiteral("-*.tmp");
    QElapsedTimer waited;
    waited.start();
    while (temporaries(signal == SIGKILL ? numbered : own).isEmpty() &&
           p.state() == QProcess::Running && waited.elapsed() < 20000)
      QThread::usleep(200);
    const bool seen = !temporaries(own).isEmpty();
    ::kill(static_cast<pid_t>(p.processId()), signal);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::CrashExit && seen;
  };
  if (!stopped(SIGTERM)) QSKIP("the export ended before its temporary file was seen");
  QCOMPARE(temporaries(), kept);
  if (!stopped(SIGKILL)) QSKIP("the export ended before its temporary file was seen");
  QCOMPARE(temporaries().size(), kept.size() + 1);

  writeBytes(dir.filePath(QStringLiteral("small.gau")), manyBitmaps(1));
  QCOMPARE(dialpix(dir.path(), {QStringLiteral("export"), QStringLiteral("small.gau")}).status, 0);
  QCOMPARE(temporaries(), kept);
}

void tst_cli_posix::statuses_data() {
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
  row("help to a full disk", {"--help"}, 1, "No space left on device", "full");
  row("version with its output closed", {"--version"}, 1, "Bad file descriptor", "no output");
  row("list with its output closed", {"list", g}, 1, "Bad file descriptor", "no output");
  row("import of a named pipe, which would block the open", {"import", g, "1", "fifo.png"}, 1,
      "not a regular file");
  // render -o refuses what is no regular file.
  row("render through a link", {"render", g, "1", "-o", "link.png", "--force"}, 1, "symbolic link");
  row("render into a named pipe", {"render", g, "1", "-o", "fifo.png", "--force"}, 1,
      "not a regular file");
  // A device node of its own (only root may make one): a wrong render replaces it.
  row("render into a device", {"render", g, "1", "-o", "null.png", "--force"}, 1,
      "not a regular file");
  // No command word: the windows, which need a display (Windows always has one).
  row("windows without a display", {}, 1, "the windows need a display");
  row("a folder without a display", {"empty"}, 1, "the windows need a display");
  row("the companion without a display", {"gui", "empty"}, 1, "the windows need a display");
  // Closed standard streams: a file opened then must not take their numbers.
  row("refusal with the streams closed", {"transparent", g, "9"}, 1, "", "closed");
  row("import with the streams closed", {"import", g, "9", "g-2.bmp"}, 1, "", "closed");
  row("import with all three closed", {"import", g, "9", "g-2.bmp"}, 1, "", "all closed");
  row("companion with the streams closed", {"gui", "import", g, "9", "g-2.bmp"}, 1, "", "closed");
}

void tst_cli_posix::statuses() {
  QFETCH(QStringList, args);
  QFETCH(int, status);
  QFETCH(QString, err);
  QFETCH(QString, streams);
  QTemporaryDir dir;
  makeStatusFolder(dir.path());
  const auto in = [&dir](const char* name) { return dir.filePath(QString::fromUtf8(name)); };
  QVERIFY(QFile::link(QStringLiteral("g-2.bmp"), in("link.png")));
  QVERIFY(::mkfifo(qPrintable(in("fifo.png")), 0644) == 0);
  if (::mknod(qPrintable(in("null.png")), S_IFCHR | 0666, makedev(1, 3)) != 0 &&
      args.contains(QLatin1String("null.png")))
    QSKIP("making a device node needs root");
  std::function<void()> child;
  if (streams == QLatin1String("closed")) child = [] { ::close(1), ::close(2); };
  if (streams == QLatin1String("all closed")) child = [] { ::close(0), ::close(1), ::close(2); };
  if (streams == QLatin1String("no output")) child = [] { ::close(1); };
  if (streams == QLatin1String("full")) child = [] { ::dup2(::open("/dev/full", O_WRONLY), 1); };
  checkStatus(dir.path(), args, status, err, streams.contains(QLatin1String("closed")),
              onStart(child));
}

// Names in another encoding, names that would break a line or drive the
// terminal: the text listing and the messages write each quoted where it must
// be, the JSON exactly, and every name stays that of its own file.
void tst_cli_posix::everyNameIsWrittenByItsOwnBytes() {
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

// A name that is no UTF-8 and a history entry whose command field was edited
// to hold control characters: valid JSON with the name's bytes beside it, a
// text line that cannot drive the terminal, and the bytes changed, not the
// range's length.
void tst_cli_posix::historyWritesNamesAndFieldsAsListDoes() {
  ByteNamedDir dir;
  gaugebuild::Gauge g;
  g.filler(20, 4);
  gaugebuild::Bitmap b = gaugebuild::patterned(8, 2, 2);  // pixel 0 is 0 already
  g.plant(b);
  const std::string name = "alt\xCDmetro.gau";
  QVERIFY(g.writeTo(dir.path().toStdString() + "/" + name));
  // The name's bytes as a shell hands them over.
  const auto run = [&dir](const QString& args) {
    QProcess p;
    prepare(p, dir.path());
    p.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("exec \"$0\" ") + args,
                                        QStringLiteral(DIALPIX_EXE)});
    p.waitForFinished(60000);
    return std::pair(p.exitCode(), p.readAllStandardOutput());
  };
  QCOMPARE(run(QStringLiteral("transparent alt*metro.gau 1")).first, 0);

  const auto [status, out] = run(QStringLiteral("history --json alt*metro.gau"));
  QCOMPARE(status, 0);
  QJsonParseError error{};
  const QJsonObject top = QJsonDocument::fromJson(out, &error).object();
  QCOMPARE(error.error, QJsonParseError::NoError);
  QCOMPARE(QByteArray::fromBase64(top[QStringLiteral("file_base64")].toString().toLatin1()),
           QByteArray::fromStdString(name));
  const QJsonObject change = top[QStringLiteral("changes")].toArray()[0].toObject();
  QCOMPARE(change[QStringLiteral("bytesChanged")].toInt(), 15);
  QCOMPARE(change[QStringLiteral("length")].toInt(), 16);

  // The entry's command edited, its checksums made to hold.
  QDirIterator it(dir.path() + QStringLiteral("/.state"), {QStringLiteral("*.change")}, QDir::Files,
                  QDirIterator::Subdirectories);
  QVERIFY(it.hasNext());
  const std::string entry = it.next().toStdString();
  auto c = io::openFileChannel(entry, io::OpenMode::ReadOnly, nullptr);
  gau::RecordBytes bytes;
  gau::ReadRecord r = gau::readRecord(*c, gau::Form::History, &bytes);
  c.reset();
  QCOMPARE(r.state, gau::RecordState::Whole);
  r.record.command = "x\t\x1b[2J\n";
  std::vector<uint8_t> edited = gau::encodePrefix(r.record);
  edited.insert(edited.end(), bytes.before.begin(), bytes.before.end());
  writeBytes(QString::fromStdString(entry), edited);
  const auto [textStatus, text] = run(QStringLiteral("history alt*metro.gau"));
  QCOMPARE(textStatus, 0);
  QVERIFY2(!text.contains('\x1b') && text.count('\n') == 1, text.constData());
  QVERIFY2(text.contains("x\\t\\033[2J\\n\t1\t15\n"), text.constData());
}

QTEST_GUILESS_MAIN(tst_cli_posix)
#include "tst_cli_posix.moc"
