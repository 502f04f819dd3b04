#include "io/replace_file.h"

#include <atomic>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>

namespace io {
namespace {

// A temporary file is made as .dialpix-PID-N.tmp, then renamed to carry its
// own file number (inode; file index on Windows) in hexadecimal:
// .dialpix-PID-N-NUMBER.tmp. Only a file of that name that still has that
// number is taken for a leftover of this program: a file made or copied under
// such a name by hand has another number, and is left alone. Where a file
// system gives no steady number (FAT), or the rename fails, a leftover merely stays.
constexpr const char* kPrefix = ".dialpix-";
constexpr const char* kSuffix = ".tmp";

// The temporary files being written now, for the clean-up of an interrupted
// program to remove: fixed storage, as a signal handler may not allocate. More
// files at once than slots is possible but harmless: those few are then not
// removed on an interruption.
constexpr int kSlots = 64;
constexpr size_t kNameMax = 4096;
char slotNames[kSlots][kNameMax];
std::atomic<bool> slotUsed[kSlots];

void removeTemporaries() {
  for (int i = 0; i < kSlots; ++i)
    if (slotUsed[i].load(std::memory_order_acquire)) removeNow(slotNames[i]);
}

void catchInterruptions() {
  static std::once_flag once;
  std::call_once(once, [] { onInterrupt(removeTemporaries); });
}

int takeSlot(const std::string& name) {
  static std::mutex taking;
  if (name.size() >= kNameMax) return -1;
  const std::lock_guard<std::mutex> lock(taking);
  for (int i = 0; i < kSlots; ++i) {
    if (slotUsed[i].load(std::memory_order_relaxed)) continue;
    std::memcpy(slotNames[i], name.c_str(), name.size() + 1);
    slotUsed[i].store(true, std::memory_order_release);
    return i;
  }
  return -1;
}

void freeSlot(int slot) {
  if (slot >= 0) slotUsed[slot].store(false, std::memory_order_release);
}

// What a temporary file's name says of its maker: the process number and the
// file number, each as the name spells it; empty when it is no such name.
struct Maker {
  uint64_t process = 0;
  uint64_t file = 0;
};

std::optional<Maker> makerOf(std::string_view name) {
  if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) return std::nullopt;
  name.remove_prefix(std::strlen(kPrefix));
  name.remove_suffix(std::strlen(kSuffix));
  // Three fields, each of digits only, without sign or leading blank.
  const auto field = [&name](uint64_t& value, int base, bool last) {
    const size_t end = last ? name.size() : name.find('-');
    if (end == 0 || end == std::string_view::npos) return false;
    const std::from_chars_result r = std::from_chars(name.data(), name.data() + end, value, base);
    if (r.ec != std::errc() || r.ptr != name.data() + end) return false;
    name.remove_prefix(last ? end : end + 1);
    return true;
  };
  Maker m;
  uint64_t number = 0;
  if (!field(m.process, 10, false) || !field(number, 10, false) || !field(m.file, 16, true))
    return std::nullopt;
  return m;
}

std::string hex(uint64_t v) {
  char digits[16];
  return {digits, std::to_chars(digits, digits + sizeof digits, v, 16).ptr};
}

// Removes the temporary files of this program that a process no longer
// running left in `folder` (killed before it could), once per folder.
void removeLeftovers(const std::string& folder) {
  static std::mutex guard;
  static std::set<std::string> done;
  const std::lock_guard<std::mutex> lock(guard);
  if (!done.insert(folder).second) return;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(pathOf(folder.empty() ? "." : folder), ec), end;
       !ec && it != end; it.increment(ec)) {
    const std::string name = nameOf(it->path().filename());
    const std::optional<Maker> maker = makerOf(name);
    if (!maker || maker->process == processId() || processRunning(maker->process)) continue;
    if (std::error_code e; it->symlink_status(e).type() != std::filesystem::file_type::regular)
      continue;
    if (const std::optional<FileId> id = fileId(folder + name); id && id->file == maker->file)
      deleteFile(folder + name, nullptr);
  }
}

