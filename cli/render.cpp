// dialpix render: a bitmap in its own colours as a PNG, one pixel a pixel.

#include <QImage>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "cli/command.h"
#include "cli/commands.h"
#include "cli/gauge_file.h"
#include "cli/names.h"
#include "cli/png_file.h"
#include "cli/report.h"
#include "gau/bitmap_record.h"
#include "gau/resource_bitmap.h"
#include "imageio/image_reader.h"
#include "io/file_channels.h"
#include "io/replace_file.h"

namespace cli {
namespace {

// Keeps a scaled picture within a few hundred megabytes.
constexpr int64_t kMaxPixels = int64_t{1} << 26;
constexpr int kMaxSide = 32767;
constexpr int kMaxScale = 64;

// The bitmap as an indexed picture: its own palette (entries past its colour
// count black, as the viewer shows them when nothing was shown before) and its
// rows, stored bottom up.
Result<QImage> pictureOf(io::Channel& gauge, const gau::BitmapLayout& b) {
  std::vector<uint8_t> palette(4 * static_cast<size_t>(b.colors));
  std::vector<uint8_t> pixels(static_cast<size_t>(b.pixelBytes));
  if (gauge.read(b.paletteStart, palette) < palette.size() ||
      gauge.read(b.pixelStart, pixels) < pixels.size())
    return Result<QImage>::failure(
        Fault::Source, "It could not be read: " + gauge.errorOr("the file ended early") + ".");
  QList<QRgb> colours(gau::kMaxColors, qRgb(0, 0, 0));
  for (int32_t k = 0; k < b.colors; ++k) {
    const uint8_t* e = &palette[4 * static_cast<size_t>(k)];
    colours[k] = qRgb(e[2], e[1], e[0]);
  }
  QImage picture(b.width, b.height, QImage::Format_Indexed8);
  picture.setColorTable(colours);
  for (int32_t y = 0; y < b.height; ++y)
    std::memcpy(picture.scanLine(y),
                &pixels[static_cast<size_t>(b.height - 1 - y) * static_cast<size_t>(b.rowBytes)],
                static_cast<size_t>(b.width));
  return picture;
}

// A bitmap resource of another depth, decoded as the .BMP file its export writes.
Result<QImage> pictureOf(io::Channel& gauge, const gau::Dib& d) {
  Result<std::vector<uint8_t>> bytes = gau::dibFileBytes(gauge, d);
  if (!bytes) return Result<QImage>::failure(bytes);
  const std::unique_ptr<io::MemoryChannel> file = io::memoryChannel(std::move(*bytes));
  const Result<imageio::DecodedImage> decoded = imageio::decodeImage(*file, d.width, d.height);
  if (!decoded) return Result<QImage>::failure(decoded);
  return decoded->image();
}

// Why a picture of `width` x `height` cannot be drawn at `scale`, or nothing.
std::optional<QString> sizeProblem(int32_t width, int32_t height, int scale) {
  if (width <= 0 || height <= 0)
    return QStringLiteral("it has no pixels to draw: it is %1 x %2.").arg(width).arg(height);
  const int64_t w = static_cast<int64_t>(width) * scale;
  const int64_t h = static_cast<int64_t>(height) * scale;
  if (w > kMaxSide || h > kMaxSide || w * h > kMaxPixels)
    return QStringLiteral("drawn %1 times larger it would be %2 x %3 pixels, too large a picture.")
        .arg(scale)
        .arg(w)
        .arg(h);
  return std::nullopt;
}

}  // namespace

int renderCommand(const QStringList& args) {
  Command cmd(QStringLiteral("render"),
              QStringLiteral("GAUGE N|id:K -o FILE.png [--scale K] [--force]"),
              QStringLiteral("Draws bitmap N in its own colours, one pixel a pixel, and saves it "
                             "as a PNG file.\nThe file appears whole or not at all."),
              Operands::GaugeAndNumber);
  const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                  QStringLiteral("The PNG file to write."), QStringLiteral("FILE"));
  const QCommandLineOption scale(
      QStringLiteral("scale"),
      QStringLiteral("Draw each pixel as K x K pixels (1 to %1; default 1).").arg(kMaxScale),
      QStringLiteral("K"), QStringLiteral("1"));
  const QCommandLineOption force(QStringLiteral("force"),
                                 QStringLiteral("Replace an existing file of that name."));
  cmd.addOptions({output, scale, force});
  Command::OnOneBitmap on;
  if (const std::optional<int> exit = cmd.parseOnOneBitmap(
          args, 0, 0, QStringLiteral("name a gauge file and a bitmap number"), on))
    return *exit;
  const QString target = cmd.parser().value(output);
  if (target.isEmpty()) return cmd.usageError(QStringLiteral("name the PNG file with -o FILE.png"));
  const std::optional<int> k = wholeInt(cmd.parser().value(scale));
  if (!k || *k < 1 || *k > kMaxScale)
    return cmd.usageError(
        QStringLiteral("--scale takes a whole number from 1 to %1").arg(kMaxScale));

