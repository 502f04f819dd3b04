#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/names.h"
#include "cli/report.h"
#include "io/system.h"

namespace cli {
namespace {

// Beside this program in the build folder, or in libexec when installed; on
// Windows the windows program dialpix.exe beside the console's dialpix.com.
std::string companion() {
  const std::string dir = io::folderOf(io::ownProgram());
  for (const char* at : {"dialpix-gui", "../libexec/dialpix/dialpix-gui", "dialpix.exe"}) {
    const std::string path = dir + at;
    if (io::kindOf(path) == io::FileKind::Regular) return path;
  }
  return dir + "../libexec/dialpix/dialpix-gui";
}

}  // namespace

int handOff(int argc, char** argv) {
  const std::string path = companion();
  std::string why;
  const int status = io::handOver(path, std::vector<std::string>(argv, argv + argc), &why);
  if (status >= 0) return status;
  writeMessage(QStringLiteral("dialpix: %1 cannot be started: %2\n")
                   .arg(quoted(nameOf(path)), QString::fromLocal8Bit(why)));
  return 1;
}

}  // namespace cli
