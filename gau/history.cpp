#include "gau/history.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

#include "io/file_channels.h"
#include "io/system.h"

namespace fs = std::filesystem;

namespace gau {
namespace {

constexpr const char* kExtension = ".change";
constexpr const char* kDamaged = ".damaged";

std::string historyRoot() {
  const std::string state = io::stateFolder();
  return state.empty() ? state : state + "/history";
}

// The folder of one gauge's changes: history/DEVICE-FILE-BIRTH under the state folder.
std::string gaugeFolder(const std::string& gaugeName) {
  const std::string root = historyRoot();
  const std::optional<io::FileId> id = io::fileId(gaugeName);
  if (root.empty() || !id) return {};
  char key[72];
  std::snprintf(key, sizeof key, "%" PRIx64 "-%" PRIx64 "-%" PRIx64, id->device, id->file,
                id->born);
  return root + "/" + key;
}

std::optional<int64_t> lengthOf(const std::string& name) {
  std::error_code ec;
  const auto length = fs::file_size(io::pathOf(name), ec);
  if (ec) return std::nullopt;
  return static_cast<int64_t>(length);
}

ReadRecord readEntry(const std::string& file, int64_t gaugeLength, RecordBytes* bytes) {
  std::string why;
  const std::unique_ptr<io::Channel> c = io::openFileChannel(file, io::OpenMode::ReadOnly, &why);
  if (!c) return {};  // a FIFO, a folder, a file gone: no entry
  return readRecord(*c, Form::History, bytes, gaugeLength);
}

// Every file in `folder` with `extension`, oldest (lowest number) first.
std::vector<fs::path> filesOf(const fs::path& folder, const char* extension) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->path().extension() == extension) files.push_back(it->path());
  std::sort(files.begin(), files.end());
  return files;
}

void removeQuietly(const fs::path& p) {
  std::error_code ec;
  fs::remove(p, ec);
}

// Drops the oldest changes of every gauge while all of them together pass the limit.
void trimTotal(const fs::path& history, int64_t limit) {
  struct Kept {
    fs::file_time_type time;
    fs::path path;
    uintmax_t size;
  };
  std::vector<Kept> all;
  uintmax_t total = 0;
  std::error_code ec;
  for (fs::directory_iterator g(history, ec), end; !ec && g != end; g.increment(ec))
    for (const fs::path& f : filesOf(g->path(), kExtension)) {
      std::error_code e2;
      const uintmax_t size = fs::file_size(f, e2);
      const fs::file_time_type time = fs::last_write_time(f, e2);
      if (e2) continue;
      all.push_back({time, f, size});
      total += size;
    }
  if (total <= static_cast<uintmax_t>(limit)) return;
  std::sort(all.begin(), all.end(), [](const Kept& a, const Kept& b) {
    return a.time != b.time ? a.time < b.time : a.path < b.path;
  });
  for (const Kept& k : all) {
    if (total <= static_cast<uintmax_t>(limit)) break;
    removeQuietly(k.path);
    total -= k.size;
  }
}

std::mutex holdMutex;
std::multiset<std::string> held;  // gauge folders whose trimming waits

bool trimHeld() {
  const std::lock_guard<std::mutex> hold(holdMutex);
  return !held.empty();
}

void trim(const fs::path& folder) {
  if (trimHeld()) return;
  std::vector<fs::path> files = filesOf(folder, kExtension);
  const auto perGauge = static_cast<size_t>(std::max(historyLimits().changesPerGauge, 0));
  for (size_t i = 0; files.size() > perGauge && i < files.size() - perGauge; ++i)
    removeQuietly(files[i]);
  trimTotal(io::pathOf(historyRoot()), historyLimits().totalBytes);
}

