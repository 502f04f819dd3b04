// dialpix palette: a bitmap's palette entries shown, or bytes of one entry set
// with the palette tool's checks, by the same code.

#include "gau/palette.h"

#include <array>
#include <optional>

#include "cli/command.h"
#include "cli/commands.h"
#include "cli/gauge_file.h"
#include "cli/report.h"
#include "gau/resource_bitmap.h"

namespace cli {
namespace {

QByteArray entryLine(int n, const gau::Entry& e) {
  return QByteArray::number(n) + '\t' + QByteArray::number(e.red) + '\t' +
         QByteArray::number(e.green) + '\t' + QByteArray::number(e.blue) + '\n';
}

// One of --red, --green, --blue.
struct NewValue {
  gau::ColorChannel channel;
  const char* name;
  bool given;
  QString text;                  // as typed
  std::optional<uint8_t> value;  // nothing when the text is no byte
};

}  // namespace

int paletteCommand(const QStringList& args) {
  Command cmd(QStringLiteral("palette"),
              QStringLiteral("GAUGE N|id:K [ENTRY [--red V] [--green V] [--blue V]]"),
              QStringLiteral("Shows the palette of bitmap N, one entry a line:\n"
                             "INDEX<TAB>RED<TAB>GREEN<TAB>BLUE\n"
                             "With ENTRY, shows that entry; with --red, --green or --blue, sets "
                             "those bytes of it\nas the Palette Tool's Send does."),
              Operands::GaugeAndNumber);
  const QCommandLineOption red(QStringLiteral("red"), QStringLiteral("New red value, 0 to 255."),
                               QStringLiteral("V"));
  const QCommandLineOption green(QStringLiteral("green"),
                                 QStringLiteral("New green value, 0 to 255."), QStringLiteral("V"));
  const QCommandLineOption blue(QStringLiteral("blue"), QStringLiteral("New blue value, 0 to 255."),
                                QStringLiteral("V"));
  cmd.addOptions({red, green, blue});
  cmd.parser().addPositionalArgument(QStringLiteral("ENTRY"),
                                     QStringLiteral("A palette entry, 0 to the colour count - 1."),
                                     QStringLiteral("[ENTRY]"));
  Command::OnOneBitmap on;
  if (const std::optional<int> exit = cmd.parseOnOneBitmap(
          args, 0, 1, QStringLiteral("name a gauge file, a bitmap number and perhaps an entry"),
          on))
    return *exit;
  std::optional<int> entry;
  if (!on.rest.isEmpty()) {
    entry = wholeInt(on.rest[0]);
    if (!entry) return cmd.usageError(notWhole(QStringLiteral("palette entry"), on.rest[0]));
  }

  const auto typed = [&cmd](gau::ColorChannel channel, const char* name,
                            const QCommandLineOption& option) {
    return NewValue{channel, name, cmd.parser().isSet(option), cmd.parser().value(option), {}};
  };
  // Red, green, blue: the order the values are written in.
  std::array<NewValue, 3> values{typed(gau::ColorChannel::Red, "red", red),
                                 typed(gau::ColorChannel::Green, "green", green),
                                 typed(gau::ColorChannel::Blue, "blue", blue)};
  bool setting = false;
  for (NewValue& v : values) {
    if (!v.given) continue;
    setting = true;
    const std::optional<int> read = wholeInt(v.text);
    if (!read) return cmd.usageError(notWhole(QStringLiteral("--%1").arg(v.name), v.text));
    if (*read >= 0 && *read <= 255) v.value = static_cast<uint8_t>(*read);
  }
  if (setting && !entry) return cmd.usageError(QStringLiteral("name the palette entry to set"));

  Report report;
  for (const NewValue& v : values)
    if (v.given && !v.value)
      report.problem(on.gauge, on.bitmap.text,
                     QStringLiteral("the %1 value %2 is not 0 to 255. Nothing was written.")
                         .arg(v.name, v.text));
  if (report.failed()) return report.finish();

  std::optional<OneBitmap> bitmap = openBitmap(
      on.gauge, on.bitmap, setting ? io::OpenMode::ReadWriteExisting : io::OpenMode::ReadOnly,
      report, QStringLiteral("setting entry %1").arg(entry.value_or(0)));
  if (!bitmap) return report.finish();
  if (bitmap->other) {
    report.problem(on.gauge, on.bitmap.text,
                   QStringLiteral("it is %1; palettes are shown and set for the 8-bit bitmaps "
                                  "the scan finds.%2")
                       .arg(QString::fromStdString(gau::depthText(*bitmap->other)),
                            setting ? QStringLiteral(" Nothing was written.") : QString()));
    return report.finish();
  }
  io::Channel& gauge = *bitmap->gauge.channel;
  const Result<gau::ColorCount> count = gau::readColorCount(gauge, bitmap->position);
  if (!count) {
    report.problem(on.gauge, on.bitmap.text, reason(count.reason()));
    return report.finish();
  }
  if (entry && (*entry < 0 || *entry >= count->colors)) {
    report.problem(on.gauge, on.bitmap.text,
                   QStringLiteral("its palette has entries 0 to %1; there is no entry %2.%3")
                       .arg(count->colors - 1)
                       .arg(*entry)
                       .arg(setting ? QStringLiteral(" Nothing was written.") : QString()));
    return report.finish();
  }

  if (setting) {
    // Every value given is one change, so one undo takes all of them back.
    std::array<std::optional<uint8_t>, 3> bytes;
    QStringList names;
    for (const NewValue& v : values)
      if (v.given) {
        bytes[static_cast<size_t>(v.channel)] = v.value;
        names << QString::fromLatin1(v.name);
      }
    const Result<> sent = gau::writeEntryBytes(gauge, bitmap->position, *entry, bytes);
    if (!sent)
      report.problem(
          on.gauge, on.bitmap.text,
          notDone(QStringLiteral("setting the %1 of entry %2")
                      .arg(names.join(QStringLiteral(", ")) +
                           (names.size() == 1 ? QStringLiteral(" byte") : QStringLiteral(" bytes")))
                      .arg(*entry),
                  on.gauge, sent.fault(), sent.reason()));
    return report.finish();
  }

  // Everything is read before anything is printed, so a failure prints no half palette.
  QByteArray lines;
  const int first = entry ? *entry : 0;
  const int last = entry ? *entry : count->colors - 1;
  for (int n = first; n <= last; ++n) {
    const Result<gau::Entry> e = gau::readEntry(gauge, bitmap->position, n);
    if (!e) {
      report.problem(on.gauge, on.bitmap.text, reason(e.reason()));
      return report.finish();
    }
    lines += entryLine(n, *e);
  }
  report.out(lines);
  return report.finish();
}

}  // namespace cli
