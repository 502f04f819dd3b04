// dialpix export: bitmaps of gauge files written out as .BMP files, each in
// exactly the layout of the window's export and by the same code.

#include "gau/export.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <optional>
#include <variant>
#include <vector>

#include "base/fault_message.h"
#include "cli/command.h"
#include "cli/commands.h"
#include "cli/gauge_file.h"
#include "cli/names.h"
#include "cli/parallel.h"
#include "cli/progress.h"
#include "cli/report.h"
#include "gau/resource_bitmap.h"
#include "gau/scan.h"
#include "io/system.h"

namespace cli {
namespace {

// One gauge file and the bitmaps asked of it.
struct Request {
  QString gauge;
  std::vector<BitmapArg> bitmaps;  // empty: every numbered bitmap
  QString refused;                 // set when nothing may be written for this gauge
};

struct Problem {
  QString file;
  std::optional<QString> bitmap;  // "3", "id:4096"
  QString what;
  bool onlyANote = false;  // said on standard error, yet no failure
  bool usage = false;      // the command line's fault: an id that names no one bitmap
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

// DIR/<gauge name without extension>-N.bmp, or -idK.bmp for a bitmap named by
// its resource, built from the names' bytes. A resource's name keeps only the
// characters every system takes in a file name.
std::string targetFor(const Settings& s, const QString& gauge, const BitmapArg& bitmap) {
  std::string which = std::to_string(bitmap.number);
  if (bitmap.id) {
    which = "id";
    which += gau::keyText(bitmap.id->name);
    for (char& c : which)
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-') c = '_';
    if (bitmap.id->language) which.append("-").append(std::to_string(*bitmap.id->language));
  }
  const std::filesystem::path target =
      io::pathOf(bytesOf(s.folder)) / io::pathOf(stemOf(gauge) + "-" + which + ".bmp");
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
  std::vector<BitmapArg> bitmaps = request.bitmaps;
  if (bitmaps.empty())
    for (size_t n = 1; n <= gauge->positions.size(); ++n)
      bitmaps.push_back({static_cast<int>(n), std::nullopt, QString::number(n)});
  if (bitmaps.empty())  // all its bitmaps, and it has none: said, but not a failure
    problems.push_back({request.gauge, std::nullopt,
                        QStringLiteral("It holds no bitmap, so nothing was exported."), true});

  for (const BitmapArg& b : bitmaps) {
    const std::string target = targetFor(settings, request.gauge, b);
    int32_t position = 0;
    if (!b.id) {
      const Result<int32_t> at = bitmapAt(*gauge, b.number);
      if (!at) {
        problems.push_back({request.gauge, b.text, reason(at.reason())});
        continue;
      }
      position = *at;
    } else {
      const pe::ResourceTable& table = resourcesOf(*gauge);
      const Result<const pe::Resource*> found = gau::findBitmap(table, *b.id);
      if (!found) {
        problems.push_back(
            {request.gauge, b.text, reason(found.reason()) + QLatin1Char('.'), false, true});
        continue;
      }
      const pe::Resource& r = **found;
      position = static_cast<int32_t>(r.position - gau::kHeaderFromBmpPos);
      // A bitmap of another depth is written as it is, behind a file header.
      if (gau::numberedAs(*gauge->channel, gauge->positions, r) == 0) {
        const Result<gau::Dib> dib = gau::readDib(*gauge->channel, r.position, r.size);
        const Result<int64_t> done =
            dib ? gau::exportDib(*gauge->channel, *dib, target, settings.existing)
                : Result<int64_t>::failure(dib);
        if (!done)
          problems.push_back(
              {request.gauge, b.text, exportProblem(Result<bmp::Exported>::failure(done), target)});
        continue;
      }
    }
    const Result<bmp::Exported> done =
        bmp::exportBitmap(*gauge->channel, position, target, {}, settings.existing);
    if (!done) problems.push_back({request.gauge, b.text, exportProblem(done, target)});
  }
  return problems;
}

// Adds `b` unless it is there already, as typed or as the same number.
void addOnce(std::vector<BitmapArg>& bitmaps, const BitmapArg& b) {
  const auto same = [&b](const BitmapArg& o) {
    return b.id ? o.text == b.text : !o.id && o.number == b.number;
  };
  if (std::find_if(bitmaps.begin(), bitmaps.end(), same) == bitmaps.end()) bitmaps.push_back(b);
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
    std::vector<BitmapArg>& bitmaps = requests[earlier->second].bitmaps;
    if (bitmaps.empty() || r.bitmaps.empty()) {
      bitmaps.clear();
    } else {
      for (const BitmapArg& b : r.bitmaps) addOnce(bitmaps, b);
    }
  }
  return requests;
}

}  // namespace

int exportCommand(const QStringList& args) {
  Command cmd(
      QStringLiteral("export"),
      QStringLiteral("[-o DIR] [--force] GAUGE [N|id:K...] [GAUGE [N|id:K...]]..."),
      QStringLiteral(
          "Writes bitmaps N (default: all) of each GAUGE as DIR/<gauge name without "
          "extension>-N.bmp,\n"
          "256-colour .BMP files laid out as the window's Convert to BMP writes them. Each file\n"
          "appears whole or not at all. A bitmap number is a whole number; name a gauge file\n"
          "whose name is all digits, or starts with id:, as ./NAME.\n"
          "A bitmap resource named by id:K goes to <gauge name>-idK.bmp; one of another depth\n"
          "(1, 4, 16, 24, 32 bits, compressed) is written as it is, behind a .BMP file header."));
  const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                  QStringLiteral("Write into DIR (default: the current folder)."),
                                  QStringLiteral("DIR"));
  const QCommandLineOption force(QStringLiteral("force"),
                                 QStringLiteral("Replace existing files of the same names."));
  cmd.addOptions({output, force});
  cmd.parser().addPositionalArgument(QStringLiteral("GAUGE"), QStringLiteral("A gauge file."));
  cmd.parser().addPositionalArgument(
      QStringLiteral("N|id:K"),
      QStringLiteral("A bitmap number, 1 to the count the scan finds, or a resource id "
                     "(id:4096, id:0x1000, id:NAME, id:K/LANG)."),
      QStringLiteral("[N|id:K...]"));
  if (const std::optional<int> exit = cmd.parse(args)) return *exit;

  // Numbers belong to the gauge file named before them. Every argument is
  // checked before anything is exported: a typo ("3x") must not mean "all".
  QList<Request> requests;
  for (const QString& arg : cmd.parser().positionalArguments()) {
    if (wholeInt(arg) || gau::looksLikeResourceRef(arg.toStdString())) {
      if (requests.isEmpty())
        return cmd.usageError(QStringLiteral("bitmap %1 before any gauge file").arg(arg));
      std::variant<BitmapArg, QString> b = bitmapArg(arg);
      if (const QString* why = std::get_if<QString>(&b)) return cmd.usageError(*why);
      addOnce(requests.back().bitmaps, std::get<BitmapArg>(b));
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
          else if (p.usage)
            report.usageProblem(p.file, *p.bitmap, p.what);
          else if (p.bitmap)
            report.problem(p.file, *p.bitmap, p.what);
          else
            report.problem(p.file, p.what);
        }
      },
      progress);
  return report.finish();
}

}  // namespace cli