// The changes kept in `folder` for a file of `length` bytes, oldest first;
// entries that do not read whole are moved aside. From the newest back, each
// must have left the file at the length the next one found: one of another
// length, and all before it, belong to an earlier file that had this identity.
std::vector<HistoryEntry> readFolder(const std::string& folder, int64_t length) {
  std::vector<HistoryEntry> out;
  const std::vector<fs::path> files = filesOf(io::pathOf(folder), kExtension);
  for (auto f = files.rbegin(); f != files.rend(); ++f) {
    const ReadRecord r = readEntry(io::nameOf(*f), length, nullptr);
    if (r.state == RecordState::Whole) {
      out.push_back({r.record, io::nameOf(*f)});
      length = r.record.gaugeLength;
    } else if (r.state == RecordState::OtherLength) {
      break;
    } else {
      std::error_code ec;
      fs::path aside = *f;
      fs::rename(*f, aside.replace_extension(kDamaged), ec);
    }
  }
  std::reverse(out.begin(), out.end());
  return out;
}

// The newest change kept in `folder` that reads whole, reading no more than
// it must (a change looks at it every time); damaged ones above it are moved
// aside. Nothing when there is none, or the newest is of another length.
std::optional<HistoryEntry> newestEntry(const std::string& folder, int64_t length) {
  const std::vector<fs::path> files = filesOf(io::pathOf(folder), kExtension);
  for (auto f = files.rbegin(); f != files.rend(); ++f) {
    const ReadRecord r = readEntry(io::nameOf(*f), length, nullptr);
    if (r.state == RecordState::Whole) return HistoryEntry{r.record, io::nameOf(*f)};
    if (r.state == RecordState::OtherLength) return std::nullopt;
    std::error_code ec;
    fs::path aside = *f;
    fs::rename(*f, aside.replace_extension(kDamaged), ec);
  }
  return std::nullopt;
}

// Whether the file holds the bytes `r` wrote; `current` holds what lies at
// `pos` on, read already.
bool holds(io::Channel& gauge, const ChangeRecord& r, int64_t pos,
           std::span<const uint8_t> current) {
  uint32_t crc = crc32Of({});
  std::vector<uint8_t> read;
  for (const Run& run : r.writtenRuns()) {
    const int64_t at = r.position + run.offset;
    std::span<const uint8_t> now;
    if (at >= pos && at + run.length <= pos + static_cast<int64_t>(current.size())) {
      now = current.subspan(static_cast<size_t>(at - pos), run.length);
    } else {
      read.resize(run.length);
      if (gauge.read(at, read) != read.size()) return false;
      now = read;
    }
    crc = crc32Continued(crc, now);
  }
  return crc == r.newCrc;
}

// Whether a damaged entry lies above the newest whole one, `newest`: the file
// then holds that change's bytes, which cannot be known, so the older changes
// are kept and each undo checks its own bytes, rather than all of them being
// given up.
bool damagedOnTop(const std::string& folder, const std::string& newest) {
  const std::vector<fs::path> damaged = filesOf(io::pathOf(folder), kDamaged);
  return !damaged.empty() && damaged.back().stem() > io::pathOf(newest).stem();
}

}  // namespace

HistoryLimits& historyLimits() {
  static HistoryLimits limits;
  return limits;
}

History historyFor(const std::string& gaugeName) {
  History h;
  const std::string folder = gaugeFolder(gaugeName);
  const std::optional<int64_t> length = lengthOf(gaugeName);
  if (folder.empty() || !length) return h;
  h.entries = readFolder(folder, *length);
  for (const fs::path& f : filesOf(io::pathOf(folder), kDamaged))
    h.setAside.push_back(io::nameOf(f));
  if (h.entries.empty() || damagedOnTop(folder, h.entries.back().file)) return h;
  std::string why;
  const std::unique_ptr<io::Channel> gauge =
      io::openFileChannel(gaugeName, io::OpenMode::ReadOnly, &why);
  if (!gauge || !holds(*gauge, h.entries.back().record, 1, {})) {
    h.notHeld = static_cast<int>(h.entries.size());
    h.entries.clear();
  }
  return h;
}

std::vector<HistoryEntry> historyOf(const std::string& gaugeName) {
  return historyFor(gaugeName).entries;
}

