// dialpix: finds the 8-bit bitmaps inside FS98 gauge files, exports them as
// .BMP files, writes edited pixels back, previews them and edits their palettes.
// A command word, --help or --version runs the command line; anything else the windows.

#include <QApplication>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "forms/start_windows.h"
#include "platform/twips.h"

namespace {

int runWindows(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("dialpix"));
  QApplication::setApplicationVersion(QStringLiteral(DIALPIX_VERSION));
  QApplication::setFont(platform::msSansSerif(8.25));  // the font throughout
  // Qt has taken its own options out of argv; names stay the bytes they were.
  const int status = startWindows(std::vector<std::string>(argv + 1, argv + argc));
  return status >= 0 ? status : QApplication::exec();
}

}  // namespace

int main(int argc, char* argv[]) {
  if (cli::wantsCommandLine(argc, argv)) return cli::run(argc, argv);
  return runWindows(argc, argv);
}
