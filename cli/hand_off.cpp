#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/command.h"
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
  int status = kFailed;
  std::string why;
  switch (io::handOver(path, std::vector<std::string>(argv, argv + argc), &status, &why)) {
    case io::HandOverEnd::Finished:
      return status;
    case io::HandOverEnd::NotStarted:
      writeMessage(QStringLiteral("dialpix: %1 cannot be started: %2\n")
                       .arg(quoted(nameOf(path)), QString::fromLocal8Bit(why)));
      break;
    case io::HandOverEnd::Stopped:
      // Ended from outside or crashed: whatever it was doing is not done, and a
      // change it had begun is taken back when the gauge is next opened.
      writeMessage(QStringLiteral("dialpix: %1 stopped before it finished (%2); what it was "
                                  "doing was not done, and a change it had begun is taken back "
                                  "when the gauge file is next opened.\n")
                       .arg(quoted(nameOf(path)), QString::fromLocal8Bit(why)));
      break;
  }
  return kFailed;
}

}  // namespace cli
