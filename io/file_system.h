#pragma once
// What a safe change of a file needs from the system, one unit per system
// (file_system_posix.cpp, file_system_win32.cpp): an exclusive lock for the
// length of one change, pushing a folder's entries to the disk, a file's
// identity that survives a rename, and the folder for the program's state.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace io {

// Which file a name leads to: the same numbers after a rename or a move within
// one filesystem (device and inode; on Windows volume serial and file index).
// The birth time (0 where the filesystem keeps none) tells apart a later file
// that was given the number of a deleted one.
struct FileId {
  uint64_t device = 0;
  uint64_t file = 0;
  uint64_t born = 0;  // nanoseconds since 1970 on POSIX, 100 ns units since 1601 on Windows
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

// Pushes the entries of the folder that holds `fileName` (a created, renamed or
// deleted name) to the disk.
bool syncFolderOf(const std::string& fileName, std::string* error);

// True when files may be created in the folder that holds `fileName`.
bool folderWritable(const std::string& fileName);

// The folder for the program's own state: $XDG_STATE_HOME/dialpix, by default
// ~/.local/state/dialpix (%LOCALAPPDATA%\dialpix on Windows); empty when the
// environment names none.
std::string stateFolder();

// A file name (bytes on POSIX, UTF-8 on Windows) as a std::filesystem path,
// and back; on Windows a plain std::string would go through the ANSI code page.
std::filesystem::path fsPath(const std::string& name);
std::string nameOf(const std::filesystem::path& path);

// Renames `from` to `to`, replacing `to`; false (`crossDevice` set when the two
// lie on different filesystems) and `error` when it cannot.
bool renameFile(const std::string& from, const std::string& to, bool* crossDevice,
                std::string* error);

}  // namespace io
