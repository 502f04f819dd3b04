// The POSIX side of io/system.h and of the file channels.

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "io/file_channels.h"
#include "io/system.h"

namespace io {

namespace {

class PosixChannel final : public Channel {
 public:
  PosixChannel(int fd, std::string name) : Channel(std::move(name)), fd_(fd) {}
  ~PosixChannel() override { ::close(fd_); }

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

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<Channel> openFileChannel(const std::string& name, OpenMode mode,
                                         std::string* error) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case OpenMode::ReadWriteExisting:
      flags |= O_RDWR;
      break;
    case OpenMode::ReadOnly:
      flags |= O_RDONLY;
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
  auto channel = std::make_unique<PosixChannel>(fd, name);
  channel->setReadOnly(mode == OpenMode::ReadOnly);
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

bool writeProtected(const std::string& name) {
  // Without any write bit even root is refused, as the owner asked for.
  struct stat st {};
  return ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(name.c_str(), W_OK) != 0);
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

void syncFolder(const std::string& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

uint64_t processId() { return static_cast<uint64_t>(::getpid()); }

std::string ownProgram() {
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  return n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
}

int handOver(const std::string& program, const std::vector<std::string>& args, std::string* error) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  ::execv(program.c_str(), argv.data());
  if (error) *error = std::strerror(errno);
  return -1;
}

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

}  // namespace io
