// The commands that decode or draw pictures, linked into dialpix-gui only:
// dialpix loads QtCore alone and hands them over.

#include "cli/cli.h"
#include "cli/commands.h"

namespace cli {

const PictureCommand kPictureCommands[2] = {{"import", importCommand}, {"render", renderCommand}};

}  // namespace cli
