#include "cli/command.h"

#include <QRegularExpression>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "base/number_text.h"
#include "cli/names.h"
#include "cli/report.h"

#ifndef DIALPIX_VERSION
#define DIALPIX_VERSION "unknown"
#endif

namespace cli {

Command::Command(QString name, QString synopsis, const QString& description, Operands operands)
    : name_(std::move(name)),
      synopsis_(std::move(synopsis)),
      help_({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")) {
  parser_.setApplicationDescription(description);
  parser_.addOption(help_);
  // "-or" would read as -o with the value r; options are spelt one by one.
  parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
  if (operands != Operands::Own)
    parser_.addPositionalArgument(QStringLiteral("GAUGE"), QStringLiteral("A gauge file."));
  if (operands == Operands::GaugeAndNumber)
    parser_.addPositionalArgument(
        QStringLiteral("N|id:K"),
        QStringLiteral("The bitmap: its number, or its resource id (id:4096, id:0x1000, "
                       "id:NAME; id:K/LANG for one of several languages)."));
}

void Command::addOptions(const QList<QCommandLineOption>& options) {
  parser_.addOptions(options);
  for (const QCommandLineOption& o : options) {
    if (o.valueName().isEmpty()) continue;
    for (const QString& name : o.names())
      valueOptions_ << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
  }
}

std::optional<int> Command::parse(const QStringList& args) {
  // Options first, then "--" and the arguments in their order, so that "-1" is
  // taken as the number it is, not as an option named "1".
  static const QRegularExpression negative(QStringLiteral("^-[0-9]+$"));
  QStringList options{QStringLiteral("dialpix")};  // the parser skips its first entry
  QStringList arguments;
  for (qsizetype i = 1; i < args.size(); ++i) {  // args[0] is the command word
    const QString& a = args[i];
    if (a == QLatin1String("--")) {
      arguments += args.mid(i + 1);
      break;
    }
    if (!a.startsWith(QLatin1Char('-')) || a.size() == 1 || negative.match(a).hasMatch()) {
      arguments << a;
      continue;
    }
    options << a;
    if (!valueOptions_.contains(a)) continue;
    if (i + 1 == args.size()) return usageError(QStringLiteral("Missing value after '%1'.").arg(a));
    options << args[++i];
  }
  if (!parser_.parse(options + QStringList{QStringLiteral("--")} + arguments))
    return usageError(parser_.errorText());
  if (parser_.isSet(help_)) {
    const QByteArray text = helpText().toLocal8Bit();
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    return finishOutput();
  }
  return std::nullopt;
}

std::optional<int> Command::parseOnOneGauge(const QStringList& args, QString& gauge) {
  if (const std::optional<int> exit = parse(args)) return exit;
  const QStringList pos = parser_.positionalArguments();
  if (pos.size() != 1) return usageError(QStringLiteral("name one gauge file"));
  gauge = pos[0];
  return std::nullopt;
}

std::optional<int> Command::parseOnOneBitmap(const QStringList& args, qsizetype fewest,
                                             qsizetype most, const QString& wanted,
                                             OnOneBitmap& out) {
  if (const std::optional<int> exit = parse(args)) return exit;
  const QStringList pos = parser_.positionalArguments();
  if (pos.size() < 2 + fewest || pos.size() > 2 + most) return usageError(wanted);
  std::variant<BitmapArg, QString> bitmap = bitmapArg(pos[1]);
  if (const QString* why = std::get_if<QString>(&bitmap)) return usageError(*why);
  out = {pos[0], std::get<BitmapArg>(std::move(bitmap)), pos.mid(2)};
  return std::nullopt;
}

std::variant<BitmapArg, QString> bitmapArg(const QString& text) {
  if (gau::looksLikeResourceRef(text.toStdString())) {
    Result<gau::ResourceRef> ref = gau::parseResourceRef(text.toStdString());
    if (!ref) return QString::fromStdString(ref.reason());
    return BitmapArg{0, std::move(*ref), text};
  }
  const std::optional<int> number = wholeInt(text);
  if (!number) return notWhole(QStringLiteral("bitmap number"), text);
  return BitmapArg{*number, std::nullopt, text};
}

int Command::usageError(const QString& why) const {
  writeMessage(QStringLiteral("dialpix %1: %2\nTry 'dialpix %1 --help' for more information.\n")
                   .arg(name_, escaped(why)));
  return kUsage;
}

QString Command::helpText() const {
  // The parser's own usage line names the executable's path; ours names the command.
  QString text = parser_.helpText();
  const qsizetype firstBreak = text.indexOf(QLatin1Char('\n'));
  text.replace(0, firstBreak, QStringLiteral("Usage: dialpix %1 %2").arg(name_, synopsis_));
  return text;
}

bool signedDigits(const QString& text) {
  static const QRegularExpression digits(QStringLiteral("^[+-]?[0-9]+$"));
  return digits.match(text).hasMatch();
}

std::optional<int> wholeInt(const QString& text) {
  if (!signedDigits(text)) return std::nullopt;
  bool fits = false;
  const int v = text.toInt(&fits, 10);  // C locale: digits only, no group separators
  return fits ? std::optional<int>(v) : std::nullopt;
}

QString notWhole(const QString& what, const QString& text) {
  return QStringLiteral("%1 '%2' is %3")
      .arg(what, text,
           signedDigits(text) ? QStringLiteral("too large") : QStringLiteral("not a whole number"));
}

int finishOutput(int earlier) {
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  if (flushed && !std::ferror(stdout)) return kDone;
  const int error = !flushed && errno != 0 ? errno : earlier != 0 ? earlier : EIO;
  std::fprintf(stderr, "dialpix: standard output cannot be written: %s\n", std::strerror(error));
  return kFailed;
}

QString versionLine() { return QStringLiteral("dialpix " DIALPIX_VERSION); }

}  // namespace cli
