#pragma once
// The one way a gauge file is opened, for the windows and the command line
// alike: only a regular file; one its user may not write opens for reading
// only; a change cut off part-way is settled from its journal before anything
// is read; and a file too large for 32-bit positions is refused.

#include <cstdint>
#include <memory>
#include <string>

#include "base/result.h"
#include "gau/change.h"

namespace io {
class Channel;
}

namespace gau {

enum class Access { ReadWrite, ReadOnly };

struct OpenedGauge {
  std::unique_ptr<io::Channel> channel;
  Access access = Access::ReadOnly;
  Recovery recovery;            // what was found beside it and done about it
  std::string recoveryProblem;  // a journal of its own that could not be played back
  bool withoutJournal = false;  // open for writing in a folder that takes no journal
};

// Why a gauge file could not be opened; `why` is a clause ("it is not a
// regular file"), or sentences for a journal that could not be played back.
enum class OpenProblem { NotRegular, CannotOpen, TooLarge, Journal };

struct OpenFailure {
  OpenProblem problem;
  std::string why;
};

// Opens `name` for `wanted` access, as above. With Access::ReadWrite a
// journal of its own that cannot be played back fails the open (a change
// would be refused); for reading it is only said, in recoveryProblem.
struct OpenResult {
  std::optional<OpenedGauge> gauge;
  OpenFailure failure{OpenProblem::CannotOpen, {}};
};
OpenResult openGauge(const std::string& name, Access wanted);

}  // namespace gau
