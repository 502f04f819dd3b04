// The POSIX side of io/system.h and of the file channels.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "io/file_channels.h"
#include "io/system.h"

namespace io {

namespace {

class PosixChannel final : public Channel {
 public:
  PosixChannel(int fd, std::string name) : Channel(std::move(name)), fd_(fd) {}
  ~PosixChannel() override { ::close(fd_); }

  AtName atName() const override {
    struct stat open {};
    struct stat named {};
    if (::fstat(fd_, &open) != 0) return AtName::Removed;
    if (::stat(name().c_str(), &named) != 0)
      return open.st_nlink > 0 ? AtName::Moved : AtName::Removed;  // links left: named elsewhere
    return open.st_dev == named.st_dev && open.st_ino == named.st_ino ? AtName::Same
                                                                      : AtName::Replaced;
  }

 protected:
  int64_t lengthNow() const override {
    struct stat st {};
    if (::fstat(fd_, &st) == 0) return static_cast<int64_t>(st.st_size);
    fail(std::string("its length cannot be read: ") + std::strerror(errno));
    return -1;
  }

  bool flushNow() override {
    if (::fsync(fd_) == 0) return true;
    fail(std::string("it could not be flushed to the disk: ") + std::strerror(errno));
    return false;
  }

  int64_t readAt(int64_t offset, std::span<uint8_t> out) override {
    size_t done = 0;
    while (done < out.size()) {
      const ssize_t n = ::pread(fd_, out.data() + done, out.size() - done,
                                static_cast<off_t>(offset + static_cast<int64_t>(done)));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        fail(std::strerror(errno));
        break;
      }
      if (n == 0) {
        fail("the file ended at byte " + std::to_string(offset + static_cast<int64_t>(done)) +
             ", before its length says");
        break;
      }
      done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
  }

  bool writeAt(int64_t offset, std::span<const uint8_t> bytes) override {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                                 static_cast<off_t>(offset + static_cast<int64_t>(done)));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        fail(n < 0 ? std::strerror(errno) : "the disk took no more bytes");
        return false;
      }
      done += static_cast<size_t>(n);
    }
    return true;
  }

  bool truncateAt(int64_t length) override {
    if (::ftruncate(fd_, static_cast<off_t>(length)) == 0) return true;
    fail(std::string("it could not be cut short: ") + std::strerror(errno));
    return false;
  }

 private:
  int fd_;
};

}  // namespace

bool writePermitted(const std::string& name) {
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0) return true;  // nothing there to protect
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 && ::access(name.c_str(), W_OK) == 0;
}

std::unique_ptr<Channel> openFileChannel(const std::string& name, OpenMode mode,
                                         std::string* error) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::ReadWriteExisting:
      flags |= O_RDWR;
      break;
    case OpenMode::ReadOnly:
      // A named pipe put in a file's place would hold the open until a writer
      // comes; not waiting lets the type check below refuse it. Reads of a
      // regular file are the same either way.
      flags |= O_RDONLY | O_NONBLOCK;
      break;
    case OpenMode::CreateNew:
      flags |= O_RDWR | O_CREAT | O_EXCL;
      break;
  }
  const int fd = ::open(name.c_str(), flags, 0666);
  if (fd < 0) {
    if (error) *error = std::strerror(errno);
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && !S_ISREG(st.st_mode)) {
    ::close(fd);
    if (error) *error = "it is not a regular file";
    return nullptr;
  }
  if (mode == OpenMode::ReadWriteExisting && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    ::close(fd);
    if (error) *error = "it is read-only";
    return nullptr;
  }
  auto channel = std::make_unique<PosixChannel>(fd, name);
  channel->setReadOnly(mode == OpenMode::ReadOnly);
  channel->setOnDisk(true);
  return channel;
}

bool deleteFile(const std::string& name, std::string* error) {
  if (::unlink(name.c_str()) == 0) return true;
  if (error) *error = std::strerror(errno);
  return false;
}

bool namesAreUtf8() { return false; }

System thisSystem() { return System::Posix; }

std::vector<std::string> arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

std::filesystem::path pathOf(const std::string& name) { return std::filesystem::path(name); }

std::string nameOf(const std::filesystem::path& path) { return path.native(); }

std::string ownName(const std::string& name) { return pathOf(name).filename().native(); }

std::string folderOf(const std::string& name) {
  const size_t slash = name.rfind('/');
  return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

FileKind kindOf(const std::string& name) {
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0) return FileKind::Missing;
  if (S_ISREG(st.st_mode)) return FileKind::Regular;
  return S_ISDIR(st.st_mode) ? FileKind::Folder : FileKind::Other;
}

bool nameTaken(const std::string& name) {
  struct stat st {};
  return ::lstat(name.c_str(), &st) == 0;
}

bool reservedForDevice(const std::string&) { return false; }

