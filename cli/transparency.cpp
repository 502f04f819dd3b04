// dialpix transparent and dialpix zero: the chooser's Make Transparent and
// Make Zero Trnsprt, by the same code.

#include "gau/transparency.h"

#include <optional>

#include "cli/command.h"
#include "cli/commands.h"
#include "cli/gauge_file.h"
#include "cli/report.h"
#include "gau/resource_bitmap.h"

namespace cli {
namespace {

enum class Patch { AllPixelsZero, EntryZeroBlack };

int patchCommand(const QStringList& args, Patch patch) {
  const bool pixels = patch == Patch::AllPixelsZero;
  Command cmd(pixels ? QStringLiteral("transparent") : QStringLiteral("zero"),
              QStringLiteral("GAUGE N|id:K"),
              pixels ? QStringLiteral("Make Transparent: sets every pixel byte of bitmap N, row "
                                      "padding included, to colour 0\n(black in a bitmap of "
                                      "24 or 32 bits).")
                     : QStringLiteral("Make Zero Trnsprt: makes palette entry 0 of bitmap N black "
                                      "(blue, green and red 0; the fourth byte is kept)."),
              Operands::GaugeAndNumber);
  Command::OnOneBitmap on;
  if (const std::optional<int> exit = cmd.parseOnOneBitmap(
          args, 0, 0, QStringLiteral("name a gauge file and a bitmap number"), on))
    return *exit;

  Report report;
  std::optional<OneBitmap> bitmap =
      openBitmap(on.gauge, on.bitmap, io::OpenMode::ReadWriteExisting, report,
                 pixels ? QStringLiteral("Make Transparent") : QStringLiteral("Make Zero Trnsprt"));
  if (!bitmap) return report.finish();
  io::Channel& gauge = *bitmap->gauge.channel;
  Result<> done;
  if (bitmap->other) {
    // A bitmap resource of another depth: every pixel index 0, or black.
    if (!pixels)
      done = gau::makeDibZeroTransparent(gauge, *bitmap->other);
    else if (const Result<int64_t> r = gau::makeDibTransparent(gauge, *bitmap->other); !r)
      done = Result<>::failure(r);
  } else if (!pixels) {
    done = gau::makeZeroTransparent(gauge, bitmap->position);
  } else if (const Result<gau::Transparent> r = gau::makeTransparent(gauge, bitmap->position); !r) {
    done = Result<>::failure(r);
  }
  if (!done)
    report.problem(
        on.gauge, on.bitmap.text,
        notDone(pixels ? QStringLiteral("Make Transparent") : QStringLiteral("Make Zero Trnsprt"),
                on.gauge, done.fault(), done.reason()));
  return report.finish();
}

}  // namespace

int transparentCommand(const QStringList& args) { return patchCommand(args, Patch::AllPixelsZero); }
int zeroCommand(const QStringList& args) { return patchCommand(args, Patch::EntryZeroBlack); }

}  // namespace cli
