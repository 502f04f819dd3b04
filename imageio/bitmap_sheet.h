#pragma once
// Every bitmap of a gauge on one sheet: which pictures there are, in what
// order, what each is, and its thumbnail, decoded from the gauge only when
// asked for. The gallery window and `dialpix sheet` both draw from this, so
// the two show the same pictures in the same order.

#include <QImage>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "base/result.h"
#include "gau/resource_bitmap.h"

namespace io {
class Channel;
}

namespace imageio {

// A thumbnail's largest side: smaller bitmaps are shown pixel for pixel.
inline constexpr int kThumbnailSide = 96;

struct SheetCell {
  int number = 0;               // the scan's number, 1 for the first; 0 for another depth
  int32_t bmpPos = 0;           // an 8-bit hit's position (as the scan gives it)
  std::optional<gau::Dib> dib;  // a bitmap of another depth
  gau::Role role = gau::Role::Loose;
  QString where;  // "bitmap 4096", "icon 3", "inside rcdata 2", "loose"
  QString ref;    // another depth: "id:4353"
  int32_t width = 0;
  int32_t height = 0;     // as stored; a hit's may be negative or unreadable
  bool sizeKnown = true;  // false for a hit whose size fields lie before the file
  int32_t colours = 0;    // a hit's colours in use
  QString depth;          // another depth: "24-bit", "4-bit rle4"

  // A bitmap or an icon's image; loose and inside hits may be chance patterns.
  bool real() const { return role == gau::Role::Bitmap || role == gau::Role::Icon; }
  QString name() const;      // "3", or "id:4353"
  QString sizeText() const;  // "37x37 256 colours", "2x1 24-bit"
};

enum class Depths { EightBit, All };

struct Sheet {
  std::vector<SheetCell> cells;  // the 8-bit hits in file order, then the other depths
  bool readFailed = false;       // the gauge could not be read to its end
};

// The cells of the gauge on `gauge`; with Depths::All, the bitmap resources
// of other depths follow, by their resource order.
Sheet readSheet(io::Channel& gauge, Depths depths);

// The cell's thumbnail: the bitmap itself when neither side exceeds
// kThumbnailSide, otherwise scaled into a kThumbnailSide square keeping its
// shape, each thumbnail pixel one of the bitmap's (no smoothing). Only the
// rows it shows are read, so a large bitmap is never held whole. A hit in its
// own palette, entries past its colour count black, as `render` draws it.
// Fault::Bitmap when the cell has no pixels to show or they cannot be read.
Result<QImage> thumbnail(io::Channel& gauge, const SheetCell& cell);

// A bitmap of another depth whole, as Qt's reader decodes its .BMP file.
// Fault::Bitmap when it cannot be read or decoded.
Result<QImage> dibPicture(io::Channel& gauge, const gau::Dib& dib);

// The whole sheet as one picture, cells in rows, each thumbnail with its
// number and resource beneath it; loose and inside hits lettered grey on a
// paler ground. A cell that cannot be drawn shows a cross. Fault::Bitmap when
// the picture would be too large to make.
Result<QImage> drawSheet(io::Channel& gauge, const Sheet& sheet);

}  // namespace imageio
