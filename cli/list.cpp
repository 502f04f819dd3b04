// dialpix list: every bitmap the scan finds in each gauge file, as text lines
// or as JSON.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "cli/command.h"
#include "cli/commands.h"
#include "cli/gauge_file.h"
#include "cli/names.h"
#include "cli/parallel.h"
#include "cli/progress.h"
#include "cli/report.h"
#include "gau/bitmap_record.h"
#include "io/little_endian.h"

namespace cli {
namespace {

// One gauge file to list, or a path that could not be looked into.
struct Item {
  QString path;
  QString error;
};

struct Hit {
  int32_t position = 0;
  // Unknown for a hit in the first 8 bytes: the fields would lie before the file.
  std::optional<int32_t> width, height;
  int32_t storedColors = 0;
};

struct Listing {
  QString file;
  int64_t length = 0;
  std::vector<Hit> hits;
  QString error;  // set when the file could not be listed
};

bool isGaugeName(const std::string& name) {
  if (name.size() < 5 || name[0] == '.') return false;  // hidden files are not listed
  std::string suffix = name.substr(name.size() - 4);
  for (char& c : suffix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return suffix == ".gau";
}

// The *.gau files of `folder` (any case, sorted by name), then with
// `recursive` those of its folders, depth first. A link that leads nowhere is
// kept, so that it is reported; pipes and devices are not gauge files. Names
// are read as bytes, so a name in another encoding is listed and opened too.
void gather(const QString& folder, bool recursive, QList<Item>& into) {
  namespace fs = std::filesystem;
  const fs::path dir(bytesOf(folder));
  std::error_code ec;
  fs::directory_iterator it(dir, ec);
  if (ec) {
    into.append({folder, QStringLiteral("The folder cannot be read: %1.")
                             .arg(QString::fromStdString(ec.message()))});
    return;
  }
  QList<QString> gauges, folders;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    const std::string name = it->path().filename().string();
    // The listing's own file types, so that only links cost a look at the disk.
    std::error_code ignored;
    if (!it->is_symlink(ignored) && it->is_directory(ignored)) {
      // Linked folders are not followed: a link back up would never end.
      if (recursive && name[0] != '.') folders.append(nameOf((dir / name).string()));
      continue;
    }
    if (!isGaugeName(name)) continue;
    if (it->is_regular_file(ignored) || (it->is_symlink(ignored) && !it->exists(ignored)))
      gauges.append(nameOf((dir / name).string()));
  }
  if (ec)
    into.append({folder, QStringLiteral("The folder could not be read to its end: %1.")
                             .arg(QString::fromStdString(ec.message()))});
  const auto byName = [](const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) < 0;
  };
  std::sort(gauges.begin(), gauges.end(), byName);
  std::sort(folders.begin(), folders.end(), byName);
  for (const QString& g : gauges) into.append({g, {}});
  for (const QString& f : folders) gather(f, true, into);
}

// The 4-byte field at 1-based `pos`, from the held bytes when there are any.
int32_t field(const GaugeFile& g, int64_t pos) {
  if (g.bytes.empty()) return g.channel->get4(pos);
  return io::le32(&g.bytes[static_cast<size_t>(pos - 1)]);
}

// A scan hit always has its colour count inside the file; its width and height
// lie inside unless the hit is in the first 8 bytes.
Hit readHit(const GaugeFile& g, int32_t position) {
  Hit h;
  h.position = position;
  const int64_t pos = position;
  if (pos + gau::kWidthFromBmpPos >= 1) {
    h.width = field(g, pos + gau::kWidthFromBmpPos);
    h.height = field(g, pos + gau::kHeightFromBmpPos);
  }
  h.storedColors = field(g, pos + gau::kColorCountFromBmpPos);
  return h;
}

Listing listFile(const Item& item) {
  Listing l;
  l.file = item.path;
  l.error = item.error;
  if (!l.error.isEmpty()) return l;
  Result<GaugeFile> gauge = openGauge(item.path, io::OpenMode::ReadOnly, Keep::SmallFile);
  if (!gauge) {
    l.error = reason(gauge.reason());
    return l;
  }
  l.length = gauge->channel->length();
  l.hits.reserve(gauge->positions.size());
  for (const int32_t position : gauge->positions) l.hits.push_back(readHit(*gauge, position));
  return l;
}

QByteArray number(std::optional<int32_t> v) { return v ? QByteArray::number(*v) : "?"; }

// FILE <TAB> N <TAB> POSITION <TAB> WIDTHxHEIGHT <TAB> COLOURS, one line a bitmap.
QByteArray textLines(const Listing& l) {
  const QByteArray file = QByteArray::fromStdString(bytesOf(l.file));
  QByteArray out;
  int n = 0;
  for (const Hit& h : l.hits) {
    out += file + '\t' + QByteArray::number(++n) + '\t' + QByteArray::number(h.position) + '\t' +
           number(h.width) + 'x' + number(h.height) + '\t' +
           QByteArray::number(gau::colorsInUse(h.storedColors)) + '\n';
  }
  return out;
}

QJsonValue jsonNumber(std::optional<int32_t> v) { return v ? QJsonValue(*v) : QJsonValue(); }

QJsonObject jsonFile(const Listing& l) {
  QJsonArray bitmaps;
  int n = 0;
  for (const Hit& h : l.hits) {
    bitmaps.append(QJsonObject{{"number", ++n},
                               {"position", h.position},
                               {"width", jsonNumber(h.width)},
                               {"height", jsonNumber(h.height)},
                               {"colors", gau::colorsInUse(h.storedColors)},
                               {"stored_colors", h.storedColors}});
  }
  return QJsonObject{
      {"file", l.file}, {"length", static_cast<qint64>(l.length)}, {"bitmaps", bitmaps}};
}

}  // namespace

