#pragma once
// Descriptors 0, 1 and 2 held open before the program opens anything. Started
// with one of them closed (`>&- 2>&-`), the first file it opened would get that
// number, and every message meant for the terminal would be written into it.

namespace io {

// Opens /dev/null on each of descriptors 0 to 2 that is closed: standard input
// for writing and the outputs for reading, so that a read or write through a
// stream the caller closed still fails rather than vanishing. False when that
// cannot be done; the program must then open no file.
bool holdStandardStreams();

}  // namespace io
