#include "bmp/foreign_bmp.h"

#include <algorithm>
#include <bit>
#include <cstdlib>

#include "bmp/bmp_file.h"
#include "io/file_channels.h"
#include "io/little_endian.h"

namespace bmp {
namespace {

// Information header sizes by their names in the Windows headers.
constexpr int64_t kCoreHeader = 12;  // OS/2 1.x: 16-bit width and height, 3-byte palette entries
constexpr int64_t kV2Header = 52;    // 40 bytes and the red, green and blue masks
constexpr int64_t kV3Header = 56;    // and the alpha mask
constexpr int64_t kV4Header = 108;
constexpr int64_t kV5Header = 124;
constexpr int32_t kRle8 = 1;
constexpr int32_t kRle4 = 2;
constexpr int32_t kBitFields = 3;

// The fields of a .BMP header that say where its pixel data lies and how long it is.
struct Shape {
  int64_t infoSize = 0;
  int64_t width = 0;
  int64_t height = 0;  // rows, whatever the storage order
  bool topDown = false;
  int bits = 0;
  int32_t compression = 0;
  int64_t pixelStart = 0;  // 0-based offset where the reader starts on the pixels
};

std::optional<Shape> readShape(std::span<const uint8_t> f) {
  if (f.size() < kFileHeaderBytes + 4 || f[0] != 'B' || f[1] != 'M') return std::nullopt;
  const int64_t infoSize = static_cast<uint32_t>(io::le32(&f[kInfoSizeOffset]));
  Shape s;
  s.infoSize = infoSize;
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
  s.topDown = s.height < 0;
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

// Why run-length data from `at` leaves some pixel unknown, walked as the
// reader decodes it without keeping a pixel (see pixelDataProblem); empty when
// it does not. Rows and columns in the sentences count from 1 at the top left,
// as the picture is shown.
std::optional<std::string> runProblem(std::span<const uint8_t> f, size_t at, const Shape& s) {
  const int64_t w = s.width, h = s.height;
  int64_t x = 0, row = 0;  // row 0 is the bottom one, stored first
  int64_t set = 0;         // pixels a run gave a value
  const auto shownRow = [&] { return num(h - row); };
  const std::string stops = "Its compressed pixel data stops before the end of its picture.";
  const std::string pastLast =
      "Its compressed pixel data goes on past the last row of its picture.";
  const auto pastRow = [&](int64_t n) {
    return "Its compressed pixel data runs past the end of row " + shownRow() + ": " + num(n) +
           " pixels from column " + num(x + 1) + " on, in a row of " + num(w) + ".";
  };
  while (at + 2 <= f.size()) {
    const uint8_t count = f[at];
    const uint8_t code = f[at + 1];
    at += 2;
    if (count != 0 || code > 2) {  // a run of one value, or `code` pixels as they are
      const int64_t n = count != 0 ? count : code;
      if (row >= h) return pastLast;
      if (n > w - x) return pastRow(n);
      if (count == 0) {  // padded to an even byte count
        const size_t bytes = s.bits == 8 ? code : (code + 1u) / 2;
        if (bytes > f.size() - at) return stops;
        at += bytes + (bytes & 1);
      }
      x += n;
      set += n;
      continue;
    }
    switch (code) {
      case 0:  // end of row
        if (row >= h) return pastLast;
        x = 0;
        ++row;
        break;
      case 1:  // end of picture
        return std::nullopt;
      default: {  // move right and up
        if (f.size() - at < 2) return stops;
        const int64_t right = f[at], up = f[at + 1];
        at += 2;
        if (x + right > w || row + up >= h)
          return "Its compressed pixel data moves " + num(right) + " right and " + num(up) +
                 " up from row " + (row < h ? shownRow() : "below the picture") + ", column " +
                 num(x + 1) + ", out of its picture.";
        x += right;
        row += up;
        break;
      }
    }
  }
  // No end-of-picture mark: only a picture whose every pixel is set has nothing left to guess.
  if (set == w * h) return std::nullopt;
  return stops;
}

// One field of a pixel widened to 8 bits exactly: value x 255 / its maximum,
// rounded, so the maximum is 255 whatever the field's width.
class Field {
 public:
  Field(uint32_t mask, uint8_t absent) : mask_(mask), absent_(absent) {
    if (mask == 0) return;
    shift_ = std::countr_zero(mask);
    max_ = mask >> shift_;
    if (max_ <= 0xFFFF)  // every field of a 16-bit pixel, and the usual 32-bit ones
      for (uint32_t v = 0; v <= max_; ++v) table_.push_back(widen(v));
  }
  uint32_t operator()(uint32_t pixel) const {
    if (mask_ == 0) return absent_;
    const uint32_t v = (pixel & mask_) >> shift_;  // at most max_, whatever the mask's gaps
    return table_.empty() ? widen(v) : table_[v];
  }

 private:
  uint8_t widen(uint32_t v) const {
    return static_cast<uint8_t>((uint64_t{v} * 255 + max_ / 2) / max_);
  }
  uint32_t mask_;
  uint8_t absent_;
  int shift_ = 0;
  uint32_t max_ = 1;
  std::vector<uint8_t> table_;
};

}  // namespace

bool needsWholeFile(std::span<const uint8_t> head) {
  if (head.size() < kFileHeaderBytes + 4 || head[0] != 'B' || head[1] != 'M') return false;
  const int64_t infoSize = io::le32(&head[kInfoSizeOffset]);
  if (infoSize == kV2Header || infoSize == kV3Header) return true;
  const std::optional<Shape> s = readShape(head);
  return s && isRunLength(*s);
}

std::optional<std::string> pixelDataProblem(std::span<const uint8_t> file, int64_t length) {
  const std::optional<Shape> s = readShape(file);
  if (!s) return std::nullopt;
  if (s->pixelStart >= length)
    return "It ends at byte " + num(length) + ", before its pixel data, which starts at byte " +
           num(s->pixelStart) + ".";
  if (isRunLength(*s)) {
    // The format has no top-down order for runs: a reader would have to guess one.
    if (s->topDown)
      return std::string(
          "It gives a negative height (rows stored top row first), which a .BMP with compressed "
          "pixel data cannot have.");
    return runProblem(file, static_cast<size_t>(s->pixelStart), *s);
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

std::optional<BitFieldLayout> bitFieldLayout(std::span<const uint8_t> head) {
  const std::optional<Shape> s = readShape(head);
  if (!s || s->width > INT32_MAX || s->height > INT32_MAX) return std::nullopt;
  BitFieldLayout l;
  l.width = static_cast<int32_t>(s->width);
  l.height = static_cast<int32_t>(s->height);
  l.topDown = s->topDown;
  l.bits = s->bits;
  l.pixelStart = s->pixelStart;
  if (s->bits == 16 && s->compression == 0) {
    l.masks = {0x7C00, 0x3E0, 0x1F, 0};  // the top bit unused
    return l;
  }
  if ((s->bits != 16 && s->bits != 32) || s->compression != kBitFields) return std::nullopt;
  // The masks follow a 40-byte header and open the longer ones, at the same
  // place either way; the alpha mask only from the 56-byte header on. Other
  // headers (OS/2's 64 bytes) are left to the reader.
  constexpr size_t kMasksOffset = kFileHeaderBytes + kInfoHeaderBytes;
  const int64_t n = s->infoSize;
  if (n != kInfoHeaderBytes && n != kV2Header && n != kV3Header && n != kV4Header && n != kV5Header)
    return std::nullopt;
  if (head.size() < kMasksOffset + 16) return std::nullopt;
  for (size_t i = 0; i < 3; ++i) l.masks[i] = io::le32u(&head[kMasksOffset + 4 * i]);
  if (n >= kV3Header) l.masks[3] = io::le32u(&head[kMasksOffset + 12]);
  return l;
}

std::optional<std::string> decodeBitFields(io::Channel& file, const BitFieldLayout& l,
                                           std::span<uint32_t> out, int64_t stride) {
  const Field red(l.masks[0], 0), green(l.masks[1], 0), blue(l.masks[2], 0);
  const Field alpha(l.masks[3], 255);  // no alpha mask: opaque
  const int bytesPerPixel = l.bits / 8;
  const int64_t rowBytes = (int64_t{l.width} * l.bits + 31) / 32 * 4;  // padded to 4 bytes
  // Rows are read a block at a time: a read a row costs more than the decoding.
  const int64_t blockRows = std::max<int64_t>(1, (int64_t{1} << 20) / rowBytes);
  std::vector<uint8_t> block;
  for (int64_t first = 0; first < l.height; first += blockRows) {
    const int64_t rows = std::min(blockRows, l.height - first);
    block.resize(static_cast<size_t>(rows * rowBytes));
    if (file.read(l.pixelStart + first * rowBytes + 1, block) != block.size())
      return "It could not be read: " + file.errorOr("the read stopped early") + ".";
    for (int64_t r = 0; r < rows; ++r) {
      const int64_t stored = first + r;
      const int64_t y = l.topDown ? stored : l.height - 1 - stored;
      const uint8_t* p = block.data() + r * rowBytes;
      uint32_t* to = out.data() + y * stride;
      for (int32_t x = 0; x < l.width; ++x, p += bytesPerPixel) {
        const uint32_t v = bytesPerPixel == 2 ? uint32_t{p[0]} | uint32_t{p[1]} << 8 : io::le32u(p);
        to[x] = alpha(v) << 24 | red(v) << 16 | green(v) << 8 | blue(v);
      }
    }
  }
  return std::nullopt;
}

}  // namespace bmp
