#pragma once
// Whether the windows can be shown, known before the window toolkit starts:
// Qt without a display ends the program with an abort and a core dump.

#include <string>

namespace io {

// True when a display is set and, for a local X display, its server answers;
// else false and `why` says what is missing. A platform other than X or
// Wayland chosen by QT_QPA_PLATFORM (offscreen, vnc, ...) is taken as it is.
bool displayReachable(std::string* why);

}  // namespace io
