#include "gau/export.h"

#include <algorithm>
#include <span>
#include <vector>

#include "bmp/bmp_file.h"
#include "gau/bitmap_record.h"
#include "io/file_channels.h"
#include "io/replace_file.h"

namespace bmp {
namespace {

// Pixels are copied in blocks of this size, so a large bitmap needs no more memory.
constexpr int64_t kCopyBlock = int64_t{1} << 20;

Result<Exported> failed(Fault fault, std::string reason) {
  return Result<Exported>::failure(fault, std::move(reason));
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
  io::Replacement file(target, existing, gauge.name());
  const auto notReplaced = [&file] {
    return failed(file.keptExisting() ? Fault::TargetExists : Fault::Target, file.why());
  };
  if (!file.ready()) return notReplaced();
  Result<Exported> r = writeBmp(gauge, bmpPos, file.channel(), onBlock);
  if (r && !file.commit()) return notReplaced();
  return r;
}

}  // namespace bmp
