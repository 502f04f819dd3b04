#pragma once
// Taking changes back: each undo goes through changeRange() (or, for a change
// of the file's length, changeTail()) like any change,
// is kept in the history itself (so it can be undone in turn), and writes only
// inside the bitmap record the change named, and only while the gauge still
// holds the bytes the change wrote.

#include <vector>

#include "base/result.h"
#include "gau/history.h"

namespace io {
class Channel;
}

namespace gau {

// What an undo put back.
struct Undone {
  ChangeRecord record;  // the change undone
};

// Undoes the change `entry` of the gauge on `gauge` (the file gauge.name(),
// open for writing). Refused with the gauge unchanged (Fault::Bitmap) when
// the gauge no longer holds the bytes the change wrote: another program, or a
// copy put back, has changed it since.
Result<Undone> undoChange(io::Channel& gauge, const HistoryEntry& entry);

// The latest change kept; Fault::Bitmap when there is none.
Result<Undone> undoLatest(io::Channel& gauge);

// The latest `steps` changes, newest first: all of them or, when any one of
// them could not be undone in turn, none (Fault::Bitmap, nothing written). A
// write that fails part-way stops there; the steps undone before it are then
// in `undoneBeforeFailure`.
Result<std::vector<Undone>> undoSteps(io::Channel& gauge, int steps,
                                      std::vector<Undone>* undoneBeforeFailure = nullptr);

}  // namespace gau
