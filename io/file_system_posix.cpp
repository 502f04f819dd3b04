#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "io/file_system.h"

namespace io {
namespace {

std::string folderOf(const std::string& fileName) {
  const size_t slash = fileName.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : fileName.substr(0, slash);
}

class PosixLock final : public FileLock {
 public:
  explicit PosixLock(int fd) : fd_(fd) {}
  ~PosixLock() override { ::close(fd_); }  // closing the description drops its lock

 private:
  int fd_;
};

// One try; EAGAIN or EACCES (held by another) comes back as false with errno set.
bool tryLock(int fd) {
#ifdef F_OFD_SETLK
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;  // start 0, length 0: the whole file, however long
  if (::fcntl(fd, F_OFD_SETLK, &fl) == 0) return true;
  if (errno != EINVAL) return false;  // EINVAL: a kernel without OFD locks
#endif
  return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

}  // namespace

std::optional<FileId> fileId(const std::string& name) {
#ifdef STATX_BTIME
  struct statx sx {};
  if (::statx(AT_FDCWD, name.c_str(), 0, STATX_INO | STATX_BTIME, &sx) == 0) {
    const uint64_t born =
        (sx.stx_mask & STATX_BTIME)
            ? static_cast<uint64_t>(sx.stx_btime.tv_sec) * 1000000000u + sx.stx_btime.tv_nsec
            : 0;
    return FileId{(uint64_t{sx.stx_dev_major} << 32) | sx.stx_dev_minor, sx.stx_ino, born};
  }
#endif
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0) return std::nullopt;
  return FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino), 0};
}

std::unique_ptr<FileLock> lockFile(const std::string& name, std::chrono::milliseconds wait,
                                   LockOutcome* outcome, std::string* error) {
  const int fd = ::open(name.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *outcome = LockOutcome::Failed;
    if (error) *error = std::string("it could not be opened to lock it: ") + std::strerror(errno);
    return nullptr;
  }
  const auto until = std::chrono::steady_clock::now() + wait;
  for (;;) {
    if (tryLock(fd)) {
      *outcome = LockOutcome::Held;
      return std::make_unique<PosixLock>(fd);
    }
    const int e = errno;
    if (e != EAGAIN && e != EACCES && e != EWOULDBLOCK && e != EINTR) {
      ::close(fd);
      *outcome = LockOutcome::Failed;
      if (error) *error = std::string("it could not be locked: ") + std::strerror(e);
      return nullptr;
    }
    if (std::chrono::steady_clock::now() >= until) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ::close(fd);
  *outcome = LockOutcome::Busy;
  return nullptr;
}

bool syncFolderOf(const std::string& fileName, std::string* error) {
  const int fd = ::open(folderOf(fileName).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) {
    const int e = errno;
    if (fd >= 0) ::close(fd);
    if (error)
      *error = std::string("its folder could not be flushed to the disk: ") + std::strerror(e);
    return false;
  }
  ::close(fd);
  return true;
}

bool folderWritable(const std::string& fileName) {
  return ::access(folderOf(fileName).c_str(), W_OK | X_OK) == 0;
}

std::string stateFolder() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/')
    return std::string(state) + "/dialpix";
  if (const char* home = std::getenv("HOME"); home && home[0] != '\0')
    return std::string(home) + "/.local/state/dialpix";
  return {};
}

std::filesystem::path fsPath(const std::string& name) { return std::filesystem::path(name); }
std::string nameOf(const std::filesystem::path& path) { return path.native(); }

bool renameFile(const std::string& from, const std::string& to, bool* crossDevice,
                std::string* error) {
  if (crossDevice) *crossDevice = false;
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  if (crossDevice) *crossDevice = errno == EXDEV;
  if (error) *error = std::strerror(errno);
  return false;
}

}  // namespace io
