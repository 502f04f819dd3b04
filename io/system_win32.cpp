// The Win32 side of io/system.h and of the file channels. Names arrive as
// UTF-8 and go to the system as UTF-16 (the W functions), never through the
// ANSI code page, so every name a Windows folder holds can be opened.

// windows.h comes before the other Win32 headers, which rely on it.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <thread>

#include "io/file_channels.h"
#include "io/system.h"

namespace io {
namespace {

std::wstring wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
  return w;
}

std::string utf8(const wchar_t* w, size_t length) {
  if (length == 0) return {};
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(length), s.data(), n, nullptr, nullptr);
  return s;
}

// The system's reason in the words the POSIX side uses for the same cases,
// so that messages read alike on both systems.
std::string reason(DWORD code) {
  switch (code) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      // The simulator keeps the gauges it has loaded open and shares them with nobody.
      return "another program holds the file open (a flight simulator keeps the gauge files "
             "it has loaded open); close that program and try again";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return "No such file or directory";
    case ERROR_ACCESS_DENIED:
      return "Permission denied";
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return "File exists";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return "No space left on device";
    case ERROR_WRITE_PROTECT:
      return "Read-only file system";
    default:
      break;
  }
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string s = n ? utf8(text, n) : std::string();
  LocalFree(text);
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == '.' || s.back() == ' '))
    s.pop_back();
  return s.empty() ? "system error " + std::to_string(code) : s;
}

OVERLAPPED at(int64_t offset) {
  OVERLAPPED o{};
  o.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset) & 0xffffffffu);
  o.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
  return o;
}

// Reads and writes are issued in parts that fit a DWORD.
constexpr size_t kPart = size_t{1} << 30;

class Win32Channel final : public Channel {
 public:
  Win32Channel(HANDLE h, std::string name) : Channel(std::move(name)), h_(h) {}
  ~Win32Channel() override { CloseHandle(h_); }

  // The file this handle holds against a fresh open of the name: the same
  // volume serial number and file index are the same file.
  AtName atName() const override {
    const HANDLE named = CreateFileW(wide(name()).c_str(), 0,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (named == INVALID_HANDLE_VALUE) {
      // A deleted file is gone from its folder at once, or waits for its last handle.
      FILE_STANDARD_INFO info{};
      return GetFileInformationByHandleEx(h_, FileStandardInfo, &info, sizeof info) &&
                     !info.DeletePending && info.NumberOfLinks > 0
                 ? AtName::Moved
                 : AtName::Removed;
    }
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    const bool ok = GetFileInformationByHandle(h_, &a) && GetFileInformationByHandle(named, &b);
    CloseHandle(named);
    if (!ok) return AtName::Removed;
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                   a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow
               ? AtName::Same
               : AtName::Replaced;
  }

 protected:
  int64_t lengthNow() const override {
    LARGE_INTEGER size{};
    if (GetFileSizeEx(h_, &size)) return size.QuadPart;
    fail("its length cannot be read: " + reason(GetLastError()));
    return -1;
  }

  bool flushNow() override {
    if (FlushFileBuffers(h_)) return true;
    fail("it could not be flushed to the disk: " + reason(GetLastError()));
    return false;
  }

  int64_t readAt(int64_t offset, std::span<uint8_t> out) override {
    size_t done = 0;
    while (done < out.size()) {
      const int64_t where = offset + static_cast<int64_t>(done);
      OVERLAPPED o = at(where);
      DWORD got = 0;
      const auto want = static_cast<DWORD>(std::min(out.size() - done, kPart));
      if (!ReadFile(h_, out.data() + done, want, &got, &o) && GetLastError() != ERROR_HANDLE_EOF) {
        fail(reason(GetLastError()));
        break;
      }
      if (got == 0) {
        fail("the file ended at byte " + std::to_string(where) + ", before its length says");
        break;
      }
      done += got;
    }
    return static_cast<int64_t>(done);
  }

  bool writeAt(int64_t offset, std::span<const uint8_t> bytes) override {
    size_t done = 0;
    while (done < bytes.size()) {
      OVERLAPPED o = at(offset + static_cast<int64_t>(done));
      DWORD put = 0;
      const auto want = static_cast<DWORD>(std::min(bytes.size() - done, kPart));
      if (!WriteFile(h_, bytes.data() + done, want, &put, &o)) {
        fail(reason(GetLastError()));
        return false;
      }
      if (put == 0) {
        fail("the disk took no more bytes");
        return false;
      }
      done += put;
    }
    return true;
  }

  bool truncateAt(int64_t length) override {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = length;
    if (SetFileInformationByHandle(h_, FileEndOfFileInfo, &end, sizeof end)) return true;
    fail("it could not be cut short: " + reason(GetLastError()));
    return false;
  }

 private:
  HANDLE h_;
};

}  // namespace

