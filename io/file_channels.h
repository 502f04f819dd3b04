#pragma once
// Numbered file channels with 1-based byte positions and little-endian values.
// Channel 1 holds the gauge file, channel 2 a .BMP file for one export or import.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace io {

// The channel numbers the windows use.
inline constexpr int kGaugeChannel = 1;  // the gauge file, from its pick until RETURN
inline constexpr int kBmpChannel = 2;    // a .BMP for the length of one export or import

enum class OpenMode {
  ReadWriteExisting,  // the gauge file: must exist, read and patched in place
  ReadOnly,           // a .BMP that is only read
  CreateNew,          // a fresh file that must not exist yet (the export's temporary file)
};

// What the name a channel was opened by leads to now.
enum class AtName {
  Same,      // still the file open on the channel
  Replaced,  // another file (renamed over it, as copying a fresh version in often does)
  Moved,     // nothing, while the file open here still has a name (renamed or moved away)
  Removed,   // nothing, or nothing that can be looked at
};

// One open file, or an in-memory stand-in for tests and fuzzing. Every
// operation starts with a clean error, so error() always says why the last
// operation failed, never an older one.
class Channel {
 public:
  explicit Channel(std::string name) : name_(std::move(name)) {}
  virtual ~Channel() = default;
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  const std::string& name() const { return name_; }
  // True when the file was opened for reading only: every write is refused.
  bool readOnly() const { return readOnly_; }
  void setReadOnly(bool on) { readOnly_ = on; }
  // True for a file on the disk (name() names it), false for a stand-in in memory.
  bool onDisk() const { return onDisk_; }
  void setOnDisk(bool on) { onDisk_ = on; }
  // Why the last operation failed, in words for the user; empty after a success.
  const std::string& error() const { return error_; }
  // The error, or `fallback` when the channel gave none.
  std::string errorOr(const std::string& fallback) const {
    return error_.empty() ? fallback : error_;
  }

  // The file's length in bytes, or -1 (and error() says why) when it cannot be had.
  int64_t length() const;

  // Fills `out` from 1-based position `pos` on. A short read has one defined
  // result: every byte before position 1 or past the end of the file reads as 0.
  // Returns how many of the bytes came from the file; error() is set when the
  // file gave fewer bytes than it holds there.
  size_t read(int64_t pos, std::span<uint8_t> out);
  // Writes `bytes` from 1-based position `pos` (>= 1) on; may make the file longer.
  bool write(int64_t pos, std::span<const uint8_t> bytes);
  // Cuts the file to `length` bytes (no longer than it is).
  bool truncate(int64_t length);
  // Pushes every write so far to the disk.
  bool flush();

  uint8_t get1(int64_t pos);
  int32_t get4(int64_t pos);  // little-endian, signed
  bool put1(int64_t pos, uint8_t value);
  bool put4(int64_t pos, int32_t value);

  // Reads that asked for bytes before position 1; the file logic must never do so.
  int64_t readsBeforeStart() const { return readsBeforeStart_; }

  // Whether name() still leads to the file open here. Writes to a file that was
  // replaced or removed since it was opened would go where nobody finds them.
  // Each system's channel compares its own file identity (device and inode, a
  // file ID); a channel without a file on disk is always the same.
  virtual AtName atName() const { return AtName::Same; }

 protected:
  // The length, or -1 after calling fail().
  virtual int64_t lengthNow() const = 0;
  // Reads from 0-based `offset` (>= 0, < length()); returns the bytes read,
  // fewer after calling fail().
  virtual int64_t readAt(int64_t offset, std::span<uint8_t> out) = 0;
  virtual bool writeAt(int64_t offset, std::span<const uint8_t> bytes) = 0;
  // Channels that are only read need not cut.
  virtual bool truncateAt(int64_t /*length*/) {
    fail("it cannot be cut short");
    return false;
  }
  virtual bool flushNow() = 0;
  void fail(std::string why) const { error_ = std::move(why); }

 private:
  std::string name_;
  mutable std::string error_;
  int64_t readsBeforeStart_ = 0;
  bool readOnly_ = false;
  bool onDisk_ = false;
};

// One rule for every file the program would change: a file without write
// permission is not written, whoever runs the program. Root could write it,
// yet its owner made it read-only to keep it. True when `name` has a write
// permission bit and the system lets this user write it, or when it does not exist.
bool writePermitted(const std::string& name);

// Test hooks, off unless a test sets them: they stand in for a process that is
// cut off, or a disk that fails, at a chosen moment.
namespace test_hooks {
// When >= 0: after this many more bytes written through any channel the
// process ends at once (std::_Exit, no clean-up), part-way through a write.
inline int64_t exitAfterBytes = -1;
inline constexpr int kCutOffStatus = 77;  // the exit status it ends with
// When > 0: counts flushes down, and the one that reaches 0 fails.
inline int failFlushAfter = 0;
}  // namespace test_hooks

// Opens `name` (a bare name resolves in the working directory); nullptr and
// `error` set when the file cannot be opened as asked. ReadWriteExisting
// refuses a file that writePermitted() refuses.
std::unique_ptr<Channel> openFileChannel(const std::string& name, OpenMode mode,
                                         std::string* error);
// A channel over bytes held in memory; `bytes()` of the result shows them.
class MemoryChannel;
std::unique_ptr<MemoryChannel> memoryChannel(std::vector<uint8_t> bytes,
                                             std::string name = "memory");

class MemoryChannel : public Channel {
 public:
  MemoryChannel(std::vector<uint8_t> bytes, std::string name)
      : Channel(std::move(name)), bytes_(std::move(bytes)) {}
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  // Makes every later write, or flush, fail, to exercise the error paths.
  void failWrites(bool on) { failWrites_ = on; }
  void failFlushes(bool on) { failFlushes_ = on; }

 protected:
  int64_t lengthNow() const override { return static_cast<int64_t>(bytes_.size()); }
  int64_t readAt(int64_t offset, std::span<uint8_t> out) override;
  bool writeAt(int64_t offset, std::span<const uint8_t> bytes) override;
  bool truncateAt(int64_t length) override;
  bool flushNow() override;

 private:
  std::vector<uint8_t> bytes_;
  bool failWrites_ = false;
  bool failFlushes_ = false;
};

class FileChannels {
 public:
  static constexpr int kCount = kBmpChannel;  // the gauge file and one .BMP

  // Opens `name` on channel n (closing what was there); false and `error` set on failure.
  bool open(int n, const std::string& name, OpenMode mode, std::string* error);
  // Puts an already open channel (a memory channel in tests) on number n.
  void attach(int n, std::unique_ptr<Channel> channel);
  bool isOpen(int n) const;
  // The channel on number n; while none is open there, a stand-in whose
  // every operation fails and says so.
  Channel& operator[](int n);
  void close(int n);
  void closeAll();

 private:
  std::unique_ptr<Channel> slots_[kCount + 1];
};

// Deletes a file by name; false and `error` set when it cannot.
bool deleteFile(const std::string& name, std::string* error);

extern FileChannels Channels;

}  // namespace io
