#pragma once
// The position-by-position scan every faster scan must equal: a signature
// 01 00 08 00 with all of its colour count inside the file, the count 0 to 256.

#include <cstdint>
#include <span>
#include <vector>

#include "io/little_endian.h"

namespace support {

inline std::vector<int32_t> exhaustiveScan(std::span<const uint8_t> b) {
  std::vector<int32_t> hits;
  for (size_t i = 0; i + 24 <= b.size(); ++i) {
    if (b[i] != 1 || b[i + 1] != 0 || b[i + 2] != 8 || b[i + 3] != 0) continue;
    const int32_t n = io::le32(&b[i + 20]);
    if (n >= 0 && n <= 256) hits.push_back(static_cast<int32_t>(i + 1));
  }
  return hits;
}

}  // namespace support
