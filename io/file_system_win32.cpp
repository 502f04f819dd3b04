#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "io/file_system.h"

// Names arrive as bytes in UTF-8 and go to the system as UTF-16.
namespace io {
namespace {

std::filesystem::path pathOf(const std::string& name) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(name.data()), name.size()));
}

std::string utf8(const std::filesystem::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

std::wstring wide(const std::string& name) { return pathOf(name).wstring(); }

std::string lastError() {
  wchar_t* text = nullptr;
  const DWORD code = GetLastError();
  FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out = text ? utf8(std::filesystem::path(text)) : "error " + std::to_string(code);
  if (text) LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.'))
    out.pop_back();
  return out;
}

HANDLE openShared(const std::string& name, DWORD access, DWORD flags) {
  return CreateFileW(wide(name).c_str(), access,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     flags, nullptr);
}

// Windows locks are mandatory: a locked byte cannot be written through any
// other handle, the gauge channel's own included. So the lock stands on one
// byte far past any gauge's end, where no write ever goes, as SQLite's do.
OVERLAPPED lockByte() {
  OVERLAPPED at{};
  at.Offset = 0xFFFFFFFEu;
  at.OffsetHigh = 0x7FFFFFFFu;
  return at;
}

class Win32Lock final : public FileLock {
 public:
  explicit Win32Lock(HANDLE h) : h_(h) {}
  ~Win32Lock() override {
    OVERLAPPED at = lockByte();
    UnlockFileEx(h_, 0, 1, 0, &at);
    CloseHandle(h_);
  }

 private:
  HANDLE h_;
};

}  // namespace

std::optional<FileId> fileId(const std::string& name) {
  const HANDLE h = openShared(name, 0, FILE_FLAG_BACKUP_SEMANTICS);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool ok = GetFileInformationByHandle(h, &info);
  CloseHandle(h);
  if (!ok) return std::nullopt;
  return FileId{
      info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow,
      (uint64_t{info.ftCreationTime.dwHighDateTime} << 32) | info.ftCreationTime.dwLowDateTime};
}

std::unique_ptr<FileLock> lockFile(const std::string& name, std::chrono::milliseconds wait,
                                   LockOutcome* outcome, std::string* error) {
  const HANDLE h = openShared(name, GENERIC_READ | GENERIC_WRITE, FILE_ATTRIBUTE_NORMAL);
  if (h == INVALID_HANDLE_VALUE) {
    *outcome = LockOutcome::Failed;
    if (error) *error = "it could not be opened to lock it: " + lastError();
    return nullptr;
  }
  const auto until = std::chrono::steady_clock::now() + wait;
  for (;;) {
    OVERLAPPED at = lockByte();
    if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
      *outcome = LockOutcome::Held;
      return std::make_unique<Win32Lock>(h);
    }
    if (GetLastError() != ERROR_LOCK_VIOLATION) {
      *outcome = LockOutcome::Failed;
      if (error) *error = "it could not be locked: " + lastError();
      CloseHandle(h);
      return nullptr;
    }
    if (std::chrono::steady_clock::now() >= until) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  CloseHandle(h);
  *outcome = LockOutcome::Busy;
  return nullptr;
}

// NTFS writes folder entries through its own log; a created or renamed name is
// on the disk once MoveFileEx's write-through or the file's flush returns, so
// there is no folder handle to flush.
bool syncFolderOf(const std::string&, std::string*) { return true; }

bool folderWritable(const std::string& fileName) {
  std::filesystem::path folder = pathOf(fileName).parent_path();
  if (folder.empty()) folder = L".";
  const std::wstring probe = (folder / L"dialpix-probe.tmp").wstring();
  const HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_EXISTS;
  CloseHandle(h);
  return true;
}

std::string stateFolder() {
  const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
  if (!local || !*local) return {};
  return utf8(std::filesystem::path(local) / L"dialpix");
}

std::filesystem::path fsPath(const std::string& name) { return pathOf(name); }
std::string nameOf(const std::filesystem::path& path) { return utf8(path); }

bool renameFile(const std::string& from, const std::string& to, bool* crossDevice,
                std::string* error) {
  if (crossDevice) *crossDevice = false;
  if (MoveFileExW(wide(from).c_str(), wide(to).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  if (crossDevice) *crossDevice = GetLastError() == ERROR_NOT_SAME_DEVICE;
  if (error) *error = lastError();
  return false;
}

}  // namespace io
