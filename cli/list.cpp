// dialpix list: every bitmap the scan finds in each gauge file, as text lines
// or as JSON.

#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "cli/command.h"
#include "cli/commands.h"
#include "cli/gauge_file.h"
#include "cli/names.h"
#include "cli/parallel.h"
#include "cli/progress.h"
#include "cli/report.h"
#include "gau/bitmap_record.h"
#include "gau/resource_bitmap.h"
#include "io/file_names.h"
#include "io/little_endian.h"
#include "io/system.h"
#include "pe/resource_table.h"

namespace cli {
namespace {

// One gauge file to list, or a path that could not be looked into.
struct Item {
  QString path;
  QString error;
};

// The bytes of a file already read, as a channel for the resource reader.
class HeldBytes final : public io::Channel {
 public:
  explicit HeldBytes(std::span<const uint8_t> bytes) : Channel("held"), bytes_(bytes) {}

 protected:
  int64_t lengthNow() const override { return static_cast<int64_t>(bytes_.size()); }
  int64_t readAt(int64_t offset, std::span<uint8_t> out) override {
    const auto n = std::min<size_t>(out.size(), bytes_.size() - static_cast<size_t>(offset));
    std::copy_n(bytes_.begin() + offset, n, out.begin());
    return static_cast<int64_t>(n);
  }
  bool writeAt(int64_t, std::span<const uint8_t>) override { return false; }
  bool flushNow() override { return true; }

