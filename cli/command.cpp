#include "cli/command.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "app/number_text.h"

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
  if (operands == Operands::GaugeAndNumber) {
    parser_.addPositionalArgument(QStringLiteral("GAUGE"), QStringLiteral("A gauge file."));
    parser_.addPositionalArgument(QStringLiteral("N"), QStringLiteral("The bitmap number."));
  }
}

std::optional<int> Command::parse(const QStringList& args) {
  QStringList withProgram = args;
  withProgram.prepend(QStringLiteral("dialpix"));  // the parser skips its first entry
  withProgram.removeAt(1);                         // the command word
  if (!parser_.parse(withProgram)) return usageError(parser_.errorText());
  if (parser_.isSet(help_)) {
    const QByteArray text = helpText().toLocal8Bit();
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    return std::fflush(stdout) == 0 ? kDone : kFailed;
  }
  return std::nullopt;
}

std::optional<int> Command::parseOnOneBitmap(const QStringList& args, qsizetype fewest,
                                             qsizetype most, const QString& wanted,
                                             OnOneBitmap& out) {
  if (const std::optional<int> exit = parse(args)) return exit;
  const QStringList pos = parser_.positionalArguments();
  if (pos.size() < 2 + fewest || pos.size() > 2 + most) return usageError(wanted);
  const std::optional<int> number = wholeInt(pos[1]);
  if (!number) return usageError(QStringLiteral("%1 is not a bitmap number").arg(pos[1]));
  out = {pos[0], *number, pos.mid(2)};
  return std::nullopt;
}

int Command::usageError(const QString& why) const {
  std::fprintf(stderr, "dialpix %s: %s\nTry 'dialpix %s --help' for more information.\n",
               qPrintable(name_), qPrintable(why), qPrintable(name_));
  return kUsage;
}

QString Command::helpText() const {
  // The parser's own usage line names the executable's path; ours names the command.
  QString text = parser_.helpText();
  const qsizetype firstBreak = text.indexOf(QLatin1Char('\n'));
  text.replace(0, firstBreak, QStringLiteral("Usage: dialpix %1 %2").arg(name_, synopsis_));
  return text;
}

std::optional<int> wholeInt(const QString& text) {
  const std::optional<double> v = wholeNumber(text.toStdString());
  if (!v || std::floor(*v) != *v || *v < std::numeric_limits<int>::min() ||
      *v > std::numeric_limits<int>::max())
    return std::nullopt;
  return static_cast<int>(*v);
}

QString versionLine() { return QStringLiteral("dialpix " DIALPIX_VERSION); }

}  // namespace cli
