#include "gau/resource_bitmap.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>

#include "gau/bitmap_record.h"
#include "gau/change.h"
#include "gau/scan.h"
#include "io/file_channels.h"
#include "io/little_endian.h"

namespace gau {
namespace {

// A cursor's image has its 4-byte hot spot before the header.
constexpr int64_t kHotSpotBytes = 4;

constexpr uint32_t kCoreHeaderBytes = 12;  // OS/2: 16-bit sizes, 3-byte palette entries
constexpr uint32_t kInfoHeaderBytes = 40;
constexpr uint32_t kLargestHeader = 124;  // BITMAPV5HEADER
constexpr uint32_t kBitFields = 3, kAlphaBitFields = 6;
constexpr int64_t kFileHeaderBytes = 14;

Result<Dib> noDib(std::string why) { return Result<Dib>::failure(Fault::Bitmap, std::move(why)); }

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Windows keeps resource names in capitals and looks them up so.
bool sameKey(const pe::Key& a, const pe::Key& b) {
  if (a.named != b.named) return false;
  return a.named ? upper(a.name) == upper(b.name) : a.id == b.id;
}

bool isBitmap(const pe::Resource& r) { return !r.type.named && r.type.id == pe::kBitmap; }

std::optional<uint32_t> number(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  uint32_t v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return v;
}

}  // namespace

Placed placeHit(int32_t bmpPos, const pe::ResourceTable& table, const pe::ResourceIndex& index) {
  const int64_t header = int64_t{bmpPos} + kHeaderFromBmpPos;
  const std::optional<size_t> at = index.at(header);
  if (!at) return {};
  const pe::Resource& r = table.resources[*at];
  Placed p{Role::Inside, &r};
  if (r.type.named) return p;
  if (r.type.id == pe::kBitmap && r.position == header) p.role = Role::Bitmap;
  if (r.type.id == pe::kIcon && r.position == header) p.role = Role::Icon;
  if (r.type.id == pe::kCursor && r.position + kHotSpotBytes == header) p.role = Role::Icon;
  return p;
}

std::string keyText(const pe::Key& k) { return k.named ? k.name : std::to_string(k.id); }

std::string whereText(const Placed& p) {
  switch (p.role) {
    case Role::Bitmap:
      return "bitmap " + keyText(p.resource->name);
    case Role::Icon:
      return "icon " + keyText(p.resource->name);
    case Role::Inside:
      return "inside " + pe::typeName(p.resource->type) + " " + keyText(p.resource->name);
    case Role::Loose:
      break;
  }
  return "loose";
}

pe::ResourceTable resourcesOf(io::Channel& gauge) {
  Result<pe::ResourceTable> table = pe::readResourceTable(gauge);
  return table ? std::move(*table) : pe::ResourceTable{};
}

Result<Dib> readDib(io::Channel& gauge, int64_t headerPos, int64_t dataBytes) {
  const int64_t length = gauge.length();
  if (headerPos < 1 || length < 0 || headerPos - 1 > length)
    return noDib("It lies outside the file.");
  dataBytes = std::min(dataBytes, length - (headerPos - 1));
  uint8_t h[kInfoHeaderBytes] = {};
  const auto have = static_cast<size_t>(std::min<int64_t>(dataBytes, sizeof h));
  if (have < kCoreHeaderBytes || gauge.read(headerPos, std::span(h, have)) != have)
    return noDib("Its header is cut short.");
  Dib d;
  d.headerPos = headerPos;
  d.dataBytes = dataBytes;
  d.headerBytes = io::le32u(h);
  int64_t height = 0;
  int planes = 0;
  uint32_t colorsUsed = 0;
  if (d.headerBytes == kCoreHeaderBytes) {
    d.width = static_cast<uint16_t>(io::le16(h + 4));
    height = static_cast<uint16_t>(io::le16(h + 6));
    planes = static_cast<uint16_t>(io::le16(h + 8));
    d.bits = static_cast<uint16_t>(io::le16(h + 10));
    d.entryBytes = 3;
  } else if (d.headerBytes >= kInfoHeaderBytes && d.headerBytes <= kLargestHeader) {
    if (have < kInfoHeaderBytes) return noDib("Its header is cut short.");
    d.width = io::le32(h + 4);
    height = io::le32(h + 8);
    planes = static_cast<uint16_t>(io::le16(h + 12));
    d.bits = static_cast<uint16_t>(io::le16(h + 14));
    d.compression = io::le32u(h + 16);
    colorsUsed = io::le32u(h + 32);
  } else {
    return noDib("Its header size " + std::to_string(d.headerBytes) + " is no bitmap header's.");
  }
  d.topDown = height < 0;
  if (height == std::numeric_limits<int32_t>::min()) return noDib("Its height is out of range.");
  d.height = static_cast<int32_t>(height < 0 ? -height : height);
  if (d.width <= 0 || d.height == 0)
    return noDib("Its width " + std::to_string(d.width) + " and height " + std::to_string(height) +
                 " hold no pixels.");
  if (planes != 1) return noDib("It has " + std::to_string(planes) + " planes, not 1.");
  const int b = d.bits;
  if (b != 1 && b != 4 && b != 8 && b != 16 && b != 24 && b != 32)
    return noDib("Its " + std::to_string(b) + " bits a pixel are no depth a bitmap has.");
  const bool fields = d.compression == kBitFields || d.compression == kAlphaBitFields;
  if ((d.compression == 1 && b != 8) || (d.compression == 2 && b != 4) ||
      (fields && b != 16 && b != 32) || d.compression > kAlphaBitFields)
    return noDib("Its compression " + std::to_string(d.compression) + " does not go with " +
                 std::to_string(b) + " bits a pixel.");
  if (d.topDown && d.rle())
    return noDib("It is compressed and stored top down, which no reader takes.");
  const int64_t most = b <= 8 ? int64_t{1} << b : 0;
  if (b <= 8 && colorsUsed > most)
    return noDib("Its colour count " + std::to_string(colorsUsed) + " is more than " +
                 std::to_string(most) + ".");
  d.colors = static_cast<int32_t>(colorsUsed != 0 ? std::min<int64_t>(colorsUsed, 1 << 16) : most);
  if (b > 8 && colorsUsed > (1u << 16)) return noDib("Its colour count is out of range.");
  const int64_t masks =
      fields && d.headerBytes == kInfoHeaderBytes ? (d.compression == kBitFields ? 12 : 16) : 0;
  d.paletteFrom = d.headerBytes + masks;
  d.pixelsFrom = d.paletteFrom + int64_t{d.colors} * d.entryBytes;
  if (d.pixelsFrom > dataBytes) return noDib("Its palette runs past its data.");
  if (d.compressed()) {
    d.pixelBytes = dataBytes - d.pixelsFrom;
  } else {
    d.rowBytes = (int64_t{d.width} * b + 31) / 32 * 4;
    d.pixelBytes = d.rowBytes * d.height;
    if (d.pixelBytes > dataBytes - d.pixelsFrom)
      return noDib("Its " + std::to_string(d.width) + " x " + std::to_string(d.height) +
                   " pixels run past its data.");
  }
  return d;
}

std::string depthText(const Dib& d) {
  static const char* const kNames[] = {"",      " rle8", " rle4",          " bitfields",
                                       " jpeg", " png",  " alphabitfields"};
  return std::to_string(d.bits) + "-bit" + kNames[std::min<size_t>(d.compression, 6)];
}

std::vector<OtherBitmap> otherBitmaps(io::Channel& gauge, const pe::ResourceTable& table,
                                      const std::vector<int32_t>& positions) {
  std::vector<int64_t> taken;
  taken.reserve(positions.size());
  for (const int32_t p : positions) taken.push_back(int64_t{p} + kHeaderFromBmpPos);
  std::sort(taken.begin(), taken.end());
  std::vector<OtherBitmap> out;
  for (const pe::Resource& r : table.resources) {
    if (!isBitmap(r) || r.place != pe::Place::InFile ||
        std::binary_search(taken.begin(), taken.end(), r.position))
      continue;
    if (Result<Dib> d = readDib(gauge, r.position, r.size)) out.push_back({&r, *d});
  }
  return out;
}

bool looksLikeResourceRef(std::string_view text) { return text.starts_with("id:"); }

Result<ResourceRef> parseResourceRef(std::string_view text) {
  const auto refused = [&text](const std::string& why) {
    std::string said = "'";
    said.append(text).append("' ").append(why);
    return Result<ResourceRef>::failure(Fault::Bitmap, said);
  };
  if (!looksLikeResourceRef(text)) return refused("is no resource id (id:K)");
  std::string_view rest = text.substr(3);
  ResourceRef ref;
  if (const size_t slash = rest.rfind('/'); slash != std::string_view::npos) {
    const std::optional<uint32_t> lang = number(rest.substr(slash + 1));
    if (!lang || *lang > 0xFFFF) return refused("has no language number (0 to 65535) after '/'");
    ref.language = *lang;
    rest = rest.substr(0, slash);
  }
  if (rest.empty()) return refused("names no resource after 'id:'");
  if (std::isdigit(static_cast<unsigned char>(rest[0]))) {
    const std::optional<uint32_t> id = number(rest);
    if (!id || *id > 0xFFFF) return refused("is no resource id: ids are 0 to 65535 (0xFFFF)");
    ref.name.id = *id;
  } else {
    ref.name.named = true;
    ref.name.name = std::string(rest);
  }
  return ref;
}

Result<const pe::Resource*> findBitmap(const pe::ResourceTable& table, const ResourceRef& ref) {
  using R = Result<const pe::Resource*>;
  std::vector<const pe::Resource*> found;
  for (const pe::Resource& r : table.resources)
    if (isBitmap(r) && sameKey(r.name, ref.name) &&
        (!ref.language || (!r.language.named && r.language.id == *ref.language)))
      found.push_back(&r);
  const std::string name = "id:" + keyText(ref.name);
  if (found.empty())
    return R::failure(
        Fault::Bitmap,
        table.resources.empty()
            ? "it is no Windows module with resources, so it has no bitmap " + name +
                  (ref.language ? "/" + std::to_string(*ref.language) : "")
            : "it has no bitmap resource " + name +
                  (ref.language ? " in language " + std::to_string(*ref.language) : ""));
  if (found.size() > 1) {
    std::string langs;
    for (const pe::Resource* r : found) langs += (langs.empty() ? "" : ", ") + keyText(r->language);
    return R::failure(Fault::Bitmap, "it has bitmap " + name + " in " +
                                         std::to_string(found.size()) + " languages (" + langs +
                                         "): say which, as " + name + "/" +
                                         keyText(found[0]->language));
  }
  if (found[0]->place != pe::Place::InFile)
    return R::failure(Fault::Bitmap,
                      "the data of its bitmap resource " + name + " lies outside the file");
  return found[0];
}

std::string refText(const pe::ResourceTable& table, const pe::Resource& r) {
  const size_t same =
      std::count_if(table.resources.begin(), table.resources.end(),
                    [&r](const pe::Resource& o) { return isBitmap(o) && sameKey(o.name, r.name); });
  std::string text = "id:";
  text += keyText(r.name);
  if (same > 1) text.append("/").append(keyText(r.language));
  return text;
}

int numberedAs(io::Channel& gauge, const std::vector<int32_t>& positions, const pe::Resource& r) {
  const int n = numberOf(positions, static_cast<int32_t>(r.position - kHeaderFromBmpPos));
  return n > 0 && gauge.get4(r.position) == static_cast<int32_t>(kInfoHeaderBytes) ? n : 0;
}

std::string bitmapName(const std::vector<int32_t>& positions, const pe::ResourceTable& table,
                       int32_t bmpPos) {
  if (const int n = numberOf(positions, bmpPos); n > 0) return std::to_string(n);
  for (const pe::Resource& r : table.resources)
    if (isBitmap(r) && r.place == pe::Place::InFile && r.position == bmpPos + kHeaderFromBmpPos)
      return refText(table, r);
  return {};
}

Result<std::vector<uint8_t>> dibFileBytes(io::Channel& gauge, const Dib& d) {
  using R = Result<std::vector<uint8_t>>;
  const int64_t total = kFileHeaderBytes + d.dataBytes;
  if (total > std::numeric_limits<int32_t>::max())
    return R::failure(Fault::Bitmap, "It is too large for a .BMP file.");
  std::vector<uint8_t> out(static_cast<size_t>(total));
  out[0] = 'B';
  out[1] = 'M';
  io::putLe32(&out[2], static_cast<uint32_t>(total));
  io::putLe32(&out[10], static_cast<uint32_t>(kFileHeaderBytes + d.pixelsFrom));
  const std::span<uint8_t> data(out.data() + kFileHeaderBytes, static_cast<size_t>(d.dataBytes));
  if (gauge.read(d.headerPos, data) != data.size())
    return R::failure(Fault::Bitmap,
                      "It could not be read: " + gauge.errorOr("the read stopped early") + ".");
  return out;
}

Result<int64_t> exportDib(io::Channel& gauge, const Dib& d, const std::string& target,
                          io::Existing existing) {
  using R = Result<int64_t>;
  const Result<std::vector<uint8_t>> bytes = dibFileBytes(gauge, d);
  if (!bytes) return R::failure(bytes);
  io::Replacement file(target, existing, gauge.name());
  const auto notReplaced = [&file] {
    return R::failure(file.keptExisting() ? Fault::TargetExists : Fault::Target, file.why());
  };
  if (!file.ready()) return notReplaced();
  if (!file.channel().write(1, *bytes))
    return R::failure(Fault::Target,
                      "It could not be written: " + file.channel().errorOr("unknown error") + ".");
  if (!file.commit()) return notReplaced();
  return static_cast<int64_t>(bytes->size());
}

Result<> takesPixels(const Dib& d) {
  if (d.compressed())
    return Result<>::failure(Fault::Bitmap, "It is " + depthText(d) +
                                                ", compressed: new pixels would change its size, "
                                                "so it takes none.");
  if (d.bits == 16 || d.compression != 0)
    return Result<>::failure(
        Fault::Bitmap,
        "It is " + depthText(d) + ": dialpix writes pixels of 1, 4, 8, 24 and 32 bits only.");
  return {};
}

Result<DibImported> importIntoDib(io::Channel& gauge, const Dib& d, const Picture& picture) {
  using R = Result<DibImported>;
  if (const Result<> takes = takesPixels(d); !takes) return R::failure(takes);
  if (picture.width != d.width || picture.height != d.height)
    return R::failure(Fault::DoesNotFit,
                      "It is " + std::to_string(picture.width) + " x " +
                          std::to_string(picture.height) + " pixels; the gauge bitmap is " +
                          std::to_string(d.width) + " x " + std::to_string(d.height) + ".");
  if (const std::optional<std::string> why = pictureProblem(picture))
    return R::failure(Fault::Source, *why);
  const auto w = static_cast<size_t>(d.width), h = static_cast<size_t>(d.height);
  // Every pixel as a colour, top row first.
  std::vector<uint32_t> argb(w * h);
  for (size_t y = 0; y < h; ++y)
    for (size_t x = 0; x < w; ++x) {
      const size_t at = y * static_cast<size_t>(picture.rowStride) + x;
      uint32_t c;
      if (picture.indexed()) {
        const uint8_t i = picture.indices[at];
        c = i < picture.colourTable.size() ? picture.colourTable[i] : kOpaqueBlack;
      } else {
        c = picture.argb[at];
      }
      argb[y * w + x] = c;
    }
  std::vector<uint8_t> pixels(static_cast<size_t>(d.pixelBytes));
  if (gauge.read(d.pixelStart(), pixels) != pixels.size())
    return R::failure(Fault::Bitmap, "Its pixels could not be read: " +
                                         gauge.errorOr("the read stopped early") + ".");
  // The row the picture's row y is stored in.
  const auto rowOf = [&](size_t y) {
    return pixels.data() + (d.topDown ? y : h - 1 - y) * static_cast<size_t>(d.rowBytes);
  };
  DibImported done;
  if (d.bits >= 24) {
    const size_t step = static_cast<size_t>(d.bits) / 8;
    for (size_t y = 0; y < h; ++y) {
      uint8_t* row = rowOf(y);
      for (size_t x = 0; x < w; ++x) {
        const uint32_t c = argb[y * w + x];
        row[x * step] = static_cast<uint8_t>(c);
        row[x * step + 1] = static_cast<uint8_t>(c >> 8);
        row[x * step + 2] = static_cast<uint8_t>(c >> 16);
      }
    }
  } else {
    std::vector<uint8_t> palette(static_cast<size_t>(d.colors) * 4);
    std::vector<uint8_t> stored(static_cast<size_t>(d.colors) * static_cast<size_t>(d.entryBytes));
    if (gauge.read(d.paletteStart(), stored) != stored.size())
      return R::failure(Fault::Bitmap, "Its palette could not be read: " +
                                           gauge.errorOr("the read stopped early") + ".");
    for (size_t i = 0; i < static_cast<size_t>(d.colors); ++i)
      std::copy_n(&stored[i * static_cast<size_t>(d.entryBytes)], 3, &palette[i * 4]);
    const Picture colours{d.width, d.height, d.width, {}, {}, argb};
    // Mapped bottom row first, as the 8-bit import stores them.
    std::vector<uint8_t> indices(w * h);
    const MapCounts counts = mapPicture(colours, shownPalette(palette), indices, d.width);
    done.approximatedPixels = counts.approximatedPixels;
    done.approximatedColours = counts.approximatedColours;
    const int bits = d.bits;
    const int perByte = 8 / bits;
    for (size_t y = 0; y < h; ++y) {
      uint8_t* row = rowOf(y);
      const uint8_t* from = &indices[(h - 1 - y) * w];
      for (size_t x = 0; x < w; ++x) {
        // Leftmost pixel in the highest bits; the bits past the width stay.
        const int shift = 8 - bits * (static_cast<int>(x % perByte) + 1);
        const auto mask = static_cast<uint8_t>(((1 << bits) - 1) << shift);
        uint8_t& byte = row[x / perByte];
        byte = static_cast<uint8_t>((byte & ~mask) | ((from[x] << shift) & mask));
      }
    }
  }
  if (const Result<> r =
          changeRange(gauge, d.pixelStart(), pixels, {"import", static_cast<int32_t>(d.bmpPos())});
      !r)
    return R::failure(r);
  return done;
}

Result<int64_t> makeDibTransparent(io::Channel& gauge, const Dib& d) {
  using R = Result<int64_t>;
  if (d.compressed())
    return R::failure(Fault::Bitmap, "It is " + depthText(d) +
                                         ", compressed: new pixels would change its size, so it "
                                         "takes none.");
  const std::vector<uint8_t> zeros(static_cast<size_t>(d.pixelBytes));
  if (const Result<> r = changeRange(gauge, d.pixelStart(), zeros,
                                     {"transparent", static_cast<int32_t>(d.bmpPos())});
      !r)
    return R::failure(r);
  return d.pixelBytes;
}

Result<> makeDibZeroTransparent(io::Channel& gauge, const Dib& d) {
  if (d.bits > 8 || d.colors < 1)
    return Result<>::failure(Fault::Bitmap, "It is " + depthText(d) + ": it has no palette.");
  const uint8_t black[3] = {};
  return changeRange(gauge, d.paletteStart(), black, {"zero", static_cast<int32_t>(d.bmpPos())});
}

}  // namespace gau
