// The windows where only POSIX has the means to test them: a process cut off
// part-way through a change (fork), and a named pipe in a file's place. Left
// out of the Windows build.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <atomic>
#include <thread>

#include "form_fixture.h"
#include "forms/bmp2gau.h"
#include "gau/transparency.h"

using gaugebuild::Gauge;
using gaugebuild::patterned;

namespace {

// Opens the named pipe `path` for writing after `delay`, should a reader
// still wait for a writer then, so that a test of a reader that waits ends.
class LateWriter {
 public:
  LateWriter(const char* path, std::chrono::milliseconds delay)
      : thread_([this, path, until = std::chrono::steady_clock::now() + delay] {
          while (!stop_ && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          if (const int fd = stop_ ? -1 : ::open(path, O_WRONLY | O_NONBLOCK); fd >= 0) ::close(fd);
        }) {}
  ~LateWriter() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_ = false;
  std::thread thread_;
};

}  // namespace

class PosixOnlyTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TempDir> dir;
  Gauge gauge;
  int32_t firstPos = 0;

 private slots:
  void init() {
    fixture::resetProgram();
    dir = std::make_unique<TempDir>();
    gauge = Gauge();
    gauge.filler(10);
    firstPos = gauge.plant(patterned(4, 4, 2));
    gauge.filler(3);
    gauge.plant(patterned(3, 3, 2));
    QVERIFY(gauge.writeTo("two.gau"));
  }
  void cleanup() {
    ui::destroy<bmp2gau>();
    fixture::resetProgram();
    dir.reset();
  }

  // A Make Transparent cut off a few bytes into the gauge, as a crash would leave it.
  void aCutOffChangeIsPutBackOnOpen() {
    const pid_t child = fork();
    if (child == 0) {
      auto file = io::openFileChannel("two.gau", io::OpenMode::ReadWriteExisting, nullptr);
      // The journal (header, one run entry, 15 old and 15 new pixels), then 5 pixel bytes.
      io::test_hooks::exitAfterBytes = 128 + 8 + 2 * 15 + 5;
      (void)gau::makeTransparent(*file, firstPos);
      std::_Exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    QVERIFY(dir->read("two.gau") != gauge.bytes());
    QVERIFY(fixture::pick("two.gau"));
    QVERIFY(dir->read("two.gau") == gauge.bytes());
    QVERIFY2(ui::lastMessage().contains("Bitmap 1 was put back as it was before a change "
                                        "(transparent)"),
             qPrintable(ui::lastMessage()));
  }

  // A file that became a named pipe after the list was read: refused at once,
  // where opening it would wait for a writer with every window frozen.
  void aNamedPipeIsRefusedWithoutWaiting() {
    QVERIFY(Gauge().filler(10).writeTo("pipe.bmp"));
    numbmp* chooser = fixture::pick("two.gau");
    fixture::typeNumber(chooser, QStringLiteral("1"));
    chooser->Command3->click();
    bmp2gau* w = ui::find<bmp2gau>();
    QVERIFY(w);
    const int messages = ui::messageCount(), beeps = ui::beepCount();
    QVERIFY(QFile::remove("pipe.bmp") && ::mkfifo("pipe.bmp", 0600) == 0);
    const LateWriter unblock("pipe.bmp", std::chrono::seconds(3));
    QElapsedTimer took;
    took.start();
    w->File1->setCurrentRow(0);
    w->File1_DblClick();
    QVERIFY2(took.elapsed() < 2000, "the import waited on the pipe");
    QCOMPARE(ui::messageCount(), messages + 1);
    QCOMPARE(ui::beepCount(), beeps);
    QVERIFY(ui::lastMessage().contains("pipe.bmp"));
    QVERIFY(ui::lastMessage().contains("not a regular file"));
    QCOMPARE(dir->read("two.gau"), gauge.bytes());
  }
};

QTEST_MAIN(PosixOnlyTest)
#include "tst_posix_only.moc"
