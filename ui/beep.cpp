#include "ui/beep.h"

#include <QApplication>

namespace ui {
namespace {
int beeps = 0;
}

void Beep() {
  ++beeps;
  QApplication::beep();
}

int beepCount() { return beeps; }

}  // namespace ui