  Report report;
  // Made first, so a target that may not be written is refused before any work.
  io::Replacement file(bytesOf(target),
                       cmd.parser().isSet(force) ? io::Existing::Replace : io::Existing::Keep,
                       bytesOf(on.gauge));
  if (!file.ready()) {
    report.problem(
        target, QStringLiteral("%1%2 Bitmap %3 of %4 was not drawn.")
                    .arg(reason(file.why()),
                         file.keptExisting() ? QStringLiteral(" --force replaces it.") : QString())
                    .arg(on.bitmap.text)
                    .arg(on.gauge));
    return report.finish();
  }
  std::optional<OneBitmap> bitmap = openBitmap(on.gauge, on.bitmap, io::OpenMode::ReadOnly, report);
  if (!bitmap) return report.finish();
  io::Channel& gauge = *bitmap->gauge.channel;
  const Result<gau::BitmapLayout> layout =
      bitmap->other ? Result<gau::BitmapLayout>(gau::BitmapLayout{})
                    : gau::readLayout(gauge, bitmap->position, gau::Extent::WholeInFile);
  if (!layout) {
    report.problem(on.gauge, on.bitmap.text,
                   QStringLiteral("it cannot be drawn. ") + reason(layout.reason()));
    return report.finish();
  }
  const int32_t width = bitmap->other ? bitmap->other->width : layout->width;
  const int32_t height = bitmap->other ? bitmap->other->height : layout->height;
  if (const std::optional<QString> why = sizeProblem(width, height, *k)) {
    report.problem(on.gauge, on.bitmap.text, *why);
    return report.finish();
  }

  Result<QImage> drawn =
      bitmap->other ? pictureOf(gauge, *bitmap->other) : pictureOf(gauge, *layout);
  if (!drawn) {
    report.problem(on.gauge, on.bitmap.text,
                   QStringLiteral("it cannot be drawn. ") + reason(drawn.reason()));
    return report.finish();
  }
  QImage& picture = *drawn;
  if (*k > 1)
    picture = picture.scaled(picture.width() * *k, picture.height() * *k, Qt::IgnoreAspectRatio,
                             Qt::FastTransformation);

  if (const std::optional<PngProblem> p = savePng(picture, file); p && p->encoding) {
    report.problem(on.gauge, on.bitmap.text,
                   QStringLiteral("it cannot be drawn as a PNG picture: %1. %2 was not written.")
                       .arg(p->why, target));
  } else if (p) {
    report.problem(target, QStringLiteral("%1 Bitmap %2 of %3 was not saved; any older file "
                                          "of that name is as it was.")
                               .arg(p->why)
                               .arg(on.bitmap.text)
                               .arg(on.gauge));
  }
  return report.finish();
}

}  // namespace cli
