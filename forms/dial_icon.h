#pragma once
// The program's icon: a small gauge dial, 32 x 32, in 16 colours. The start
// windows show it; the build writes it out as the PNG the desktop menu shows.

#include <QImage>

QImage dialIconImage();
