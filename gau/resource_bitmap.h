#pragma once
// A gauge seen as the Windows module it is: where each scan hit lies among the
// module's resources, the bitmap resources of every depth, and bitmaps named by
// resource id ("id:4096", "id:0x1000", "id:NAME", "id:4096/1033").
//
// The scan's numbering stays as it is: a bitmap resource that is an 8-bit hit
// keeps its number, and id:K is only another name for it. The other bitmap
// resources (1-, 4-, 16-, 24-, 32-bit, compressed, other headers) are named by
// id alone. Their data is a device-independent bitmap as Windows keeps it:
// a header, perhaps colour masks, perhaps a palette, then the pixels.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "gau/colour_map.h"
#include "io/replace_file.h"
#include "pe/resource_table.h"

namespace io {
class Channel;
}

namespace gau {

// The scan's position (BmpPos) lies 12 bytes into the bitmap's header.
inline constexpr int64_t kHeaderFromBmpPos = -12;

// Where a scan hit lies among the resources.
enum class Role {
  Bitmap,  // it is the header of a bitmap resource
  Icon,    // the header of an icon's or a cursor's image
  Inside,  // inside another resource's data
  Loose,   // in no resource (or the file is no Windows module)
};

struct Placed {
  Role role = Role::Loose;
  const pe::Resource* resource = nullptr;  // the one it lies in, unless Loose
};

Placed placeHit(int32_t bmpPos, const pe::ResourceTable& table, const pe::ResourceIndex& index);

// "4096", or a resource's name as the module spells it.
std::string keyText(const pe::Key& k);

// "bitmap 4096", "icon 3", "inside rcdata 2", "loose".
std::string whereText(const Placed& p);

// The resource table of a gauge, or an empty one when it is no Windows module
// or its table is spoiled: its hits are then loose, as the scan alone sees them.
pe::ResourceTable resourcesOf(io::Channel& gauge);

// A device-independent bitmap's header and the layout it gives.
struct Dib {
  int64_t headerPos = 0;     // 1-based position of the header (the resource's first byte)
  int64_t dataBytes = 0;     // the bytes that belong to it (the resource's size)
  uint32_t headerBytes = 0;  // 12 (OS/2), 40, 108, 124, ...
  int32_t width = 0;
  int32_t height = 0;  // rows; stored top-down when topDown
  bool topDown = false;
  int bits = 0;
  uint32_t compression =
      0;               // 0 none, 1 RLE8, 2 RLE4, 3 bit fields, 4 JPEG, 5 PNG, 6 alpha bit fields
  int32_t colors = 0;  // palette entries stored
  int entryBytes = 4;  // 3 in an OS/2 header
  int64_t paletteFrom = 0;  // offsets from the header's first byte
  int64_t pixelsFrom = 0;
  int64_t rowBytes = 0;    // uncompressed only
  int64_t pixelBytes = 0;  // uncompressed: rowBytes x height; else the rest of the data

  bool compressed() const { return compression != 0 && compression != 3 && compression != 6; }
  bool rle() const { return compression == 1 || compression == 2; }
  int64_t bmpPos() const { return headerPos - kHeaderFromBmpPos; }
  int64_t pixelStart() const { return headerPos + pixelsFrom; }
  int64_t paletteStart() const { return headerPos + paletteFrom; }
};

// Reads and checks the header at 1-based `headerPos`, whose bitmap has at
// most `dataBytes` bytes (its resource's size; the rest of the file when not
// known). Fault::Bitmap with the reason when it is no bitmap dialpix can read.
Result<Dib> readDib(io::Channel& gauge, int64_t headerPos, int64_t dataBytes);

// "24-bit", "8-bit rle8", "32-bit bitfields".
std::string depthText(const Dib& d);

// A bitmap resource that no 8-bit hit stands at.
struct OtherBitmap {
  const pe::Resource* resource = nullptr;
  Dib dib;
};

// The bitmap resources of `table` whose headers no hit of `positions` stands
// at, in the table's order; resources with no bitmap header are left out.
std::vector<OtherBitmap> otherBitmaps(io::Channel& gauge, const pe::ResourceTable& table,
                                      const std::vector<int32_t>& positions);

// A bitmap named by its resource: "id:4096", "id:0x1000", "id:NAME", each
// perhaps with "/LANG".
struct ResourceRef {
  pe::Key name;
  std::optional<uint32_t> language;
};

// True when `text` is meant as a resource reference (starts with "id:").
bool looksLikeResourceRef(std::string_view text);
// The reference, or why it is none (for a usage error).
Result<ResourceRef> parseResourceRef(std::string_view text);

// The one bitmap resource `ref` names, or why none (Fault::Bitmap: no such
// bitmap resource, or several languages and none said): the caller's usage error.
Result<const pe::Resource*> findBitmap(const pe::ResourceTable& table, const ResourceRef& ref);

// "id:4096", "id:NAME"; with the language when the table holds the name in more than one.
std::string refText(const pe::ResourceTable& table, const pe::Resource& r);

// The number of the scan's bitmap that the bitmap resource `r` is, or 0 when
// it is none: no hit at its header, or a header of another size than the
// 40 bytes the 8-bit tools lay its palette out behind.
int numberedAs(io::Channel& gauge, const std::vector<int32_t>& positions, const pe::Resource& r);

// What the bitmap at `bmpPos` is called: its number among `positions` ("3"),
// else the bitmap resource whose header lies there ("id:4096"), else nothing.
std::string bitmapName(const std::vector<int32_t>& positions, const pe::ResourceTable& table,
                       int32_t bmpPos);

// The bitmap as a .BMP file: a 14-byte file header, then its bytes unchanged.
Result<std::vector<uint8_t>> dibFileBytes(io::Channel& gauge, const Dib& d);

// Writes dibFileBytes() through io::Replacement: whole or not at all.
// Fault::Bitmap (cannot be read), Fault::Target or Fault::TargetExists.
Result<int64_t> exportDib(io::Channel& gauge, const Dib& d, const std::string& target,
                          io::Existing existing);

// What an import into a bitmap of another depth did.
struct DibImported {
  int64_t approximatedPixels = 0;  // indexed depths: pixels that took a nearest entry
  int64_t approximatedColours = 0;
};

// Writes `picture` (the bitmap's size) into the uncompressed 1-, 4-, 8-, 24- or
// 32-bit bitmap `d` through the one change function: 24 and 32 bits take its
// colours exactly (the fourth byte of a 32-bit pixel is kept); 1, 4 and 8 bits
// take the nearest entry of the bitmap's own palette. Row padding is kept.
// Refused with nothing written: a compressed bitmap (Fault::Bitmap: its size
// would change), 16-bit or bit fields, another size (Fault::DoesNotFit).
// Whether new pixels can be written into `d` (see importIntoDib), and why not.
Result<> takesPixels(const Dib& d);

Result<DibImported> importIntoDib(io::Channel& gauge, const Dib& d, const Picture& picture);

// Every pixel the transparent colour: all pixel bytes 0 (index 0, or black),
// row padding included, through the one change function. A compressed bitmap
// is refused (Fault::Bitmap).
Result<int64_t> makeDibTransparent(io::Channel& gauge, const Dib& d);

// Palette entry 0 black (blue, green, red 0; a fourth byte kept), through the
// one change function. Refused for a bitmap without a palette (Fault::Bitmap).
Result<> makeDibZeroTransparent(io::Channel& gauge, const Dib& d);

}  // namespace gau
