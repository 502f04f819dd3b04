#include "gau/undo.h"

#include <algorithm>
#include <memory>

#include "gau/change.h"
#include "io/file_channels.h"

namespace gau {
namespace {

struct Loaded {
  ChangeRecord record;
  RecordBytes bytes;
};

// The entry of a change that left the file `length` bytes long.
Result<Loaded> load(int64_t length, const HistoryEntry& entry) {
  std::string why;
  const std::unique_ptr<io::Channel> c =
      io::openFileChannel(entry.file, io::OpenMode::ReadOnly, &why);
  Loaded l;
  ReadRecord r;
  if (c) r = readRecord(*c, Form::History, &l.bytes, length);
  if (r.state != RecordState::Whole)
    return Result<Loaded>::failure(Fault::Bitmap,
                                   "The history of that change cannot be read whole.");
  l.record = r.record;
  return l;
}

std::string nothingToUndo(const History& h) {
  return h.notHeld > 0 ? "The gauge no longer holds the bytes its latest change wrote; another "
                         "program, or a copy put back, has changed them since."
                       : "There is no change of it to undo.";
}

Result<Undone> undoLoaded(io::Channel& gauge, const Loaded& l) {
  const ChangeNote note{"undo", l.record.bmpPos, &l.record};
  const Result<> done = l.record.kind == RecordKind::Tail
                            ? changeTail(gauge, l.record.position, l.bytes.before, note)
                            : changeRange(gauge, l.record.position, l.bytes.before, note);
  if (!done) return Result<Undone>::failure(done);
  return Undone{l.record};
}

}  // namespace

Result<Undone> undoChange(io::Channel& gauge, const HistoryEntry& entry) {
  const Result<Loaded> l = load(gauge.length(), entry);
  if (!l) return Result<Undone>::failure(l);
  return undoLoaded(gauge, *l);
}

Result<Undone> undoLatest(io::Channel& gauge) {
  const History h = historyFor(gauge.name());
  if (h.entries.empty()) return Result<Undone>::failure(Fault::Bitmap, nothingToUndo(h));
  return undoChange(gauge, h.entries.back());
}

Result<std::vector<Undone>> undoSteps(io::Channel& gauge, int steps,
                                      std::vector<Undone>* undoneBeforeFailure) {
  using R = Result<std::vector<Undone>>;
  const History h = historyFor(gauge.name());
  const std::vector<HistoryEntry>& kept = h.entries;
  if (kept.empty()) return R::failure(Fault::Bitmap, nothingToUndo(h));
  if (steps < 1 || static_cast<size_t>(steps) > kept.size())
    return R::failure(Fault::Bitmap,
                      std::to_string(kept.size()) +
                          (kept.size() == 1 ? " change of it is" : " changes of it are") +
                          " kept, so " + std::to_string(steps) + " cannot be undone.");
  // Each step must find what its change wrote once the newer ones are undone:
  // tried on a copy of the bytes they cover before anything is written. The
  // entries are read one at a time, here and again below, so a long history
  // is never held whole.
  // A change of the file's length moves what follows it: then the whole file is tried.
  std::vector<const HistoryEntry*> todo;
  int64_t first = INT64_MAX, end = 0;
  for (int i = 0; i < steps; ++i) {
    todo.push_back(&kept[kept.size() - 1 - static_cast<size_t>(i)]);
    first = std::min(first, todo.back()->record.position);
    end = std::max(end, todo.back()->record.position + todo.back()->record.length);
    if (todo.back()->record.kind == RecordKind::Tail) first = 1, end = INT64_MAX;
  }
  if (end == INT64_MAX) end = gauge.length() + 1;
  std::vector<uint8_t> span(static_cast<size_t>(end - first));
  if (gauge.read(first, span) != span.size())
    return R::failure(Fault::Bitmap, "The gauge file could not be read: " +
                                         gauge.errorOr("the read stopped early") + ".");
  int64_t length = gauge.length();
  for (size_t i = 0; i < todo.size(); ++i) {
    const Result<Loaded> l = load(length, *todo[i]);
    if (!l) return R::failure(l);
    const ChangeRecord& r = l->record;
    const auto offset = static_cast<size_t>(r.position - first);
    std::vector<uint8_t> now;
    for (const Run& run : r.writtenRuns()) {
      if (offset + run.offset + run.length > span.size()) {
        now.clear();
        break;
      }
      const auto at = span.begin() + static_cast<std::ptrdiff_t>(offset + run.offset);
      now.insert(now.end(), at, at + run.length);
    }
    if (crc32Of(now) != r.newCrc)
      return R::failure(Fault::Bitmap,
                        "Step " + std::to_string(i + 1) +
                            " would find other bytes than its change wrote; another program, or "
                            "a copy put back, has changed them since.");
    if (r.kind == RecordKind::Tail) {
      span.resize(offset);
      span.insert(span.end(), l->bytes.before.begin(), l->bytes.before.end());
    } else {
      size_t k = 0;
      for (const Run& run : r.runs) {
        std::copy_n(l->bytes.before.begin() + static_cast<std::ptrdiff_t>(k), run.length,
                    span.begin() + static_cast<std::ptrdiff_t>(offset + run.offset));
        k += run.length;
      }
    }
    length = r.gaugeLength;
  }
  // The entries still to undo stay while the steps' own records are filed.
  const HistoryTrimHold hold(gauge.name());
  std::vector<Undone> undone;
  for (size_t i = 0; i < todo.size(); ++i) {
    const Result<Undone> u = undoChange(gauge, *todo[i]);
    if (!u) {
      if (undoneBeforeFailure) *undoneBeforeFailure = undone;
      return R::failure(u);
    }
    undone.push_back(*u);
  }
  return undone;
}

}  // namespace gau
