#include "cli/gauge_file.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "cli/names.h"
#include "cli/report.h"
#include "gau/change.h"
#include "gau/scan.h"
#include "io/system.h"

namespace cli {

namespace {

// Larger files are scanned block by block instead of held whole.
constexpr int64_t kHoldLimit = int64_t{16} << 20;

}  // namespace

Result<GaugeFile> openGauge(const QString& path, io::OpenMode mode, Keep keep) {
  // A named pipe would block the open; only a regular file is a gauge file.
  if (const io::FileKind kind = io::kindOf(bytesOf(path));
      kind != io::FileKind::Missing && kind != io::FileKind::Regular)
    return Result<GaugeFile>::failure(Fault::Source, "It is not a regular file.");
  // A gauge without write permission opens for reading only, as in the windows,
  // and every command that would change it refuses.
  if (mode == io::OpenMode::ReadWriteExisting && !io::writePermitted(bytesOf(path)))
    mode = io::OpenMode::ReadOnly;
  // A change cut off part-way is undone before anything is read.
  const Result<gau::Recovery> recovered = gau::recoverGauge(bytesOf(path));
  if (!recovered && mode != io::OpenMode::ReadOnly)
    return Result<GaugeFile>::failure(Fault::NotWritten, recovered.reason());
  // A change would be refused for what stands at the journal's name: said once, as the refusal.
  if (recovered && recovered->blocking && mode != io::OpenMode::ReadOnly)
    return Result<GaugeFile>::failure(Fault::NotWritten, recovered->notice);
  if (!recovered)
    writeMessage(
        QStringLiteral("dialpix: %1: %2\n").arg(quoted(path), escaped(reason(recovered.reason()))));
  else if (!recovered->notice.empty())
    writeMessage(
        QStringLiteral("dialpix: %1: %2\n").arg(quoted(path), escaped(reason(recovered->notice))));
  std::string why;
  GaugeFile g;
  g.path = path;
  g.channel = io::openFileChannel(bytesOf(path), mode, &why);
  if (!g.channel)
    return Result<GaugeFile>::failure(Fault::Source, "It cannot be opened: " + why + ".");
  // Positions are signed 32-bit numbers, as in the windows.
  const int64_t length = g.channel->length();
  if (length > std::numeric_limits<int32_t>::max())
    return Result<GaugeFile>::failure(
        Fault::Source, "It is larger than 2 GiB; bitmap positions would not fit in 32 bits.");
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
  if (recovered && recovered->restored) {
    const gau::Restored& r = *recovered->restored;
    const auto at = std::find(g.positions.begin(), g.positions.end(), r.bmpPos);
    const int number = at == g.positions.end() ? 0 : static_cast<int>(at - g.positions.begin()) + 1;
    writeMessage(QStringLiteral("dialpix: %1: %2\n")
                     .arg(quoted(path), escaped(reason(gau::restoredSentence(r, number)))));
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

std::optional<OneBitmap> openBitmap(const QString& path, int number, io::OpenMode mode,
                                    Report& report) {
  Result<GaugeFile> gauge = openGauge(path, mode);
  if (!gauge) {
    report.problem(path, reason(gauge.reason()) + QStringLiteral(" Nothing was changed."));
    return std::nullopt;
  }
  if (mode != io::OpenMode::ReadOnly && !gau::journalPossible(bytesOf(path)))
    report.note(path, number, reason(gau::withoutJournalNote()));
  const Result<int32_t> position = bitmapAt(*gauge, number);
  if (!position) {
    report.problem(path, number,
                   reason(position.reason()) + QStringLiteral(" Nothing was changed."));
    return std::nullopt;
  }
  return OneBitmap{std::move(*gauge), *position};
}

}  // namespace cli
