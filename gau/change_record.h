#pragma once
// One change of a gauge file as it is kept on the disk: where it lies, what
// it was for, checksums of the bytes before and after, and the bytes before.
// The journal beside the gauge and each entry of the undo history are such a
// record; a record that does not read back whole (cut off while it was being
// written) is never trusted.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace io {
class Channel;
}

namespace gau {

struct ChangeRecord {
  int64_t position = 0;      // 1-based first byte of the range
  int64_t length = 0;        // bytes in the range
  int64_t gaugeLength = 0;   // the file's length, which a change never alters
  int64_t time = 0;          // seconds since 1970, UTC
  int64_t bytesChanged = 0;  // bytes of the range that differ
  int32_t bmpPos = 0;        // the bitmap the change was for
  uint32_t oldCrc = 0;       // CRC-32 of the bytes before
  uint32_t newCrc = 0;       // and after
  std::string command;       // "import", "transparent", "zero", "palette", "undo"
};

// Bytes before the old bytes: the fields above and a checksum of them.
inline constexpr int64_t kRecordHeaderBytes = 84;

uint32_t crc32Of(std::span<const uint8_t> bytes);

// The header for `record`, to be followed by its `length` old bytes.
std::vector<uint8_t> encodeHeader(const ChangeRecord& record);

// Reads the record on `file`, and its old bytes into `oldBytes` when given;
// nothing when the file is not a whole, intact record.
std::optional<ChangeRecord> readRecord(io::Channel& file, std::vector<uint8_t>* oldBytes);

}  // namespace gau
