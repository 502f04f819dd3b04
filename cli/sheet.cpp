// dialpix sheet: every bitmap of a gauge on one PNG picture, labelled.

#include <span>

#include "cli/command.h"
#include "cli/commands.h"
#include "cli/gauge_file.h"
#include "cli/names.h"
#include "cli/png_file.h"
#include "cli/report.h"
#include "imageio/bitmap_sheet.h"
#include "io/replace_file.h"

namespace cli {

int sheetCommand(const QStringList& args) {
  Command cmd(QStringLiteral("sheet"), QStringLiteral("GAUGE -o FILE.png [--all] [--force]"),
              QStringLiteral("Draws every bitmap of the gauge on one sheet and saves it as a PNG "
                             "file: bitmaps up to 96 pixels a side one pixel a pixel, larger ones "
                             "scaled to fit 96 pixels, each labelled with its number, resource, "
                             "size and colours; loose and inside hits on grey.\n"
                             "The file appears whole or not at all."),
              Operands::Gauge);
  const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                  QStringLiteral("The PNG file to write."), QStringLiteral("FILE"));
  const QCommandLineOption all(
      QStringLiteral("all"),
      QStringLiteral("Add the bitmap resources of other depths, by resource id."));
  const QCommandLineOption force(QStringLiteral("force"),
                                 QStringLiteral("Replace an existing file of that name."));
  cmd.addOptions({output, all, force});
  QString gaugeName;
  if (const std::optional<int> exit = cmd.parseOnOneGauge(args, gaugeName)) return *exit;
  const QString target = cmd.parser().value(output);
  if (target.isEmpty()) return cmd.usageError(QStringLiteral("name the PNG file with -o FILE.png"));

  Report report;
  // Made first, so a target that may not be written is refused before any work.
  io::Replacement file(bytesOf(target),
                       cmd.parser().isSet(force) ? io::Existing::Replace : io::Existing::Keep,
                       bytesOf(gaugeName));
  if (!file.ready()) {
    report.problem(
        target, QStringLiteral("%1%2 The sheet of %3 was not drawn.")
                    .arg(reason(file.why()),
                         file.keptExisting() ? QStringLiteral(" --force replaces it.") : QString(),
                         gaugeName));
    return report.finish();
  }
  const Result<GaugeFile> gauge = openGauge(gaugeName, io::OpenMode::ReadOnly);
  if (!gauge) {
    report.problem(gaugeName, reason(gauge.reason()));
    return report.finish();
  }
  const bool withAll = cmd.parser().isSet(all);
  const imageio::Sheet sheet = imageio::readSheet(
      *gauge->channel, withAll ? imageio::Depths::All : imageio::Depths::EightBit);
  if (sheet.cells.empty()) {
    report.problem(gaugeName,
                   withAll ? QStringLiteral("It holds no bitmap. %1 was not written.").arg(target)
                           : QStringLiteral("It holds no 8-bit bitmap (--all adds "
                                            "those of other depths). %1 was not written.")
                                 .arg(target));
    return report.finish();
  }
  const Result<QImage> drawn = imageio::drawSheet(*gauge->channel, sheet);
  if (!drawn) {
    report.problem(gaugeName,
                   QStringLiteral("%1 %2 was not written.").arg(reason(drawn.reason()), target));
    return report.finish();
  }

  if (const std::optional<PngProblem> p = savePng(*drawn, file); p && p->encoding) {
    report.problem(gaugeName, QStringLiteral("The sheet cannot be drawn as a PNG picture: %1. %2 "
                                             "was not written.")
                                  .arg(p->why, target));
  } else if (p) {
    report.problem(target, QStringLiteral("%1 The sheet of %2 was not saved; any older file of "
                                          "that name is as it was.")
                               .arg(p->why, gaugeName));
  }
  return report.finish();
}

}  // namespace cli
