// The block scan of a channel must equal the position-by-position scan, read
// nothing before the first byte, never report a hit past the end and read
// the file about once.

#include <cstdint>
#include <memory>
#include <vector>

#include "fuzz_support.h"
#include "gau/scan.h"
#include "io/file_channels.h"
#include "tests/support/exhaustive_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<int32_t> expected = support::exhaustiveScan({data, size});
  const gau::ScanResult inMemory = gau::scanBytes({data, size});
  FUZZ_CHECK(inMemory.positions == expected, "scanBytes equals the exhaustive scan");

  // The counting channel stops a scan that reads the file over and over.
  auto channel = std::make_unique<fuzz::CountingChannel>(std::vector<uint8_t>(data, data + size));
  const gau::ScanResult blocks = gau::scanChannel(*channel);
  FUZZ_CHECK(blocks.positions == expected, "scanChannel equals the exhaustive scan");
  FUZZ_CHECK(blocks.totalHits == inMemory.totalHits, "both scans count the same hits");
  FUZZ_CHECK(channel->readsBeforeStart() == 0, "no read before position 1");
  FUZZ_CHECK(channel->bytes().size() == size, "the scan never changes the file");
  return 0;
}
