#pragma once
// The bitmap scan: every byte position of the gauge file is tested for the
// signature 01 00 08 00 (planes 1, 8 bits per pixel) followed, 20 bytes on,
// by a colour count of 0 to 256. Only those two fields decide; nothing else
// of the header is looked at.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace io {
class Channel;
}

namespace gau {

// Keep every hit: the command line has no limit, the windows pass the room of their table.
inline constexpr size_t kKeepAll = SIZE_MAX;

struct ScanResult {
  std::vector<int32_t> positions;  // 1-based BmpPos of the first hits, ascending
  int64_t totalHits = 0;           // every hit in the file, including those beyond the kept ones
  int32_t lastColorCount = 0;      // the colour count read at the last signature
  bool readFailed = false;         // the file could not be read to its end
};

// The number the windows give the bitmap at `bmpPos` among the scan's
// `positions` (1 for the first), or 0 when the scan found none there.
int numberOf(std::span<const int32_t> positions, int32_t bmpPos);

// Scans bytes held in memory; position 1 is bytes[0]. Keeps at most `keep` positions.
ScanResult scanBytes(std::span<const uint8_t> bytes, size_t keep = kKeepAll);

// Scans the whole file on `gauge` in one pass of block reads. `onBlock` (may be
// empty) runs after each block so a window can keep itself painted.
ScanResult scanChannel(io::Channel& gauge, size_t keep = kKeepAll,
                       const std::function<void()>& onBlock = {});

}  // namespace gau
