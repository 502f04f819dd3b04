#include "bmp/export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "bmp/bmp_file.h"
#include "gau/bitmap_record.h"
#include "platform/file_channels.h"

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
std::unique_ptr<platform::Channel> createTemporary(const std::string& folder, std::string* name,
                                                   std::string* error) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    *name =
        folder + ".dialpix-" + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".tmp";
    auto channel = platform::openFileChannel(*name, platform::OpenMode::CreateNew, error);
    if (channel) return channel;
    struct stat st {};
    if (::lstat(name->c_str(), &st) != 0) return nullptr;  // not a name clash: a real failure
  }
  *error = "no free name for a temporary file was found";
  return nullptr;
}

}  // namespace

Result<Exported> writeBmp(platform::Channel& gauge, int32_t bmpPos, platform::Channel& out,
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

Result<Exported> exportBitmap(platform::Channel& gauge, int32_t bmpPos, const std::string& target,
                              const std::function<void()>& onBlock) {
  // Refuse an unconvertible bitmap before anything appears in the folder.
  if (const auto checked = gau::convertibleLayout(gauge, bmpPos); !checked)
    return Result<Exported>::failure(checked);
  // A file the user made read-only is theirs to protect, although a rename could replace it.
  if (struct stat st{};
      ::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
      ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(target.c_str(), W_OK) != 0))
    return failed(Fault::Target, "It is read-only.");

  const std::string folder = folderOf(target);
  std::string temporary;
  std::string why;
  std::unique_ptr<platform::Channel> out = createTemporary(folder, &temporary, &why);
  if (!out) return failed(Fault::Target, "A new file cannot be made in its folder: " + why + ".");

  Result<Exported> r = writeBmp(gauge, bmpPos, *out, onBlock);
  out.reset();  // closes it
  if (r && std::rename(temporary.c_str(), target.c_str()) != 0)
    r = failed(Fault::Target,
               std::string("It could not be put in place: ") + std::strerror(errno) + ".");
  if (!r) {
    platform::deleteFile(temporary, nullptr);
    return r;
  }
  syncFolder(folder);
  return r;
}

}  // namespace bmp
