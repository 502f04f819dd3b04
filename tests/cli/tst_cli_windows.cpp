// The command line where only Windows has the case: dialpix.com waiting for
// the dialpix.exe it started, names the system reads loosely.

// windows.h comes before the other Win32 headers, which rely on it.
// clang-format off
#include <windows.h>
#include <tlhelp32.h>
// clang-format on

#include <QImage>
#include <chrono>

#include "io/system.h"
#include "tests/cli/cli_run.h"

using namespace cli_test;

namespace {

// The dialpix.exe that `parent` started, once it is there; null after 20 seconds.
// (wine may start a console host beside it.)
HANDLE companionOf(DWORD parent) {
  for (int tries = 0; tries < 2000; ++tries) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W e{};
    e.dwSize = sizeof e;
    DWORD child = 0;
    for (BOOL more = Process32FirstW(snapshot, &e); more && !child;
         more = Process32NextW(snapshot, &e))
      if (e.th32ParentProcessID == parent && _wcsicmp(e.szExeFile, L"dialpix.exe") == 0)
        child = e.th32ProcessID;
    CloseHandle(snapshot);
    if (child) return OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, child);
    Sleep(10);
  }
  return nullptr;
}

// Bitmap `id` of the module `file` as the Windows resource loader reads it,
// every pixel as 32-bit colour, top row first.
QImage loadedByWindows(const QString& file, int id) {
  const HMODULE module = LoadLibraryExW(reinterpret_cast<const wchar_t*>(file.utf16()), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return {};
  const auto bitmap = static_cast<HBITMAP>(
      LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  QImage picture;
  BITMAP b{};
  if (bitmap && GetObjectW(bitmap, sizeof b, &b)) {
    picture = QImage(b.bmWidth, b.bmHeight, QImage::Format_RGB32);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = b.bmWidth;
    info.bmiHeader.biHeight = -b.bmHeight;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const HDC screen = GetDC(nullptr);
    if (GetDIBits(screen, bitmap, 0, static_cast<UINT>(b.bmHeight), picture.bits(), &info,
                  DIB_RGB_COLORS) != b.bmHeight)
      picture = {};
    ReleaseDC(nullptr, screen);
    DeleteObject(bitmap);
  }
  FreeLibrary(module);
  return picture.convertToFormat(QImage::Format_ARGB32);  // the unused fourth byte made opaque
}

QImage opaque(const QImage& i) {
  QImage o = i.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < o.height(); ++y)
    for (int x = 0; x < o.width(); ++x) o.setPixel(x, y, o.pixel(x, y) | 0xFF000000);
  return o;
}

}  // namespace

class tst_cli_windows : public QObject {
  Q_OBJECT

 private slots:
  void aKilledCompanionIsAFailure_data();
  void aKilledCompanionIsAFailure();
  void anExportIsNamedAfterTheFileItself_data();
  void anExportIsNamedAfterTheFileItself();
  void importsAreWhatTheWindowsLoaderReads_data();
  void importsAreWhatTheWindowsLoaderReads();
};

// The status a kill leaves is the killer's choice, a success's own included.
void tst_cli_windows::aKilledCompanionIsAFailure_data() {
  QTest::addColumn<uint>("code");
  QTest::newRow("as taskkill /F ends it") << 1u;
  QTest::newRow("with the status of a success (wine's taskkill)") << 0u;
}

void tst_cli_windows::aKilledCompanionIsAFailure() {
  QFETCH(uint, code);
  QTemporaryDir dir;
  gaugebuild::Gauge g;
  g.filler(30, 3);
  g.plant(gaugebuild::patterned(4, 4, 16));
  writeBytes(dir.filePath(QStringLiteral("g.gau")), g.bytes());
  QCOMPARE(
      dialpix(dir.path(), {QStringLiteral("export"), QStringLiteral("g.gau"), QStringLiteral("1")})
          .status,
      0);
  const QString gauge = dir.filePath(QStringLiteral("g.gau"));
  const Bytes before = readBytes(gauge);
  // The gauge's lock held here keeps the import waiting for it until the kill.
  io::LockOutcome outcome{};
  const auto lock =
      io::lockFile(gauge.toStdString(), std::chrono::milliseconds(0), &outcome, nullptr);
  QVERIFY(lock);

  // The kill must land within the import's wait for the lock; on a loaded
  // machine wine may show the companion too late, and that try proves nothing.
  QByteArray err;
  QProcess p;
  for (int attempt = 0; attempt < 3; ++attempt) {
    prepare(p, dir.path());
    p.start(QStringLiteral(DIALPIX_EXE), {QStringLiteral("import"), QStringLiteral("g.gau"),
                                          QStringLiteral("1"), QStringLiteral("g-1.bmp")});
    QVERIFY(p.waitForStarted());
    const HANDLE companion = companionOf(static_cast<DWORD>(p.processId()));
    QVERIFY(companion);
    TerminateProcess(companion, code);  // fails when it has ended already
    CloseHandle(companion);
    QVERIFY(p.waitForFinished(30000));
    err = p.readAllStandardError();
    if (!err.contains("Another dialpix is changing")) break;
  }
  QCOMPARE(p.exitCode(), 1);
  QVERIFY2(err.contains("dialpix.exe stopped before it finished"), err.constData());
  QVERIFY(readBytes(gauge) == before);
}

