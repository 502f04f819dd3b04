#pragma once
// Replacing a file: the new contents go to a hidden temporary file beside the
// target, are pushed to the disk and only then renamed over it, so a failure
// part-way leaves any older file of that name as it was. Every file the
// program writes anew (an exported .BMP, a rendered PNG) goes through here.

#include <memory>
#include <string>

#include "io/file_channels.h"
#include "io/system.h"

namespace io {

// One file being replaced. The target is refused, and no temporary file made,
// when it is a symbolic link, a folder, a device, a named pipe or a socket
// (or a name Windows keeps for a device, such as CON.png),
// when it lacks write permission or has the read-only attribute (whoever runs
// the program, root included), when it is the file being read, or, with
// Existing::Keep, when it exists.
class Replacement {
 public:
  // Checks `target` and makes the temporary file. `input` names the file the
  // new contents are read from (empty when none); the target is never that file.
  Replacement(std::string target, Existing existing, const std::string& input = {});
  // Removes the temporary file unless commit() put it in place.
  ~Replacement();
  Replacement(const Replacement&) = delete;
  Replacement& operator=(const Replacement&) = delete;

  // False when the target was refused or no temporary file could be made.
  bool ready() const { return channel_ != nullptr; }
  // The temporary file, for the new contents; only while ready().
  Channel& channel() { return *channel_; }
  // Flushes the temporary file, renames it over the target and makes the
  // rename durable; false when any of that fails, and the target is as it was.
  bool commit();

  // Why the target was refused or not replaced, as a sentence; empty while all is well.
  const std::string& why() const { return why_; }
  // True when the refusal was only that a file of that name exists (Existing::Keep).
  bool keptExisting() const { return why_ == kExists; }

  static constexpr const char* kExists = "A file of that name already exists.";

 private:
  // Renames the new temporary file `stem`.tmp to carry its own file number
  // (see replace_file.cpp); it keeps its first name when that fails.
  void markAsOwn(const std::string& stem);

  std::string target_;
  std::string temporary_;
  Existing existing_;
  std::unique_ptr<Channel> channel_;
  int slot_ = -1;  // in the list a signal handler clears
  std::string why_;
};

}  // namespace io
