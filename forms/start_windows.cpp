#include "forms/start_windows.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "forms/dial_icon.h"
#include "forms/dialpix.h"
#include "io/file_names.h"
#include "io/system.h"
#include "ui/message.h"
#include "ui/window_registry.h"

int startWindows(const std::vector<std::string>& args) {
  if (args.size() > 1) {
    std::fputs("Usage: dialpix [FOLDER | GAUGE-FILE]\n", stderr);
    return 2;
  }
  ui::endWhenNoWindowIsLeft();
  // Every window the program's own, notices and the chooser included; the
  // conversion windows keep the picture the original design gave them.
  QApplication::setWindowIcon(QIcon(QPixmap::fromImage(dialIconImage())));

  std::string gauge;
  QString problem;
  if (args.size() == 1) {
    namespace fs = std::filesystem;
    const fs::path path = io::pathOf(args.front());
    const QString shown = io::nameText(args.front());
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
      fs::current_path(path, ec);
    } else if (fs::exists(path, ec)) {
      if (path.has_parent_path()) fs::current_path(path.parent_path(), ec);
      gauge = io::nameOf(path.filename());
    } else {
      problem = QStringLiteral("There is no file or folder %1.").arg(shown);
    }
    if (ec && problem.isEmpty()) {
      problem = QStringLiteral("The folder of %1 cannot be opened: %2.")
                    .arg(shown, io::nameText(ec.message()));
      gauge.clear();
    }
  }

  dialpix* start = ui::create<dialpix>();
  if (!gauge.empty()) {
    problem = start->openGauge(gauge);
    if (problem.isEmpty()) return -1;  // the chooser is up
  }
  ui::show<dialpix>();
  if (!problem.isEmpty()) ui::ShowMessage(start, problem);
  return -1;
}
