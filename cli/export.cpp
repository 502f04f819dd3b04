// dialpix export: bitmaps of gauge files written out as .BMP files, each in
// exactly the layout of the window's export and by the same code.

#include "gau/export.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <vector>

#include "base/fault_message.h"
#include "cli/command.h"
#include "cli/commands.h"
#include "cli/gauge_file.h"
#include "cli/names.h"
#include "cli/parallel.h"
#include "cli/progress.h"
#include "cli/report.h"
#include "io/system.h"

namespace cli {
namespace {

// One gauge file and the bitmaps asked of it.
struct Request {
  QString gauge;
  std::vector<int> numbers;  // empty: every bitmap
  QString refused;           // set when nothing may be written for this gauge
};

struct Problem {
  QString file;
  std::optional<int> number;
  QString what;
  bool onlyANote = false;  // said on standard error, yet no failure
};

struct Settings {
  QString folder;
  bmp::Existing existing = bmp::Existing::Keep;
};

// The gauge file's own name without its last extension, as bytes: the same
// however the name was typed where the system reads it loosely (Windows).
std::string stemOf(const QString& gauge) {
  std::string name = io::ownName(bytesOf(gauge));
  if (const size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

// DIR/<gauge name without extension>-N.bmp, built from the names' bytes.
std::string targetFor(const Settings& s, const QString& gauge, int number) {
  const std::filesystem::path target =
      io::pathOf(bytesOf(s.folder)) /
      io::pathOf(stemOf(gauge) + "-" + std::to_string(number) + ".bmp");
  return io::nameOf(target.lexically_normal());
}

QString exportProblem(const Result<bmp::Exported>& r, const std::string& target) {
  // The sentence carries the target's own bytes; nameOf keeps those that are no UTF-8.
  QString problem = nameOf(
      faultMessage({.action = "the export to " + target, .bitmap = "the bitmap", .file = target},
                   r.fault(), r.reason()));
  if (r.fault() == Fault::TargetExists) problem += QStringLiteral(" --force replaces it.");
  return problem;
}

std::vector<Problem> exportGauge(const Request& request, const Settings& settings) {
  std::vector<Problem> problems;
  if (!request.refused.isEmpty()) {
    problems.push_back({request.gauge, std::nullopt, request.refused});
    return problems;
  }
  // The export only reads the gauge file.
  Result<GaugeFile> gauge = openGauge(request.gauge, io::OpenMode::ReadOnly);
  if (!gauge) {
    problems.push_back({request.gauge, std::nullopt,
                        reason(gauge.reason()) + QStringLiteral(" Nothing was exported.")});
    return problems;
  }
  std::vector<int> numbers = request.numbers;
  if (numbers.empty())
    for (size_t n = 1; n <= gauge->positions.size(); ++n) numbers.push_back(static_cast<int>(n));
  if (numbers.empty())  // all its bitmaps, and it has none: said, but not a failure
    problems.push_back({request.gauge, std::nullopt,
                        QStringLiteral("It holds no bitmap, so nothing was exported."), true});

  for (const int n : numbers) {
    const Result<int32_t> position = bitmapAt(*gauge, n);
    if (!position) {
      problems.push_back({request.gauge, n, reason(position.reason())});
      continue;
    }
    const std::string target = targetFor(settings, request.gauge, n);
    const Result<bmp::Exported> done =
        bmp::exportBitmap(*gauge->channel, *position, target, {}, settings.existing);
    if (!done) {
      problems.push_back({request.gauge, n, exportProblem(done, target)});
    }
  }
  return problems;
}

// One request a gauge file: a file named twice (under any path) is exported
// once, with the numbers of both namings; all its bitmaps if either asks for all.
QList<Request> oneAFile(const QList<Request>& named) {
  QList<Request> requests;
  std::map<std::string, qsizetype> index;
  for (const Request& r : named) {
    std::error_code ec;
    std::string key =
        io::nameOf(std::filesystem::weakly_canonical(io::pathOf(bytesOf(r.gauge)), ec));
    // A name that does not resolve is a file of its own: one empty key for all
    // such names would drop every one after the first, unreported.
    if (ec || key.empty()) key = bytesOf(r.gauge);
    const auto [earlier, first] = index.try_emplace(key, requests.size());
    if (first) {
      requests.append(r);
      continue;
    }
    std::vector<int>& numbers = requests[earlier->second].numbers;
    if (numbers.empty() || r.numbers.empty()) {
      numbers.clear();
    } else {
      for (const int n : r.numbers)
        if (std::find(numbers.begin(), numbers.end(), n) == numbers.end()) numbers.push_back(n);
    }
  }
  return requests;
}

}  // namespace

int exportCommand(const QStringList& args) {
  Command cmd(
      QStringLiteral("export"), QStringLiteral("[-o DIR] [--force] GAUGE [N...] [GAUGE [N...]]..."),
      QStringLiteral(
          "Writes bitmaps N (default: all) of each GAUGE as DIR/<gauge name without "
          "extension>-N.bmp,\n"
          "256-colour .BMP files laid out as the window's Convert to BMP writes them. Each file\n"
          "appears whole or not at all. A bitmap number is a whole number; name a gauge file\n"
          "whose name is all digits as ./NAME."));
  const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                  QStringLiteral("Write into DIR (default: the current folder)."),
                                  QStringLiteral("DIR"));
  const QCommandLineOption force(QStringLiteral("force"),
                                 QStringLiteral("Replace existing files of the same names."));
  cmd.addOptions({output, force});
  cmd.parser().addPositionalArgument(QStringLiteral("GAUGE"), QStringLiteral("A gauge file."));
  cmd.parser().addPositionalArgument(
      QStringLiteral("N"), QStringLiteral("A bitmap number, 1 to the count the scan finds."),
      QStringLiteral("[N...]"));
  if (const std::optional<int> exit = cmd.parse(args)) return *exit;

  // Numbers belong to the gauge file named before them. Every argument is
  // checked before anything is exported: a typo ("3x") must not mean "all".
  QList<Request> requests;
  for (const QString& arg : cmd.parser().positionalArguments()) {
    if (const std::optional<int> n = wholeInt(arg)) {
      if (requests.isEmpty())
        return cmd.usageError(QStringLiteral("bitmap number %1 before any gauge file").arg(arg));
      std::vector<int>& numbers = requests.back().numbers;
      if (std::find(numbers.begin(), numbers.end(), *n) == numbers.end()) numbers.push_back(*n);
    } else if (std::error_code ec; std::filesystem::exists(io::pathOf(bytesOf(arg)), ec)) {
      requests.append({arg, {}, {}});
    } else {
      return cmd.usageError(
          signedDigits(arg)
              ? notWhole(QStringLiteral("bitmap number"), arg)
              : QStringLiteral("'%1' is neither a bitmap number nor an existing file").arg(arg));
    }
  }
  if (requests.isEmpty()) return cmd.usageError(QStringLiteral("name a gauge file"));
  requests = oneAFile(requests);

  Settings settings;
  settings.folder = cmd.parser().isSet(output) ? cmd.parser().value(output) : QStringLiteral(".");
  settings.existing = cmd.parser().isSet(force) ? bmp::Existing::Replace : bmp::Existing::Keep;
  Report report;
  if (std::error_code ec;
      !std::filesystem::is_directory(io::pathOf(bytesOf(settings.folder)), ec)) {
    report.problem(settings.folder,
                   std::filesystem::exists(io::pathOf(bytesOf(settings.folder)), ec)
                       ? QStringLiteral("It is not a folder; -o names the folder to write into. "
                                        "Nothing was exported.")
                       : QStringLiteral("There is no such folder. Nothing was exported."));
    return report.finish();
  }
  // Two gauge files of one name would write the same .BMP names.
  std::map<std::string, QString> firstOfName;
  for (Request& r : requests) {
    if (const auto [earlier, first] = firstOfName.try_emplace(stemOf(r.gauge), r.gauge); !first)
      r.refused = QStringLiteral(
                      "Its bitmaps would be written under the names of those of %1. "
                      "Nothing was exported for it.")
                      .arg(earlier->second);
  }

  Progress progress(static_cast<size_t>(requests.size()));
  report.setProgress(&progress);
  inOrder(
      requests, [&settings](const Request& r) { return exportGauge(r, settings); },
      [&report](const std::vector<Problem>& problems) {
        for (const Problem& p : problems) {
          if (p.onlyANote)
            report.note(p.file, p.what);
          else if (p.number)
            report.problem(p.file, *p.number, p.what);
          else
            report.problem(p.file, p.what);
        }
      },
      progress);
  return report.finish();
}

}  // namespace cli
