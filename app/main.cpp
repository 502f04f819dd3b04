// dialpix: finds the 8-bit bitmaps inside FS98 gauge files, exports them as
// .BMP files, writes edited pixels back, previews them and edits their palettes.
//
// This program loads only QtCore, so that the command line's list and export
// start quickly; the windows and the commands that decode or draw pictures
// (import, render) are the companion program dialpix-gui (app/gui_main.cpp),
// which it replaces itself by with the same arguments. On Windows this is the
// console program dialpix.com, and the companion is dialpix.exe.

#include "cli/cli.h"
#include "io/system.h"

int main(int argc, char* argv[]) {
  if (!io::holdStandardStreams()) return 1;  // before anything is opened
  io::Arguments names(argc, argv);  // as the file functions take them (UTF-8 on Windows)
  argc = names.argc();
  argv = names.argv();
  if (cli::wantsCommandLine(argc, argv))
    return cli::needsPictures(argc, argv) ? cli::handOff(argc, argv) : cli::run(argc, argv);
  if (const std::optional<int> refused = cli::refuseWindows(argc, argv)) return *refused;
  return cli::handOff(argc, argv);
}
