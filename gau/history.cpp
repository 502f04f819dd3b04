#include "gau/history.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "gau/change.h"
#include "io/file_channels.h"
#include "io/system.h"

namespace fs = std::filesystem;

namespace gau {
namespace {

constexpr const char* kExtension = ".change";

// The folder of one gauge's changes: history/DEVICE-FILE under the state folder.
std::string gaugeFolder(const std::string& gaugeName) {
  const std::string state = io::stateFolder();
  const std::optional<io::FileId> id = io::fileId(gaugeName);
  if (state.empty() || !id) return {};
  char key[72];
  std::snprintf(key, sizeof key, "%" PRIx64 "-%" PRIx64 "-%" PRIx64, id->device, id->file,
                id->born);
  return state + "/history/" + key;
}

std::optional<ChangeRecord> readEntry(const std::string& file, std::vector<uint8_t>* old) {
  std::string why;
  const std::unique_ptr<io::Channel> c = io::openFileChannel(file, io::OpenMode::ReadOnly, &why);
  if (!c) return std::nullopt;
  return readRecord(*c, old);
}

// Every change file in `folder`, oldest (lowest number) first.
std::vector<fs::path> changeFiles(const fs::path& folder) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->path().extension() == kExtension) files.push_back(it->path());
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
    for (const fs::path& f : changeFiles(g->path())) {
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

}  // namespace

HistoryLimits& historyLimits() {
  static HistoryLimits limits;
  return limits;
}

std::vector<HistoryEntry> historyOf(const std::string& gaugeName) {
  std::vector<HistoryEntry> out;
  const std::string folder = gaugeFolder(gaugeName);
  if (folder.empty()) return out;
  std::error_code ec;
  const auto length = static_cast<int64_t>(fs::file_size(io::pathOf(gaugeName), ec));
  if (ec) return out;
  for (const fs::path& f : changeFiles(io::pathOf(folder))) {
    const std::optional<ChangeRecord> r = readEntry(io::nameOf(f), nullptr);
    // Another length: the changes of an earlier file that had this identity.
    if (r && r->gaugeLength == length) out.push_back({*r, io::nameOf(f)});
  }
  return out;
}

bool keepInHistory(const std::string& gaugeName, const ChangeRecord& record,
                   std::span<const uint8_t> header, std::span<const uint8_t> oldBytes,
                   const std::string& journal) {
  const std::string folder = gaugeFolder(gaugeName);
  std::error_code ec;
  if (folder.empty() || (fs::create_directories(io::pathOf(folder), ec), ec)) return false;
  std::vector<fs::path> files = changeFiles(io::pathOf(folder));
  // Changes of an earlier file that had this identity are not this file's.
  if (!files.empty()) {
    const std::optional<ChangeRecord> last = readEntry(io::nameOf(files.back()), nullptr);
    if (!last || last->gaugeLength != record.gaugeLength) {
      for (const fs::path& f : files) removeQuietly(f);
      files.clear();
    }
  }
  unsigned long long next = 1;
  if (!files.empty()) next = std::strtoull(files.back().stem().string().c_str(), nullptr, 10) + 1;
  char leaf[32];
  std::snprintf(leaf, sizeof leaf, "/%012llu%s", next, kExtension);
  const std::string target = folder + leaf;

  bool kept = false;
  std::string why;
  if (!journal.empty() &&
      io::moveFile(journal, target, io::Existing::Replace, &why) == io::MoveResult::Done) {
    kept = true;
    io::syncFolderOf(journal, &why);  // the journal's going must reach the disk
  } else {
    // Written under a temporary name, so a cut-off write never passes for a change.
    const std::string temporary = folder + "/new.tmp";  // no change file until renamed
    removeQuietly(temporary);
    std::unique_ptr<io::Channel> c = io::openFileChannel(temporary, io::OpenMode::CreateNew, &why);
    kept = c && c->write(1, header) && c->write(1 + static_cast<int64_t>(header.size()), oldBytes);
    c.reset();
    kept = kept && io::moveFile(temporary, target, io::Existing::Replace, &why) ==
                       io::MoveResult::Done;
    if (!kept) removeQuietly(temporary);
  }
  if (kept) files.push_back(io::pathOf(target));
  const auto perGauge = static_cast<size_t>(std::max(historyLimits().changesPerGauge, 0));
  for (size_t i = 0; files.size() > perGauge && i < files.size() - perGauge; ++i)
    removeQuietly(files[i]);
  trimTotal(io::pathOf(io::stateFolder()) / "history", historyLimits().totalBytes);
  return kept;
}

Result<Undone> undoChange(io::Channel& gauge, const HistoryEntry& entry) {
  using R = Result<Undone>;
  std::vector<uint8_t> old;
  const std::optional<ChangeRecord> r = readEntry(entry.file, &old);
  if (!r) return R::failure(Fault::Bitmap, "The history of that change cannot be read whole.");
  ChangeNote note{"undo", r->bmpPos, r->newCrc};
  const Result<> done = changeRange(gauge, r->position, old, note);
  if (!done) return R::failure(done);
  return Undone{*r};
}

Result<Undone> undoLatest(io::Channel& gauge) {
  const std::vector<HistoryEntry> kept = historyOf(gauge.name());
  if (kept.empty())
    return Result<Undone>::failure(Fault::Bitmap, "There is no change of it to undo.");
  return undoChange(gauge, kept.back());
}

}  // namespace gau
