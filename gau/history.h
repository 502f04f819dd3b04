#pragma once
// The undo history: each completed change of a gauge file keeps the old bytes
// of its runs in the state folder (io::stateFolder()/history, this user's
// alone), not beside the gauge. A gauge's changes are filed under its file
// identity (device, inode and birth time), so they follow it through a rename
// or a move within its filesystem; its length is checked too (each change
// must have left the file at the length the next one found, and the newest at
// the length it has), and so is that the file still holds what the newest change
// wrote: a later file that was given a deleted gauge's identity does not
// inherit its changes.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "gau/change_record.h"

namespace io {
class Channel;
}

namespace gau {

struct HistoryLimits {
  int changesPerGauge = 100;                // a gauge's oldest change goes past this
  int64_t totalBytes = int64_t{256} << 20;  // the oldest of all go past this
};
// The limits in force; tests lower them.
HistoryLimits& historyLimits();

struct HistoryEntry {
  ChangeRecord record;
  std::string file;  // where it is kept
};

struct History {
  std::vector<HistoryEntry> entries;  // the changes that can be undone, oldest first
  // Changes kept under this file's identity that it does not hold: the newest
  // of them wrote bytes the file no longer has (another file, or another program).
  int notHeld = 0;
  std::vector<std::string> setAside;  // damaged entries, moved aside where they lie
};

// What is kept for the gauge file `gaugeName`. A damaged entry is moved aside
// (NUMBER.damaged beside the others), never taken for a change.
History historyFor(const std::string& gaugeName);

// The changes that can be undone, oldest first.
std::vector<HistoryEntry> historyOf(const std::string& gaugeName);

// Files the completed change `record` of `gaugeName` (its header and run table
// `prefix`, its old run bytes `before`). `journal`, when not empty, is the
// journal that holds exactly these bytes and the new ones; it is moved into
// the history when the two lie on one filesystem, else removed. Then drops
// what the limits exclude. False, and `why` says why, when the change could
// not be kept; the caller then removes the journal.
bool keepInHistory(const std::string& gaugeName, const ChangeRecord& record,
                   std::span<const uint8_t> prefix, std::span<const uint8_t> before,
                   const std::string& journal, std::string* why);

// Before the change `next` of `gaugeName`, whose range holds `current` now:
// drops the kept changes when the file no longer holds what the newest of them
// wrote, as they could never be undone.
void dropUnheldHistory(const std::string& gaugeName, io::Channel& gauge, const ChangeRecord& next,
                       std::span<const uint8_t> current);

// While one lives, the limits drop nothing: an undo of several steps records
// each step as a change, and must not push out the entries it has still to undo.
class HistoryTrimHold {
 public:
  explicit HistoryTrimHold(std::string gaugeName);
  ~HistoryTrimHold();
  HistoryTrimHold(const HistoryTrimHold&) = delete;
  HistoryTrimHold& operator=(const HistoryTrimHold&) = delete;

 private:
  std::string gaugeName_;
};

}  // namespace gau
