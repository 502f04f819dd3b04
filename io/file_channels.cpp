#include "io/file_channels.h"

#include <algorithm>
#include <cstdlib>

#include "io/little_endian.h"

namespace io {

FileChannels Channels;

int64_t Channel::length() const {
  error_.clear();
  return lengthNow();
}

size_t Channel::read(int64_t pos, std::span<uint8_t> out) {
  error_.clear();
  std::fill(out.begin(), out.end(), uint8_t{0});
  if (out.empty()) return 0;
  int64_t first = pos - 1;  // 0-based offset of out[0]
  size_t skip = 0;
  if (first < 0) {
    ++readsBeforeStart_;
    const int64_t before = -first;
    if (before >= static_cast<int64_t>(out.size())) return 0;
    skip = static_cast<size_t>(before);
    first = 0;
  }
  const int64_t len = lengthNow();
  if (first >= len) return 0;
  const size_t want =
      static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(out.size() - skip), len - first));
  const int64_t got = readAt(first, out.subspan(skip, want));
  return got > 0 ? static_cast<size_t>(got) : 0;
}

bool Channel::write(int64_t pos, std::span<const uint8_t> bytes) {
  error_.clear();
  if (readOnly_) {
    fail("the file is open for reading only");
    return false;
  }
  if (pos < 1) {
    fail("a write before the first byte of the file was refused");
    return false;
  }
  if (bytes.empty()) return true;
  if (test_hooks::exitAfterBytes >= 0) {
    if (test_hooks::exitAfterBytes < static_cast<int64_t>(bytes.size())) {
      writeAt(pos - 1, bytes.first(static_cast<size_t>(test_hooks::exitAfterBytes)));
      std::_Exit(test_hooks::kCutOffStatus);
    }
    test_hooks::exitAfterBytes -= static_cast<int64_t>(bytes.size());
  }
  return writeAt(pos - 1, bytes);
}

bool Channel::truncate(int64_t length) {
  error_.clear();
  if (readOnly_) {
    fail("the file is open for reading only");
    return false;
  }
  const int64_t now = lengthNow();
  if (now < 0) return false;
  if (length < 0 || length > now) {
    fail("a cut past the end of the file was refused");
    return false;
  }
  if (length == now) return true;
  // A cut-off test may stop the process here, as at any write.
  if (test_hooks::exitAfterBytes == 0) std::_Exit(test_hooks::kCutOffStatus);
  return truncateAt(length);
}

bool Channel::flush() {
  error_.clear();
  if (test_hooks::failFlushAfter > 0 && --test_hooks::failFlushAfter == 0) {
    fail("it could not be flushed to the disk: the test made the flush fail");
    return false;
  }
  return flushNow();
}

uint8_t Channel::get1(int64_t pos) {
  uint8_t b = 0;
  read(pos, {&b, 1});
  return b;
}

int32_t Channel::get4(int64_t pos) {
  uint8_t b[4];
  read(pos, b);
  return le32(b);
}

bool Channel::put1(int64_t pos, uint8_t value) { return write(pos, {&value, 1}); }

bool Channel::put4(int64_t pos, int32_t value) {
  uint8_t b[4];
  putLe32(b, static_cast<uint32_t>(value));
  return write(pos, b);
}

std::unique_ptr<MemoryChannel> memoryChannel(std::vector<uint8_t> bytes, std::string name) {
  return std::make_unique<MemoryChannel>(std::move(bytes), std::move(name));
}

int64_t MemoryChannel::readAt(int64_t offset, std::span<uint8_t> out) {
  std::copy_n(bytes_.begin() + offset, out.size(), out.begin());
  return static_cast<int64_t>(out.size());
}

bool MemoryChannel::flushNow() {
  if (!failFlushes_) return true;
  fail("flushes are switched off");
  return false;
}

bool MemoryChannel::writeAt(int64_t offset, std::span<const uint8_t> bytes) {
  if (failWrites_) {
    fail("writes are switched off");
    return false;
  }
  const auto end = static_cast<size_t>(offset) + bytes.size();
  if (end > bytes_.size()) bytes_.resize(end);
  std::copy(bytes.begin(), bytes.end(), bytes_.begin() + offset);
  return true;
}

bool MemoryChannel::truncateAt(int64_t length) {
  if (failWrites_) {
    fail("writes are switched off");
    return false;
  }
  bytes_.resize(static_cast<size_t>(length));
  return true;
}

bool FileChannels::open(int n, const std::string& name, OpenMode mode, std::string* error) {
  if (n < 1 || n > kCount) {
    if (error) *error = "no such channel";
    return false;
  }
  close(n);
  slots_[n] = openFileChannel(name, mode, error);
  return slots_[n] != nullptr;
}

void FileChannels::attach(int n, std::unique_ptr<Channel> channel) {
  if (n >= 1 && n <= kCount) slots_[n] = std::move(channel);
}

bool FileChannels::isOpen(int n) const { return n >= 1 && n <= kCount && slots_[n] != nullptr; }

namespace {

// What a channel number without an open file answers: every operation fails.
class ClosedChannel final : public Channel {
 public:
  ClosedChannel() : Channel("(no file)") {}

 protected:
  int64_t lengthNow() const override { return closed(), -1; }
  int64_t readAt(int64_t, std::span<uint8_t>) override { return closed(), 0; }
  bool writeAt(int64_t, std::span<const uint8_t>) override { return closed(), false; }
  bool truncateAt(int64_t) override { return closed(), false; }
  bool flushNow() override { return closed(), false; }

 private:
  void closed() const { fail("no file is open on this channel"); }
};

}  // namespace

Channel& FileChannels::operator[](int n) {
  if (isOpen(n)) return *slots_[n];
  static ClosedChannel closed;
  return closed;
}

void FileChannels::close(int n) {
  if (n >= 1 && n <= kCount) slots_[n].reset();
}

void FileChannels::closeAll() {
  for (auto& s : slots_) s.reset();
}

}  // namespace io