// The read-only attribute: Windows refuses to write such a file, administrators
// included; wine run by root would not, so it is said here for both.
bool writePermitted(const std::string& name) {
  const DWORD a = GetFileAttributesW(wide(name).c_str());
  return a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY) ||
         !(a & FILE_ATTRIBUTE_READONLY);
}

std::unique_ptr<Channel> openFileChannel(const std::string& name, OpenMode mode,
                                         std::string* error) {
  DWORD access = GENERIC_READ | GENERIC_WRITE;
  DWORD disposition = OPEN_EXISTING;
  if (mode == OpenMode::ReadOnly) access = GENERIC_READ;
  if (mode == OpenMode::CreateNew) disposition = CREATE_NEW;
  const std::wstring w = wide(name);
  if (mode == OpenMode::ReadWriteExisting && !writePermitted(name)) {
    if (error) *error = "it is read-only";
    return nullptr;
  }
  // Shared as POSIX shares: the program itself may hold a file twice, and an
  // export may replace a .BMP another window still reads.
  HANDLE h = CreateFileW(w.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    const DWORD attributes = GetFileAttributesW(w.c_str());
    if (error)
      *error = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)
                   ? "it is not a regular file"
                   : reason(code);
    return nullptr;
  }
  // Devices (CON, NUL) and pipes are not files.
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    if (error) *error = "it is not a regular file";
    return nullptr;
  }
  auto channel = std::make_unique<Win32Channel>(h, name);
  channel->setReadOnly(mode == OpenMode::ReadOnly);
  channel->setOnDisk(true);
  return channel;
}

bool deleteFile(const std::string& name, std::string* error) {
  if (DeleteFileW(wide(name).c_str())) return true;
  if (error) *error = reason(GetLastError());
  return false;
}

bool namesAreUtf8() { return true; }

System thisSystem() { return System::Windows; }

std::vector<std::string> arguments(int argc, char** argv) {
  int n = 0;
  wchar_t** w = CommandLineToArgvW(GetCommandLineW(), &n);
  if (!w) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> args;
  for (int i = 0; i < n; ++i) args.push_back(utf8(w[i], wcslen(w[i])));
  LocalFree(w);
  return args;
}

std::filesystem::path pathOf(const std::string& name) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(name.data()), name.size()));
}

std::string nameOf(const std::filesystem::path& path) {
  const std::wstring& w = path.native();
  return utf8(w.data(), w.size());
}

std::string ownName(const std::string& name) {
  // A wildcard would find some other file; no file's name holds one.
  if (name.find_first_of("*?") == std::string::npos) {
    WIN32_FIND_DATAW found{};
    const HANDLE h = FindFirstFileExW(wide(name).c_str(), FindExInfoBasic, &found,
                                      FindExSearchNameMatch, nullptr, 0);
    if (h != INVALID_HANDLE_VALUE) {
      FindClose(h);
      return utf8(found.cFileName, wcslen(found.cFileName));
    }
  }
  return nameOf(pathOf(name).filename());
}

