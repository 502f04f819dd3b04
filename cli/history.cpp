// dialpix history and dialpix undo: the changes kept for a gauge file, and
// taking the latest of them back through the same safe path as every change.

#include "gau/history.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <optional>
#include <vector>

#include "cli/command.h"
#include "cli/commands.h"
#include "cli/gauge_file.h"
#include "cli/names.h"
#include "cli/report.h"

namespace cli {
namespace {

// The number the windows give the bitmap at `bmpPos`, or nothing when the scan
// finds none there now.
std::optional<int> numberAt(const GaugeFile& g, int32_t bmpPos) {
  const auto at = std::find(g.positions.begin(), g.positions.end(), bmpPos);
  if (at == g.positions.end()) return std::nullopt;
  return static_cast<int>(at - g.positions.begin()) + 1;
}

QString localTime(int64_t seconds) {
  return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

}  // namespace

int historyCommand(const QStringList& args) {
  Command cmd(QStringLiteral("history"), QStringLiteral("[--json] GAUGE"),
              QStringLiteral("Lists the changes kept for undo, newest first, one a line:\n"
                             "TIME<TAB>COMMAND<TAB>N<TAB>BYTES CHANGED\n"
                             "The first line is what 'undo' takes back; line K what "
                             "'undo --steps K' reaches."),
              Operands::Gauge);
  const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Write JSON."));
  cmd.addOptions({json});
  QString gaugeName;
  if (const std::optional<int> exit = cmd.parseOnOneGauge(args, gaugeName)) return *exit;

  Report report;
  const Result<GaugeFile> gauge = openGauge(gaugeName, io::OpenMode::ReadOnly);
  if (!gauge) {
    report.problem(gaugeName, reason(gauge.reason()));
    return report.finish();
  }
  std::vector<gau::HistoryEntry> kept = gau::historyOf(bytesOf(gaugeName));
  std::reverse(kept.begin(), kept.end());
  if (cmd.parser().isSet(json)) {
    QJsonArray changes;
    for (const gau::HistoryEntry& e : kept) {
      const std::optional<int> n = numberAt(*gauge, e.record.bmpPos);
      changes.append(QJsonObject{
          {"time", QDateTime::fromSecsSinceEpoch(e.record.time, Qt::UTC).toString(Qt::ISODate)},
          {"command", QString::fromStdString(e.record.command)},
          {"bitmap", n ? QJsonValue(*n) : QJsonValue()},
          {"position", static_cast<qint64>(e.record.position)},
          {"length", static_cast<qint64>(e.record.length)},
          {"bytesChanged", static_cast<qint64>(e.record.bytesChanged)}});
    }
    report.out(QJsonDocument(QJsonObject{{"file", gaugeName}, {"changes", changes}})
                   .toJson(QJsonDocument::Indented));
    return report.finish();
  }
  QByteArray lines;
  for (const gau::HistoryEntry& e : kept) {
    const std::optional<int> n = numberAt(*gauge, e.record.bmpPos);
    lines += localTime(e.record.time).toUtf8() + '\t' +
             QByteArray::fromStdString(e.record.command) + '\t' +
             (n ? QByteArray::number(*n) : QByteArray("?")) + '\t' +
             QByteArray::number(static_cast<qint64>(e.record.bytesChanged)) + '\n';
  }
  report.out(lines);
  return report.finish();
}

int undoCommand(const QStringList& args) {
  Command cmd(QStringLiteral("undo"), QStringLiteral("[--steps K] GAUGE"),
              QStringLiteral("Takes back the latest change of the gauge file (K changes with "
                             "--steps, newest first),\nas 'history' lists them. Each undo is a "
                             "change itself, so a second undo puts the change back.\nRefused, "
                             "with nothing written, when the gauge no longer holds the bytes the "
                             "change wrote."),
              Operands::Gauge);
  const QCommandLineOption steps(QStringLiteral("steps"),
                                 QStringLiteral("How many changes to take back (default 1)."),
                                 QStringLiteral("K"), QStringLiteral("1"));
  cmd.addOptions({steps});
  QString gaugeName;
  if (const std::optional<int> exit = cmd.parseOnOneGauge(args, gaugeName)) return *exit;
  const std::optional<int> k = wholeInt(cmd.parser().value(steps));
  if (!k || *k < 1)
    return cmd.usageError(QStringLiteral("--steps %1 is not a whole number from 1 up")
                              .arg(cmd.parser().value(steps)));

  Report report;
  Result<GaugeFile> gauge = openGauge(gaugeName, io::OpenMode::ReadWriteExisting);
  if (!gauge) {
    report.problem(gaugeName, reason(gauge.reason()) + QStringLiteral(" Nothing was undone."));
    return report.finish();
  }
  const std::vector<gau::HistoryEntry> kept = gau::historyOf(bytesOf(gaugeName));
  if (static_cast<size_t>(*k) > kept.size()) {
    report.problem(gaugeName, QStringLiteral("%1 changes of it are kept, so %2 cannot be undone. "
                                             "Nothing was undone.")
                                  .arg(kept.size())
                                  .arg(*k));
    return report.finish();
  }
  for (int i = 0; i < *k; ++i) {
    const gau::HistoryEntry& e = kept[kept.size() - 1 - static_cast<size_t>(i)];
    const int n = numberAt(*gauge, e.record.bmpPos).value_or(0);
    const QString what =
        QStringLiteral("the change of %1 (%2)")
            .arg(localTime(e.record.time), QString::fromStdString(e.record.command));
    const Result<gau::Undone> undone = gau::undoChange(*gauge->channel, e);
    if (!undone) {
      report.problem(gaugeName, n,
                     QStringLiteral("%1 was not undone; nothing was written. %2")
                         .arg(what, reason(undone.reason())));
      break;  // the older changes lie under this one
    }
    report.note(
        gaugeName, n,
        QStringLiteral("%1 was undone: %2 before it.")
            .arg(what,
                 e.record.bytesChanged == 1
                     ? QStringLiteral("its byte is as it was")
                     : QStringLiteral("%1 bytes are as they were").arg(e.record.bytesChanged)));
  }
  return report.finish();
}

}  // namespace cli
