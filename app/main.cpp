// dialpix: finds the 8-bit bitmaps inside FS98 gauge files, exports them as
// .BMP files, writes edited pixels back, previews them and edits their palettes.

#include <QApplication>
#include <string>
#include <vector>

#include "forms/start_windows.h"
#include "platform/twips.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("dialpix"));
  QApplication::setApplicationVersion(QStringLiteral("1.1"));
  QApplication::setFont(platform::msSansSerif(8.25));  // the font throughout
  // Qt has taken its own options out of argv; names stay the bytes they were.
  const int status = startWindows(std::vector<std::string>(argv + 1, argv + argc));
  return status >= 0 ? status : QApplication::exec();
}
