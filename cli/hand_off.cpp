#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/cli.h"
#include "cli/names.h"
#include "cli/report.h"

namespace cli {
namespace {

// Beside this program in the build folder, or in libexec when installed.
std::string companion() {
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "dialpix-gui";
  std::string dir(self, static_cast<size_t>(n));
  dir.erase(dir.rfind('/') + 1);
  for (const char* at : {"dialpix-gui", "../libexec/dialpix/dialpix-gui"}) {
    const std::string path = dir + at;
    if (::access(path.c_str(), X_OK) == 0) return path;
  }
  return dir + "../libexec/dialpix/dialpix-gui";
}

}  // namespace

int handOff(char** argv) {
  const std::string path = companion();
  ::execv(path.c_str(), argv);
  const QString why = QString::fromLocal8Bit(std::strerror(errno));
  writeMessage(
      QStringLiteral("dialpix: %1 cannot be started: %2\n").arg(quoted(nameOf(path)), why));
  return 1;
}

}  // namespace cli
