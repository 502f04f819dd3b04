#pragma once
// What differs between the systems, in one place: io/system_posix.cpp and
// io/system_win32.cpp each implement all of it (with the file channels'
// openFileChannel, deleteFile, writePermitted and atName), and the build takes
// one of the two.
//
// Names are std::string throughout the program: the file system's own bytes on
// POSIX, UTF-8 on Windows, where the Win32 unit turns them into UTF-16 at every
// call, so no name ever passes through the ANSI code page.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace io {

// True where names are UTF-8 whatever the locale (Windows); else they are the
// file system's bytes, shown in the locale's encoding.
bool namesAreUtf8();

// The system the program was built for, for tests whose rows hold on one only.
enum class System { Posix, Windows };
System thisSystem();

// The command-line arguments as names: argv itself on POSIX, the UTF-16
// command line as UTF-8 on Windows (argv there went through the code page).
std::vector<std::string> arguments(int argc, char** argv);

// Those arguments as main() passes them on, held for the program's lifetime.
class Arguments {
 public:
  Arguments(int argc, char** argv) : names_(arguments(argc, argv)) {
    for (std::string& n : names_) pointers_.push_back(n.data());
    pointers_.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(names_.size()); }
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> names_;
  std::vector<char*> pointers_;
};

// A name as a path for std::filesystem, and back.
std::filesystem::path pathOf(const std::string& name);
std::string nameOf(const std::filesystem::path& path);

// The last part of `name` as the file system holds it: on Windows the file's
// own name however it was typed (trailing dots and blanks, which Windows
// drops, or another case); on POSIX the last part itself. As typed when no
// file of that name is found.
std::string ownName(const std::string& name);

// The folder part of `name` with its final separator, or empty for a bare name.
std::string folderOf(const std::string& name);

enum class FileKind { Missing, Regular, Folder, Other };
// What `name` is, following links.
FileKind kindOf(const std::string& name);
// True when anything has that name, even a link that leads nowhere.
bool nameTaken(const std::string& name);
// True when the system keeps `name` (its last part) for a device: on Windows
// CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9, whatever the extension
// (CON.png) and folder. Never on POSIX, where devices live in folders of their own.
bool reservedForDevice(const std::string& name);
// True when `name` is a symbolic link (a reparse point on Windows), whatever
// it leads to.
bool isLink(const std::string& name);

enum class MoveResult { Done, TargetExists, Failed };
// What happens when a file of the target's name already exists.
enum class Existing {
  Replace,  // an older regular file is replaced
  Keep,     // it is kept; the rename itself refuses to replace a name, so one
            // that appears meanwhile is kept as well
};
// Renames `from` to `to` in one step, written through to the disk; with
// Existing::Keep never over a file of that name (TargetExists). `error` says
// why it Failed.
MoveResult moveFile(const std::string& from, const std::string& to, Existing existing,
                    std::string* error);
// Pushes the entries of the folder that holds `fileName` (a created, renamed or
// deleted name) to the disk, where the system needs that said.
bool syncFolderOf(const std::string& fileName, std::string* error);

// This process's number, for names of temporary files.
uint64_t processId();
// Whether a process of that number may still be running.
bool processRunning(uint64_t id);
// Calls `cleanUp` when the program is interrupted (SIGINT or SIGTERM; Ctrl+C
// or the console closing on Windows), then ends as the interruption would
// have. A signal the caller chose to ignore stays ignored. `cleanUp` runs in
// a signal handler: it may only call removeNow, and allocate nothing.
void onInterrupt(void (*cleanUp)());
// Removes the file `name` from within that clean-up.
void removeNow(const char* name);
// This program's own file.
std::string ownProgram();
// Runs `program` with `args` in place of this program: on POSIX it replaces
// this process and returns only when it cannot (NotStarted); on Windows it
// starts it on this program's standard handles and waits: Finished with its
// exit status, or Stopped when it ended before it returned one (killed,
// crashed). `why` says what went wrong.
enum class HandOverEnd { Finished, NotStarted, Stopped };
HandOverEnd handOver(const std::string& program, const std::vector<std::string>& args, int* status,
                     std::string* why);
// The exit status a program started by handOver ends with: on Windows marked,
// as a kill may give any status, 0 and 1 included (TerminateProcess); else
// `status` itself.
int handedOverStatus(int status);

// Makes standard output and error carry bytes as written: Windows would turn
// each "\n" into "\r\n", and listings would differ from those on Linux.
void rawStandardStreams();

