// dialpix-gui (dialpix.exe on Windows): the windows, and the command line's picture commands (import,
// render), which need QtGui. dialpix hands them over with its own arguments.
// A command word, --help or --version runs the command line; an existing folder
// or file, or nothing, the windows.

#include <QApplication>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "forms/start_windows.h"
#include "io/system.h"
#include "ui/twips.h"

namespace {

int runWindows(int argc, char* argv[]) {
  if (const std::string platform = io::windowPlatform();
      !platform.empty() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(platform));
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("dialpix"));
  QApplication::setApplicationVersion(QStringLiteral(DIALPIX_VERSION));
  QApplication::setFont(ui::msSansSerif(8.25));  // the font throughout
  // Qt has taken its own options out of argv; names stay the bytes they were.
  const int status = startWindows(std::vector<std::string>(argv + 1, argv + argc));
  return status >= 0 ? status : QApplication::exec();
}

int run(int argc, char* argv[]) {
  if (!io::holdStandardStreams()) return 1;  // before anything is opened
  io::Arguments names(argc, argv);  // as the file functions take them (UTF-8 on Windows)
  argc = names.argc();
  argv = names.argv();
  if (cli::wantsCommandLine(argc, argv)) return cli::run(argc, argv, cli::kPictureCommands);
  // Decided before Qt starts: without a display it would abort.
  if (const std::optional<int> refused = cli::refuseWindows(argc, argv)) return *refused;
  return runWindows(argc, argv);
}

}  // namespace

// Every status goes out marked for dialpix.com, which tells it from a kill's.
int main(int argc, char* argv[]) { return io::handedOverStatus(run(argc, argv)); }
