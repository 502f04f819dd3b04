#pragma once
// What differs between the systems, in one place: io/system_posix.cpp and
// io/system_win32.cpp each implement all of it (with the file channels'
// openFileChannel and deleteFile), and the build takes one of the two.
//
// Names are std::string throughout the program: the file system's own bytes on
// POSIX, UTF-8 on Windows, where the Win32 unit turns them into UTF-16 at every
// call, so no name ever passes through the ANSI code page.

#include <cstddef>
#include <cstdint>
#include <filesystem>
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

// The folder part of `name` with its final separator, or empty for a bare name.
std::string folderOf(const std::string& name);

enum class FileKind { Missing, Regular, Folder, Other };
// What `name` is, following links.
FileKind kindOf(const std::string& name);
// True when anything has that name, even a link that leads nowhere.
bool nameTaken(const std::string& name);
// True for an existing regular file that the user may not write: no write
// permission on POSIX, the read-only attribute on Windows.
bool writeProtected(const std::string& name);

enum class MoveResult { Done, TargetExists, Failed };
enum class Existing { Keep, Replace };
// Renames `from` to `to` in one step, written through to the disk; with
// Existing::Keep never over a file of that name (TargetExists). `error` says
// why it Failed.
MoveResult moveFile(const std::string& from, const std::string& to, Existing existing,
                    std::string* error);
// Makes renames in `folder` ("" for the working folder) durable, where the
// system needs that said; failures are not reported, as the files are whole.
void syncFolder(const std::string& folder);

// This process's number, for names of temporary files.
uint64_t processId();
// This program's own file.
std::string ownProgram();
// Runs `program` with `args` in place of this program: on POSIX it replaces
// this process and returns only on failure (-1, `error` set); on Windows it
// starts it on this program's standard handles, waits, and returns its exit status.
int handOver(const std::string& program, const std::vector<std::string>& args, std::string* error);

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

}  // namespace io
