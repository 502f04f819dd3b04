#pragma once
// The one way a gauge file is changed. Every tool that writes into a gauge
// (the import, Make Transparent, Make Zero Trnsprt, the palette tool, undo)
// hands its bytes to changeRange(), so these rules hold for all of them:
//
// - One change at a time: the gauge is locked from the journal to the end of
//   the change; another dialpix waits briefly, then is refused.
// - All or nothing: the bytes about to be overwritten go first into a journal
//   beside the gauge (GAUGE-journal), flushed with its folder; only then is
//   the gauge written and flushed, and the journal retired into the undo
//   history. A journal found later is played back (recoverGauge), so a change
//   cut off part-way leaves the bitmap as it was before, never mixed.
// - A failed write or flush puts the old bytes back at once; nothing is
//   reported as done that is not on the disk.
//
// The journal is made afresh for each change and removed at its end, not kept
// open: the gauge folder holds nothing of dialpix between changes, and a
// journal that exists is always one a change is working with or one that was
// cut off, which the lock tells apart.

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "app/result.h"

namespace io {
class Channel;
}

namespace gau {

// What a change is for, kept in the journal and the history.
struct ChangeNote {
  ChangeNote(std::string command, int32_t bmpPos, std::optional<uint32_t> expectedCrc = {})
      : command(std::move(command)), bmpPos(bmpPos), expectedCrc(expectedCrc) {}
  std::string command;  // "import", "transparent", "zero", "palette", "undo"
  int32_t bmpPos = 0;   // the bitmap it changes
  // Undo only: the CRC-32 the range must still have, else nothing is written.
  std::optional<uint32_t> expectedCrc;
};

// How long a change waits for another dialpix that holds the gauge.
inline constexpr std::chrono::milliseconds kLockWait{3000};

// The journal's name for the gauge file `gaugeName`.
std::string journalName(const std::string& gaugeName);

// Writes `bytes` over the gauge from 1-based `pos` on, as described above.
// The range must lie inside the file (the file never grows). A gauge in
// memory (tests, fuzzing) is written directly. Failures, each with the gauge
// as it was: Fault::ReadOnly, Fault::Bitmap (the range leaves the file; an
// undo whose bytes were changed since), Fault::NotWritten (another dialpix
// holds it, the journal or the gauge could not be written or flushed).
// Fault::GaugeWrite only when the old bytes could not even be put back; the
// journal then puts them back the next time the gauge is opened.
Result<> changeRange(io::Channel& gauge, int64_t pos, std::span<const uint8_t> bytes,
                     const ChangeNote& note);

// A change that was cut off and has been undone from its journal.
struct Restored {
  int32_t bmpPos = 0;
  std::string command;
  int64_t bytes = 0;
};

// Plays back a journal left beside the gauge file `gaugeName` by a change that
// was cut off, so the gauge is as before that change; removes a torn journal
// (cut off before the gauge was touched). Nothing when there was no journal to
// play back. Call before reading the gauge. Fails when the journal could not
// be played back (the gauge is read-only, another dialpix holds it); the
// journal then stays for the next open.
Result<std::optional<Restored>> recoverGauge(const std::string& gaugeName);

// What the user is told of `restored`, a change of bitmap `number` (0 when
// its position is no bitmap the scan finds now).
std::string restoredSentence(const Restored& restored, int number);

// True when a change of `gaugeName` can keep a journal beside it; when false,
// changes go without one, and the user should be told so once.
bool journalPossible(const std::string& gaugeName);

// The sentence that says so.
std::string withoutJournalNote();

}  // namespace gau
