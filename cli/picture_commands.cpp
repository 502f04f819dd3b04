// The commands that decode or draw pictures, linked into dialpix-gui only:
// dialpix loads QtCore alone and hands them over.

#include "cli/cli.h"
#include "cli/commands.h"

namespace cli {

const PictureCommand kPictureCommands[3] = {
    {"import", importCommand}, {"render", renderCommand}, {"sheet", sheetCommand}};

}  // namespace cli
