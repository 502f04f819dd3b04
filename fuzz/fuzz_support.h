#pragma once
// Shared pieces of the fuzz targets: invariant checks that stop the run with
// a message, an in-memory file that caps the work done through it so a slow
// input shows up as a failure, and the choice of a bitmap position.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "gau/scan.h"
#include "io/file_channels.h"
#include "io/little_endian.h"
#include "tests/support/counting_channel.h"

#define FUZZ_CHECK(cond, what)                                                          \
  do {                                                                                  \
    if (!(cond)) {                                                                      \
      std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", what, __FILE__, __LINE__); \
      std::abort();                                                                     \
    }                                                                                   \
  } while (0)

namespace fuzz {

// A counting in-memory file for the fuzz targets. One operation on a file of
// L bytes has no reason to move more than a few times L bytes (plus a header
// and a 1 KiB palette): past `budget` bytes it is taken for a hang and the run
// stops there, at the culprit, not at a timeout.
class CountingChannel final : public support::CountingChannel {
 public:
  // `budget` defaults to four times the file plus 4 KiB; a file that starts
  // empty (a .BMP being written) needs one of its own.
  explicit CountingChannel(std::vector<uint8_t> bytes, int64_t budget = -1,
                           std::string name = "FUZZ.GAU")
      : support::CountingChannel(
            bytes, std::move(name),
            budget >= 0 ? budget : 4 * static_cast<int64_t>(bytes.size()) + 4096) {
    overBudget = [](const char* what) { FUZZ_CHECK(false, what); };
  }
};

// How the input picks a BmpPos; taken from the input before the file bytes.
struct PositionChoice {
  uint8_t mode = 0;
  uint16_t index = 0;
  int16_t offset = 0;
};

inline PositionChoice consumeChoice(FuzzedDataProvider& in) {
  PositionChoice c;
  c.mode = in.ConsumeIntegral<uint8_t>();
  c.index = in.ConsumeIntegral<uint16_t>();
  c.offset = in.ConsumeIntegral<int16_t>();
  return c;
}

// Mostly a scan hit, as the chooser hands over; else a position a stale or
// false hit could leave: near the file, just beside a hit, or an extreme.
inline int32_t resolve(const PositionChoice& c, const std::vector<uint8_t>& file) {
  const std::vector<int32_t> hits = gau::scanBytes(file).positions;
  const auto length = static_cast<int32_t>(file.size());
  switch (c.mode & 7) {
    case 4:
    case 5:
      return c.offset;
    case 6: {
      const int32_t extremes[] = {INT32_MIN,
                                  INT32_MIN + 1,
                                  -20,
                                  -1,
                                  0,
                                  1,
                                  8,
                                  9,
                                  12,
                                  13,
                                  length,
                                  length + 1,
                                  length - 23,
                                  length - 27,
                                  INT32_MAX - 27,
                                  INT32_MAX};
      return extremes[c.index % std::size(extremes)];
    }
    case 7:
      if (!hits.empty()) return hits[c.index % hits.size()] + static_cast<int8_t>(c.offset);
      return c.offset;
    default:
      if (!hits.empty()) return hits[c.index % hits.size()];
      return c.offset;
  }
}

inline int32_t le32(const std::vector<uint8_t>& b, int64_t pos1) {
  return io::le32(&b[static_cast<size_t>(pos1 - 1)]);
}

// True when 1-based positions first..last all lie in a file of `length` bytes.
inline bool inFile(int64_t first, int64_t last, int64_t length) {
  return first >= 1 && last <= length && first <= last;
}

inline bool fits32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

// Every 1-based position where `after` differs from `before` lies in first..last.
inline bool changesOnlyWithin(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after,
                              int64_t first, int64_t last) {
  if (before.size() != after.size()) return false;
  for (size_t i = 0; i < before.size(); ++i) {
    const auto pos = static_cast<int64_t>(i) + 1;
    if (before[i] != after[i] && (pos < first || pos > last)) return false;
  }
  return true;
}

}  // namespace fuzz
