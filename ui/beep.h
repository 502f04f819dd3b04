#pragma once
// The system beep, through one function so tests can count it.

namespace ui {

void Beep();
int beepCount();  // beeps since program start

}  // namespace ui
