#include "gau/change.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <future>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "gau/bitmap_record.h"
#include "gau/change_record.h"
#include "gau/history.h"
#include "gau/resource_bitmap.h"
#include "io/file_channels.h"
#include "io/system.h"

namespace gau {
namespace {

Result<> notWritten(std::string why) {
  return Result<>::failure(Fault::NotWritten, std::move(why));
}

const char* const kBusy = "Another dialpix is changing the gauge file. Try again when it is done.";

// A name for `leaf` + `suffix` that fits one folder entry: a leaf too long for
// it is cut (at a character's start) and told apart by a hash of the whole.
std::string fittedLeaf(const std::string& leaf, const std::string& suffix) {
  if (leaf.size() + suffix.size() <= io::kMaxLeafBytes) return leaf + suffix;
  uint64_t hash = 0xcbf29ce484222325ull;  // FNV-1a
  for (const unsigned char c : leaf) hash = (hash ^ c) * 0x100000001b3ull;
  char tag[20];
  std::snprintf(tag, sizeof tag, "~%016llx", static_cast<unsigned long long>(hash));
  size_t keep = io::kMaxLeafBytes - suffix.size() - 17;
  while (keep > 0 && (static_cast<unsigned char>(leaf[keep]) & 0xC0) == 0x80) --keep;
  return leaf.substr(0, keep) + tag + suffix;
}

// The file itself that `gaugeName` names, as folder and leaf.
std::pair<std::string, std::string> realParts(const std::string& gaugeName) {
  const std::string real = io::realName(gaugeName).value_or(gaugeName);
  const std::string folder = io::folderOf(real);
  return {folder, real.substr(folder.size())};
}

// Removes the journal and pushes the removal to the disk: a journal that came
// back after a power cut would undo a change already reported done.
bool removeJournal(const std::string& journal, std::string* why) {
  return io::deleteFile(journal, why) && io::syncFolderOf(journal, why);
}

// Writes the journal (header, run table, old and new run bytes) and makes it
// durable with its name; it is no more readable than the gauge.
bool writeJournal(const std::string& journal, const std::string& gaugeName,
                  std::span<const uint8_t> prefix, std::span<const uint8_t> before,
                  std::span<const uint8_t> after, std::string* why) {
  std::unique_ptr<io::Channel> file = io::openFileChannel(journal, io::OpenMode::CreateNew, why);
  if (!file) return false;
  io::limitPermissions(journal, gaugeName);
  const auto at = static_cast<int64_t>(prefix.size()) + 1;
  const bool ok = file->write(1, prefix) && file->write(at, before) &&
                  file->write(at + static_cast<int64_t>(before.size()), after) && file->flush();
  if (!ok) *why = file->error();
  file.reset();
  if (ok && io::syncFolderOf(journal, why)) return true;
  std::string ignored;
  io::deleteFile(journal, &ignored);
  return false;
}

// Runs closer than this are written in one call: the bytes between them are
// the same before and after, and a call a run would cost more than they do.
constexpr int64_t kWriteGap = 4096;

// Writes the runs of `range` (the whole range's bytes) from `pos` on.
bool writeRuns(io::Channel& gauge, int64_t pos, const std::vector<Run>& runs,
               std::span<const uint8_t> range) {
  for (size_t i = 0; i < runs.size();) {
    size_t j = i;
    while (j + 1 < runs.size() &&
           runs[j + 1].offset - (int64_t{runs[j].offset} + runs[j].length) < kWriteGap)
      ++j;
    const int64_t first = runs[i].offset, end = int64_t{runs[j].offset} + runs[j].length;
    if (!gauge.write(pos + first,
                     range.subspan(static_cast<size_t>(first), static_cast<size_t>(end - first))))
      return false;
    i = j + 1;
  }
  return true;
}

// Whether 1-based `pos`..`pos`+`count`-1 lie in the palette and pixels of the
// bitmap whose header is at `bmpPos`, as the file holds it now. The palette
// needs only the signature (and a colour count the tools can read, else entry
// 0 alone, which Make Zero Trnsprt writes without one); the pixels need sizes
// that the tools can work with.
Result<> insideBitmapRecord(io::Channel& gauge, int32_t bmpPos, int64_t pos, int64_t count) {
  const auto outside = [](std::string why) { return Result<>::failure(Fault::Bitmap, why); };
  const int64_t length = gauge.length();
  // A bitmap resource named by id (any depth, any header size): its palette
  // and pixels as its header lays them out.
  if (const Result<Dib> d = readDib(gauge, int64_t{bmpPos} + kHeaderFromBmpPos, length);
      d && !d->compressed() && pos >= d->paletteStart() &&
      pos + count <= d->pixelStart() + d->pixelBytes)
    return {};
  if (bmpPos < 1 || !liesInFile(bmpPos, 4, length) || gauge.get4(bmpPos) != kSignature)
    return outside("There is no bitmap header at byte " + std::to_string(bmpPos) + " of the file.");
  const int64_t countPos = int64_t{bmpPos} + kColorCountFromBmpPos;
  const int32_t stored = liesInFile(countPos, 4, length) ? gauge.get4(countPos) : -1;
  const int64_t colors = stored >= 0 && stored <= kMaxColors ? colorsInUse(stored) : 1;
  const int64_t paletteStart = int64_t{bmpPos} + kPaletteFromBmpPos;
  int64_t last = paletteStart + 4 * colors - 1;
  if (const Result<BitmapLayout> b = readLayout(gauge, bmpPos, Extent::SizeFields); b)
    last = std::max(last, b->pixelEnd());
  if (pos < paletteStart || pos + count - 1 > last)
    return outside(
        "The bytes to be written lie outside the palette and pixels of the bitmap at "
        "byte " +
        std::to_string(bmpPos) + ".");
  return {};
}

std::mutex noticesMutex;
std::vector<ChangeNotice> notices;
std::set<std::string> toldOf;  // gauges already told of, for one notice each

void noticeOnce(const std::string& gaugeName, const std::string& sentence) {
  const std::lock_guard<std::mutex> hold(noticesMutex);
  if (toldOf.insert(gaugeName).second) notices.push_back({gaugeName, sentence});
}

// Why a whole journal is not this file's change cut off part-way; empty when it is.
std::string notOurs(const std::string& journal, const std::string& gaugeName, io::Channel& gauge,
                    const ChangeRecord& r, const RecordBytes& bytes) {
  if (!io::ownedByUserOrOwnerOf(journal, gaugeName))
    return "it belongs to another user than the gauge file's owner and you";
  if (std::optional<io::FileId> id = io::fileId(gaugeName); !id || !(*id == r.file))
    return "it was made for another file (a copy, or a file of the same name before it)";
  if (r.kind == RecordKind::Tail) {
    // From its position to the end of the file each byte must be the one
    // before or the one the change wrote, at the same place.
    const int64_t length = gauge.length();
    if (r.position > length + 1) return "the file is shorter than where the change began";
    std::vector<uint8_t> now(static_cast<size_t>(length - r.position + 1));
    if (gauge.read(r.position, now) != now.size()) return "the gauge file could not be read";
    for (size_t i = 0; i < now.size(); ++i)
      if (!(i < bytes.before.size() && now[i] == bytes.before[i]) &&
          !(i < bytes.after.size() && now[i] == bytes.after[i]))
        return "the gauge file no longer holds the bytes of that change: a later change went "
               "over it";
    return {};
  }
  if (!insideBitmapRecord(gauge, r.bmpPos, r.position, r.length) ||
      !liesInFile(r.position, r.length, gauge.length()))
    return "the bitmap it names is not at its place in the file";
  // Each byte must be the one before or the one the change wrote: anything
  // else means a later change went over it.
  size_t k = 0;
  for (const Run& run : r.runs) {
    std::vector<uint8_t> now(run.length);
    if (gauge.read(r.position + run.offset, now) != now.size())
      return "the gauge file could not be read";
    for (size_t i = 0; i < now.size(); ++i, ++k)
      if (now[i] != bytes.before[k] && now[i] != bytes.after[k])
        return "the gauge file no longer holds the bytes of that change: a later change went "
               "over it";
  }
  return {};
}

// Moves a journal that is not to be played back aside, under a name the user
// can see beside it; the sentence says what was found and where it went.
std::string setAside(const std::string& journal, const std::string& why) {
  const std::string folder = io::folderOf(journal);
  const std::string leaf = journal.substr(folder.size());
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::strftime(stamp, sizeof stamp, "-set-aside-%Y%m%d-%H%M%S", std::gmtime(&now));
  std::string error;
  for (int n = 1; n <= 99; ++n) {
    const std::string aside =
        folder + fittedLeaf(leaf, stamp + (n == 1 ? std::string() : "-" + std::to_string(n)));
    const io::MoveResult moved = io::moveFile(journal, aside, io::Existing::Keep, &error);
    if (moved == io::MoveResult::TargetExists) continue;
    if (moved == io::MoveResult::Done) {
      io::syncFolderOf(journal, &error);
      return "A journal " + journal + " was found beside it and not played back: " + why +
             ". It was moved aside to " + aside + "; the gauge file was not changed.";
    }
    break;
  }
  return "A journal " + journal + " was found beside it and not played back: " + why +
         ". It could not be moved aside (" + error + "); the gauge file was not changed.";
}

// What stands at the journal's name when it is no dialpix journal.
std::string inTheWay(const std::string& journal, const std::string& what) {
  return journal + " has the name of its journal but is " + what +
         ", so it was left as it is. Changes to the gauge file are refused until it is moved "
         "or renamed.";
}

struct Settled {
  Recovery recovery;
  bool blocking = false;  // the journal's name is still taken: no change may start
};

// Under the lock: plays back, removes, moves aside or leaves the journal of `gaugeName`.
Result<Settled> settleJournal(const std::string& gaugeName, const std::string& journal) {
  using R = Result<Settled>;
  Settled s;
  if (!io::nameTaken(journal)) return s;
  s.blocking = true;
  if (io::isLink(journal)) {
    s.recovery.notice = inTheWay(journal, "a symbolic link, not a dialpix journal");
    return s;
  }
  if (io::kindOf(journal) != io::FileKind::Regular) {
    s.recovery.notice = inTheWay(journal, "not a regular file");
    return s;
  }
  std::string why;
  std::unique_ptr<io::Channel> file = io::openFileChannel(journal, io::OpenMode::ReadOnly, &why);
  if (!file)
    return R::failure(Fault::NotWritten,
                      "Its journal " + journal + " cannot be read: " + why + ".");
  std::unique_ptr<io::Channel> gauge = io::openFileChannel(gaugeName, io::OpenMode::ReadOnly, &why);
  if (!gauge)
    return R::failure(Fault::NotWritten, "Its journal " + journal +
                                             " was left as it is: the gauge "
                                             "file cannot be opened (" +
                                             why + ").");
  RecordBytes bytes;
  const ReadRecord read = readRecord(*file, Form::Journal, &bytes, gauge->length());
  file.reset();
  const bool canRetire = io::removable(journal);
  switch (read.state) {
    case RecordState::Foreign:
      s.recovery.notice = inTheWay(journal, "not a dialpix journal");
      return s;
    case RecordState::Torn:
      // Cut off before it was whole, so the gauge was never touched.
      if (!canRetire || !removeJournal(journal, &why)) {
        s.recovery.notice =
            "A journal " + journal +
            " that was cut off before its change began could not be removed" +
            (canRetire ? " (" + why + ")" : std::string(": you may not remove it")) +
            ". Changes to the gauge file are refused until it is.";
        return s;
      }
      s.blocking = false;
      return s;
    case RecordState::Damaged:
      s.recovery.notice =
          setAside(journal, "its checksums or fields do not hold (damaged or edited)");
      break;
    case RecordState::OtherLength:
      s.recovery.notice = setAside(journal, "it was made for a file of another length");
      break;
    case RecordState::Whole: {
      const ChangeRecord& r = read.record;
      if (const std::string reason = notOurs(journal, gaugeName, *gauge, r, bytes);
          !reason.empty()) {
        s.recovery.notice = setAside(journal, reason);
        break;
      }
      // Never write what could not be retired: it would be played back again.
      if (!canRetire) {
        s.recovery.notice = "A journal " + journal +
                            " of a change cut off part-way was found beside it, but you may not "
                            "remove it, so it was not played back and the gauge file was not "
                            "changed. Open the gauge as the journal's owner, or as a user who "
                            "may write its folder, to put the change back.";
        return s;
      }
      gauge.reset();
      gauge = io::openFileChannel(gaugeName, io::OpenMode::ReadWriteExisting, &why);
      if (!gauge)
        return R::failure(Fault::NotWritten, "A change that was cut off left its journal " +
                                                 journal +
                                                 ", which cannot be played back: the "
                                                 "gauge file cannot be opened for writing (" +
                                                 why + ").");
      size_t k = 0;
      bool ok = true;
      for (const Run& run : r.runs) {
        ok = ok && gauge->write(r.position + run.offset,
                                std::span<const uint8_t>(bytes.before).subspan(k, run.length));
        k += run.length;
      }
      // A tail's old bytes reach the old end; the file may have grown past it.
      if (r.kind == RecordKind::Tail) ok = ok && gauge->truncate(r.gaugeLength);
      if (!ok || !gauge->flush())
        return R::failure(Fault::NotWritten, "A change that was cut off left its journal " +
                                                 journal + ", which could not be played back: " +
                                                 gauge->errorOr("unknown error") + ".");
      if (!removeJournal(journal, &why))
        return R::failure(Fault::NotWritten,
                          "Its journal " + journal + " could not be removed: " + why + ".");
      s.recovery.restored = Restored{r.bmpPos, r.command, r.bytesChanged};
      s.blocking = false;
      return s;
    }
  }
  s.blocking = io::nameTaken(journal);
  return s;
}

std::unique_ptr<io::FileLock> lockGauge(const std::string& name, std::string* why) {
  io::LockOutcome outcome{};
  std::unique_ptr<io::FileLock> lock = io::lockFile(name, kLockWait, &outcome, why);
  if (outcome == io::LockOutcome::Busy) *why = kBusy;
  return lock;
}

// From this size on, the new bytes' checksum is worked out beside the rest.
constexpr int64_t kLargeChange = int64_t{1} << 20;

// What every change holds from its start to its end.
struct Started {
  std::unique_ptr<io::FileLock> lock;
  // The journal's name and whether its folder takes one, worked out once:
  // each asks the system to resolve the gauge's path.
  std::string journalPath;
  bool canJournal = false;
};

// Takes the gauge's lock and settles a journal left by a change cut off since it was opened.
Result<> start(io::Channel& gauge, Started& s) {
  if (!gauge.onDisk()) return {};
  const std::string& name = gauge.name();
  std::string why;
  s.journalPath = journalName(name);
  s.canJournal = io::folderWritable(s.journalPath);
  s.lock = lockGauge(name, &why);
  if (!s.lock) return notWritten(why);
  // The lock is the name's file; the write goes to the open one.
  if (gauge.atName() != io::AtName::Same)
    return notWritten(
        "Its name no longer leads to the file that was opened: it was renamed, "
        "moved or replaced since. Open it again.");
  // A change cut off since this gauge was opened: undo it before this one.
  const Result<Settled> left = settleJournal(name, s.journalPath);
  if (!left) return notWritten(left.reason());
  if (left->blocking && s.canJournal) return notWritten(left->recovery.notice);
  return {};
}

}  // namespace

std::string journalName(const std::string& gaugeName) {
  const auto [folder, leaf] = realParts(gaugeName);
  return folder + fittedLeaf(leaf, "-journal");
}

std::string restoredSentence(const Restored& r, int number) {
  return restoredSentence(r, number > 0 ? std::to_string(number) : std::string());
}

std::string restoredSentence(const Restored& r, const std::string& name) {
  const std::string bitmap =
      !name.empty() ? "Bitmap " + name : "The bitmap at byte " + std::to_string(r.bmpPos);
  const std::string what =
      r.command.empty() ? std::string("a change") : "a change (" + r.command + ")";
  return bitmap + " was put back as it was before " + what +
         " that was cut off part-way, when "
         "dialpix was stopped or the machine went down before the change was complete (" +
         std::to_string(r.bytes) + (r.bytes == 1 ? " byte" : " bytes") +
         " restored from the journal).";
}

bool journalPossible(const std::string& gaugeName) {
  return io::folderWritable(io::realName(gaugeName).value_or(gaugeName));
}

std::string withoutJournalNote() {
  return "Its folder cannot be written, so changes to it go without a journal beside it: a "
         "change cut off part-way (a crash, a power cut) may leave a bitmap part old and part "
         "new. Changes are still kept for undo.";
}

std::vector<ChangeNotice> takeChangeNotices() {
  const std::lock_guard<std::mutex> hold(noticesMutex);
  return std::exchange(notices, {});
}

Result<Recovery> recoverGauge(const std::string& gaugeName) {
  using R = Result<Recovery>;
  const std::string journal = journalName(gaugeName);
  if (!io::nameTaken(journal)) return R(Recovery{});  // the usual case
  std::string why;
  const std::unique_ptr<io::FileLock> lock = lockGauge(gaugeName, &why);
  if (!lock)
    return R::failure(
        Fault::NotWritten,
        "A journal " + journal + " was found beside it and left as it is: " + why + ".");
  Result<Settled> settled = settleJournal(gaugeName, journal);
  if (!settled) return R::failure(settled);
  settled->recovery.blocking = settled->blocking && io::folderWritable(journal);
  return R(settled->recovery);
}

namespace {

// The fields every record takes from the change's note and the clock.
void noteInto(ChangeRecord& record, const ChangeNote& note, io::Channel& gauge) {
  record.time = static_cast<int64_t>(std::time(nullptr));
  record.bmpPos = note.bmpPos;
  record.command = note.command;
  if (gauge.onDisk()) record.file = io::fileId(gauge.name()).value_or(io::FileId{});
}

// Writes the journal, unless its folder takes none (the user was told on opening).
Result<> journalFirst(const std::string& journal, const std::string& name,
                      const std::vector<uint8_t>& prefix, std::span<const uint8_t> before,
                      std::span<const uint8_t> after) {
  std::string why;
  if (journal.empty() || writeJournal(journal, name, prefix, before, after, &why)) return {};
  return notWritten(
      "The journal that keeps the old bytes until the change is complete "
      "could not be written: " +
      why + ".");
}

// A failed write whose old bytes could not be put back either.
Result<> lostBothWays(const std::string& failed, const std::string& journal) {
  return Result<>::failure(
      Fault::GaugeWrite,
      failed + ", and so did putting the old bytes back." +
          (journal.empty() ? std::string(" Some bytes may have changed.")
                           : " The journal beside it puts them back the next time dialpix "
                             "opens it."));
}

// Done and on the disk: the old bytes go on to the history, the journal away.
Result<> retire(io::Channel& gauge, const ChangeRecord& record, const std::vector<uint8_t>& prefix,
                std::span<const uint8_t> before, const std::string& journal) {
  const std::string& name = gauge.name();
  std::string why;
  if (gauge.onDisk() && !keepInHistory(name, record, prefix, before, journal, &why))
    noticeOnce(name, "A change to it could not be kept for undo (" + why +
                         "), so it cannot be undone. The change itself is complete.");
  if (!journal.empty() && io::nameTaken(journal)) removeJournal(journal, &why);
  return {};
}

}  // namespace

Result<> changeRange(io::Channel& gauge, int64_t pos, std::span<const uint8_t> bytes,
                     const ChangeNote& note) {
  if (gauge.readOnly())
    return Result<>::failure(Fault::ReadOnly, "The gauge file is open for reading only.");
  const Result<int64_t> length = gaugeLength(gauge);
  if (!length) return Result<>::failure(length);
  const int64_t count = note.undoing ? note.undoing->length : static_cast<int64_t>(bytes.size());
  if (!liesInFile(pos, count, *length))
    return Result<>::failure(Fault::Bitmap, "The bytes would run past the end of the file.");
  if (count == 0) return {};

  const std::string& name = gauge.name();
  std::string why;
  Started started;
  if (const Result<> ok = start(gauge, started); !ok) return ok;
  const std::string& journalPath = started.journalPath;
  const bool canJournal = started.canJournal;
  // An undo writes only inside the bitmap record its entry names: the entry is
  // a file on the disk, and could have been edited. The tools check their own
  // ranges against the bitmap they work on.
  if (note.undoing)
    if (const Result<> inside = insideBitmapRecord(gauge, note.bmpPos, pos, count); !inside)
      return inside;

  std::vector<uint8_t> old(static_cast<size_t>(count));
  if (gauge.read(pos, old) != old.size())
    return notWritten("The bytes to be replaced could not be read: " +
                      gauge.errorOr("the read stopped early") + ".");
  // An undo puts the old bytes of its change's runs back into what is there now.
  std::vector<uint8_t> patched;
  if (const ChangeRecord* undoing = note.undoing) {
    if (crc32Of(runBytesOf(old, undoing->runs)) != undoing->newCrc)
      return Result<>::failure(Fault::Bitmap,
                               "The gauge no longer holds the bytes that change wrote; another "
                               "program, or a copy put back, has changed them since.");
    patched = old;
    size_t k = 0;
    for (const Run& run : undoing->runs) {
      std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(k), run.length,
                  patched.begin() + run.offset);
      k += run.length;
    }
    bytes = patched;
  }
  ChangeRecord record;
  record.runs = runsBetween(old, bytes, &record.bytesChanged);
  if (record.bytesChanged == 0) return {};  // nothing to change, nothing to undo
  // The runs' bytes one after another; a single run is read where it lies.
  std::vector<uint8_t> keptAfter, keptBefore;
  std::span<const uint8_t> after, before;
  if (record.runs.size() == 1) {
    after = bytes.subspan(record.runs[0].offset, record.runs[0].length);
    before = std::span<const uint8_t>(old).subspan(record.runs[0].offset, record.runs[0].length);
  } else {
    after = keptAfter = runBytesOf(bytes, record.runs);
    before = keptBefore = runBytesOf(old, record.runs);
  }
  // The checksum of the new bytes, on the other core for a large change.
  std::future<uint32_t> newCrc =
      std::async(static_cast<int64_t>(after.size()) >= kLargeChange ? std::launch::async
                                                                    : std::launch::deferred,
                 [after] { return crc32Of(after); });
  record.oldCrc = crc32Of(before);
  record.position = pos;
  record.length = count;
  record.gaugeLength = record.newGaugeLength = *length;
  noteInto(record, note, gauge);
  record.newCrc = newCrc.get();
  const std::vector<uint8_t> prefix = encodePrefix(record);