 private:
  std::span<const uint8_t> bytes_;
};

using gau::OtherBitmap;
using gau::Role;

struct Hit {
  int32_t position = 0;
  // Unknown for a hit in the first 8 bytes: the fields would lie before the file.
  std::optional<int32_t> width, height;
  int32_t storedColors = 0;
  Role role = Role::Loose;
  const pe::Resource* resource = nullptr;  // the one it lies in, unless Loose
};

// One file's lines of text or its JSON object, made on the worker thread.
struct Listing {
  QString file;
  std::string out;
  QString error;  // set when the file could not be listed
};

enum class Format { Text, Json };

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
  const fs::path dir = io::pathOf(bytesOf(folder));
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
    const std::string name = io::nameOf(it->path().filename());
    // The listing's own file types, so that only links cost a look at the disk.
    std::error_code ignored;
    if (!it->is_symlink(ignored) && it->is_directory(ignored)) {
      // Linked folders are not followed: a link back up would never end.
      if (recursive && name[0] != '.') folders.append(nameOf(io::nameOf(dir / io::pathOf(name))));
      continue;
    }
    if (!isGaugeName(name)) continue;
    if (it->is_regular_file(ignored) || (it->is_symlink(ignored) && !it->exists(ignored)))
      gauges.append(nameOf(io::nameOf(dir / io::pathOf(name))));
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

// A number appended as text, or `unknown`. The listing of many bitmaps is
// built piece by piece into a std::string, which appends with little ado.
void put(std::string& out, std::optional<int64_t> v, std::string_view unknown) {
  if (!v) {
    out += unknown;
    return;
  }
  char digits[24];
  out.append(digits, std::to_chars(digits, digits + sizeof digits, *v).ptr);
}

// The last column: "bitmap 4096", "icon 3", "inside rcdata 2", "loose".
std::string whereText(const Hit& h) { return gau::whereText({h.role, h.resource}); }

// FILE <TAB> N <TAB> POSITION <TAB> WIDTHxHEIGHT <TAB> COLOURS <TAB> WHERE, one line a bitmap.
std::string textLines(const QString& name, const std::vector<Hit>& hits,
                      const std::vector<OtherBitmap>& others) {
  const std::string file = bytesOf(quoted(name));
  std::string out;
  out.reserve(hits.size() * (file.size() + 32));
  int n = 0;
  for (const Hit& h : hits) {
    out += file;
    out += '\t';
    put(out, ++n, "");
    out += '\t';
    put(out, h.position, "");
    out += '\t';
    put(out, h.width, "?");
    out += 'x';
    put(out, h.height, "?");
    out += '\t';
    put(out, gau::colorsInUse(h.storedColors), "");
    out += '\t';
    // A resource's name is the module's own text: escaped as names are. Numbers need not be.
    const bool named = h.resource && (h.resource->name.named || h.resource->type.named);
    out += named ? bytesOf(escaped(QString::fromStdString(whereText(h)))) : whereText(h);
    out += '\n';
  }
  // The other depths: FILE <TAB> id:K <TAB> POSITION <TAB> WIDTHxHEIGHT <TAB> DEPTH <TAB> WHERE.
  for (const OtherBitmap& b : others) {
    const QString key = QString::fromStdString(gau::keyText(b.resource->name));
    out += file;
    out += '\t';
    out += bytesOf(escaped(QStringLiteral("id:") + key));
    out += '\t';
    put(out, b.dib.bmpPos(), "");
    out += '\t';
    put(out, b.dib.width, "");
    out += 'x';
    put(out, b.dib.height, "");
    out += '\t';
    out += gau::depthText(b.dib);
    out += '\t';
    out += bytesOf(escaped(QStringLiteral("bitmap ") + key));
    out += '\n';
  }
  return out;
}

std::string jsonString(const QString& text) {
  const QByteArray one = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
  return one.sliced(1, one.size() - 2).toStdString();  // without the brackets of ["..."]
}

// The file's object as an element of the listing's array, laid out as
// QJsonDocument::Indented lays it out (keys in order, four blanks a level),
// but written straight: Qt's objects cost several times the scan. Only the
// name goes through Qt's writer, for its escapes.
// A resource as {id or name, language, type}, in Qt's order of keys, at the
// depth of a bitmap's members; null for none.
void putResource(std::string& out, const pe::Resource* resource) {
  using namespace std::string_view_literals;
  if (!resource) {
    out += "null"sv;
    return;
  }
  const pe::Resource& r = *resource;
  const auto key = [&out](const pe::Key& k) {
    if (k.named)
      out += jsonString(QString::fromStdString(k.name));
    else
      put(out, k.id, {});
  };
  out += "{\n                    "sv;
  out += r.name.named ? "\"language\": "sv : "\"id\": "sv;
  key(r.name.named ? r.language : r.name);
  out += r.name.named ? ",\n                    \"name\": "sv
                      : ",\n                    \"language\": "sv;
  key(r.name.named ? r.name : r.language);
  out += ",\n                    \"type\": "sv;
  key(r.type);
  out += "\n                }"sv;
}

std::string jsonElement(const QString& name, int64_t length, const std::vector<Hit>& hits,
                        const std::optional<std::vector<OtherBitmap>>& others) {
  using namespace std::string_view_literals;
  std::string out;
  out.reserve(hits.size() * 200 + 200);
  out += "    {\n        \"bitmaps\": [\n"sv;
  int n = 0;
  for (const Hit& h : hits) {
    out += n > 0 ? ",\n            {\n                \"colors\": "sv
                 : "            {\n                \"colors\": "sv;
    put(out, gau::colorsInUse(h.storedColors), {});
    out += ",\n                \"height\": "sv;
    put(out, h.height, "null");
    out += ",\n                \"number\": "sv;
    put(out, ++n, {});
    out += ",\n                \"position\": "sv;
    put(out, h.position, {});
    out += ",\n                \"resource\": "sv;
    putResource(out, h.resource);
    out += ",\n                \"role\": \""sv;
    out += h.role == Role::Bitmap   ? "bitmap"sv
           : h.role == Role::Icon   ? "icon"sv
           : h.role == Role::Inside ? "inside"sv
                                    : "loose"sv;
    out += "\",\n                \"stored_colors\": "sv;
    put(out, h.storedColors, {});
    out += ",\n                \"width\": "sv;
    put(out, h.width, "null");
    out += "\n            }"sv;
  }
  out += n > 0 ? "\n        ],\n"sv : "        ],\n"sv;
  // "file" as the windows show the name; bytes that are no UTF-8 make that
  // another file's name, so the exact bytes come beside it.
  const std::string bytes = bytesOf(name);
  out += "        \"file\": " + jsonString(io::nameText(bytes)) + ",\n";
  if (!isUtf8(name))
    out += "        \"file_base64\": \"" +
           QByteArray::fromStdString(bytes).toBase64().toStdString() + "\",\n";
  out += "        \"length\": "sv;
  put(out, length, {});
  if (others) {
    out += others->empty() ? ",\n        \"other_bitmaps\": [\n"sv
                           : ",\n        \"other_bitmaps\": [\n"sv;
    bool first = true;
    for (const OtherBitmap& b : *others) {
      out += std::exchange(first, false) ? "            {\n"sv : ",\n            {\n"sv;
      out += "                \"bits\": "sv;
      put(out, b.dib.bits, {});
      out += ",\n                \"compression\": "sv;
      put(out, b.dib.compression, {});
      out += ",\n                \"height\": "sv;
      put(out, b.dib.height, {});
      out += ",\n                \"position\": "sv;
      put(out, b.dib.bmpPos(), {});
      out += ",\n                \"resource\": "sv;
      putResource(out, b.resource);
      out += ",\n                \"width\": "sv;
      put(out, b.dib.width, {});
      out += "\n            }"sv;
    }
    out += others->empty() ? "        ]"sv : "\n        ]"sv;
  }
  out += "\n    }"sv;
  return out;
}

Listing listFile(const Item& item, Format format, bool all) {
  Listing l{item.path, {}, item.error};
  if (!l.error.isEmpty()) return l;
  Result<GaugeFile> gauge = openGauge(item.path, io::OpenMode::ReadOnly, Keep::SmallFile);
  if (!gauge) {
    l.error = reason(gauge.reason());
    return l;
  }
  // A file that is no Windows module, or whose resource table is spoiled,
  // has its hits listed as loose, as the scan alone sees them. A file held
  // whole is read where it lies.
  Result<pe::ResourceTable> table =
      gauge->bytes.empty() ? pe::readResourceTable(*gauge->channel) : [&] {
        HeldBytes held(gauge->bytes);
        return pe::readResourceTable(held);
      }();
  if (!table) table = pe::ResourceTable{};
  const pe::ResourceIndex index(*table);
  std::vector<Hit> hits;
  hits.reserve(gauge->positions.size());
  for (const int32_t position : gauge->positions) {
    hits.push_back(readHit(*gauge, position));
    const gau::Placed placed = gau::placeHit(position, *table, index);
    hits.back().role = placed.role;
    hits.back().resource = placed.resource;
  }
  std::optional<std::vector<OtherBitmap>> others;
  if (all) others = gau::otherBitmaps(*gauge->channel, *table, gauge->positions);
  l.out = format == Format::Json
              ? jsonElement(item.path, gauge->channel->length(), hits, others)
              : textLines(item.path, hits, others.value_or(std::vector<OtherBitmap>{}));
  return l;
}

}  // namespace

int listCommand(const QStringList& args) {
  Command cmd(QStringLiteral("list"), QStringLiteral("[--json] [-r] [--all] PATH..."),
              QStringLiteral(
                  "Lists every bitmap the scan finds in each gauge file, one line a bitmap:\n"
                  "FILE<TAB>N<TAB>POSITION<TAB>WIDTHxHEIGHT<TAB>COLOURS<TAB>WHERE\n"
                  "N numbers the bitmaps as the windows do; POSITION is the 1-based position of\n"
                  "the header's signature; COLOURS is the stored colour count, 0 read as 256;\n"
                  "WHERE is the resource the bitmap is (\"bitmap 4096\", \"icon 3\"), lies inside\n"
                  "(\"inside rcdata 2\"), or \"loose\" in no resource.\n"
                  "A FILE with control characters, or starting with \", is written in double\n"
                  "quotes with C escapes, as git writes such names."));
  const QCommandLineOption json(
      QStringLiteral("json"),
      QStringLiteral("One JSON array of {file, length, bitmaps: [{number, position, width, "
                     "height, colors, stored_colors, resource: {type, id or name, language} or "
                     "null, role: bitmap, icon, inside or loose}]}; a name that is not UTF-8 "
                     "also gets file_base64, its bytes."));
  const QCommandLineOption recursive({QStringLiteral("r"), QStringLiteral("recursive")},
                                     QStringLiteral("Also list the gauge files of folders below."));
  const QCommandLineOption allDepths(
      QStringLiteral("all"),
      QStringLiteral("Also list the bitmap resources of other depths (1, 4, 16, 24, 32 bits, "
                     "compressed, other headers), by id: FILE<TAB>id:K<TAB>POSITION<TAB>"
                     "WIDTHxHEIGHT<TAB>DEPTH<TAB>WHERE; in --json as other_bitmaps: [{resource, "
                     "position, width, height, bits, compression}]."));
  cmd.addOptions({json, recursive, allDepths});
  cmd.parser().addPositionalArgument(
      QStringLiteral("PATH"),
      QStringLiteral("A gauge file, or a folder whose *.gau files (any case) are listed."),
      QStringLiteral("PATH..."));
  if (const std::optional<int> exit = cmd.parse(args)) return *exit;
  const QStringList paths = cmd.parser().positionalArguments();
  if (paths.isEmpty()) return cmd.usageError(QStringLiteral("name a gauge file or a folder"));

  QList<Item> items;
  QStringList withoutGauges;
  for (const QString& path : paths) {
    if (std::error_code ec; std::filesystem::is_directory(io::pathOf(bytesOf(path)), ec)) {
      const qsizetype before = items.size();
      gather(path, cmd.parser().isSet(recursive), items);
      if (items.size() == before) withoutGauges << path;
    } else {
      items.append({path, {}});
    }
  }

  Report report;
  for (const QString& folder : withoutGauges)  // said, but an empty folder is no failure
    report.note(folder, QStringLiteral("It holds no gauge file (*.gau), so nothing was listed."));
  Progress progress(static_cast<size_t>(items.size()));
  report.setProgress(&progress);
  const Format format = cmd.parser().isSet(json) ? Format::Json : Format::Text;
  const bool all = cmd.parser().isSet(allDepths);
  // The JSON array goes out a file at a time, as the text does.
  bool first = true;
  if (format == Format::Json) report.out("[\n");
  inOrder(
      items, [format, all](const Item& item) { return listFile(item, format, all); },
      [&](const Listing& l) {
        if (!l.error.isEmpty()) {
          report.problem(l.file, l.error);
          return;
        }
        if (format == Format::Json && !std::exchange(first, false)) report.out(",\n");
        report.out(QByteArray::fromRawData(l.out.data(), static_cast<qsizetype>(l.out.size())));
      },
      progress);
  if (format == Format::Json) report.out(first ? "]\n" : "\n]\n");
  return report.finish();
}

}  // namespace cli
