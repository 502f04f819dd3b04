#pragma once
// The command line: `dialpix COMMAND ...` for scripts and batch work on many
// gauge files. It works on the same file logic as the windows and needs no display.

#include <QStringList>
#include <optional>
#include <span>

namespace cli {

// A command: takes its arguments, the command word first, and returns the exit status.
using Runner = int (*)(const QStringList& args);

// True when the arguments ask for the command line (a command word, --help or
// --version); anything else is for the windows.
bool wantsCommandLine(int argc, char** argv);

// True when the command needs QtGui to decode or draw pictures (import,
// render): dialpix hands those, and the windows, to its companion program.
bool needsPictures(int argc, char** argv);

// Decides, before any Qt object exists, whether the windows may start: each
// argument must name an existing folder or file (one at most), and a display
// must be there. Returns the exit status after saying why not (2 for a usage
// error, 1 without a display), or nothing when the windows may start.
std::optional<int> refuseWindows(int argc, char** argv);

// Hands the arguments to the companion program that holds the windows and the
// picture commands: replaces this process by it (on Windows, runs it on this
// console and returns its exit status); when it cannot be started, says why
// and returns 1.
int handOff(int argc, char** argv);

// The runner of a command that needs pictures, from the program that links it.
struct PictureCommand {
  const char* word;
  Runner run;
};
// import and render, in dialpix-gui (cli/picture_commands.cpp).
extern const PictureCommand kPictureCommands[3];

// Runs the command the arguments name and returns the exit status: 0 when
// everything asked was done, 1 when anything was refused or failed, 2 for a
// usage error. `pictures` holds the runners of the commands that need pictures.
int run(int argc, char** argv, std::span<const PictureCommand> pictures = {});

}  // namespace cli
