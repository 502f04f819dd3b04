#pragma once
// The icon the export and import windows share.

#include <QIcon>

// A small framed picture with an arrow, drawn at 32 x 32 and 16 x 16 in colours of the 16-colour
// set.
QIcon conversionIcon();

