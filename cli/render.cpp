// dialpix render: a bitmap in its own colours as a PNG, one pixel a pixel,
// drawn by the viewer's own plotting code.

#include <sys/stat.h>

#include <QImage>
#include <QImageWriter>
#include <QSaveFile>
#include <optional>

#include "app/Module1.h"
#include "cli/command.h"
#include "cli/commands.h"
#include "cli/gauge_file.h"
#include "cli/names.h"
#include "cli/report.h"
#include "gau/bitmap_record.h"
#include "gau/plot.h"

namespace cli {
namespace {

// Keeps a scaled picture within a few hundred megabytes.
constexpr int64_t kMaxPixels = int64_t{1} << 26;
constexpr int kMaxSide = 32767;
constexpr int kMaxScale = 64;

// Takes the viewer's dots back to pixels: it puts column c at x = step (c + 1)
// and row r at y = 1 + step r, step being the dot pitch times the zoom.
class PictureCanvas final : public gau::Canvas {
 public:
  explicit PictureCanvas(QImage& image) : image_(image) {}

 protected:
  void erase() override { image_.fill(Qt::black); }
  void drawDot(int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b) override {
    const int64_t step = static_cast<int64_t>(gau::kDotPitch) * dotSize();
    const int64_t col = x / step - 1;
    const int64_t row = (y - 1) / step;
    if (col >= 0 && row >= 0 && col < image_.width() && row < image_.height())
      image_.setPixel(static_cast<int>(col), static_cast<int>(row), qRgb(r, g, b));
  }
  void drawText(int32_t, int32_t, const std::string&) override {}  // the zoom line is the window's
  int32_t lineHeight() const override { return 0; }

 private:
  QImage& image_;
};

// Why the picture cannot be drawn at `scale`, or nothing.
std::optional<QString> sizeProblem(const gau::BitmapLayout& b, int scale) {
  if (b.width <= 0 || b.height <= 0)
    return QStringLiteral("it has no pixels to draw: it is %1 x %2.").arg(b.width).arg(b.height);
  const int64_t w = static_cast<int64_t>(b.width) * scale;
  const int64_t h = static_cast<int64_t>(b.height) * scale;
  if (w > kMaxSide || h > kMaxSide || w * h > kMaxPixels)
    return QStringLiteral("drawn %1 times larger it would be %2 x %3 pixels, too large a picture.")
        .arg(scale)
        .arg(w)
        .arg(h);
  return std::nullopt;
}

}  // namespace

int renderCommand(const QStringList& args) {
  Command cmd(QStringLiteral("render"), QStringLiteral("GAUGE N -o FILE.png [--scale K] [--force]"),
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
  cmd.parser().addOptions({output, scale, force});
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
  if (struct stat st{}; !cmd.parser().isSet(force) && ::lstat(bytesOf(target).c_str(), &st) == 0) {
    report.problem(target, QStringLiteral("a file of that name already exists; --force replaces "
                                          "it. Bitmap %1 of %2 was not drawn.")
                               .arg(on.number)
                               .arg(on.gauge));
    return report.finish();
  }
  std::optional<OneBitmap> bitmap = openBitmap(on.gauge, on.number, io::OpenMode::ReadOnly, report);
  if (!bitmap) return report.finish();
  io::Channel& gauge = *bitmap->gauge.channel;
  const Result<gau::BitmapLayout> layout =
      gau::readLayout(gauge, bitmap->position, gau::Extent::WholeInFile);
  if (!layout) {
    report.problem(on.gauge, on.number,
                   QStringLiteral("it cannot be drawn. ") + reason(layout.reason()));
    return report.finish();
  }
  if (const std::optional<QString> why = sizeProblem(*layout, *k)) {
    report.problem(on.gauge, on.number, *why);
    return report.finish();
  }

  QImage picture(layout->width, layout->height, QImage::Format_RGB32);
  PictureCanvas canvas(picture);
  // A pixel past the bitmap's own palette takes the colour of this table: black.
  const PaletteTable noEarlierPalette{};
  if (const Result<gau::Shown> shown =
          gau::showBitmap(gauge, bitmap->position, noEarlierPalette, canvas);
      !shown) {
    report.problem(on.gauge, on.number,
                   QStringLiteral("it cannot be drawn. ") + reason(shown.reason()));
    return report.finish();
  }
  if (*k > 1)
    picture = picture.scaled(picture.width() * *k, picture.height() * *k, Qt::IgnoreAspectRatio,
                             Qt::FastTransformation);

  // Written beside the target and renamed over it once complete and on the disk.
  QSaveFile file(target);
  QImageWriter writer(&file, "png");
  if (!file.open(QIODevice::WriteOnly) || !writer.write(picture) || !file.commit()) {
    const QString why =
        writer.error() != QImageWriter::UnknownError ? writer.errorString() : file.errorString();
    file.cancelWriting();
    report.problem(target, QStringLiteral("cannot be written: %1. Bitmap %2 of %3 was not saved.")
                               .arg(why)
                               .arg(on.number)
                               .arg(on.gauge));
  }
  return report.finish();
}

}  // namespace cli
