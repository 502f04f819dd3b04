#include "bmp/foreign_bmp.h"

#include <algorithm>
#include <cstdlib>

#include "bmp/bmp_file.h"
#include "io/little_endian.h"

namespace bmp {
namespace {

// Information header sizes by their names in the Windows headers.
constexpr int64_t kCoreHeader = 12;  // OS/2 1.x: 16-bit width and height, 3-byte palette entries
constexpr int64_t kV2Header = 52;    // 40 bytes and the red, green and blue masks
constexpr int64_t kV3Header = 56;    // and the alpha mask
constexpr int64_t kV4Header = 108;
constexpr int32_t kRle8 = 1;
constexpr int32_t kRle4 = 2;
constexpr int32_t kBitFields = 3;

// The fields of a .BMP header that say where its pixel data lies and how long it is.
struct Shape {
  int64_t width = 0;
  int64_t height = 0;  // rows, whatever the storage order
  int bits = 0;
  int32_t compression = 0;
  int64_t pixelStart = 0;  // 0-based offset where the reader starts on the pixels
};

std::optional<Shape> readShape(std::span<const uint8_t> f) {
  if (f.size() < kFileHeaderBytes + 4 || f[0] != 'B' || f[1] != 'M') return std::nullopt;
  const int64_t infoSize = static_cast<uint32_t>(io::le32(&f[kInfoSizeOffset]));
  Shape s;
  int64_t used = 0;  // palette entries the header gives, 0 for all 2^bits
  int64_t entryBytes = 4;
  if (infoSize == kCoreHeader) {
    if (f.size() < static_cast<size_t>(kFileHeaderBytes + kCoreHeader)) return std::nullopt;
    s.width = io::le16(&f[18]);
    s.height = io::le16(&f[20]);
    s.bits = io::le16(&f[24]);
    entryBytes = 3;
  } else if (infoSize >= kInfoHeaderBytes) {
    if (f.size() < static_cast<size_t>(kFileHeaderBytes + kInfoHeaderBytes)) return std::nullopt;
    s.width = io::le32(&f[kWidthOffset]);
    s.height = io::le32(&f[kHeightOffset]);
    s.bits = io::le16(&f[kBitsOffset]);
    s.compression = io::le32(&f[kCompressionOffset]);
    used = std::min<int64_t>(static_cast<uint32_t>(io::le32(&f[kColorsUsedOffset])), 256);
  } else {
    return std::nullopt;
  }
  s.height = std::abs(s.height);
  if (s.width <= 0 || s.height == 0 || s.bits <= 0 || s.bits > 32) return std::nullopt;
  const int64_t colours = s.bits > 8 ? 0 : used != 0 ? used : int64_t{1} << s.bits;
  // The reader takes the masks and the palette as they follow the header, then
  // moves on to the data offset if that lies further on.
  const int64_t masks = infoSize == kInfoHeaderBytes && s.compression == kBitFields ? 12 : 0;
  const int64_t dataOffset = static_cast<uint32_t>(io::le32(&f[kDataOffsetOffset]));
  s.pixelStart = std::max(dataOffset, kFileHeaderBytes + infoSize + masks + colours * entryBytes);
  return s;
}

bool isRunLength(const Shape& s) {
  return (s.compression == kRle8 && s.bits == 8) || (s.compression == kRle4 && s.bits == 4);
}

std::string num(int64_t v) { return std::to_string(v); }

// Walks run-length data from `at` without decoding it: true when it reaches
// its end-of-picture mark, or ends its last row, inside the file.
bool runsComplete(std::span<const uint8_t> f, size_t at, int bits, int64_t rows) {
  int64_t row = 0;
  while (at + 2 <= f.size()) {
    const uint8_t count = f[at];
    const uint8_t code = f[at + 1];
    at += 2;
    if (count != 0) continue;  // a run of one value
    switch (code) {
      case 0:  // end of row
        if (++row >= rows) return true;
        break;
      case 1:  // end of picture
        return true;
      case 2:  // move right and up
        if (at + 2 > f.size()) return false;
        row += f[at + 1];
        at += 2;
        if (row >= rows) return true;
        break;
      default: {  // `code` pixels as they are, padded to an even byte count
        const size_t bytes = bits == 8 ? code : (code + 1u) / 2;
        at += bytes + (bytes & 1);
        break;
      }
    }
  }
  return false;
}

}  // namespace

bool needsWholeFile(std::span<const uint8_t> head) {
  if (head.size() < kFileHeaderBytes + 4 || head[0] != 'B' || head[1] != 'M') return false;
  const int64_t infoSize = io::le32(&head[kInfoSizeOffset]);
  if (infoSize == kV2Header || infoSize == kV3Header) return true;
  const std::optional<Shape> s = readShape(head);
  return s && isRunLength(*s);
}

std::optional<std::string> cutShort(std::span<const uint8_t> file, int64_t length) {
  const std::optional<Shape> s = readShape(file);
  if (!s) return std::nullopt;
  if (s->pixelStart >= length)
    return "It ends at byte " + num(length) + ", before its pixel data, which starts at byte " +
           num(s->pixelStart) + ".";
  if (isRunLength(*s)) {
    if (!runsComplete(file, static_cast<size_t>(s->pixelStart), s->bits, s->height))
      return std::string("Its compressed pixel data stops before the end of its picture.");
    return std::nullopt;
  }
  if (s->compression != 0 && s->compression != kBitFields) return std::nullopt;
  const int64_t rowBytes = (s->width * s->bits + 31) / 32 * 4;  // each row padded to 4 bytes
  const int64_t have = length - s->pixelStart;
  if (have / rowBytes < s->height)
    return "Its pixel data is cut short: " + num(s->width) + " x " + num(s->height) +
           " pixels need " + num(rowBytes) + " bytes a row, and only " + num(have) +
           " bytes follow offset " + num(s->pixelStart) + ".";
  return std::nullopt;
}

std::optional<std::vector<uint8_t>> widenedHeader(std::span<const uint8_t> file) {
  if (file.size() < kFileHeaderBytes + kV3Header || file[0] != 'B' || file[1] != 'M')
    return std::nullopt;
  const int64_t infoSize = io::le32(&file[kInfoSizeOffset]);
  if (infoSize != kV2Header && infoSize != kV3Header) return std::nullopt;
  const size_t headerEnd = static_cast<size_t>(kFileHeaderBytes + infoSize);
  const auto grow = static_cast<uint32_t>(kV4Header - infoSize);
  std::vector<uint8_t> wide;
  wide.reserve(file.size() + grow);
  wide.insert(wide.end(), file.begin(), file.begin() + static_cast<ptrdiff_t>(headerEnd));
  wide.insert(wide.end(), grow, 0);  // no alpha mask (52), calibrated RGB, no end points, no gamma
  wide.insert(wide.end(), file.begin() + static_cast<ptrdiff_t>(headerEnd), file.end());
  io::putLe32(&wide[kInfoSizeOffset], kV4Header);
  io::putLe32(&wide[kFileSizeOffset],
                    static_cast<uint32_t>(io::le32(&file[kFileSizeOffset])) + grow);
  const auto dataOffset = static_cast<uint32_t>(io::le32(&file[kDataOffsetOffset]));
  if (dataOffset >= headerEnd) io::putLe32(&wide[kDataOffsetOffset], dataOffset + grow);
  return wide;
}

}  // namespace bmp