void dropUnheldHistory(const std::string& gaugeName, io::Channel& gauge, const ChangeRecord& next,
                       std::span<const uint8_t> current) {
  const std::string folder = gaugeFolder(gaugeName);
  if (folder.empty()) return;
  const std::optional<HistoryEntry> top = newestEntry(folder, gauge.length());
  if (!top || damagedOnTop(folder, top->file)) return;
  const ChangeRecord& newest = top->record;
  // The same runs again (an import over the last one): their checksum is known.
  if (newest.kind == RecordKind::Range && next.kind == RecordKind::Range &&
              newest.position == next.position && newest.runs == next.runs
          ? newest.newCrc == next.oldCrc
          : holds(gauge, newest, next.position, current))
    return;
  for (const fs::path& f : filesOf(io::pathOf(folder), kExtension)) removeQuietly(f);
}

bool keepInHistory(const std::string& gaugeName, const ChangeRecord& record,
                   std::span<const uint8_t> prefix, std::span<const uint8_t> before,
                   const std::string& journal, std::string* why) {
  const auto failed = [&](std::string reason) {
    *why = std::move(reason);
    return false;
  };
  const std::string folder = gaugeFolder(gaugeName);
  if (folder.empty()) return failed("no folder for the program's state is set");
  std::error_code ec;
  fs::create_directories(io::pathOf(folder), ec);
  if (ec || io::kindOf(folder) != io::FileKind::Folder)
    return failed("its folder " + folder + " cannot be made: " +
                  (ec ? ec.message() : std::string("something else has its name")));
  io::makePrivateFolder(historyRoot());
  io::makePrivateFolder(folder);
  // Entries that left the file at another length belong to an earlier file that had this identity.
  if (const std::vector<fs::path> files = filesOf(io::pathOf(folder), kExtension);
      !files.empty() && !newestEntry(folder, record.gaugeLength))
    for (const fs::path& f : filesOf(io::pathOf(folder), kExtension)) removeQuietly(f);
  // Numbers go on past every file there, damaged ones included.
  unsigned long long next = 1;
  for (const char* extension : {kExtension, kDamaged})
    for (const fs::path& f : filesOf(io::pathOf(folder), extension))
      next = std::max(next, std::strtoull(f.stem().string().c_str(), nullptr, 10) + 1);
  char leaf[32];
  std::snprintf(leaf, sizeof leaf, "/%012llu%s", next, kExtension);
  const std::string target = folder + leaf;

  bool kept1 = false;
  std::string error;
  const auto historyBytes = static_cast<uintmax_t>(prefix.size() + before.size());
  if (!journal.empty() &&
      io::moveFile(journal, target, io::Existing::Replace, &error) == io::MoveResult::Done) {
    kept1 = true;
    io::syncFolderOf(journal, &error);  // the journal's going must reach the disk
    fs::resize_file(io::pathOf(target), historyBytes, ec);  // the new bytes stay behind
  } else {
    // Written under a temporary name, so a cut-off write never passes for a change.
    const std::string temporary = folder + "/new.tmp";  // no change file until renamed
    removeQuietly(io::pathOf(temporary));
    std::unique_ptr<io::Channel> c =
        io::openFileChannel(temporary, io::OpenMode::CreateNew, &error);
    if (c) io::limitPermissions(temporary, gaugeName);
    kept1 = c && c->write(1, prefix) && c->write(1 + static_cast<int64_t>(prefix.size()), before);
    if (c && !kept1) error = c->error();
    c.reset();
    kept1 = kept1 &&
            io::moveFile(temporary, target, io::Existing::Replace, &error) == io::MoveResult::Done;
    if (!kept1) removeQuietly(io::pathOf(temporary));
  }
  trim(io::pathOf(folder));
  return kept1 ? true : failed("it could not be written to " + folder + ": " + error);
}

HistoryTrimHold::HistoryTrimHold(std::string gaugeName) : gaugeName_(std::move(gaugeName)) {
  const std::lock_guard<std::mutex> hold(holdMutex);
  held.insert(gaugeName_);
}

HistoryTrimHold::~HistoryTrimHold() {
  {
    const std::lock_guard<std::mutex> hold(holdMutex);
    held.erase(held.find(gaugeName_));
  }
  if (const std::string folder = gaugeFolder(gaugeName_); !folder.empty()) trim(io::pathOf(folder));
}

}  // namespace gau