// Whether standard error is a terminal (a console on Windows, then switched to
// understand the ANSI erase sequence), and its width in columns.
bool stderrIsTerminal();
int terminalColumns();

// `bytes` of fresh zeroed memory of its own (huge pages where offered), or
// nullptr; give it back with releaseZeroed.
void* mapZeroed(size_t bytes);
void releaseZeroed(void* start, size_t bytes);

// Descriptors 0, 1 and 2 held open before the program opens anything. Started
// with one of them closed (`>&- 2>&-`), the first file it opened would get that
// number, and every message meant for the terminal would be written into it.
// On POSIX each closed one gets /dev/null (standard input for writing, the
// outputs for reading, so a read or write through a stream the caller closed
// still fails); Windows files are handles, never a stream's number. False
// when that cannot be done; the program must then open no file.
bool holdStandardStreams();

// Whether the windows can be shown, known before the window toolkit starts:
// Qt without a display ends the program with an abort and a core dump. True
// when a display is set and, for a local X display, its server answers; else
// false and `why` says what is missing. A platform other than X or Wayland
// chosen by QT_QPA_PLATFORM (offscreen, vnc, ...) is taken as it is. On
// Windows, false in a session without an interactive desktop (a service) and
// under wine without a graphics driver.
bool displayReachable(std::string* why);

// The window toolkit's platform, with its options, for when the user chose
// none (QT_QPA_PLATFORM): on Windows its DirectWrite text, which places the
// small letters of the windows evenly where GDI's hinted ones land a pixel
// off and thin strokes vanish; empty elsewhere, for Qt's own choice.
std::string windowPlatform();

// What a safe change of a file needs: an exclusive lock for the length of one
// change, a file's identity that survives a rename, whether a journal can be
// made beside it, and the folder for the program's state.

// Which file a name leads to: the same numbers after a rename or a move within
// one filesystem (device and inode; on Windows volume serial and file index).
// The birth time (0 where the filesystem keeps none) tells apart a later file
// that was given the number of a deleted one; on Windows the file index itself does.
struct FileId {
  uint64_t device = 0;
  uint64_t file = 0;
  uint64_t born = 0;  // nanoseconds since 1970 on POSIX; 0 on Windows
  bool operator==(const FileId&) const = default;
};
std::optional<FileId> fileId(const std::string& name);

// An exclusive lock on a file, held until the object goes. It belongs to its
// own open of the file, so it shuts out every other open that asks for it, in
// this process or another (POSIX open-file-description locks, else flock;
// Windows LockFileEx on one byte past any data, so writes are never blocked).
class FileLock {
 public:
  virtual ~FileLock() = default;
};

enum class LockOutcome { Held, Busy, Failed };

// Takes the lock on `name`, trying again until `wait` has passed while another
// open holds it. Busy: still held by another after `wait`; Failed: `error` says why.
std::unique_ptr<FileLock> lockFile(const std::string& name, std::chrono::milliseconds wait,
                                   LockOutcome* outcome, std::string* error);

// True when files may be created in the folder that holds `fileName`.
bool folderWritable(const std::string& fileName);

// The name of the file itself that `name` leads to: the path its links
// resolve to (on Windows the final path of an open handle, so a short 8.3
// name, a trailing dot or blank and the long name all give one name).
// Nothing when the file cannot be reached.
std::optional<std::string> realName(const std::string& name);

// The longest name one folder entry may have, in bytes of the name as the
// program holds it (UTF-8 on Windows counts at least as many as UTF-16 units).
inline constexpr size_t kMaxLeafBytes = 255;

// Whether `file` (not followed if a link) belongs to the owner of `like` or
// to the user running the program. Windows files have no single owner that
// matters here: always true there.
bool ownedByUserOrOwnerOf(const std::string& file, const std::string& like);

// Whether this user may remove `name` from its folder (a sticky folder lets
// only a file's owner do it).
bool removable(const std::string& name);

// Narrows the permissions of `file` to those of `like`, so bytes kept from a
// private file are as private as it. Nothing on Windows, where a new file
// takes its folder's access list.
void limitPermissions(const std::string& file, const std::string& like);

// Makes `folder` this user's alone (0700 on POSIX).
void makePrivateFolder(const std::string& folder);

// The folder for the program's own state: $XDG_STATE_HOME/dialpix, by default
// ~/.local/state/dialpix (%LOCALAPPDATA%\dialpix on Windows); empty when the
// environment names none.
std::string stateFolder();

}  // namespace io
