// dialpix import: an image written into a bitmap of a gauge file with the
// checks of the window's Convert from BMP, by the same code.

#include <optional>

#include "cli/command.h"
#include "cli/commands.h"
#include "cli/gauge_file.h"
#include "cli/names.h"
#include "cli/report.h"
#include "imageio/image_import.h"

namespace cli {
namespace {

QString count(int64_t n, const char* one, const char* many) {
  return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
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
                     "onto its palette; a compressed one takes none."),
      Operands::GaugeAndNumber);
  cmd.parser().addPositionalArgument(QStringLiteral("IMAGE"),
                                     QStringLiteral("The picture to write into it."));
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
                           on.gauge, done.fault(), done.reason()));
  }
  return report.finish();
}

}  // namespace cli
