#pragma once
// What the command-line tests share: running the real executable in a folder
// of gauge files built here, and reading what it left.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <functional>
#include <map>
#include <vector>

#include "gau/export.h"
#include "io/file_channels.h"
#include "io/little_endian.h"
#include "tests/support/exhaustive_scan.h"
#include "tools/gauge_builder.h"

namespace cli_test {

using Bytes = std::vector<uint8_t>;

struct Run {
  int status = -1;
  QByteArray out, err;
};

// Runs in `dir` with no display to reach, the undo history kept in `dir`, so
// it goes with the test's folder.
inline void prepare(QProcess& p, const QString& dir) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(v);
  env.insert(QStringLiteral("XDG_STATE_HOME"), dir + QStringLiteral("/.state"));
  env.insert(QStringLiteral("LOCALAPPDATA"), dir + QStringLiteral("/.state"));  // Windows
  p.setProcessEnvironment(env);
  p.setWorkingDirectory(dir);
}

// Runs dialpix in `dir`; `setUp` (may be empty) readies the process before it
// starts, `program` replaces dialpix.
inline Run dialpix(const QString& dir, const QStringList& args,
                   const std::function<void(QProcess&)>& setUp = {},
                   const QString& program = QStringLiteral(DIALPIX_EXE)) {
  QProcess p;
  prepare(p, dir);
  if (setUp) setUp(p);
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

inline Bytes readBytes(const QString& path) { return gaugebuild::readFile(path.toStdString()); }

inline void writeBytes(const QString& path, const Bytes& b) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(reinterpret_cast<const char*>(b.data()), static_cast<qint64>(b.size()));
}

// Every file of `dir` below, by name, as it is now; links read through.
inline std::map<QString, Bytes> snapshot(const QString& dir) {
  std::map<QString, Bytes> files;
  QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    if (QFileInfo(path).isFile()) files[QDir(dir).relativeFilePath(path)] = readBytes(path);
  }
  return files;
}

// A gauge file with `count` small bitmaps of assorted sizes and colour counts.
inline Bytes manyBitmaps(int count) {
  gaugebuild::Gauge g;
  g.filler(30, 1);
  static const int32_t kColors[] = {0, 16, 2, 200};
  for (int i = 0; i < count; ++i) {
    g.plant(gaugebuild::patterned(1 + i % 7, 1 + i % 5, kColors[i % 4], static_cast<uint8_t>(i)));
    g.filler(static_cast<size_t>(i % 9), static_cast<uint32_t>(i) + 2);
  }
  return g.bytes();
}

// The list lines the scan gives for `file`, the fields read straight from the
// bytes; `file` is no Windows module, so every bitmap is loose.
inline QByteArray expectedList(const QString& shown, const Bytes& b) {
  QByteArray out;
  int n = 0;
  for (const int32_t pos : support::exhaustiveScan(b)) {
    const uint8_t* at = &b[static_cast<size_t>(pos - 1)];
    const int32_t stored = io::le32(at + 20);
    out += shown.toUtf8() + '\t' + QByteArray::number(++n) + '\t' + QByteArray::number(pos) + '\t' +
           QByteArray::number(io::le32(at - 8)) + 'x' + QByteArray::number(io::le32(at - 4)) +
           '\t' + QByteArray::number(stored == 0 ? 256 : stored) + "\tloose\n";
  }
  return out;
}

// The .BMP the window's export writes for bitmap `pos` of `gauge`.
inline Bytes windowExport(const QString& gauge, int32_t pos, const QString& target) {
  auto channel = io::openFileChannel(gauge.toStdString(), io::OpenMode::ReadOnly, nullptr);
  if (!channel || !bmp::exportBitmap(*channel, pos, target.toStdString())) return {};
  return readBytes(target);
}

// The folder of the status rows: g.gau with two bitmaps and a copy without
// write permission (the read-only attribute on Windows), cut.gau whose first
// hit is false, g-2.bmp, a read-only ro.png and a folder "empty".
inline void makeStatusFolder(const QString& dir) {
  const auto in = [&dir](const char* name) { return dir + QLatin1Char('/') + QLatin1String(name); };
  gaugebuild::Gauge g;
  g.filler(30, 3);
  g.plant(gaugebuild::patterned(4, 4, 16));
  g.plant(gaugebuild::patterned(9, 2, 16));
  writeBytes(in("g.gau"), g.bytes());
  writeBytes(in("ro.gau"), g.bytes());
  gaugebuild::Gauge cut;  // a false hit, 4 x 100000 by its header, before a real bitmap
  cut.poke32(cut.filler(30, 3).plant(gaugebuild::patterned(4, 2, 16)) - 4, 100000);
  cut.plant(gaugebuild::patterned(9, 2, 16));
  writeBytes(in("cut.gau"), cut.bytes());
  writeBytes(in("g-2.bmp"), {'o', 'l', 'd'});
  writeBytes(in("ro.png"), {'p', 'n', 'g'});
  for (const char* ro : {"ro.gau", "ro.png"})
    QVERIFY(QFile::setPermissions(in(ro), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
  QVERIFY(QDir(dir).mkdir(QStringLiteral("empty")));
}

// Runs one status row in `dir`: its exit status, `err` within standard error
// (empty: nothing there, unless `anyErr`), and after a failure every file as
// it was.
inline void checkStatus(const QString& dir, QStringList args, int status, const QString& err,
                        bool anyErr = false, const std::function<void(QProcess&)>& setUp = {}) {
  const std::map<QString, Bytes> before = snapshot(dir);
  QString program = QStringLiteral(DIALPIX_EXE);
  if (!args.isEmpty() && args[0] == QLatin1String("gui")) {
    program = QFileInfo(program).dir().filePath(QStringLiteral("dialpix-gui"));
    args.removeFirst();
  }
  const Run run = dialpix(dir, args, setUp, program);
  QCOMPARE(run.status, status);
  if (err.isEmpty() && !anyErr)
    QVERIFY2(run.err.isEmpty(), run.err.constData());
  else
    QVERIFY2(run.err.contains(err.toUtf8()), run.err.constData());
  if (status != 0) {  // what was there is as it was
    const std::map<QString, Bytes> after = snapshot(dir);
    for (const auto& [name, bytes] : before) QVERIFY2(after.at(name) == bytes, qPrintable(name));
  }
}

}  // namespace cli_test
