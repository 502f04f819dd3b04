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
#include "gau/resource_bitmap.h"
#include "gau/scan.h"
#include "gau/undo.h"
#include "io/file_names.h"

namespace cli {
namespace {

// The number the windows give the bitmap at `bmpPos`, or nothing when the scan
// finds none there now.
std::optional<int> numberAt(const GaugeFile& g, int32_t bmpPos) {
  const int n = gau::numberOf(g.positions, bmpPos);
  return n > 0 ? std::optional<int>(n) : std::nullopt;
}

// The bitmap resource whose header lies at `bmpPos` ("id:4096"), or nothing.
std::optional<QString> resourceAt(GaugeFile& g, int32_t bmpPos) {
  const pe::ResourceTable& table = resourcesOf(g);
  for (const pe::Resource& r : table.resources)
    if (!r.type.named && r.type.id == pe::kBitmap && r.place == pe::Place::InFile &&
        r.position == bmpPos + gau::kHeaderFromBmpPos)
      return QString::fromStdString(gau::refText(table, r));
  return std::nullopt;
}

QString localTime(int64_t seconds) {
  return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

}  // namespace

int historyCommand(const QStringList& args) {
  Command cmd(QStringLiteral("history"), QStringLiteral("[--json] GAUGE"),
              QStringLiteral("Lists the changes kept for undo, newest first, one a line:\n"
                             "TIME<TAB>COMMAND<TAB>N<TAB>BYTES CHANGED\n"
                             "N is the bitmap's number, or id:K for a bitmap resource of "
                             "another depth.\n"
                             "The first line is what 'undo' takes back; line K what "
                             "'undo --steps K' reaches."),
              Operands::Gauge);
  const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Write JSON."));
  cmd.addOptions({json});
  QString gaugeName;
  if (const std::optional<int> exit = cmd.parseOnOneGauge(args, gaugeName)) return *exit;

  Report report;
  Result<GaugeFile> gauge = openGauge(gaugeName, io::OpenMode::ReadOnly);
  if (!gauge) {
    report.problem(gaugeName, reason(gauge.reason()));
    return report.finish();
  }
  const gau::History history = gau::historyFor(bytesOf(gaugeName));
  std::vector<gau::HistoryEntry> kept = history.entries;
  std::reverse(kept.begin(), kept.end());
  if (history.notHeld > 0)
    report.note(gaugeName,
                QStringLiteral("%1 kept %2 not listed: the file no longer holds the bytes the "
                               "newest of them wrote (another file that took this one's place, "
                               "or another program changed it), so none can be undone.")
                    .arg(history.notHeld)
                    .arg(history.notHeld == 1 ? QStringLiteral("change is")
                                              : QStringLiteral("changes are")));
  for (const std::string& f : history.setAside)
    report.note(gaugeName, QStringLiteral("a damaged entry of its history was set aside as %1; "
                                          "the others are listed.")
                               .arg(nameOf(f)));
  // A command field is the file's own bytes: never trusted to be text.
  const auto command = [](const gau::HistoryEntry& e) {
    return QString::fromUtf8(e.record.command.data(),
                             static_cast<qsizetype>(e.record.command.size()));
  };
  if (cmd.parser().isSet(json)) {
    QJsonArray changes;
    for (const gau::HistoryEntry& e : kept) {
      const std::optional<int> n = numberAt(*gauge, e.record.bmpPos);
      const std::optional<QString> id = resourceAt(*gauge, e.record.bmpPos);
      changes.append(QJsonObject{
          {"time", QDateTime::fromSecsSinceEpoch(e.record.time, Qt::UTC).toString(Qt::ISODate)},
          {"command", command(e)},
          {"bitmap", n ? QJsonValue(*n) : QJsonValue()},
          {"resource", id ? QJsonValue(*id) : QJsonValue()},
          {"position", static_cast<qint64>(e.record.position)},
          {"length", static_cast<qint64>(e.record.length)},
          {"bytesChanged", static_cast<qint64>(e.record.bytesChanged)}});
    }
    // The name as list writes it: its text, and its bytes when they are no UTF-8.
    const std::string bytes = bytesOf(gaugeName);
    QJsonObject top{{"file", io::nameText(bytes)}, {"changes", changes}};
    if (!isUtf8(gaugeName))
      top.insert("file_base64", QString::fromLatin1(QByteArray::fromStdString(bytes).toBase64()));
    report.out(QJsonDocument(top).toJson(QJsonDocument::Indented));
    return report.finish();
  }
  QByteArray lines;
  for (const gau::HistoryEntry& e : kept) {
    const QString name = bitmapName(*gauge, e.record.bmpPos);
    lines += localTime(e.record.time).toUtf8() + '\t' + escaped(command(e)).toUtf8() + '\t' +
             (name.isEmpty() ? QByteArray("?") : escaped(name).toUtf8()) + '\t' +
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
  std::vector<gau::Undone> before;
  const Result<std::vector<gau::Undone>> undone = gau::undoSteps(*gauge->channel, *k, &before);
  for (const gau::Undone& u : undone ? *undone : before) {
    const gau::ChangeRecord& r = u.record;
    const QString name = bitmapName(*gauge, r.bmpPos);
    report.note(
        gaugeName, name.isEmpty() ? QStringLiteral("at byte %1").arg(r.bmpPos) : name,
        QStringLiteral("the change of %1 (%2) was undone: %3 before it.")
            .arg(
                localTime(r.time), QString::fromStdString(r.command),
                r.bytesChanged == 1
                    ? QStringLiteral("its one changed byte is as it was")
                    : QStringLiteral("its %1 changed bytes are as they were").arg(r.bytesChanged)));
  }
  if (!undone)
    report.problem(gaugeName, reason(undone.reason()) +
                                  (before.empty() ? QStringLiteral(" Nothing was undone.")
                                                  : QStringLiteral(" The older changes were not "
                                                                   "undone.")));
  return report.finish();
}

}  // namespace cli