// Windows opens x.gau by names it reads loosely; the export's name is the file's own.
void tst_cli_windows::anExportIsNamedAfterTheFileItself_data() {
  QTest::addColumn<QString>("typed");
  QTest::newRow("a trailing dot") << QStringLiteral("x.gau.");
  QTest::newRow("a trailing blank") << QStringLiteral("x.gau ");
  QTest::newRow("another case") << QStringLiteral("X.GAU");
  QTest::newRow("in a folder, a trailing dot") << QStringLiteral("..\\in\\x.gau.");
}

void tst_cli_windows::anExportIsNamedAfterTheFileItself() {
  QFETCH(QString, typed);
  QTemporaryDir dir;
  QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("in")));
  gaugebuild::Gauge g;
  g.filler(30, 3);
  g.plant(gaugebuild::patterned(4, 4, 16));
  writeBytes(dir.filePath(QStringLiteral("in/x.gau")), g.bytes());
  const Run run = dialpix(dir.filePath(QStringLiteral("in")),
                          {QStringLiteral("export"), QStringLiteral("-o"), QStringLiteral(".."),
                           typed, QStringLiteral("1")});
  QVERIFY2(run.status == 0, run.err.constData());
  QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("x-1.bmp")});
}

// A gauge built by windres and the MinGW linker, 64- and 32-bit: what dialpix
// writes into a 24-bit and a 4-bit bitmap by id is what Windows loads from it.
void tst_cli_windows::importsAreWhatTheWindowsLoaderReads_data() {
  QTest::addColumn<QString>("module");
  QTest::newRow("64-bit") << QStringLiteral(RESOURCE_GAUGE64);
  if (!QStringLiteral(RESOURCE_GAUGE32).isEmpty())
    QTest::newRow("32-bit") << QStringLiteral(RESOURCE_GAUGE32);
}

void tst_cli_windows::importsAreWhatTheWindowsLoaderReads() {
  QFETCH(QString, module);
  QTemporaryDir dir;
  const QString gauge = dir.filePath(QStringLiteral("m.gau"));
  QVERIFY(QFile::copy(module, gauge));
  const QImage deep = opaque(loadedByWindows(gauge, 4353));
  const QImage four = opaque(loadedByWindows(gauge, 4354));
  QCOMPARE(deep.size(), QSize(3, 2));
  QCOMPARE(four.size(), QSize(5, 2));

  // 24 bits: any colours, exactly. 4 bits: the bitmap turned round, so that
  // every colour is one of its palette's.
  QImage colours(3, 2, QImage::Format_ARGB32);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) colours.setPixel(x, y, qRgb(40 * x + 3, 90 * y + 5, 201 - x));
  const QImage turned = four.mirrored(true, true);
  QVERIFY(colours.save(dir.filePath(QStringLiteral("c.png"))));
  QVERIFY(turned.save(dir.filePath(QStringLiteral("t.png"))));
  QCOMPARE(dialpix(dir.path(), {"import", "m.gau", "id:0x1101", "c.png"}).status, 0);
  QCOMPARE(dialpix(dir.path(), {"import", "m.gau", "id:4354", "t.png"}).status, 0);
  QCOMPARE(opaque(loadedByWindows(gauge, 4353)), colours);
  QCOMPARE(opaque(loadedByWindows(gauge, 4354)), turned);

  // And undo gives the module back byte for byte.
  QCOMPARE(dialpix(dir.path(), {"undo", "--steps", "2", "m.gau"}).status, 0);
  QFile a(module), b(gauge);
  QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
  QCOMPARE(b.readAll(), a.readAll());
}

QTEST_GUILESS_MAIN(tst_cli_windows)
#include "tst_cli_windows.moc"
