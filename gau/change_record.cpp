#include "gau/change_record.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "io/file_channels.h"
#include "io/little_endian.h"

namespace gau {
namespace {

constexpr char kMagic[8] = {'d', 'p', 'x', 'c', 'h', 'g', '0', '1'};
constexpr size_t kCommandBytes = 16;
// Field offsets; the header's own CRC-32 closes it.
constexpr size_t kPosition = 8, kLength = 16, kGaugeLength = 24, kTime = 32, kChanged = 40,
                 kBmpPos = 48, kOldCrc = 52, kNewCrc = 56, kCommand = 60, kHeaderCrc = 76;
static_assert(kHeaderCrc + 4 + 4 == kRecordHeaderBytes);  // and 4 bytes kept at 0

void put64(uint8_t* p, int64_t v) {
  io::putLe32(p, static_cast<uint32_t>(static_cast<uint64_t>(v)));
  io::putLe32(p + 4, static_cast<uint32_t>(static_cast<uint64_t>(v) >> 32));
}
int64_t get64(const uint8_t* p) {
  return static_cast<int64_t>(uint64_t{io::le32u(p)} | uint64_t{io::le32u(p + 4)} << 32);
}

}  // namespace

uint32_t crc32Of(std::span<const uint8_t> bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  // zlib takes at most 4 GiB a call; a gauge range is less, but stay general.
  while (!bytes.empty()) {
    const size_t n = std::min<size_t>(bytes.size(), 1u << 30);
    crc = crc32(crc, bytes.data(), static_cast<uInt>(n));
    bytes = bytes.subspan(n);
  }
  return static_cast<uint32_t>(crc);
}

std::vector<uint8_t> encodeHeader(const ChangeRecord& r) {
  std::vector<uint8_t> h(kRecordHeaderBytes, 0);
  std::memcpy(h.data(), kMagic, sizeof kMagic);
  put64(&h[kPosition], r.position);
  put64(&h[kLength], r.length);
  put64(&h[kGaugeLength], r.gaugeLength);
  put64(&h[kTime], r.time);
  put64(&h[kChanged], r.bytesChanged);
  io::putLe32(&h[kBmpPos], static_cast<uint32_t>(r.bmpPos));
  io::putLe32(&h[kOldCrc], r.oldCrc);
  io::putLe32(&h[kNewCrc], r.newCrc);
  std::memcpy(&h[kCommand], r.command.data(), std::min(r.command.size(), kCommandBytes));
  io::putLe32(&h[kHeaderCrc], crc32Of(std::span(h).first(kHeaderCrc)));
  return h;
}

std::optional<ChangeRecord> readRecord(io::Channel& file, std::vector<uint8_t>* oldBytes) {
  const int64_t size = file.length();
  if (size < kRecordHeaderBytes) return std::nullopt;
  uint8_t h[kRecordHeaderBytes];
  if (file.read(1, h) != sizeof h || std::memcmp(h, kMagic, sizeof kMagic) != 0 ||
      io::le32u(&h[kHeaderCrc]) != crc32Of(std::span(h, kHeaderCrc)))
    return std::nullopt;
  ChangeRecord r;
  r.position = get64(&h[kPosition]);
  r.length = get64(&h[kLength]);
  r.gaugeLength = get64(&h[kGaugeLength]);
  r.time = get64(&h[kTime]);
  r.bytesChanged = get64(&h[kChanged]);
  r.bmpPos = static_cast<int32_t>(io::le32u(&h[kBmpPos]));
  r.oldCrc = io::le32u(&h[kOldCrc]);
  r.newCrc = io::le32u(&h[kNewCrc]);
  const char* c = reinterpret_cast<const char*>(&h[kCommand]);
  r.command.assign(c, strnlen(c, kCommandBytes));
  // A record cut off before its last old byte is torn.
  if (r.length < 0 || r.position < 1 || r.length != size - kRecordHeaderBytes) return std::nullopt;
  if (oldBytes) {
    oldBytes->resize(static_cast<size_t>(r.length));
    if (file.read(kRecordHeaderBytes + 1, *oldBytes) != oldBytes->size() ||
        crc32Of(*oldBytes) != r.oldCrc)
      return std::nullopt;
  }
  return r;
}

}  // namespace gau
