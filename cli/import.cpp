// dialpix import: an image written into a bitmap of a gauge file with the
// checks of the window's Convert from BMP, by the same code.

#include <optional>

#include "cli/command.h"
#include "cli/commands.h"
#include "cli/gauge_file.h"
#include "cli/names.h"
#include "cli/report.h"
#include "gau/bitmap_record.h"
#include "imageio/image_import.h"
#include "imageio/image_reader.h"
#include "imageio/image_resize.h"
#include "io/file_channels.h"

namespace cli {
namespace {

QString count(int64_t n, const char* one, const char* many) {
  return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

// --resize with a picture of another size than the bitmap (its header at
// `headerPos`, `width` x `height`), or over a run-length one, which takes
// pixels no other way: the bitmap resource rebuilt at the picture's size.
// Nothing when the sizes agree (or the picture's cannot be told): the import
// goes on as without --resize.
std::optional<int> importResized(const QString& gauge, const QString& bitmap, io::Channel& channel,
                                 int64_t headerPos, int32_t width, int32_t height, bool coded,
                                 const QString& image, Report& report) {
  std::string why;
  const std::unique_ptr<io::Channel> picture =
      io::openFileChannel(bytesOf(image), io::OpenMode::ReadOnly, &why);
  if (!picture) return std::nullopt;
  const Result<imageio::PictureSize> size = imageio::pictureSize(*picture);
  if (!size || (size->width == width && size->height == height && !coded)) return std::nullopt;
  const Result<gau::Resized> done = imageio::importResized(channel, headerPos, *picture);
  if (!done) {
    const bool aboutImage = done.fault() == Fault::Source || done.fault() == Fault::DoesNotFit;
    report.problem(gauge, bitmap,
                   notDone(aboutImage ? QStringLiteral("the import of %1").arg(image)
                                      : QStringLiteral("the import"),
                           gauge, done.fault(), done.reason(), image));
    return report.finish();
  }
  report.note(gauge, bitmap,
              QStringLiteral("made %1 x %2 (it was %3 x %4).")
                  .arg(size->width)
                  .arg(size->height)
                  .arg(done->width)
                  .arg(done->height));
  if (done->wasCompressed)
    report.note(gauge, bitmap,
                QStringLiteral("its run-length coded pixels were replaced by plain rows."));
  if (done->approximatedPixels > 0)
    report.note(gauge, bitmap,
                QStringLiteral("%1 of %2, in %3 its palette has not, took the nearest colour of "
                               "that palette.")
                    .arg(count(done->approximatedPixels, "pixel", "pixels"), image,
                         count(done->approximatedColours, "colour", "colours")));
  return report.finish();
}

}  // namespace

int importCommand(const QStringList& args) {
  Command cmd(
      QStringLiteral("import"), QStringLiteral("GAUGE N|id:K IMAGE"),
      QStringLiteral("Writes the pixels of IMAGE over bitmap N of GAUGE, in place, with "
                     "the checks of the\nwindow's Convert from BMP. A .BMP laid out as "
                     "the export writes it is copied byte\nfor byte; any other picture "
                     "Qt can read (PNG, other .BMP layouts, ...) is mapped\nonto the "
                     "bitmap's own palette, each colour it lacks to the nearest one. "
                     "Only\npixel bytes change; a picture of another size is refused "
                     "and nothing is written.\nA bitmap resource of another depth (id:K) takes "
                     "the picture too: 24 and 32 bits\nexactly, 1, 4 and 8 bits mapped "
                     "onto its palette; a compressed one takes none.\nWith --resize, a picture "
                     "of another size makes the bitmap resource its size."),
      Operands::GaugeAndNumber);
  cmd.parser().addPositionalArgument(QStringLiteral("IMAGE"),
                                     QStringLiteral("The picture to write into it."));
  const QCommandLineOption resize(
      QStringLiteral("resize"),
      QStringLiteral("Make the bitmap the picture's size when they differ: the bitmap resource "
                     "is rebuilt (8-bit keeps its palette, a run-length one becomes plain rows) "
                     "and the module laid out anew around it. Only a plain or run-length 8-bit, "
                     "a 24- or a 32-bit bitmap that is a resource of its own can change size, at "
                     "most 8192 pixels a side."));
  cmd.addOptions({resize});
  Command::OnOneBitmap on;
  if (const std::optional<int> exit = cmd.parseOnOneBitmap(
          args, 1, 1, QStringLiteral("name a gauge file, a bitmap number and an image"), on))
    return *exit;
  const QString& image = on.rest[0];

  Report report;
  std::optional<OneBitmap> bitmap =
      openBitmap(on.gauge, on.bitmap, io::OpenMode::ReadWriteExisting, report,
                 QStringLiteral("the import of %1").arg(image));
  if (!bitmap) return report.finish();
  io::Channel& gauge = *bitmap->gauge.channel;
  if (cmd.parser().isSet(resize)) {
    // The bitmap's header begins 12 bytes before the position that names it.
    const Result<gau::BitmapLayout> layout =
        bitmap->other ? Result<gau::BitmapLayout>(gau::BitmapLayout{})
                      : gau::readLayout(gauge, bitmap->position, gau::Extent::SizeFields);
    const int64_t header = bitmap->other ? bitmap->other->headerPos : bitmap->position - 12;
    if (layout)
      if (const std::optional<int> exit =
              importResized(on.gauge, on.bitmap.text, gauge, header,
                            bitmap->other ? bitmap->other->width : layout->width,
                            bitmap->other ? bitmap->other->height : layout->height,
                            bitmap->other && bitmap->other->rle(), image, report))
        return *exit;
  }
  // Both roads end in the counts of pixels that took a nearest colour.
  const Result<gau::DibImported> done =
      bitmap->other ? imageio::importImageIntoDib(gauge, *bitmap->other, bytesOf(image)) : [&] {
        const Result<imageio::ImageImport> r =
            imageio::importImage(gauge, bitmap->position, bytesOf(image));
        if (!r) return Result<gau::DibImported>::failure(r);
        return Result<gau::DibImported>(
            gau::DibImported{r->approximatedPixels, r->approximatedColours});
      }();
  if (done && done->approximatedPixels > 0) {
    // Done, but not quite as drawn: said on standard error, the status stays 0.
    report.note(on.gauge, on.bitmap.text,
                QStringLiteral("%1 of %2, in %3 its palette has not, took the nearest colour "
                               "of that palette.")
                    .arg(count(done->approximatedPixels, "pixel", "pixels"), image,
                         count(done->approximatedColours, "colour", "colours")));
  } else if (!done) {
    const bool aboutImage = done.fault() == Fault::Source || done.fault() == Fault::DoesNotFit;
    report.problem(on.gauge, on.bitmap.text,
                   notDone(aboutImage ? QStringLiteral("the import of %1").arg(image)
                                      : QStringLiteral("the import"),
                           on.gauge, done.fault(), done.reason(), image));
  }
  return report.finish();
}

}  // namespace cli
