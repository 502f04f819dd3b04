#include "bmp/export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "bmp/bmp_file.h"
#include "gau/bitmap_record.h"
#include "io/file_channels.h"

namespace bmp {
namespace {

// Pixels are copied in blocks of this size, so a large bitmap needs no more memory.
constexpr int64_t kCopyBlock = int64_t{1} << 20;

Result<Exported> failed(Fault fault, std::string reason) {
  return Result<Exported>::failure(fault, std::move(reason));
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

// A fresh, hidden temporary file beside the target; `name` receives its name.
std::unique_ptr<io::Channel> createTemporary(const std::string& folder, std::string* name,
                                                   std::string* error) {
  // Exports run side by side on several threads (the command line): each takes
  // its own number, so they never meet on one name; clashes left are another
  // process's or an old leftover, and the next number is tried.
  static std::atomic<uint64_t> next{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    *name = folder + ".dialpix-" + std::to_string(::getpid()) + "-" + std::to_string(next++) +
            ".tmp";
    auto channel = io::openFileChannel(*name, io::OpenMode::CreateNew, error);
    if (channel) return channel;
    struct stat st {};
    if (::lstat(name->c_str(), &st) != 0) return nullptr;  // not a name clash: a real failure
  }
  *error = "no free name for a temporary file was found";
  return nullptr;
}

constexpr const char* kExists = "A file of that name already exists.";

std::string notInPlace(int error) {
  return std::string("It could not be put in place: ") + std::strerror(error) + ".";
}

// Moves the finished temporary file to `target`; with Existing::Keep never over
// another file. Returns why it could not, or nothing.
std::optional<std::string> moveInPlace(const std::string& temporary, const std::string& target,
                                       Existing existing) {
  if (existing == Existing::Replace) {
    if (std::rename(temporary.c_str(), target.c_str()) == 0) return std::nullopt;
    return notInPlace(errno);
  }
  if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
    return std::nullopt;
  if (errno == EEXIST) return kExists;
  if (errno != EINVAL && errno != ENOSYS) return notInPlace(errno);
  // A file system without the no-replace rename: a hard link fails on an existing name too.
  if (::link(temporary.c_str(), target.c_str()) != 0)
    return errno == EEXIST ? kExists : notInPlace(errno);
  ::unlink(temporary.c_str());
  return std::nullopt;
}

}  // namespace

Result<Exported> writeBmp(io::Channel& gauge, int32_t bmpPos, io::Channel& out,
                          const std::function<void()>& onBlock) {
  const Result<gau::BitmapLayout> checked = gau::convertibleLayout(gauge, bmpPos);
  if (!checked) return Result<Exported>::failure(checked);
  const gau::BitmapLayout& b = *checked;

  std::vector<uint8_t> palette(4 * static_cast<size_t>(b.colors));
  if (gauge.read(b.paletteStart, palette) != palette.size())
    return failed(Fault::Bitmap, "Its palette could not be read: " +
                                     gauge.errorOr("the read stopped early") + ".");
  const Header header = buildHeader(b.width, b.height, b.pixelBytes, palette);
  if (!out.write(1, header))
    return failed(Fault::Target,
                  "Its header could not be written: " + out.errorOr("unknown error") + ".");

  std::vector<uint8_t> block(static_cast<size_t>(std::min(kCopyBlock, b.pixelBytes)));
  for (int64_t done = 0; done < b.pixelBytes;) {
    const auto n = static_cast<size_t>(std::min(kCopyBlock, b.pixelBytes - done));
    const std::span<uint8_t> part(block.data(), n);
    if (gauge.read(b.pixelStart + done, part) != n)
      return failed(Fault::Bitmap, "Its pixels could not be read: " +
                                       gauge.errorOr("the read stopped early") + ".");
    if (!out.write(kPixelOffset + 1 + done, part))
      return failed(Fault::Target,
                    "Its pixels could not be written: " + out.errorOr("unknown error") + ".");
    done += static_cast<int64_t>(n);
    if (onBlock) onBlock();
  }
  if (!out.flush())
    return failed(Fault::Target,
                  "It could not be flushed to the disk: " + out.errorOr("unknown error") + ".");

  return Exported{b.width, b.height, b.colors, kPixelOffset + b.pixelBytes};
}

Result<Exported> exportBitmap(io::Channel& gauge, int32_t bmpPos, const std::string& target,
                              const std::function<void()>& onBlock, Existing existing) {
  // Refuse an unconvertible bitmap before anything appears in the folder.
  if (const auto checked = gau::convertibleLayout(gauge, bmpPos); !checked)
    return Result<Exported>::failure(checked);
  if (struct stat st{}; existing == Existing::Keep && ::lstat(target.c_str(), &st) == 0)
    return failed(Fault::TargetExists, kExists);
  // A file the user made read-only is theirs to protect, although a rename could replace it.
  if (struct stat st{};
      ::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
      ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(target.c_str(), W_OK) != 0))
    return failed(Fault::Target, "It is read-only.");

  const std::string folder = folderOf(target);
  std::string temporary;
  std::string why;
  std::unique_ptr<io::Channel> out = createTemporary(folder, &temporary, &why);
  if (!out) return failed(Fault::Target, "A new file cannot be made in its folder: " + why + ".");

  Result<Exported> r = writeBmp(gauge, bmpPos, *out, onBlock);
  out.reset();  // closes it
  if (r)
    if (const std::optional<std::string> notMoved = moveInPlace(temporary, target, existing))
      r = failed(*notMoved == kExists ? Fault::TargetExists : Fault::Target, *notMoved);
  if (!r) {
    io::deleteFile(temporary, nullptr);
    return r;
  }
  syncFolder(folder);
  return r;
}

}  // namespace bmp
