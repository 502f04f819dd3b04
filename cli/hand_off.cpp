#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli.h"
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
  std::fprintf(stderr, "dialpix: %s cannot be started: %s\n", path.c_str(), why.c_str());
  return 1;
}

}  // namespace cli