std::string folderOf(const std::string& name) {
  const size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) return name.substr(0, slash + 1);
  return name.size() >= 2 && name[1] == ':' ? name.substr(0, 2) : std::string();  // "C:x.bmp"
}

FileKind kindOf(const std::string& name) {
  const DWORD a = GetFileAttributesW(wide(name).c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return FileKind::Missing;
  if (a & FILE_ATTRIBUTE_DIRECTORY) return FileKind::Folder;
  return (a & FILE_ATTRIBUTE_DEVICE) ? FileKind::Other : FileKind::Regular;
}

bool nameTaken(const std::string& name) {
  return GetFileAttributesW(wide(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace io

// ntdll's own test, which the name lookup uses: the set of reserved names and
// how an extension counts differ between versions of Windows.
extern "C" __declspec(dllimport) ULONG NTAPI RtlIsDosDeviceName_U(PCWSTR name);

namespace io {

bool reservedForDevice(const std::string& name) {
  return !name.empty() && RtlIsDosDeviceName_U(wide(name).c_str()) != 0;
}

bool isLink(const std::string& name) {
  const DWORD a = GetFileAttributesW(wide(name).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT);
}

MoveResult moveFile(const std::string& from, const std::string& to, Existing existing,
                    std::string* error) {
  // std::rename never replaces here; MoveFileExW does, in one step, and with
  // write-through it returns only once the rename is on the disk.
  DWORD flags = MOVEFILE_WRITE_THROUGH;
  if (existing == Existing::Replace) flags |= MOVEFILE_REPLACE_EXISTING;
  if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), flags)) return MoveResult::Done;
  const DWORD code = GetLastError();
  if (existing == Existing::Keep && (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS))
    return MoveResult::TargetExists;
  if (error) *error = reason(code);
  return MoveResult::Failed;
}

// NTFS writes folder entries through its own log; a created or renamed name is
// on the disk once MoveFileEx's write-through or the file's flush returns, so
// there is no folder handle to flush.
bool syncFolderOf(const std::string&, std::string*) { return true; }

uint64_t processId() { return GetCurrentProcessId(); }

bool processRunning(uint64_t id) {
  const HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id));
  if (!h) return GetLastError() == ERROR_ACCESS_DENIED;  // another user's
  const bool running = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
  CloseHandle(h);
  return running;
}

namespace {

void (*interruptCleanUp)() = nullptr;

// Runs on a thread of its own; returning FALSE lets the default handler end
// the program as the interruption would have.
BOOL WINAPI interrupted(DWORD) {
  interruptCleanUp();
  return FALSE;
}

}  // namespace

void onInterrupt(void (*cleanUp)()) {
  interruptCleanUp = cleanUp;
  SetConsoleCtrlHandler(interrupted, TRUE);
}

void removeNow(const char* name) {
  wchar_t w[32768];
  const int n = MultiByteToWideChar(CP_UTF8, 0, name, -1, w, 32768);
  if (n > 0) DeleteFileW(w);
}