int listCommand(const QStringList& args) {
  Command cmd(QStringLiteral("list"), QStringLiteral("[--json] [-r] PATH..."),
              QStringLiteral(
                  "Lists every bitmap the scan finds in each gauge file, one line a bitmap:\n"
                  "FILE<TAB>N<TAB>POSITION<TAB>WIDTHxHEIGHT<TAB>COLOURS\n"
                  "N numbers the bitmaps as the windows do; POSITION is the 1-based position of\n"
                  "the header's signature; COLOURS is the stored colour count, 0 read as 256."));
  const QCommandLineOption json(
      QStringLiteral("json"), QStringLiteral("One JSON array of {file, length, bitmaps: [{number, "
                                             "position, width, height, colors, stored_colors}]}."));
  const QCommandLineOption recursive({QStringLiteral("r"), QStringLiteral("recursive")},
                                     QStringLiteral("Also list the gauge files of folders below."));
  cmd.parser().addOptions({json, recursive});
  cmd.parser().addPositionalArgument(
      QStringLiteral("PATH"),
      QStringLiteral("A gauge file, or a folder whose *.gau files (any case) are listed."),
      QStringLiteral("PATH..."));
  if (const std::optional<int> exit = cmd.parse(args)) return *exit;
  const QStringList paths = cmd.parser().positionalArguments();
  if (paths.isEmpty()) return cmd.usageError(QStringLiteral("name a gauge file or a folder"));

  QList<Item> items;
  for (const QString& path : paths) {
    if (std::error_code ec; std::filesystem::is_directory(bytesOf(path), ec))
      gather(path, cmd.parser().isSet(recursive), items);
    else
      items.append({path, {}});
  }

  Report report;
  Progress progress(static_cast<size_t>(items.size()));
  report.setProgress(&progress);
  const bool asJson = cmd.parser().isSet(json);
  QJsonArray files;
  inOrder(
      items, listFile,
      [&](const Listing& l) {
        if (!l.error.isEmpty())
          report.problem(l.file, l.error);
        else if (asJson)
          files.append(jsonFile(l));
        else
          report.out(textLines(l));
      },
      progress);
  if (asJson) report.out(QJsonDocument(files).toJson(QJsonDocument::Indented));
  return report.finish();
}

}  // namespace cli