  const std::string journal = canJournal ? journalPath : std::string();
  if (const Result<> first = journalFirst(journal, name, prefix, before, after); !first)
    return first;
  // Entries this file no longer holds could never be undone; they go before this one.
  if (gauge.onDisk()) dropUnheldHistory(name, gauge, record, old);

  if (!writeRuns(gauge, pos, record.runs, bytes) || !gauge.flush()) {
    const std::string failed = "Writing the gauge file failed: " + gauge.errorOr("unknown error");
    const bool putBack = writeRuns(gauge, pos, record.runs, old);
    if (putBack && gauge.flush()) {
      if (!journal.empty()) removeJournal(journal, &why);
      return notWritten(failed + "; the old bytes were put back.");
    }
    // A write refused before its first byte (a file size limit, a full disk)
    // cannot be undone by writing either, yet left nothing to undo.
    if (std::vector<uint8_t> now(old.size());
        !putBack && gauge.read(pos, now) == now.size() && now == old) {
      if (!journal.empty()) removeJournal(journal, &why);
      return notWritten(failed + "; none of it reached the file.");
    }
    return lostBothWays(failed, journal);
  }
  return retire(gauge, record, prefix, before, journal);
}

Result<> changeTail(io::Channel& gauge, int64_t pos, std::span<const uint8_t> bytes,
                    const ChangeNote& note) {
  if (gauge.readOnly())
    return Result<>::failure(Fault::ReadOnly, "The gauge file is open for reading only.");
  const Result<int64_t> length = gaugeLength(gauge);
  if (!length) return Result<>::failure(length);
  if (pos < 1 || pos > *length || bytes.empty())
    return Result<>::failure(Fault::Bitmap, "The bytes would not begin inside the file.");
  const std::string& name = gauge.name();
  std::string why;
  Started started;
  if (const Result<> ok = start(gauge, started); !ok) return ok;

  std::vector<uint8_t> old(static_cast<size_t>(*length - pos + 1));
  if (gauge.read(pos, old) != old.size())
    return notWritten("The bytes to be replaced could not be read: " +
                      gauge.errorOr("the read stopped early") + ".");
  // An undo writes only over the tail its change wrote, still whole.
  if (const ChangeRecord* undoing = note.undoing;
      undoing && (undoing->kind != RecordKind::Tail || undoing->position != pos ||
                  undoing->newGaugeLength != *length || crc32Of(old) != undoing->newCrc))
    return Result<>::failure(Fault::Bitmap,
                             "The gauge no longer holds the bytes that change wrote; another "
                             "program, or a copy put back, has changed them since.");
  // The record begins at the first byte that changes, leaving a byte of each tail.
  const size_t common = std::min(old.size(), bytes.size());
  size_t skip = 0;
  while (skip + 1 < common && old[skip] == bytes[skip]) ++skip;
  if (old.size() == bytes.size() && std::equal(old.begin(), old.end(), bytes.begin())) return {};
  const std::span<const uint8_t> before = std::span<const uint8_t>(old).subspan(skip);
  const std::span<const uint8_t> after = bytes.subspan(skip);

  ChangeRecord record;
  record.kind = RecordKind::Tail;
  record.position = pos + static_cast<int64_t>(skip);
  record.length = static_cast<int64_t>(before.size());
  record.runs = {{0, static_cast<uint32_t>(before.size())}};
  record.gaugeLength = *length;
  record.newGaugeLength = record.position - 1 + static_cast<int64_t>(after.size());
  if (record.length > INT32_MAX || static_cast<int64_t>(after.size()) > INT32_MAX ||
      record.newGaugeLength - record.gaugeLength > INT32_MAX ||
      record.gaugeLength - record.newGaugeLength > INT32_MAX)
    return Result<>::failure(Fault::Bitmap, "The change would be larger than 2 GiB.");
  record.bytesChanged = std::abs(record.newGaugeLength - record.gaugeLength);
  for (size_t i = 0; i < std::min(before.size(), after.size()); ++i)
    record.bytesChanged += before[i] != after[i];
  record.oldCrc = crc32Of(before);
  record.newCrc = crc32Of(after);
  noteInto(record, note, gauge);
  const std::vector<uint8_t> prefix = encodePrefix(record);

  const std::string journal = started.canJournal ? started.journalPath : std::string();
  if (const Result<> first = journalFirst(journal, name, prefix, before, after); !first)
    return first;
  if (gauge.onDisk()) dropUnheldHistory(name, gauge, record, before);

  // The new tail, then the cut; a failure puts the old tail and length back.
  const auto put = [&](std::span<const uint8_t> tail, int64_t newLength) {
    return gauge.write(record.position, tail) && gauge.truncate(newLength) && gauge.flush();
  };
  if (!put(after, record.newGaugeLength)) {
    const std::string failed = "Writing the gauge file failed: " + gauge.errorOr("unknown error");
    if (put(before, record.gaugeLength)) {
      if (!journal.empty()) removeJournal(journal, &why);
      return notWritten(failed + "; the old bytes were put back.");
    }
    return lostBothWays(failed, journal);
  }
  return retire(gauge, record, prefix, before, journal);
}

}  // namespace gau
