#pragma once
// One change of a gauge file as it is kept on the disk: where it lies, which
// file and bitmap it was for, and the runs of bytes it changed, with their
// bytes before (and, in a journal, after). A change of the file's length (a
// bitmap resource made another size) is one run from its first changed byte
// to the end of the file, before and after, each with its own length. The journal beside the gauge and
// each entry of the undo history are such a record; a record that does not
// read back whole (cut off while it was being written) is never trusted.
// The byte layout is described once, above encodePrefix() in change_record.cpp.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "io/system.h"

namespace io {
class Channel;
}

namespace gau {

// A stretch of the range whose bytes the change altered (bytes between two
// close stretches may be taken in, unchanged).
struct Run {
  uint32_t offset = 0;  // from the range's first byte
  uint32_t length = 0;
  bool operator==(const Run&) const = default;
};

enum class RecordKind {
  Range,  // runs inside a range of the file; its length stays
  Tail,   // everything from `position` to the end replaced; the length may change
};

struct ChangeRecord {
  RecordKind kind = RecordKind::Range;
  int64_t position = 0;      // 1-based first byte of the range the runs lie in
  int64_t length = 0;        // bytes in that range (a tail: to the old end)
  int64_t gaugeLength = 0;   // the file's length before the change
  int64_t newGaugeLength = 0;  // and after it: the same for a range
  int64_t time = 0;          // seconds since 1970, UTC
  int64_t bytesChanged = 0;  // bytes of the range that differ
  int32_t bmpPos = 0;        // the bitmap the change was for
  uint32_t oldCrc = 0;       // CRC-32 of the runs' bytes before, one after another
  uint32_t newCrc = 0;       // and after
  io::FileId file;           // the gauge's identity when it was changed
  std::string command;       // "import", "transparent", "zero", "palette", "undo"
  std::vector<Run> runs;     // in order, apart

  // Bytes in all runs together.
  int64_t runBytes() const;
  // The bytes the change wrote, one after another: a range's runs, or a
  // tail's whole new tail.
  int64_t newBytes() const;
  // Where those lie, from `position` on.
  std::vector<Run> writtenRuns() const;
};

// A journal carries the new bytes after the old, so that a playback can tell
// a change cut off part-way from one that a later change went over; the
// history keeps the old bytes only.
enum class Form { Journal, History };

uint32_t crc32Of(std::span<const uint8_t> bytes);
// The CRC-32 of bytes whose first part had `crc`, going on over `more`.
uint32_t crc32Continued(uint32_t crc, std::span<const uint8_t> more);

// The runs where `before` and `after` differ (bytes that differ by fewer than
// a run entry's size apart joined into one run), and how many bytes differ.
std::vector<Run> runsBetween(std::span<const uint8_t> before, std::span<const uint8_t> after,
                             int64_t* bytesChanged);

// The bytes of `range` that lie in `runs`, one run after another.
std::vector<uint8_t> runBytesOf(std::span<const uint8_t> range, const std::vector<Run>& runs);

// The header and run table for `record`, to be followed by its old run bytes
// and, in a journal, its new ones.
std::vector<uint8_t> encodePrefix(const ChangeRecord& record);

// The bytes a record of either form holds, read back.
struct RecordBytes {
  std::vector<uint8_t> before;  // the runs' old bytes
  std::vector<uint8_t> after;   // their new bytes (a journal only)
};

// What reading a record found.
enum class RecordState {
  Whole,        // read in the form asked for, every checksum right
  Torn,         // a dialpix record cut off before it was whole
  Damaged,      // a dialpix record whose checksums or fields do not hold
  Foreign,      // not a dialpix record at all
  OtherLength,  // whole as far as read, but made for a file of another length
};

struct ReadRecord {
  RecordState state = RecordState::Foreign;
  ChangeRecord record;  // when Whole
};

// Reads the record on `file` in form `form`, and its bytes into `bytes` when
// given (a journal's new bytes too). With `gaugeLength` >= 0 a record made for
// a file of another length is OtherLength before its runs are read, so a
// record's own fields never size what is read: a history entry must have left
// the file at that length, a journal (a change perhaps cut off) at it or
// anywhere between its lengths before and after.
ReadRecord readRecord(io::Channel& file, Form form, RecordBytes* bytes, int64_t gaugeLength = -1);

}  // namespace gau
