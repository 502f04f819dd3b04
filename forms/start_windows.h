#pragma once
// How the windows start, from the program's arguments (what is left of them
// once Qt has taken its own options).

#include <string>
#include <vector>

// No argument: the start window lists the working folder. A folder: the
// start window lists that folder. A gauge file: its folder becomes the
// working folder and the file opens straight into the chooser, as a file
// manager's "Open with" asks. Returns the status to end with at once, or -1
// when the windows are up and the event loop should run.
int startWindows(const std::vector<std::string>& args);
