#include "gau/change_record.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "io/file_channels.h"
#include "io/little_endian.h"

namespace gau {
namespace {

constexpr char kMagic[8] = {'d', 'p', 'x', 'c', 'h', 'g', '0', '2'};
constexpr char kTailMagic[8] = {'d', 'p', 'x', 'c', 'h', 'g', '0', '3'};
constexpr size_t kCommandBytes = 16;
constexpr int64_t kHeaderBytes = 128;
constexpr int64_t kRunEntryBytes = 8;
// Field offsets in the header; see encodePrefix().
constexpr size_t kPosition = 8, kLength = 16, kGaugeLength = 24, kTime = 32, kChanged = 40,
                 kRunBytes = 48, kRunCount = 56, kBmpPos = 60, kOldCrc = 64, kNewCrc = 68,
                 kTableCrc = 72, kLengthChange = 76, kDevice = 80, kFile = 88, kBorn = 96, kCommand = 104,
                 kHeaderCrc = 124;
static_assert(kHeaderCrc + 4 == kHeaderBytes);

void put64(uint8_t* p, int64_t v) {
  io::putLe32(p, static_cast<uint32_t>(static_cast<uint64_t>(v)));
  io::putLe32(p + 4, static_cast<uint32_t>(static_cast<uint64_t>(v) >> 32));
}
int64_t get64(const uint8_t* p) {
  return static_cast<int64_t>(uint64_t{io::le32u(p)} | uint64_t{io::le32u(p + 4)} << 32);
}

// A gap of fewer equal bytes than a run entry takes costs less kept than cut.
constexpr size_t kJoinGap = kRunEntryBytes;

}  // namespace

int64_t ChangeRecord::runBytes() const {
  int64_t n = 0;
  for (const Run& r : runs) n += r.length;
  return n;
}

int64_t ChangeRecord::newBytes() const {
  return kind == RecordKind::Tail ? newGaugeLength - position + 1 : runBytes();
}

std::vector<Run> ChangeRecord::writtenRuns() const {
  if (kind == RecordKind::Range) return runs;
  return {{0, static_cast<uint32_t>(newBytes())}};
}

uint32_t crc32Of(std::span<const uint8_t> bytes) {
  return crc32Continued(static_cast<uint32_t>(crc32(0L, Z_NULL, 0)), bytes);
}

uint32_t crc32Continued(uint32_t crc, std::span<const uint8_t> bytes) {
  uLong c = crc;
  // zlib takes at most 4 GiB a call; a gauge range is less, but stay general.
  while (!bytes.empty()) {
    const size_t n = std::min<size_t>(bytes.size(), 1u << 30);
    c = crc32(c, bytes.data(), static_cast<uInt>(n));
    bytes = bytes.subspan(n);
  }
  return static_cast<uint32_t>(c);
}

std::vector<Run> runsBetween(std::span<const uint8_t> a, std::span<const uint8_t> b,
                             int64_t* bytesChanged) {
  std::vector<Run> runs;
  int64_t changed = 0;
  const size_t n = std::min(a.size(), b.size());
  // 0x80 in each byte lane of `x ^ y` where the two words differ.
  const auto differing = [](uint64_t d) {
    constexpr uint64_t kLow7 = 0x7f7f7f7f7f7f7f7full;
    return (((d & kLow7) + kLow7) | d) & ~kLow7;
  };
  size_t i = 0;
  while (i < n) {
    // Equal stretches pass eight bytes at a time.
    while (i + 8 <= n && std::memcmp(&a[i], &b[i], 8) == 0) i += 8;
    while (i < n && a[i] == b[i]) ++i;
    if (i == n) break;
    const size_t start = i;
    size_t end = i;  // one past the last differing byte
    while (i < n) {
      if (i == end && i + 8 <= n) {
        // Inside a run, eight differing bytes at a time: a whole picture replaced
        // goes by words, not bytes.
        uint64_t x, y;
        std::memcpy(&x, &a[i], 8);
        std::memcpy(&y, &b[i], 8);
        if (differing(x ^ y) == 0x8080808080808080ull) {
          changed += 8;
          end = i += 8;
          continue;
        }
      }
      if (a[i] != b[i]) {
        ++changed;
        end = ++i;
      } else if (i - end >= kJoinGap) {
        break;
      } else {
        ++i;
      }
    }
    if (!runs.empty() && start - (runs.back().offset + runs.back().length) < kJoinGap)
      runs.back().length = static_cast<uint32_t>(end - runs.back().offset);
    else
      runs.push_back({static_cast<uint32_t>(start), static_cast<uint32_t>(end - start)});
    i = end;
  }
  if (bytesChanged) *bytesChanged = changed;
  return runs;
}

std::vector<uint8_t> runBytesOf(std::span<const uint8_t> range, const std::vector<Run>& runs) {
  std::vector<uint8_t> out;
  size_t total = 0;
  for (const Run& r : runs) total += r.length;
  out.reserve(total);
  for (const Run& r : runs)
    out.insert(out.end(), range.begin() + r.offset, range.begin() + r.offset + r.length);
  return out;
}

// The record, as the journal and every history entry hold it. All numbers
// little-endian; positions 1-based, as everywhere in the program.
//
//   offset  bytes  field
//        0      8  "dpxchg02", the record's kind and layout: "dpxchg03" for a
//                  tail, whose one run reaches from the position to the file's
//                  old end, and whose new bytes reach to its new end
//        8      8  position: the first byte of the range the runs lie in
//       16      8  length of that range
//       24      8  the gauge file's length before the change
//       32      8  time of the change, seconds since 1970 UTC
//       40      8  bytes of the range that the change altered
//       48      8  R: bytes in all runs together
//       56      4  N: number of runs
//       60      4  BmpPos of the bitmap changed
//       64      4  CRC-32 of the runs' old bytes, one run after another
//       68      4  CRC-32 of their new bytes
//       72      4  CRC-32 of the run table
//       76      4  how much longer the change made the file, signed (0 in
//                  dpxchg02, which never changes it)
//       80     24  the gauge's identity: device, file number, birth time (8 each)
//      104     16  the command, in ASCII, padded with zero bytes
//      120      4  0
//      124      4  CRC-32 of bytes 0 to 123
//      128   8 x N the run table: offset from the range's first byte, length (4 each)
//  128+8N      R   the runs' old bytes
//  128+8N+R    R'  their new bytes: in the journal only; the history drops them
//                  (R' = R, but for a tail R plus the length change)
std::vector<uint8_t> encodePrefix(const ChangeRecord& r) {
  const size_t tableBytes = r.runs.size() * kRunEntryBytes;
  std::vector<uint8_t> h(static_cast<size_t>(kHeaderBytes) + tableBytes, 0);
  uint8_t* table = h.data() + kHeaderBytes;
  for (size_t i = 0; i < r.runs.size(); ++i) {
    io::putLe32(table + i * kRunEntryBytes, r.runs[i].offset);
    io::putLe32(table + i * kRunEntryBytes + 4, r.runs[i].length);
  }
  const bool tail = r.kind == RecordKind::Tail;
  std::memcpy(h.data(), tail ? kTailMagic : kMagic, sizeof kMagic);
  if (tail)
    io::putLe32(&h[kLengthChange], static_cast<uint32_t>(r.newGaugeLength - r.gaugeLength));
  put64(&h[kPosition], r.position);
  put64(&h[kLength], r.length);
  put64(&h[kGaugeLength], r.gaugeLength);
  put64(&h[kTime], r.time);
  put64(&h[kChanged], r.bytesChanged);
  put64(&h[kRunBytes], r.runBytes());
  io::putLe32(&h[kRunCount], static_cast<uint32_t>(r.runs.size()));
  io::putLe32(&h[kBmpPos], static_cast<uint32_t>(r.bmpPos));
  io::putLe32(&h[kOldCrc], r.oldCrc);
  io::putLe32(&h[kNewCrc], r.newCrc);
  io::putLe32(&h[kTableCrc], crc32Of(std::span(table, tableBytes)));
  put64(&h[kDevice], static_cast<int64_t>(r.file.device));
  put64(&h[kFile], static_cast<int64_t>(r.file.file));
  put64(&h[kBorn], static_cast<int64_t>(r.file.born));
  std::memcpy(&h[kCommand], r.command.data(), std::min(r.command.size(), kCommandBytes));
  io::putLe32(&h[kHeaderCrc], crc32Of(std::span(h).first(kHeaderCrc)));
  return h;
}

ReadRecord readRecord(io::Channel& file, Form form, RecordBytes* bytes, int64_t gaugeLength) {
  ReadRecord out;
  const int64_t size = file.length();
  if (size < 0) return out;
  uint8_t h[kHeaderBytes] = {};
  const size_t got = file.read(1, std::span(h, static_cast<size_t>(std::min(size, kHeaderBytes))));
  // A header cut off while it was written is a prefix of one.
  const size_t magic = std::min(got, sizeof kMagic);
  if (std::memcmp(h, kMagic, magic) != 0 && std::memcmp(h, kTailMagic, magic) != 0)
    return out;  // Foreign
  if (size < kHeaderBytes) {
    out.state = RecordState::Torn;
    return out;
  }
  out.state = RecordState::Damaged;
  if (got != sizeof h || io::le32u(&h[kHeaderCrc]) != crc32Of(std::span(h, kHeaderCrc))) return out;
  ChangeRecord& r = out.record;
  r.kind = h[7] == kTailMagic[7] ? RecordKind::Tail : RecordKind::Range;
  r.position = get64(&h[kPosition]);
  r.length = get64(&h[kLength]);
  r.gaugeLength = get64(&h[kGaugeLength]);
  r.time = get64(&h[kTime]);
  r.bytesChanged = get64(&h[kChanged]);
  const int64_t runBytes = get64(&h[kRunBytes]);
  const int64_t runCount = io::le32u(&h[kRunCount]);
  r.bmpPos = static_cast<int32_t>(io::le32u(&h[kBmpPos]));
  r.oldCrc = io::le32u(&h[kOldCrc]);
  r.newCrc = io::le32u(&h[kNewCrc]);
  r.file = {static_cast<uint64_t>(get64(&h[kDevice])), static_cast<uint64_t>(get64(&h[kFile])),
            static_cast<uint64_t>(get64(&h[kBorn]))};
  const char* c = reinterpret_cast<const char*>(&h[kCommand]);
  r.command.assign(c, strnlen(c, kCommandBytes));
  // Fields that no change writes; each check keeps the sums below from overflowing.
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  const bool tail = r.kind == RecordKind::Tail;
  const int32_t lengthChange = io::le32(&h[kLengthChange]);
  r.newGaugeLength = r.gaugeLength + (tail ? lengthChange : 0);
  if (r.position < 1 || r.length < 1 || r.length > kMax || r.gaugeLength < 1 ||
      r.gaugeLength > int64_t{1} << 40 || runBytes < 1 || runBytes > r.length || runCount < 1 ||
      runCount > runBytes || r.bytesChanged < 1)
    return out;
  // A tail: one run over the whole range, which reaches the old end; new bytes to the new end.
  if (tail ? runCount != 1 || runBytes != r.length || r.position - 1 + r.length != r.gaugeLength ||
                 r.newGaugeLength < r.position || r.newGaugeLength > int64_t{1} << 40 ||
                 r.newGaugeLength - r.position + 1 > kMax ||
                 r.bytesChanged > runBytes + r.newGaugeLength - r.position + 1
           : lengthChange != 0 || r.bytesChanged > runBytes)
    return out;
  const bool lengthFits =
      form == Form::History
          ? gaugeLength == r.newGaugeLength
          : gaugeLength >= std::min(r.gaugeLength, r.newGaugeLength) &&
                gaugeLength <= std::max(r.gaugeLength, r.newGaugeLength);
  if (gaugeLength >= 0 && !lengthFits) {
    out.state = RecordState::OtherLength;
    return out;
  }
  const int64_t prefix = kHeaderBytes + runCount * kRunEntryBytes;
  // The runs are not read yet: a range's new bytes are as many as its old ones.
  const int64_t newBytes = tail ? r.newGaugeLength - r.position + 1 : runBytes;
  const int64_t whole = prefix + runBytes + newBytes;
  if (form == Form::Journal ? size != whole : size != prefix + runBytes && size != whole) {
    // A journal is written front to back, so a shorter one was cut off.
    if (form == Form::Journal && size < whole) out.state = RecordState::Torn;
    return out;
  }
  std::vector<uint8_t> table(static_cast<size_t>(runCount * kRunEntryBytes));
  if (file.read(kHeaderBytes + 1, table) != table.size() ||
      crc32Of(table) != io::le32u(&h[kTableCrc]))
    return out;
  int64_t total = 0, end = 0;
  r.runs.resize(static_cast<size_t>(runCount));
  for (size_t i = 0; i < r.runs.size(); ++i) {
    Run& run = r.runs[i];
    run = {io::le32u(&table[i * kRunEntryBytes]), io::le32u(&table[i * kRunEntryBytes + 4])};
    // In order, apart, each inside the range.
    if (run.length == 0 || (i > 0 && run.offset < end) ||
        run.offset + int64_t{run.length} > r.length)
      return out;
    end = run.offset + int64_t{run.length};
    total += run.length;
  }
  if (total != runBytes) return out;
  if (bytes) {
    bytes->before.resize(static_cast<size_t>(runBytes));
    bytes->after.clear();
    if (file.read(prefix + 1, bytes->before) != bytes->before.size() ||
        crc32Of(bytes->before) != r.oldCrc)
      return out;
    if (form == Form::Journal) {
      bytes->after.resize(static_cast<size_t>(newBytes));
      if (file.read(prefix + runBytes + 1, bytes->after) != bytes->after.size() ||
          crc32Of(bytes->after) != r.newCrc)
        return out;
    }
  }
  out.state = RecordState::Whole;
  return out;
}

}  // namespace gau
