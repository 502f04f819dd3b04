#pragma once
// The one way a gauge file is changed. Every tool that writes into a gauge
// (the import, Make Transparent, Make Zero Trnsprt, the palette tool, undo)
// hands its bytes to changeRange(), so these rules hold for all of them:
//
// - One change at a time: the gauge is locked from the journal to the end of
//   the change; another dialpix waits briefly, then is refused. Under the
//   lock the gauge's name must still lead to the file open for the change.
// - An undo only inside one bitmap record: the bytes must lie in the palette
//   and pixels of the bitmap its entry names, found at its place in the file.
// - All or nothing: the runs of bytes about to change go first, old and new,
//   into a journal beside the file itself (the file a link leads to), flushed
//   with its folder; only then is the gauge written and flushed, and the
//   journal retired into the undo history. A journal found later is played
//   back only when it is provably this file's own change cut off part-way
//   (recoverGauge), so a cut-off change leaves the bitmap as it was before.
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
#include <vector>

#include "base/result.h"

namespace io {
class Channel;
}

namespace gau {

struct ChangeRecord;

// What a change is for, kept in the journal and the history.
struct ChangeNote {
  ChangeNote(std::string command, int32_t bmpPos, const ChangeRecord* undoing = nullptr)
      : command(std::move(command)), bmpPos(bmpPos), undoing(undoing) {}
  std::string command;  // "import", "transparent", "zero", "palette", "undo"
  int32_t bmpPos = 0;   // the bitmap it changes
  // Undo only: the change taken back. The bytes handed over are then its old
  // run bytes, and nothing is written unless its runs still hold what it wrote.
  const ChangeRecord* undoing = nullptr;
};

// How long a change waits for another dialpix that holds the gauge.
inline constexpr std::chrono::milliseconds kLockWait{3000};

// The journal's name for the gauge file `gaugeName`: beside the file itself,
// always short enough for its folder.
std::string journalName(const std::string& gaugeName);

// Writes `bytes` over the gauge from 1-based `pos` on, as described above.
// The range must lie inside the file (it never grows), and an undo's inside
// the bitmap record at `note.bmpPos`. A gauge in memory (tests, fuzzing) is written directly.
// Failures, each with the gauge as it was: Fault::ReadOnly, Fault::Bitmap
// (the range leaves the bitmap record; an undo whose bytes were changed
// since), Fault::NotWritten (another dialpix holds it, the journal or the
// gauge could not be written or flushed, something is in the journal's way).
// Fault::GaugeWrite only when the old bytes could not even be put back; the
// journal then puts them back the next time the gauge is opened.
Result<> changeRange(io::Channel& gauge, int64_t pos, std::span<const uint8_t> bytes,
                     const ChangeNote& note);

// Replaces everything from 1-based `pos` to the end of the file by `bytes`,
// so the file's length may change: a bitmap resource made another size,
// whose module is laid out anew behind it. The same rules as changeRange();
// the journal and the history keep the old length and the old bytes from the
// first byte that changes to the old end, so a cut-off change plays back to
// the old file exactly and an undo gives it back byte for byte. An undo's
// bytes go where its change began, and only while the file holds, from
// there to its end, exactly what that change wrote.
Result<> changeTail(io::Channel& gauge, int64_t pos, std::span<const uint8_t> bytes,
                    const ChangeNote& note);

// A change that was cut off and has been undone from its journal.
struct Restored {
  int32_t bmpPos = 0;
  std::string command;
  int64_t bytes = 0;
};

// What opening a gauge found beside it.
struct Recovery {
  std::optional<Restored> restored;  // a cut-off change put back
  std::string notice;                // sentences for the user: a journal not played back, and why
  bool blocking = false;             // something at the journal's name refuses every change
};

// Looks for a journal beside the gauge file `gaugeName` and plays it back
// when it is this file's own change, cut off part-way; removes a torn one
// (cut off before the gauge was touched). A journal that is not provably this
// file's own is moved aside, not played back, and the notice says where it
// went; a file that is no dialpix journal is left alone. Call before reading
// the gauge. Fails when a journal of this file's could not be played back
// (the gauge is read-only, another dialpix holds it); it then stays for the
// next open.
Result<Recovery> recoverGauge(const std::string& gaugeName);

// What the user is told of `restored`, a change of bitmap `number` (0 when
// its position is no bitmap the scan finds now).
std::string restoredSentence(const Restored& restored, int number);
// The same for a bitmap called `name` ("3", "id:4096"; empty when it has none).
std::string restoredSentence(const Restored& restored, const std::string& name);

// True when a change of `gaugeName` can keep a journal beside it; when false,
// changes go without one, and the user should be told so once.
bool journalPossible(const std::string& gaugeName);

// The sentence that says so.
std::string withoutJournalNote();

// What changes made so far could not do and the user must hear, each said
// once for a gauge (a change that could not be kept for undo). Taking them
// empties the list.
struct ChangeNotice {
  std::string gauge;     // the gauge file's name
  std::string sentence;  // about "it", the gauge file
};
std::vector<ChangeNotice> takeChangeNotices();

}  // namespace gau
