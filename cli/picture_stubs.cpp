// The picture commands of the QtCore-only dialpix: main() hands them to the
// companion program before the command table is reached, so these never run.

#include "cli/commands.h"
#include "cli/command.h"

namespace cli {

int importCommand(const QStringList&) { return kFailed; }
int renderCommand(const QStringList&) { return kFailed; }

}  // namespace cli
