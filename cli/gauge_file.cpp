#include "cli/gauge_file.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "cli/names.h"
#include "cli/report.h"
#include "gau/change.h"
#include "gau/open_gauge.h"
#include "gau/scan.h"
#include "io/system.h"

namespace cli {

namespace {

// Larger files are scanned block by block instead of held whole.
constexpr int64_t kHoldLimit = int64_t{16} << 20;

}  // namespace

Result<GaugeFile> openGauge(const QString& path, io::OpenMode mode, Keep keep) {
  gau::OpenResult opened = gau::openGauge(bytesOf(path), mode == io::OpenMode::ReadWriteExisting
                                                             ? gau::Access::ReadWrite
                                                             : gau::Access::ReadOnly);
  if (!opened.gauge) {
    const std::string& why = opened.failure.why;
    switch (opened.failure.problem) {
      case gau::OpenProblem::NotRegular:
        return Result<GaugeFile>::failure(Fault::Source, "It is not a regular file.");
      case gau::OpenProblem::CannotOpen:
        return Result<GaugeFile>::failure(Fault::Source, "It cannot be opened: " + why + ".");
      case gau::OpenProblem::TooLarge:
        return Result<GaugeFile>::failure(
            Fault::Source, "It is larger than 2 GiB; bitmap positions would not fit in 32 bits.");
      case gau::OpenProblem::Journal:
        return Result<GaugeFile>::failure(Fault::NotWritten, why);
    }
  }
  gau::OpenedGauge& o = *opened.gauge;
  // A change would be refused for what stands at the journal's name: said once, as the refusal.
  if (o.recovery.blocking && o.access == gau::Access::ReadWrite)
    return Result<GaugeFile>::failure(Fault::NotWritten, o.recovery.notice);
  for (const std::string& said : {o.recoveryProblem, o.recovery.notice})
    if (!said.empty())
      writeMessage(QStringLiteral("dialpix: %1: %2\n").arg(quoted(path), escaped(reason(said))));
  GaugeFile g;
  g.path = path;
  g.channel = std::move(o.channel);
  const int64_t length = g.channel->length();
  gau::ScanResult found;
  if (keep == Keep::SmallFile && length <= kHoldLimit) {
    g.bytes.resize(static_cast<size_t>(length));
    found.readFailed = g.channel->read(1, g.bytes) != g.bytes.size();
    if (!found.readFailed) found = gau::scanBytes(g.bytes);
  } else {
    found = gau::scanChannel(*g.channel, gau::kKeepAll);
  }
  if (found.readFailed)
    return Result<GaugeFile>::failure(
        Fault::Source,
        "It could not be read to its end: " + g.channel->errorOr("the read stopped early") + ".");
  g.positions = found.positions;
  if (o.recovery.restored) {
    const gau::Restored& r = *o.recovery.restored;
    writeMessage(QStringLiteral("dialpix: %1: %2\n")
                     .arg(quoted(path), escaped(reason(gau::restoredSentence(
                                            r, bytesOf(bitmapName(g, r.bmpPos)))))));
  }
  return g;
}

Result<int32_t> bitmapAt(const GaugeFile& gauge, int number) {
  const auto count = static_cast<int64_t>(gauge.positions.size());
  if (number < 1 || number > count)
    return Result<int32_t>::failure(
        Fault::Bitmap, count == 0 ? std::string("The file holds no bitmap.")
                                  : "The file holds bitmaps 1 to " + std::to_string(count) +
                                        "; there is no bitmap " + std::to_string(number) + ".");
  return gauge.positions[static_cast<size_t>(number - 1)];
}

}  // namespace cli

namespace cli {

const pe::ResourceTable& resourcesOf(GaugeFile& gauge) {
  if (!gauge.resources) gauge.resources = gau::resourcesOf(*gauge.channel);
  return *gauge.resources;
}

QString bitmapName(GaugeFile& gauge, int32_t bmpPos) {
  if (const int n = gau::numberOf(gauge.positions, bmpPos); n > 0) return QString::number(n);
  return QString::fromStdString(gau::bitmapName(gauge.positions, resourcesOf(gauge), bmpPos));
}

std::optional<OneBitmap> openBitmap(const QString& path, const BitmapArg& bitmap, io::OpenMode mode,
                                    Report& report, const QString& action) {
  Result<GaugeFile> gauge = openGauge(path, mode);
  if (!gauge) {
    report.problem(path, reason(gauge.reason()) + QStringLiteral(" Nothing was changed."));
    return std::nullopt;
  }
  if (mode != io::OpenMode::ReadOnly && gauge->channel->readOnly()) {
    report.problem(path, bitmap.text, notDone(action, path, Fault::ReadOnly, {}));
    return std::nullopt;
  }
  if (mode != io::OpenMode::ReadOnly && !gau::journalPossible(bytesOf(path)))
    report.note(path, bitmap.text, reason(gau::withoutJournalNote()));
  if (!bitmap.id) {
    const Result<int32_t> position = bitmapAt(*gauge, bitmap.number);
    if (!position) {
      report.problem(path, bitmap.text,
                     reason(position.reason()) + QStringLiteral(" Nothing was changed."));
      return std::nullopt;
    }
    return OneBitmap{std::move(*gauge), *position, std::nullopt};
  }
  const pe::ResourceTable& table = resourcesOf(*gauge);
  const Result<const pe::Resource*> found = gau::findBitmap(table, *bitmap.id);
  if (!found) {
    report.usageProblem(path, bitmap.text, reason(found.reason()) + QLatin1Char('.'));
    return std::nullopt;
  }
  const pe::Resource& r = **found;
  // An 8-bit resource the scan found is that numbered bitmap, by the same road.
  const int64_t bmpPos = r.position - gau::kHeaderFromBmpPos;
  if (gau::numberedAs(*gauge->channel, gauge->positions, r) > 0)
    return OneBitmap{std::move(*gauge), static_cast<int32_t>(bmpPos), std::nullopt};
  Result<gau::Dib> dib = gau::readDib(*gauge->channel, r.position, r.size);
  if (!dib) {
    report.problem(path, bitmap.text,
                   QStringLiteral("its resource holds no bitmap dialpix can read. ") +
                       reason(dib.reason()) + QStringLiteral(" Nothing was changed."));
    return std::nullopt;
  }
  return OneBitmap{std::move(*gauge), static_cast<int32_t>(bmpPos), *dib};
}

}  // namespace cli
