#include "gau/change.h"

#include <cstring>
#include <ctime>
#include <filesystem>
#include <future>
#include <memory>
#include <vector>

#include "gau/bitmap_record.h"
#include "gau/change_record.h"
#include "gau/history.h"
#include "io/file_channels.h"
#include "io/system.h"

namespace gau {
namespace {

Result<> notWritten(std::string why) {
  return Result<>::failure(Fault::NotWritten, std::move(why));
}

const char* const kBusy = "Another dialpix is changing the gauge file. Try again when it is done.";

bool exists(const std::string& name) {
  std::error_code ec;
  return std::filesystem::exists(io::pathOf(name), ec);
}

// Removes the journal and pushes the removal to the disk: a journal that came
// back after a power cut would undo a change already reported done.
bool removeJournal(const std::string& journal, std::string* why) {
  return io::deleteFile(journal, why) && io::syncFolderOf(journal, why);
}

// Writes the journal (header and old bytes) and makes it durable with its name.
bool writeJournal(const std::string& journal, std::span<const uint8_t> header,
                  std::span<const uint8_t> oldBytes, std::string* why) {
  std::unique_ptr<io::Channel> file = io::openFileChannel(journal, io::OpenMode::CreateNew, why);
  if (!file) return false;
  const bool ok = file->write(1, header) &&
                  file->write(1 + static_cast<int64_t>(header.size()), oldBytes) && file->flush();
  if (!ok) *why = file->error();
  file.reset();
  if (ok && io::syncFolderOf(journal, why)) return true;
  std::string ignored;
  io::deleteFile(journal, &ignored);
  return false;
}

// Under the lock: plays back or removes a journal beside `gaugeName`.
Result<std::optional<Restored>> playBackLocked(const std::string& gaugeName) {
  using R = Result<std::optional<Restored>>;
  const std::string journal = journalName(gaugeName);
  std::string why;
  std::unique_ptr<io::Channel> file = io::openFileChannel(journal, io::OpenMode::ReadOnly, &why);
  if (!file)
    return exists(journal) ? R::failure(Fault::NotWritten,
                                        "Its journal " + journal + " cannot be read: " + why + ".")
                           : R(std::nullopt);
  std::vector<uint8_t> old;
  const std::optional<ChangeRecord> record = readRecord(*file, &old);
  file.reset();
  std::unique_ptr<io::Channel> gauge =
      io::openFileChannel(gaugeName, io::OpenMode::ReadWriteExisting, &why);
  if (!gauge)
    return R::failure(Fault::NotWritten, "A change that was cut off left its journal " + journal +
                                             ", which cannot be played back: the gauge file "
                                             "cannot be opened for writing (" +
                                             why + ").");
  // Torn: cut off before it was whole, so the gauge was never touched. A
  // journal of another length belongs to a file that is no longer there.
  const bool playBack = record && record->gaugeLength == gauge->length();
  if (playBack && !(gauge->write(record->position, old) && gauge->flush()))
    return R::failure(Fault::NotWritten, "A change that was cut off left its journal " + journal +
                                             ", which could not be played back: " +
                                             gauge->errorOr("unknown error") + ".");
  if (!removeJournal(journal, &why))
    return R::failure(Fault::NotWritten,
                      "Its journal " + journal + " could not be removed: " + why + ".");
  if (!playBack) return R(std::nullopt);
  return R(Restored{record->bmpPos, record->command, record->length});
}

// From this size on, the new bytes' checksum is worked out beside the rest.
constexpr int64_t kLargeChange = int64_t{1} << 20;

// How many bytes of `a` and `b` differ, eight at a time.
int64_t differingBytes(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  constexpr uint64_t kLow7 = 0x7f7f7f7f7f7f7f7full, kOnes = 0x0101010101010101ull,
                     kPairs = 0x00ff00ff00ff00ffull;
  int64_t total = 0;
  size_t i = 0;
  while (i + 8 <= a.size()) {
    uint64_t lanes = 0;  // a count in each byte lane, folded before it passes 255
    for (int k = 0; k < 255 && i + 8 <= a.size(); ++k, i += 8) {
      uint64_t x, y;
      std::memcpy(&x, &a[i], 8);
      std::memcpy(&y, &b[i], 8);
      const uint64_t d = x ^ y;
      lanes += ((((d & kLow7) + kLow7) | d) >> 7) & kOnes;  // 1 where a byte differs
    }
    const uint64_t pairs = (lanes & kPairs) + ((lanes >> 8) & kPairs);
    total += static_cast<int64_t>((pairs * 0x0001000100010001ull) >> 48);
  }
  for (; i < a.size(); ++i) total += a[i] != b[i];
  return total;
}

std::unique_ptr<io::FileLock> lockGauge(const std::string& name, std::string* why) {
  io::LockOutcome outcome{};
  std::unique_ptr<io::FileLock> lock = io::lockFile(name, kLockWait, &outcome, why);
  if (outcome == io::LockOutcome::Busy) *why = kBusy;
  return lock;
}

}  // namespace

std::string journalName(const std::string& gaugeName) { return gaugeName + "-journal"; }

std::string restoredSentence(const Restored& r, int number) {
  const std::string bitmap = number > 0 ? "Bitmap " + std::to_string(number)
                                        : "The bitmap at byte " + std::to_string(r.bmpPos);
  const std::string what =
      r.command.empty() ? std::string("a change") : "a change (" + r.command + ")";
  return bitmap + " was put back as it was before " + what +
         " that was cut off part-way, when "
         "dialpix was stopped or the machine went down before the change was complete (" +
         std::to_string(r.bytes) + " bytes restored from the journal).";
}

bool journalPossible(const std::string& gaugeName) { return io::folderWritable(gaugeName); }

std::string withoutJournalNote() {
  return "Its folder cannot be written, so changes to it go without a journal beside it: a "
         "change cut off part-way (a crash, a power cut) may leave a bitmap part old and part "
         "new. Changes are still kept for undo.";
}

Result<std::optional<Restored>> recoverGauge(const std::string& gaugeName) {
  using R = Result<std::optional<Restored>>;
  if (!exists(journalName(gaugeName))) return R(std::nullopt);  // the usual case: one look
  std::string why;
  const std::unique_ptr<io::FileLock> lock = lockGauge(gaugeName, &why);
  if (!lock) return R::failure(Fault::NotWritten, why);
  return playBackLocked(gaugeName);
}

Result<> changeRange(io::Channel& gauge, int64_t pos, std::span<const uint8_t> bytes,
                     const ChangeNote& note) {
  if (gauge.readOnly())
    return Result<>::failure(Fault::ReadOnly, "The gauge file is open for reading only.");
  const Result<int64_t> length = gaugeLength(gauge);
  if (!length) return Result<>::failure(length);
  const auto count = static_cast<int64_t>(bytes.size());
  if (!liesInFile(pos, count, *length))
    return Result<>::failure(Fault::Bitmap, "The bytes would run past the end of the file.");
  if (count == 0) return {};

  const std::string& name = gauge.name();
  std::unique_ptr<io::FileLock> lock;
  std::string why;
  if (gauge.onDisk()) {
    lock = lockGauge(name, &why);
    if (!lock) return notWritten(why);
    // A change cut off since this gauge was opened: undo it before this one.
    if (const auto left = playBackLocked(name); !left) return notWritten(left.reason());
  }

  std::vector<uint8_t> old(bytes.size());
  if (gauge.read(pos, old) != old.size())
    return notWritten("The bytes to be replaced could not be read: " +
                      gauge.errorOr("the read stopped early") + ".");
  // The checksum of the new bytes, on the other core for a large change.
  std::future<uint32_t> newCrc =
      std::async(count >= kLargeChange ? std::launch::async : std::launch::deferred,
                 [bytes] { return crc32Of(bytes); });
  ChangeRecord record;
  record.oldCrc = crc32Of(old);
  if (note.expectedCrc && *note.expectedCrc != record.oldCrc)
    return Result<>::failure(Fault::Bitmap,
                             "The gauge no longer holds the bytes that change wrote; another "
                             "program, or a copy put back, has changed them since.");
  record.bytesChanged = differingBytes(old, bytes);
  if (record.bytesChanged == 0) return {};  // nothing to change, nothing to undo
  record.position = pos;
  record.length = count;
  record.gaugeLength = *length;
  record.time = static_cast<int64_t>(std::time(nullptr));
  record.bmpPos = note.bmpPos;
  record.newCrc = newCrc.get();
  record.command = note.command;
  const std::vector<uint8_t> header = encodeHeader(record);

  // A folder that cannot be written takes no journal; the user was told on opening.
  const std::string journal =
      gauge.onDisk() && journalPossible(name) ? journalName(name) : std::string();
  if (!journal.empty() && !writeJournal(journal, header, old, &why))
    return notWritten(
        "The journal that keeps the old bytes until the change is complete "
        "could not be written: " +
        why + ".");

  if (!gauge.write(pos, bytes) || !gauge.flush()) {
    const std::string failed = "Writing the gauge file failed: " + gauge.errorOr("unknown error");
    const bool putBack = gauge.write(pos, old);
    if (putBack && gauge.flush()) {
      if (!journal.empty()) removeJournal(journal, &why);
      return notWritten(failed + ". The old bytes were put back, so it is as it was.");
    }
    // A write refused before its first byte (a file size limit, a full disk)
    // cannot be undone by writing either, yet left nothing to undo.
    if (std::vector<uint8_t> now(old.size());
        !putBack && gauge.read(pos, now) == now.size() && now == old) {
      if (!journal.empty()) removeJournal(journal, &why);
      return notWritten(failed + ". None of it reached the file, so it is as it was.");
    }
    return Result<>::failure(
        Fault::GaugeWrite,
        failed + ", and so did putting the old bytes back." +
            (journal.empty() ? std::string(" Some bytes may have changed.")
                             : " The journal beside it puts them back the next time dialpix "
                               "opens it."));
  }
  // Done and on the disk; the old bytes go on to the history.
  if (gauge.onDisk()) keepInHistory(name, record, header, old, journal);
  if (!journal.empty() && exists(journal)) removeJournal(journal, &why);
  return {};
}

}  // namespace gau
