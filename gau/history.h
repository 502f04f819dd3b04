#pragma once
// The undo history: each completed change of a gauge file keeps its old bytes
// in the state folder (io::stateFolder()/history), not beside the gauge. A
// gauge's changes are filed under its file identity (device, inode and birth
// time), so they follow it through a rename or a move within its filesystem;
// its length, which no change alters, is checked too, and every undo checks
// that the gauge still holds the bytes the change wrote.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/result.h"
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

// The changes kept for the gauge file `gaugeName`, oldest first.
std::vector<HistoryEntry> historyOf(const std::string& gaugeName);

// Files the completed change `record` of `gaugeName` (its header encoded as
// `header`, its old bytes `oldBytes`). `journal`, when not empty, is the
// journal that holds exactly these bytes; it is moved into the history when
// the two lie on one filesystem, else removed. Then drops what the limits
// exclude. False when the change could not be kept (no state folder); the
// journal is gone either way.
bool keepInHistory(const std::string& gaugeName, const ChangeRecord& record,
                   std::span<const uint8_t> header, std::span<const uint8_t> oldBytes,
                   const std::string& journal);

// What an undo put back.
struct Undone {
  ChangeRecord record;  // the change undone
};

// Undoes the change `entry` of the gauge on `gauge` (the file gauge.name(),
// open for writing) through changeRange(); the undo is itself a change, kept
// in the history, so it can be undone in turn. Refused with the gauge
// unchanged (Fault::Bitmap) when the gauge no longer holds the bytes the
// change wrote: another program, or a copy put back, has changed it since.
Result<Undone> undoChange(io::Channel& gauge, const HistoryEntry& entry);

// The same for the latest change kept; Fault::Bitmap when there is none.
Result<Undone> undoLatest(io::Channel& gauge);

}  // namespace gau
