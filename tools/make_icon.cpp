// make_icon FILE.png: writes the program's 32 x 32 icon, drawn by the same
// code as the start window's, for the desktop menu.

#include <QImageWriter>
#include <cstdio>

#include "forms/dial_icon.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_icon FILE.png\n");
    return 2;
  }
  QImageWriter writer(QString::fromLocal8Bit(argv[1]), "png");
  if (!writer.write(dialIconImage())) {
    std::fprintf(stderr, "make_icon: %s: %s\n", argv[1], qPrintable(writer.errorString()));
    return 1;
  }
  return 0;
}
