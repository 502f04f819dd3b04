#include "imageio/bitmap_sheet.h"

#include <QPainter>
#include <algorithm>
#include <span>

#include "gau/bitmap_record.h"
#include "gau/scan.h"
#include "imageio/image_reader.h"
#include "imageio/sheet_lettering.h"
#include "io/file_channels.h"
#include "pe/resource_table.h"

namespace imageio {
namespace {

// The sheet's geometry: a cell is the thumbnail's square with a margin
// around it and three lines of lettering beneath.
constexpr int kMargin = 8;
constexpr int kLineHeight = kLetterHeight + 2;
constexpr int kCellWidth = kThumbnailSide + 4 * kMargin;  // 21 letters: "1024x768 256 colours"
constexpr int kCellHeight = kMargin + kThumbnailSide + 4 + 3 * kLineHeight + kMargin;
constexpr int kColumns = 10;
// Wider rows are read pixel by pixel, only those a thumbnail shows.
constexpr int32_t kWholeRowBytes = 16384;
// Keeps the sheet within a few hundred megabytes, as render keeps its pictures.
constexpr int64_t kMaxPixels = int64_t{1} << 26;

constexpr QRgb kRealGround = 0xFFFFFFFF;
constexpr QRgb kChanceGround = 0xFFE4E4E4;  // loose and inside hits: maybe no picture at all
constexpr QRgb kRealInk = 0xFF000000;
constexpr QRgb kChanceInk = 0xFF7A7A7A;
constexpr QRgb kCross = 0xFFC00000;

// The thumbnail's size for a bitmap of w x h (both > 0).
QSize fitted(int64_t w, int64_t h) {
  if (w <= kThumbnailSide && h <= kThumbnailSide) return {static_cast<int>(w), static_cast<int>(h)};
  if (w >= h)
    return {kThumbnailSide, static_cast<int>(std::max<int64_t>(1, h * kThumbnailSide / w))};
  return {static_cast<int>(std::max<int64_t>(1, w * kThumbnailSide / h)), kThumbnailSide};
}

// The source pixel shown by thumbnail pixel `t` of `count`, from `whole`:
// the one under its centre, so 1:1 takes every pixel.
int64_t sampled(int t, int count, int64_t whole) {
  return (2 * int64_t{t} + 1) * whole / (2 * count);
}

Result<QImage> noPixels(int64_t w, int64_t h) {
  return Result<QImage>::failure(
      Fault::Bitmap,
      "It has no pixels to show: it is " + std::to_string(w) + " x " + std::to_string(h) + ".");
}

Result<QImage> unreadable(io::Channel& gauge) {
  return Result<QImage>::failure(
      Fault::Bitmap, "It could not be read: " + gauge.errorOr("the file ended early") + ".");
}

Result<QImage> hitThumbnail(io::Channel& gauge, int32_t bmpPos) {
  const Result<gau::BitmapLayout> layout = gau::readLayout(gauge, bmpPos, gau::Extent::WholeInFile);
  if (!layout) return Result<QImage>::failure(layout);
  const gau::BitmapLayout& b = *layout;
  if (b.width <= 0 || b.height <= 0 || b.pixelBytes <= 0) return noPixels(b.width, b.height);

  std::vector<uint8_t> palette(4 * static_cast<size_t>(b.colors));
  if (gauge.read(b.paletteStart, palette) < palette.size()) return unreadable(gauge);
  QList<QRgb> colours(gau::kMaxColors, qRgb(0, 0, 0));
  for (int32_t k = 0; k < b.colors; ++k) {
    const uint8_t* e = &palette[4 * static_cast<size_t>(k)];
    colours[k] = qRgb(e[2], e[1], e[0]);
  }
  const QSize size = fitted(b.width, b.height);
  QImage thumb(size, QImage::Format_Indexed8);
  if (thumb.isNull())
    return Result<QImage>::failure(Fault::OutOfMemory, "There is not enough memory to show it.");
  thumb.setColorTable(colours);
  // Only the rows shown, and of a very wide row only the pixels shown: a
  // large bitmap is never read whole.
  const bool wholeRows = b.width <= kWholeRowBytes;
  std::vector<uint8_t> row(static_cast<size_t>(wholeRows ? b.width : 1));
  for (int y = 0; y < size.height(); ++y) {
    const int64_t stored = b.height - 1 - sampled(y, size.height(), b.height);  // bottom up
    const int64_t from = b.pixelStart + stored * b.rowBytes;
    if (wholeRows && gauge.read(from, row) < row.size()) return unreadable(gauge);
    uchar* line = thumb.scanLine(y);
    for (int x = 0; x < size.width(); ++x) {
      const int64_t column = sampled(x, size.width(), b.width);
      if (wholeRows) {
        line[x] = row[static_cast<size_t>(column)];
      } else if (gauge.read(from + column, row) < 1) {
        return unreadable(gauge);
      } else {
        line[x] = row[0];
      }
    }
  }
  return thumb;
}

Result<QImage> dibThumbnail(io::Channel& gauge, const gau::Dib& dib) {
  Result<QImage> whole = dibPicture(gauge, dib);
  if (!whole) return whole;
  const QSize size = fitted(whole->width(), whole->height());
  if (size == whole->size()) return whole;
  return whole->scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

void drawCross(QImage& sheet, const QRect& box) {
  for (int i = 0; i < box.width(); ++i) {
    sheet.setPixel(box.left() + i, box.top() + i, kCross);
    sheet.setPixel(box.right() - i, box.top() + i, kCross);
  }
}

}  // namespace

QString SheetCell::name() const { return dib ? ref : QString::number(number); }

QString SheetCell::sizeText() const {
  const QString size =
      sizeKnown ? QStringLiteral("%1x%2").arg(width).arg(height) : QStringLiteral("?x?");
  if (dib) return size + QLatin1Char(' ') + depth;
  return QStringLiteral("%1 %2 colours").arg(size).arg(colours);
}

Sheet readSheet(io::Channel& gauge, Depths depths) {
  Sheet sheet;
  const gau::ScanResult found = gau::scanChannel(gauge);
  sheet.readFailed = found.readFailed;
  const pe::ResourceTable table = gau::resourcesOf(gauge);
  const pe::ResourceIndex index(table);
  sheet.cells.reserve(found.positions.size());
  int number = 0;
  for (const int32_t pos : found.positions) {
    SheetCell c;
    c.number = ++number;
    c.bmpPos = pos;
    const gau::Placed placed = gau::placeHit(pos, table, index);
    c.role = placed.role;
    c.where = QString::fromStdString(gau::whereText(placed));
    // A hit in the first bytes has its size fields before the file.
    c.sizeKnown = int64_t{pos} + gau::kWidthFromBmpPos >= 1;
    if (c.sizeKnown) {
      c.width = gauge.get4(int64_t{pos} + gau::kWidthFromBmpPos);
      c.height = gauge.get4(int64_t{pos} + gau::kHeightFromBmpPos);
    }
    c.colours = gau::colorsInUse(gauge.get4(int64_t{pos} + gau::kColorCountFromBmpPos));
    sheet.cells.push_back(std::move(c));
  }
  if (depths == Depths::All) {
    for (const gau::OtherBitmap& o : gau::otherBitmaps(gauge, table, found.positions)) {
      SheetCell c;
      c.dib = o.dib;
      c.role = gau::Role::Bitmap;
      const QString key = QString::fromStdString(gau::keyText(o.resource->name));
      c.where = QStringLiteral("bitmap ") + key;
      c.ref = QString::fromStdString(gau::refText(table, *o.resource));
      c.width = o.dib.width;
      c.height = o.dib.height;
      c.depth = QString::fromStdString(gau::depthText(o.dib));
      sheet.cells.push_back(std::move(c));
    }
  }
  return sheet;
}

Result<QImage> dibPicture(io::Channel& gauge, const gau::Dib& dib) {
  if (dib.width <= 0 || dib.height <= 0) return noPixels(dib.width, dib.height);
  Result<std::vector<uint8_t>> bytes = gau::dibFileBytes(gauge, dib);
  if (!bytes) return Result<QImage>::failure(bytes);
  std::unique_ptr<io::MemoryChannel> file = io::memoryChannel(std::move(*bytes), "bitmap");
  const Result<DecodedImage> decoded = decodeImage(*file, dib.width, dib.height);
  if (!decoded) return Result<QImage>::failure(Fault::Bitmap, decoded.reason());
  return decoded->image();
}

Result<QImage> thumbnail(io::Channel& gauge, const SheetCell& cell) {
  return cell.dib ? dibThumbnail(gauge, *cell.dib) : hitThumbnail(gauge, cell.bmpPos);
}

Result<QImage> drawSheet(io::Channel& gauge, const Sheet& sheet) {
  const auto n = static_cast<int64_t>(sheet.cells.size());
  const int64_t columns = std::clamp<int64_t>(n, 1, kColumns);
  const int64_t rows = std::max<int64_t>(1, (n + columns - 1) / columns);
  const int64_t w = columns * kCellWidth, h = rows * kCellHeight;
  if (w * h > kMaxPixels)
    return Result<QImage>::failure(Fault::Bitmap, "A sheet of its " + std::to_string(n) +
                                                      " bitmaps would be " + std::to_string(w) +
                                                      " x " + std::to_string(h) +
                                                      " pixels, too large a picture.");
  QImage out(static_cast<int>(w), static_cast<int>(h), QImage::Format_RGB32);
  if (out.isNull())
    return Result<QImage>::failure(Fault::OutOfMemory,
                                   "There is not enough memory for a picture of the sheet.");
  out.fill(kRealGround);
  QPainter painter(&out);
  for (int64_t i = 0; i < n; ++i) {
    const SheetCell& c = sheet.cells[static_cast<size_t>(i)];
    const QRect cell(static_cast<int>(i % columns * kCellWidth),
                     static_cast<int>(i / columns * kCellHeight), kCellWidth, kCellHeight);
    const QRect box(cell.left() + 2 * kMargin, cell.top() + kMargin, kThumbnailSide,
                    kThumbnailSide);
    if (!c.real()) painter.fillRect(cell.adjusted(1, 1, -1, -1), QColor::fromRgb(kChanceGround));
    if (const Result<QImage> t = thumbnail(gauge, c)) {
      painter.drawImage(box.left() + (kThumbnailSide - t->width()) / 2,
                        box.top() + (kThumbnailSide - t->height()) / 2, *t);
    } else {
      drawCross(out, box);
    }
    const QRgb ink = c.real() ? kRealInk : kChanceInk;
    const int maxChars = (kCellWidth - 4) / kLetterAdvance;
    int y = box.bottom() + 1 + 4;
    for (const QString& line : {c.name(), c.where, c.sizeText()}) {
      letter(out, cell.left() + 3, y, line, ink, maxChars);
      y += kLineHeight;
    }
  }
  return out;
}

}  // namespace imageio
