#include "bmp/export.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "bmp/bmp_file.h"
#include "gau/bitmap_record.h"
#include "io/file_channels.h"
#include "io/system.h"

namespace bmp {
namespace {

// Pixels are copied in blocks of this size, so a large bitmap needs no more memory.
constexpr int64_t kCopyBlock = int64_t{1} << 20;

Result<Exported> failed(Fault fault, std::string reason) {
  return Result<Exported>::failure(fault, std::move(reason));
}

// A fresh, hidden temporary file beside the target; `name` receives its name.
std::unique_ptr<io::Channel> createTemporary(const std::string& folder, std::string* name,
                                             std::string* error) {
  // Exports run side by side on several threads (the command line): each takes
  // its own number, so they never meet on one name; clashes left are another
  // process's or an old leftover, and the next number is tried.
  static std::atomic<uint64_t> next{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    *name = folder + ".dialpix-" + std::to_string(io::processId()) + "-" + std::to_string(next++) +
            ".tmp";
    auto channel = io::openFileChannel(*name, io::OpenMode::CreateNew, error);
    if (channel) return channel;
    if (!io::nameTaken(*name)) return nullptr;  // not a name clash: a real failure
  }
  *error = "no free name for a temporary file was found";
  return nullptr;
}

constexpr const char* kExists = "A file of that name already exists.";

// Moves the finished temporary file to `target`; with Existing::Keep never over
// another file. Returns why it could not, or nothing.
std::optional<std::string> moveInPlace(const std::string& temporary, const std::string& target,
                                       Existing existing) {
  std::string why;
  switch (io::moveFile(temporary, target,
                       existing == Existing::Keep ? io::Existing::Keep : io::Existing::Replace,
                       &why)) {
    case io::MoveResult::Done:
      return std::nullopt;
    case io::MoveResult::TargetExists:
      return kExists;
    case io::MoveResult::Failed:
      break;
  }
  return "It could not be put in place: " + why + ".";
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
  if (existing == Existing::Keep && io::nameTaken(target))
    return failed(Fault::TargetExists, kExists);
  // A file the user made read-only is theirs to protect, although a rename could replace it.
  if (io::writeProtected(target)) return failed(Fault::Target, "It is read-only.");

  const std::string folder = io::folderOf(target);
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
  io::syncFolder(folder);
  return r;
}

}  // namespace bmp
