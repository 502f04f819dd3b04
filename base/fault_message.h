#pragma once
// The one sentence writer for a refused or failed operation, shared by the
// windows and the command line: what was or was not written, chosen by the
// fault, then the file logic's own reason. Text is UTF-8; names in it are
// already in the form the caller shows them.

#include <string>

#include "base/result.h"

struct Attempt {
  std::string action{};  // "Make Transparent", "the import of x.bmp", "Send"
  std::string bitmap{};  // "bitmap 3 of PANEL.GAU"
  std::string gauge{};   // "PANEL.GAU"
  std::string file{};    // the other file, read or written, when there is one
  // (names are never capitalised: a sentence about one starts with fixed words)
};

// Empty for Fault::None.
std::string faultMessage(const Attempt& attempt, Fault fault, const std::string& reason);
