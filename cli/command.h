#pragma once
// What every command shares: its parser with --help, its usage errors, the
// exit statuses and the reading of numbers typed on the command line.

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

#include "gau/resource_bitmap.h"

namespace cli {

// Exit statuses, as grep and diff have them.
enum Exit : int {
  kDone = 0,    // everything asked was done
  kFailed = 1,  // something was refused or failed; the rest was still done
  kUsage = 2,   // the command line itself is wrong; nothing was done
};

// A bitmap named on the command line: its number as the windows number it,
// or its resource ("id:4096", "id:0x1000", "id:NAME", "id:4096/1033").
struct BitmapArg {
  int number = 0;  // when there is no id
  std::optional<gau::ResourceRef> id;
  QString text;  // as typed, for messages: "3", "id:0x1000"
};

// The bitmap `text` names, or the usage error's words.
std::variant<BitmapArg, QString> bitmapArg(const QString& text);

// What a command's positional arguments begin with.
enum class Operands {
  Own,             // only those the command declares
  Gauge,           // GAUGE alone
  GaugeAndNumber,  // GAUGE and N, then those the command declares
};

// One command's parser. Options and positional arguments are added to
// parser() before parse().
class Command {
 public:
  // `synopsis` follows the command word in the usage line, e.g. "[--json] [-r] PATH...".
  Command(QString name, QString synopsis, const QString& description,
          Operands operands = Operands::Own);

  QCommandLineParser& parser() { return parser_; }
  // Adds options to the parser, remembering those that take a value.
  void addOptions(const QList<QCommandLineOption>& options);
  const QCommandLineParser& parser() const { return parser_; }

  // Parses `args` (args[0] is the command word). Returns the exit status when
  // the command ends here: 0 after --help, 2 after a usage error; else nothing.
  // A negative number ("-1") is an argument, not an option.
  std::optional<int> parse(const QStringList& args);

  // Prints a usage problem found after parsing with a hint to --help; returns 2.
  int usageError(const QString& why) const;

  struct OnOneBitmap {
    QString gauge;
    BitmapArg bitmap;
    QStringList rest;  // the positional arguments after them
  };
  // parse() for a command on a whole gauge (Operands::Gauge): its GAUGE, or the
  // exit status when the command ends here.
  std::optional<int> parseOnOneGauge(const QStringList& args, QString& gauge);

  // parse() for a command on one bitmap (Operands::GaugeAndNumber): GAUGE, N
  // and between `fewest` and `most` more arguments, or the exit status when the
  // command ends here (a usage error names `wanted`).
  std::optional<int> parseOnOneBitmap(const QStringList& args, qsizetype fewest, qsizetype most,
                                      const QString& wanted, OnOneBitmap& out);

  QString helpText() const;

 private:
  QString name_;
  QString synopsis_;
  QCommandLineParser parser_;
  QCommandLineOption help_;
  QStringList valueOptions_;  // "-o", "--output", ...: their value is the next argument
};

// A whole number typed on the command line: digits with an optional sign and
// nothing else (no blanks, no point, no exponent), within int; else nothing.
// Every command reads its numbers so; the windows keep their lenient reading.
std::optional<int> wholeInt(const QString& text);

// True when `text` is written as a whole number, whether or not it fits an int.
bool signedDigits(const QString& text);

// The usage error's words for `text`, given as `what`, that wholeInt() refused.
QString notWhole(const QString& what, const QString& text);

// Flushes standard output; when it cannot be written (a full disk, a closed
// stream), says so on standard error and returns 1, else 0. `earlier` is the
// errno of a write that already failed, if one did.
int finishOutput(int earlier = 0);

// The program's name and version, as --version prints them.
QString versionLine();

}  // namespace cli
