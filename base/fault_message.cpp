#include "base/fault_message.h"

#include <cctype>

namespace {

std::string capitalised(std::string s) {
  if (!s.empty()) s[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
  return s;
}

// The reason after a sentence, with the blank between them.
std::string then(const std::string& reason) { return reason.empty() ? "" : " " + reason; }

// "the gauge file NAME", or without the name where the caller has none.
std::string theGauge(const std::string& gauge) {
  return gauge.empty() ? "the gauge file" : "the gauge file " + gauge;
}

}  // namespace

std::string faultMessage(const Attempt& a, Fault fault, const std::string& reason) {
  const std::string action = capitalised(a.action);
  switch (fault) {
    case Fault::None:
      return {};
    case Fault::Bitmap:
      return capitalised(a.bitmap) + " cannot be worked on, so " + a.action +
             " was not done and nothing was written." + then(reason);
    case Fault::Source:
      return action + " was not done; nothing was written." + then(reason);
    case Fault::DoesNotFit:
      return "The file " + a.file + " does not fit " + a.bitmap + ", so " + a.action +
             " was not done and nothing was written." + then(reason);
    case Fault::Target:
      return "The file " + a.file + " could not be written." + then(reason) +
             " Any older file of that name is as it was.";
    case Fault::TargetExists:
      return "The file " + a.file + " already exists and was kept.";
    case Fault::OutOfMemory:
      return action + " was not done; nothing was written. There was not enough memory." +
             then(reason);
    case Fault::GaugeWrite:
      return action + " of " + a.bitmap +
             " failed part-way; some of its bytes may have been written." + then(reason);
    case Fault::NotWritten:
      return action + " was not done, and " + theGauge(a.gauge) + " is as it was." + then(reason);
    case Fault::ReadOnly:
      return action + " was not done: " + theGauge(a.gauge) +
             " is read-only, so nothing was written. To change it, copy it to a folder you "
             "can write to and open the copy.";
  }
  return action + " was not done." + then(reason);
}