std::string ownProgram() {
  std::wstring path(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  return utf8(path.data(), n);
}

namespace {

// One argument as CommandLineToArgvW reads it back.
void appendQuoted(std::wstring& line, const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += arg;
    return;
  }
  line += L'"';
  for (auto it = arg.begin();; ++it) {
    size_t backslashes = 0;
    while (it != arg.end() && *it == L'\\') ++it, ++backslashes;
    if (it == arg.end()) {
      line.append(backslashes * 2, L'\\');
      break;
    }
    line.append(*it == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    line += *it;
  }
  line += L'"';
}

}  // namespace

namespace {

// How dialpix.exe learns that dialpix.com waits for it, and the mark on its
// statuses then: a process ended from outside gets whatever status the killer
// chose (taskkill /F gives 1, wine's 0), never one of these.
constexpr const wchar_t* kHandedOver = L"DIALPIX_HANDED_OVER";
constexpr DWORD kStatusMark = 0x44500000;  // "DP"
constexpr DWORD kStatusRange = 256;

}  // namespace

int handedOverStatus(int status) {
  if (GetEnvironmentVariableW(kHandedOver, nullptr, 0) == 0) return status;
  return static_cast<int>(kStatusMark + (static_cast<DWORD>(status) & (kStatusRange - 1)));
}

HandOverEnd handOver(const std::string& program, const std::vector<std::string>& args, int* status,
                     std::string* why) {
  const std::wstring path = wide(program);
  std::wstring line;
  appendQuoted(line, path);
  for (size_t i = 1; i < args.size(); ++i) {
    line += L' ';
    appendQuoted(line, wide(args[i]));
  }
  // The companion is a windows program: it gets this console's handles, so
  // its output appears here and the shell waits for its exit status.
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  HANDLE* std[] = {&si.hStdInput, &si.hStdOutput, &si.hStdError};
  const DWORD which[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  for (int i = 0; i < 3; ++i) {
    *std[i] = GetStdHandle(which[i]);
    if (*std[i] && *std[i] != INVALID_HANDLE_VALUE)
      SetHandleInformation(*std[i], HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  }
  // The companion ends with this program: in a job that is killed when this
  // process goes, however it goes, so a script that kills dialpix.com never
  // leaves dialpix.exe writing on into a gauge file.
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  }
  PROCESS_INFORMATION pi{};
  SetEnvironmentVariableW(kHandedOver, L"1");  // inherited by the companion alone
  const bool started = CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, TRUE,
                                      CREATE_SUSPENDED, nullptr, nullptr, &si, &pi);
  const DWORD startError = GetLastError();
  SetEnvironmentVariableW(kHandedOver, nullptr);
  if (!started) {
    *why = reason(startError);
    if (job) CloseHandle(job);
    return HandOverEnd::NotStarted;
  }
  if (job) AssignProcessToJobObject(job, pi.hProcess);
  ResumeThread(pi.hThread);
  CloseHandle(pi.hThread);
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  const bool known = GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  if (job) CloseHandle(job);
  if (known && code >= kStatusMark && code < kStatusMark + kStatusRange) {
    *status = static_cast<int>(code - kStatusMark);
    return HandOverEnd::Finished;
  }
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%lX", static_cast<unsigned long>(code));
  *why = known ? "exit code " + std::string(code < 256 ? std::to_string(code) : hex)
               : "its exit code is unknown";
  return HandOverEnd::Stopped;
}

void rawStandardStreams() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

bool stderrIsTerminal() {
  HANDLE h = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(h, &mode)) return false;
  // The progress bar erases its line with ESC [K.
  SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  return true;
}

int terminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
    return info.srWindow.Right - info.srWindow.Left + 1;
  return 80;
}

void* mapZeroed(size_t bytes) {
  return VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

void releaseZeroed(void* start, size_t) { VirtualFree(start, 0, MEM_RELEASE); }

bool holdStandardStreams() { return true; }  // files are handles, never a stream's number

std::string windowPlatform() { return "windows:fontengine=directwrite"; }

namespace {

// Wine's desktop names its display device, whose key says which graphics
// driver wine loaded for it, or why it loaded none (no X server, the driver
// turned off). True where that is not said (Windows itself).
bool wineHasGraphicsDriver(std::string* why) {
  const auto atom = static_cast<ATOM>(
      reinterpret_cast<uintptr_t>(GetPropW(GetDesktopWindow(), L"__wine_display_device_guid")));
  wchar_t guid[64];
  if (atom == 0 || GlobalGetAtomNameW(atom, guid, 64) == 0) return true;
  const std::wstring key =
      L"System\\CurrentControlSet\\Control\\Video\\{" + std::wstring(guid) + L"}\\0000";
  const auto text = [&key](const wchar_t* value) -> std::optional<std::string> {
    wchar_t buffer[512];
    DWORD size = sizeof buffer;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), value, RRF_RT_REG_SZ, nullptr, buffer,
                     &size) != ERROR_SUCCESS)
      return std::nullopt;
    return utf8(buffer, wcslen(buffer));
  };
  if (const std::optional<std::string> driver = text(L"GraphicsDriver")) {
    if (*driver != "null") return true;
    *why = "wine runs with its null graphics driver, which shows nothing";
    return false;
  }
  std::optional<std::string> error = text(L"DriverError");
  if (!error) return true;  // a wine that says neither: let Qt try
  while (!error->empty() && (error->back() == '.' || error->back() == ' ')) error->pop_back();
  *why = "wine has no graphics driver (" + *error + ")";
  return false;
}

}  // namespace

