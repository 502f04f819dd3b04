#include "io/replace_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

namespace io {
namespace {

constexpr const char* kPrefix = ".dialpix-";
constexpr const char* kSuffix = ".tmp";

// The temporary files being written now, for the handler of SIGINT and SIGTERM
// to remove: fixed storage, as a handler may not allocate. More files at once
// than slots is possible but harmless: those few are then not removed on a signal.
constexpr int kSlots = 64;
constexpr size_t kNameMax = 4096;
char slotNames[kSlots][kNameMax];
std::atomic<bool> slotUsed[kSlots];

void removeTemporaries(int signal) {
  for (int i = 0; i < kSlots; ++i)
    if (slotUsed[i].load(std::memory_order_acquire)) ::unlink(slotNames[i]);
  // Then end as the signal would have ended the program.
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void catchSignals() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (const int s : {SIGINT, SIGTERM}) {
      struct sigaction old {};
      // A signal the caller chose to ignore (nohup, a shell's background job) stays ignored.
      if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
      struct sigaction act {};
      act.sa_handler = removeTemporaries;
      sigemptyset(&act.sa_mask);
      ::sigaction(s, &act, nullptr);
    }
  });
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

// The process number in a temporary file's name, or -1 when it is no such name.
pid_t ownerOf(const char* name) {
  const size_t prefix = std::strlen(kPrefix), suffix = std::strlen(kSuffix);
  const size_t n = std::strlen(name);
  if (n <= prefix + suffix || std::strncmp(name, kPrefix, prefix) != 0 ||
      std::strcmp(name + n - suffix, kSuffix) != 0)
    return -1;
  long pid = 0;
  size_t i = prefix;
  for (; i < n && name[i] >= '0' && name[i] <= '9' && pid < 1'000'000'000; ++i)
    pid = pid * 10 + (name[i] - '0');
  if (i == prefix || name[i] != '-' || ++i == n - suffix) return -1;
  for (; i < n - suffix; ++i)
    if (name[i] < '0' || name[i] > '9') return -1;
  return static_cast<pid_t>(pid);
}

// Removes the temporary files of this program that a process no longer
// running left in `folder` (killed before it could), once per folder.
void removeLeftovers(const std::string& folder) {
  static std::mutex guard;
  static std::set<std::string> done;
  const std::lock_guard<std::mutex> lock(guard);
  if (!done.insert(folder).second) return;
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return;
  while (const dirent* e = ::readdir(dir)) {
    const pid_t owner = ownerOf(e->d_name);
    if (owner <= 0 || owner == ::getpid() || ::kill(owner, 0) == 0 || errno != ESRCH) continue;
    struct stat st {};
    if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
      ::unlinkat(::dirfd(dir), e->d_name, 0);
  }
  ::closedir(dir);
}

// The folder part of `name` including its final '/', or empty for a bare name.
std::string folderOf(const std::string& name) {
  const size_t slash = name.rfind('/');
  return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

// Makes the rename itself durable; a file system that cannot sync a folder
// still has the complete file, so a failure here is not reported.
void syncFolder(const std::string& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

std::string notInPlace(int error) {
  return std::string("It could not be put in place: ") + std::strerror(error) + ".";
}

// Why `target` may not be replaced at all, or empty.
std::string refusal(const std::string& target, Existing existing, const std::string& input) {
  struct stat st {};
  if (::lstat(target.c_str(), &st) != 0) return {};
  // A link is replaced by neither the file it points to nor a new file: both surprise.
  if (S_ISLNK(st.st_mode)) return "It is a symbolic link, which is not replaced.";
  if (S_ISDIR(st.st_mode)) return "It is a folder; name a file in it.";
  if (!S_ISREG(st.st_mode))
    return "It is not a regular file (a device, a named pipe or a socket), which is not replaced.";
  if (!writePermitted(target)) return "It is read-only.";
  if (struct stat in{}; !input.empty() && ::stat(input.c_str(), &in) == 0 &&
                        in.st_dev == st.st_dev && in.st_ino == st.st_ino)
    return "It is the file being read.";
  if (existing == Existing::Keep) return Replacement::kExists;
  return {};
}

}  // namespace

Replacement::Replacement(std::string target, Existing existing, const std::string& input)
    : target_(std::move(target)), existing_(existing) {
  why_ = refusal(target_, existing_, input);
  if (!why_.empty()) return;
  const std::string folder = folderOf(target_);
  catchSignals();
  removeLeftovers(folder);
  // Several replacements may run side by side on threads: each takes its own
  // number, so they never meet on one name; clashes left are another process's.
  static std::atomic<uint64_t> next{0};
  std::string error;
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary_ =
        folder + kPrefix + std::to_string(::getpid()) + "-" + std::to_string(next++) + kSuffix;
    slot_ = takeSlot(temporary_);
    channel_ = openFileChannel(temporary_, OpenMode::CreateNew, &error);
    if (channel_) return;
    freeSlot(slot_);
    slot_ = -1;
    struct stat st {};
    if (::lstat(temporary_.c_str(), &st) != 0) break;  // not a name clash: a real failure
    error = "no free name for a temporary file was found";
  }
  temporary_.clear();
  why_ = "A new file cannot be made in its folder: " + error + ".";
}

Replacement::~Replacement() {
  channel_.reset();  // closes it
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  freeSlot(slot_);
}

bool Replacement::commit() {
  if (!channel_) return false;
  if (!channel_->flush()) {
    why_ = "The new file did not reach the disk: " + channel_->errorOr("unknown error") + ".";
    return false;
  }
  channel_.reset();  // closes it
  bool moved = false;
  if (existing_ == Existing::Replace) {
    moved = std::rename(temporary_.c_str(), target_.c_str()) == 0;
    if (!moved) why_ = notInPlace(errno);
  } else if (::renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, target_.c_str(),
                         RENAME_NOREPLACE) == 0) {
    moved = true;
  } else if (errno == EEXIST) {
    why_ = kExists;
  } else if (errno != EINVAL && errno != ENOSYS) {
    why_ = notInPlace(errno);
  } else if (::link(temporary_.c_str(), target_.c_str()) == 0) {
    // A file system without the no-replace rename: a hard link fails on an existing name too.
    ::unlink(temporary_.c_str());
    moved = true;
  } else {
    why_ = errno == EEXIST ? kExists : notInPlace(errno);
  }
  if (!moved) return false;  // the destructor removes the temporary file
  temporary_.clear();
  syncFolder(folderOf(target_));
  return true;
}

}  // namespace io
