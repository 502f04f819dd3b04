// dialpix transparent and dialpix zero: the chooser's Make Transparent and
// Make Zero Trnsprt, by the same code.

#include "gau/transparency.h"

#include <optional>

#include "cli/command.h"
#include "cli/commands.h"
#include "cli/gauge_file.h"
#include "cli/report.h"

namespace cli {
namespace {

enum class Patch { AllPixelsZero, EntryZeroBlack };

int patchCommand(const QStringList& args, Patch patch) {
  const bool pixels = patch == Patch::AllPixelsZero;
  Command cmd(pixels ? QStringLiteral("transparent") : QStringLiteral("zero"),
              QStringLiteral("GAUGE N"),
              pixels ? QStringLiteral("Make Transparent: sets every pixel byte of bitmap N, row "
                                      "padding included, to colour 0.")
                     : QStringLiteral("Make Zero Trnsprt: makes palette entry 0 of bitmap N black "
                                      "(blue, green and red 0; the fourth byte is kept)."));
  cmd.parser().addPositionalArgument(QStringLiteral("GAUGE"), QStringLiteral("A gauge file."));
  cmd.parser().addPositionalArgument(QStringLiteral("N"), QStringLiteral("The bitmap number."));
  if (const std::optional<int> exit = cmd.parse(args)) return *exit;
  const QStringList pos = cmd.parser().positionalArguments();
  if (pos.size() != 2)
    return cmd.usageError(QStringLiteral("name a gauge file and a bitmap number"));
  const std::optional<int> number = wholeInt(pos[1]);
  if (!number) return cmd.usageError(QStringLiteral("%1 is not a bitmap number").arg(pos[1]));

  Report report;
  std::optional<OneBitmap> bitmap =
      openBitmap(pos[0], *number, platform::OpenMode::ReadWriteExisting, report);
  if (!bitmap) return report.finish();
  platform::Channel& gauge = *bitmap->gauge.channel;
  Result<> done;
  if (!pixels) {
    done = gau::makeZeroTransparent(gauge, bitmap->position);
  } else if (const Result<gau::Transparent> r = gau::makeTransparent(gauge, bitmap->position); !r) {
    done = Result<>::failure(r);
  }
  if (!done)
    report.problem(
        pos[0], *number,
        notDone(pixels ? QStringLiteral("Make Transparent") : QStringLiteral("Make Zero Trnsprt"),
                done.fault(), done.reason()));
  return report.finish();
}

}  // namespace

int transparentCommand(const QStringList& args) { return patchCommand(args, Patch::AllPixelsZero); }
int zeroCommand(const QStringList& args) { return patchCommand(args, Patch::EntryZeroBlack); }

}  // namespace cli
