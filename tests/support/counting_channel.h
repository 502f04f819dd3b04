#pragma once
// An in-memory file that counts the calls and bytes moved through it. Past a
// budget of bytes it calls `overBudget` (the fuzz targets stop there, at the
// culprit, rather than at a timeout).

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "io/file_channels.h"

namespace support {

class CountingChannel : public io::MemoryChannel {
 public:
  explicit CountingChannel(std::vector<uint8_t> bytes, std::string name = "TEST.GAU",
                           int64_t budget = INT64_MAX)
      : MemoryChannel(std::move(bytes), std::move(name)), budget_(budget) {}

  int reads = 0, writes = 0;  // calls that reached the file
  int64_t bytesRead() const { return read_; }
  int64_t bytesWritten() const { return written_; }
  std::function<void(const char* what)> overBudget;

 protected:
  int64_t readAt(int64_t offset, std::span<uint8_t> out) override {
    ++reads;
    read_ += static_cast<int64_t>(out.size());
    if (read_ > budget_ && overBudget)
      overBudget("an operation reads far more than the file holds");
    return MemoryChannel::readAt(offset, out);
  }
  bool writeAt(int64_t offset, std::span<const uint8_t> bytes) override {
    ++writes;
    written_ += static_cast<int64_t>(bytes.size());
    if (written_ > budget_ && overBudget)
      overBudget("an operation writes far more than the file holds");
    return MemoryChannel::writeAt(offset, bytes);
  }

 private:
  int64_t budget_;
  int64_t read_ = 0;
  int64_t written_ = 0;
};

}  // namespace support