bool isLink(const std::string& name) {
  struct stat st {};
  return ::lstat(name.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

MoveResult moveFile(const std::string& from, const std::string& to, Existing existing,
                    std::string* error) {
  const auto failed = [&](int e) {
    if (error) *error = std::strerror(e);
    return MoveResult::Failed;
  };
  if (existing == Existing::Replace)
    return std::rename(from.c_str(), to.c_str()) == 0 ? MoveResult::Done : failed(errno);
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
    return MoveResult::Done;
  if (errno == EEXIST) return MoveResult::TargetExists;
  if (errno != EINVAL && errno != ENOSYS) return failed(errno);
  // A file system without the no-replace rename: a hard link fails on an existing name too.
  if (::link(from.c_str(), to.c_str()) != 0)
    return errno == EEXIST ? MoveResult::TargetExists : failed(errno);
  ::unlink(from.c_str());
  return MoveResult::Done;
}

bool syncFolderOf(const std::string& fileName, std::string* error) {
  const std::string folder = folderOf(fileName);
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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

uint64_t processId() { return static_cast<uint64_t>(::getpid()); }

bool processRunning(uint64_t id) {
  return ::kill(static_cast<pid_t>(id), 0) == 0 || errno != ESRCH;
}

namespace {

void (*interruptCleanUp)() = nullptr;

void interrupted(int signal) {
  interruptCleanUp();
  // Then end as the signal would have ended the program.
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace

void onInterrupt(void (*cleanUp)()) {
  interruptCleanUp = cleanUp;
  for (const int s : {SIGINT, SIGTERM}) {
    struct sigaction old {};
    // A signal the caller chose to ignore (nohup, a shell's background job) stays ignored.
    if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    struct sigaction act {};
    act.sa_handler = interrupted;
    sigemptyset(&act.sa_mask);
    ::sigaction(s, &act, nullptr);
  }
}

void removeNow(const char* name) { ::unlink(name); }

std::string ownProgram() {
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  return n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
}

HandOverEnd handOver(const std::string& program, const std::vector<std::string>& args, int*,
                     std::string* why) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  ::execv(program.c_str(), argv.data());
  *why = std::strerror(errno);
  return HandOverEnd::NotStarted;
}

// The program's own status reaches the caller's shell: the process is the one it started.
int handedOverStatus(int status) { return status; }

void rawStandardStreams() {}

bool stderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

int terminalColumns() {
  winsize ws{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  return 80;
}

void* mapZeroed(size_t bytes) {
  void* start = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (start == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
  ::madvise(start, bytes, MADV_HUGEPAGE);
#endif
  return start;
}

void releaseZeroed(void* start, size_t bytes) { ::munmap(start, bytes); }

namespace {

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
    if (error)
      *error =
          std::string("it could not be opened for the lock that keeps changes one at a time: ") +
          std::strerror(errno);
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

bool folderWritable(const std::string& fileName) {
  const std::string folder = folderOf(fileName);
  return ::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) == 0;
}

std::optional<std::string> realName(const std::string& name) {
  char* resolved = ::realpath(name.c_str(), nullptr);
  if (!resolved) return std::nullopt;
  std::string out(resolved);
  std::free(resolved);
  return out;
}

bool ownedByUserOrOwnerOf(const std::string& file, const std::string& like) {
  struct stat f {};
  struct stat l {};
  if (::lstat(file.c_str(), &f) != 0) return false;
  return f.st_uid == ::geteuid() || (::stat(like.c_str(), &l) == 0 && f.st_uid == l.st_uid);
}

bool removable(const std::string& name) {
  const std::string folder = folderOf(name).empty() ? "." : folderOf(name);
  struct stat d {};
  struct stat f {};
  if (::access(folder.c_str(), W_OK | X_OK) != 0 || ::stat(folder.c_str(), &d) != 0 ||
      ::lstat(name.c_str(), &f) != 0)
    return false;
  const uid_t me = ::geteuid();
  return !(d.st_mode & S_ISVTX) || me == 0 || f.st_uid == me || d.st_uid == me;
}

void limitPermissions(const std::string& file, const std::string& like) {
  struct stat l {};
  struct stat f {};
  if (::stat(like.c_str(), &l) == 0 && ::stat(file.c_str(), &f) == 0)
    ::chmod(file.c_str(), f.st_mode & l.st_mode & 0777);
}

void makePrivateFolder(const std::string& folder) { ::chmod(folder.c_str(), 0700); }

std::string stateFolder() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/')
    return std::string(state) + "/dialpix";
  if (const char* home = std::getenv("HOME"); home && home[0] != '\0')
    return std::string(home) + "/.local/state/dialpix";
  return {};
}

bool holdStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number is this one, as every lower one is open.
    const int opened = ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
    if (opened != fd) {
      if (opened >= 0) ::close(opened);
      return false;
    }
  }
  return true;
}

namespace {

bool isSet(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0';
}

bool connects(const std::string& path, bool abstract) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const size_t at = abstract ? 1 : 0;  // an abstract name starts with a zero byte
  if (at + path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path + at, path.data(), path.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + at + path.size());
  const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), length) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

std::string windowPlatform() { return {}; }

bool displayReachable(std::string* why) {
  // A platform chosen by name needs no display, unless it is X or Wayland.
  const std::string platform = isSet("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "";
  const bool x = platform.starts_with("xcb"), wayland = platform.starts_with("wayland");
  if (!platform.empty() && !x && !wayland) return true;
  if (!x && isSet("WAYLAND_DISPLAY")) return true;
  if (wayland) {
    *why = "no Wayland display is set (WAYLAND_DISPLAY)";
    return false;
  }
  if (!isSet("DISPLAY")) {
    *why = "no display is set (neither DISPLAY nor WAYLAND_DISPLAY)";
    return false;
  }
  // ":N" or ":N.S" is the local server N; other forms (host:N) are left to Qt.
  const std::string display = std::getenv("DISPLAY");
  if (display[0] != ':') return true;
  const size_t end = display.find('.');
  const std::string number = display.substr(1, end == std::string::npos ? end : end - 1);
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return true;
  const std::string socket = "/tmp/.X11-unix/X" + number;
  if (connects(socket, false) || connects(socket, true)) return true;
  *why = "the display " + display + " does not answer";
  return false;
}

}  // namespace io
