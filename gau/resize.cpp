#include "gau/resize.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "gau/bitmap_record.h"
#include "gau/change.h"
#include "io/file_channels.h"
#include "io/little_endian.h"
#include "pe/resource_rewrite.h"
#include "pe/resource_table.h"

namespace gau {
namespace {

// The information header at the start of a bitmap resource's data.
constexpr size_t kInfoBytes = 40;  // BITMAPINFOHEADER; later versions only add to it
constexpr size_t kWidth = 4, kHeight = 8, kPlanes = 12, kBits = 14, kCompression = 16,
                 kImageSize = 20, kColoursUsed = 32, kColoursImportant = 36;
constexpr uint32_t kPlain = 0, kRle8 = 1;

Result<Resized> refuse(std::string why) {
  return Result<Resized>::failure(Fault::Bitmap, std::move(why));
}

std::string at(int64_t headerPos) { return "The bitmap at byte " + std::to_string(headerPos); }

// What the resize works from: the file, its table, the resource and its header.
struct Found {
  std::vector<uint8_t> file;
  pe::ResourceTable table;
  size_t index = 0;
  Resized shape;
  std::vector<uint8_t> palette;  // 8-bit: as stored
  std::vector<uint8_t> header;   // its first kInfoBytes
};

Result<Found> find(io::Channel& gauge, int64_t headerPos) {
  using R = Result<Found>;
  Found f;
  const std::string loose =
      at(headerPos) +
      " is no bitmap resource of its own (it lies loose in the file, or inside other data), so "
      "nothing else would follow a change of its size: it can only take pictures of its own "
      "size.";
  Result<pe::ResourceTable> table = pe::readResourceTable(gauge);
  if (!table)
    return R::failure(Fault::Bitmap,
                      loose + " The gauge file is no module whose resources can be read. " +
                          table.reason());
  f.table = std::move(*table);
  const auto it = std::find_if(f.table.resources.begin(), f.table.resources.end(),
                               [&](const pe::Resource& r) {
                                 return r.place == pe::Place::InFile && r.position == headerPos &&
                                        !r.type.named && r.type.id == pe::kBitmap;
                               });
  if (it == f.table.resources.end()) return R::failure(Fault::Bitmap, loose);
  f.index = static_cast<size_t>(it - f.table.resources.begin());
  const int64_t length = gauge.length();
  if (length > kMaxResizedGauge)
    return R::failure(Fault::Bitmap, "The gauge file is larger than " +
                                         std::to_string(kMaxResizedGauge >> 20) +
                                         " MiB, more than a bitmap is made another size in.");
  f.file.resize(static_cast<size_t>(length));
  if (gauge.read(1, f.file) != f.file.size())
    return R::failure(Fault::Bitmap, "The gauge file could not be read: " +
                                         gauge.errorOr("the read stopped early") + ".");
  const uint8_t* d = &f.file[static_cast<size_t>(headerPos - 1)];
  const uint32_t infoBytes = it->size >= 4 ? io::le32u(d) : 0;
  if (infoBytes < kInfoBytes || infoBytes > it->size)
    return R::failure(Fault::Bitmap, at(headerPos) + " has no header that can be rebuilt.");
  f.header.assign(d, d + kInfoBytes);
  f.shape.width = io::le32(d + kWidth);
  f.shape.height = io::le32(d + kHeight);
  f.shape.bits = io::le16(d + kBits);
  const uint32_t compression = io::le32u(d + kCompression);
  const bool plain = compression == kPlain;
  f.shape.wasCompressed = f.shape.bits == 8 && compression == kRle8;
  if (!(f.shape.bits == 8 || f.shape.bits == 24 || f.shape.bits == 32) ||
      !(plain || f.shape.wasCompressed))
    return R::failure(Fault::Bitmap,
                      at(headerPos) + " has " + std::to_string(f.shape.bits) +
                          " bits a pixel" + (plain ? "" : " in a packed or coded layout") +
                          "; only plain 8-, 24- and 32-bit bitmaps (and run-length 8-bit ones) "
                          "can be made another size.");
  if (f.shape.bits == 8) {
    const uint32_t used = io::le32u(d + kColoursUsed);
    const uint64_t entries = used == 0 ? 256 : used;
    if (entries > 256 || infoBytes + 4 * entries > it->size)
      return R::failure(Fault::Bitmap, at(headerPos) + " has a palette that runs past its data.");
    f.palette.assign(d + infoBytes, d + infoBytes + 4 * entries);
  }
  return f;
}

}  // namespace

Result<Resized> resizableBitmap(io::Channel& gauge, int64_t headerPos) {
  Result<Found> f = find(gauge, headerPos);
  if (!f) return Result<Resized>::failure(f);
  return f->shape;
}

Result<Resized> resizeBitmap(io::Channel& gauge, int64_t headerPos, const Picture& picture) {
  if (gauge.readOnly())
    return Result<Resized>::failure(Fault::ReadOnly, "The gauge file is open for reading only.");
  if (picture.width < 1 || picture.height < 1 || picture.width > kMaxResizedSide ||
      picture.height > kMaxResizedSide)
    return Result<Resized>::failure(
        Fault::DoesNotFit, "It is " + std::to_string(picture.width) + " x " +
                               std::to_string(picture.height) + " pixels; a bitmap is made at "
                               "most " + std::to_string(kMaxResizedSide) + " pixels a side.");
  if (const std::optional<std::string> why = pictureProblem(picture)) return refuse(*why);
  if (headerPos < 1 || headerPos > INT32_MAX - 12) return refuse(at(headerPos) + " is out of reach.");
  Result<Found> found = find(gauge, headerPos);
  if (!found) return Result<Resized>::failure(found);
  Found& f = *found;
  Resized out = f.shape;

  // Header, palette, then the rows, bottom row first, each padded to 4 bytes.
  const int bits = f.shape.bits;
  const int64_t stride = (int64_t{picture.width} * bits + 31) / 32 * 4;
  const int64_t pixelBytes = stride * picture.height;
  std::vector<uint8_t> data(f.header);
  io::putLe32(&data[0], kInfoBytes);
  io::putLe32(&data[kWidth], static_cast<uint32_t>(picture.width));
  io::putLe32(&data[kHeight], static_cast<uint32_t>(picture.height));
  io::putLe16(&data[kPlanes], 1);
  io::putLe32(&data[kCompression], kPlain);
  io::putLe32(&data[kImageSize], static_cast<uint32_t>(pixelBytes));
  if (bits != 8) {
    io::putLe32(&data[kColoursUsed], 0);
    io::putLe32(&data[kColoursImportant], 0);
  }
  data.insert(data.end(), f.palette.begin(), f.palette.end());
  const size_t pixelsAt = data.size();
  data.resize(pixelsAt + static_cast<size_t>(pixelBytes), 0);
  const std::span<uint8_t> pixels(data.data() + pixelsAt, static_cast<size_t>(pixelBytes));
  if (bits == 8) {
    const MapCounts counts = mapPicture(picture, shownPalette(f.palette), pixels, stride);
    out.approximatedPixels = counts.approximatedPixels;
    out.approximatedColours = counts.approximatedColours;
  } else {
    const int step = bits / 8;
    for (int32_t y = 0; y < picture.height; ++y) {
      uint8_t* row = &pixels[static_cast<size_t>((picture.height - 1 - y) * stride)];
      for (int32_t x = 0; x < picture.width; ++x) {
        const int64_t i = y * picture.rowStride + x;
        uint32_t c;
        if (picture.indexed()) {
          const uint8_t k = picture.indices[static_cast<size_t>(i)];
          c = k < picture.colourTable.size() ? picture.colourTable[k] : kOpaqueBlack;
        } else {
          c = picture.argb[static_cast<size_t>(i)];
        }
        uint8_t* p = row + x * step;
        p[0] = static_cast<uint8_t>(c), p[1] = static_cast<uint8_t>(c >> 8);
        p[2] = static_cast<uint8_t>(c >> 16);
        if (step == 4) p[3] = static_cast<uint8_t>(c >> 24);
      }
    }
  }

  Result<pe::Rewritten> rewritten = pe::replaceResourceData(f.file, f.table, f.index, data);
  if (!rewritten)
    return refuse(at(headerPos) + " cannot change size without breaking the module: " +
                  rewritten.reason());
  f.file.clear();
  f.file.shrink_to_fit();
  const Result<> done = changeTail(gauge, 1, rewritten->file,
                                   {"resize", static_cast<int32_t>(headerPos + 12)});
  if (!done) return Result<Resized>::failure(done);
  return out;
}

}  // namespace gau
