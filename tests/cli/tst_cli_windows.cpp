// The command line where only Windows has the case: dialpix.com waiting for
// the dialpix.exe it started, names the system reads loosely.

// windows.h comes before the other Win32 headers, which rely on it.
// clang-format off
#include <windows.h>
#include <tlhelp32.h>
// clang-format on

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

}  // namespace

class tst_cli_windows : public QObject {
  Q_OBJECT

 private slots:
  void aKilledCompanionIsAFailure_data();
  void aKilledCompanionIsAFailure();
  void anExportIsNamedAfterTheFileItself_data();
  void anExportIsNamedAfterTheFileItself();
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

  QProcess p;
  prepare(p, dir.path());
  p.start(QStringLiteral(DIALPIX_EXE), {QStringLiteral("import"), QStringLiteral("g.gau"),
                                        QStringLiteral("1"), QStringLiteral("g-1.bmp")});
  QVERIFY(p.waitForStarted());
  const HANDLE companion = companionOf(static_cast<DWORD>(p.processId()));
  QVERIFY(companion);
  QVERIFY(TerminateProcess(companion, code));
  CloseHandle(companion);
  QVERIFY(p.waitForFinished(30000));
  const QByteArray err = p.readAllStandardError();
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

QTEST_GUILESS_MAIN(tst_cli_windows)
#include "tst_cli_windows.moc"