// Windows shows windows on the interactive window station alone: a service,
// or a task set to run whether a user is logged on or not, gets one whose
// desktop nobody sees, and the windows would wait there for a user who never
// comes. So does wine without a graphics driver.
bool displayReachable(std::string* why) {
  // A platform chosen by name other than the desktop's own (offscreen, minimal) needs no display.
  if (const wchar_t* platform = _wgetenv(L"QT_QPA_PLATFORM");
      platform && *platform && std::wcsncmp(platform, L"windows", 7) != 0)
    return true;
  USEROBJECTFLAGS flags{};
  if (GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags,
                                nullptr) &&
      !(flags.dwFlags & WSF_VISIBLE)) {
    *why =
        "this session has no desktop that anyone sees (a service, or a task that runs "
        "whether a user is logged on or not)";
    return false;
  }
  return wineHasGraphicsDriver(why);
}

namespace {

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
  // No birth time: NTFS's file index carries a sequence number that changes
  // when a record is reused, so it tells a later file apart by itself, while
  // the creation time is not steady everywhere (wine reports the last status
  // change there, which every write moves).
  return FileId{info.dwVolumeSerialNumber,
                (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow, 0};
}

std::unique_ptr<FileLock> lockFile(const std::string& name, std::chrono::milliseconds wait,
                                   LockOutcome* outcome, std::string* error) {
  const HANDLE h = openShared(name, GENERIC_READ | GENERIC_WRITE, FILE_ATTRIBUTE_NORMAL);
  if (h == INVALID_HANDLE_VALUE) {
    *outcome = LockOutcome::Failed;
    if (error)
      *error = "it could not be opened for the lock that keeps changes one at a time: " +
               reason(GetLastError());
    return nullptr;
  }
  const auto until = std::chrono::steady_clock::now() + wait;
  for (;;) {
    OVERLAPPED at = lockByte();
    if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
      *outcome = LockOutcome::Held;
      return std::make_unique<Win32Lock>(h);
    }
    if (const DWORD code = GetLastError(); code != ERROR_LOCK_VIOLATION) {
      *outcome = LockOutcome::Failed;
      if (error) *error = "it could not be locked: " + reason(code);
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

std::optional<std::string> realName(const std::string& name) {
  const HANDLE h = openShared(name, 0, FILE_FLAG_BACKUP_SEMANTICS);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetFinalPathNameByHandleW(h, path.data(), static_cast<DWORD>(path.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) {
      CloseHandle(h);
      return std::nullopt;
    }
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(n + 1);
  }
  CloseHandle(h);
  // \\?\C:\x -> C:\x, \\?\UNC\server\share -> \\server\share
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0)
    path = L"\\\\" + path.substr(8);
  else if (path.rfind(L"\\\\?\\", 0) == 0)
    path = path.substr(4);
  return utf8(path.data(), path.size());
}

bool ownedByUserOrOwnerOf(const std::string&, const std::string&) { return true; }

bool removable(const std::string& name) { return folderWritable(name); }

void limitPermissions(const std::string&, const std::string&) {}

void makePrivateFolder(const std::string&) {}

std::string stateFolder() {
  const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
  if (!local || !*local) return {};
  return nameOf(std::filesystem::path(local) / L"dialpix");
}

}  // namespace io