// Why `target` may not be replaced at all, or empty.
std::string refusal(const std::string& target, Existing existing, const std::string& input) {
  // Such a name opens the device, which seems to exist and cannot be renamed over.
  if (reservedForDevice(target))
    return "Its name is reserved for a device (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to "
           "LPT9, whatever the extension); choose another name.";
  if (!nameTaken(target)) return {};
  // A link is replaced by neither the file it points to nor a new file: both surprise.
  if (isLink(target)) return "It is a symbolic link, which is not replaced.";
  switch (kindOf(target)) {
    case FileKind::Folder:
      return "It is a folder; name a file in it.";
    case FileKind::Other:
      return "It is not a regular file (a device, a named pipe or a socket), which is not "
             "replaced.";
    case FileKind::Missing:  // gone since: nothing to protect
      return {};
    case FileKind::Regular:
      break;
  }
  if (!writePermitted(target)) return "It is read-only.";
  if (!input.empty()) {
    const std::optional<FileId> in = fileId(input), out = fileId(target);
    if (in && out && in->device == out->device && in->file == out->file)
      return "It is the file being read.";
  }
  if (existing == Existing::Keep) return Replacement::kExists;
  return {};
}

}  // namespace

Replacement::Replacement(std::string target, Existing existing, const std::string& input)
    : target_(std::move(target)), existing_(existing) {
  why_ = refusal(target_, existing_, input);
  if (!why_.empty()) return;
  const std::string folder = folderOf(target_);
  catchInterruptions();
  removeLeftovers(folder);
  // Several replacements may run side by side on threads: each takes its own
  // number, so they never meet on one name; clashes left are another process's.
  static std::atomic<uint64_t> next{0};
  std::string error;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string stem =
        folder + kPrefix + std::to_string(processId()) + "-" + std::to_string(next++);
    temporary_ = stem + kSuffix;
    slot_ = takeSlot(temporary_);
    channel_ = openFileChannel(temporary_, OpenMode::CreateNew, &error);
    if (channel_) {
      markAsOwn(stem);
      return;
    }
    freeSlot(slot_);
    slot_ = -1;
    if (!nameTaken(temporary_)) break;  // not a name clash: a real failure
    error = "no free name for a temporary file was found";
  }
  temporary_.clear();
  why_ = "A new file cannot be made in its folder: " + error + ".";
}

void Replacement::markAsOwn(const std::string& stem) {
  const std::optional<FileId> id = fileId(temporary_);
  if (!id) return;
  const std::string own = stem + "-" + hex(id->file) + kSuffix;
  // Both names stay in the interruption's list while the rename runs.
  const int slot = takeSlot(own);
  if (moveFile(temporary_, own, Existing::Keep, nullptr) != MoveResult::Done) {
    freeSlot(slot);
    return;
  }
  freeSlot(slot_);
  slot_ = slot;
  temporary_ = own;
}

Replacement::~Replacement() {
  channel_.reset();  // closes it
  if (!temporary_.empty()) deleteFile(temporary_, nullptr);
  freeSlot(slot_);
}

bool Replacement::commit() {
  if (!channel_) return false;
  if (!channel_->flush()) {
    why_ = "The new file did not reach the disk: " + channel_->errorOr("unknown error") + ".";
    return false;
  }
  channel_.reset();  // closes it
  std::string error;
  switch (moveFile(temporary_, target_, existing_, &error)) {
    case MoveResult::Done:
      break;
    case MoveResult::TargetExists:
      why_ = kExists;
      return false;  // the destructor removes the temporary file
    case MoveResult::Failed:
      why_ = "It could not be put in place: " + error + ".";
      return false;
  }
  temporary_.clear();
  // The file is whole either way; a folder that cannot be flushed is not reported.
  syncFolderOf(target_, nullptr);
  return true;
}

}  // namespace io
