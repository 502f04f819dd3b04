// A resource's data replaced by bytes of another length in any file: refused
// with a reason, or a module whose resource table reads again with the same
// resources, the new data where the rewrite says, and the bytes after the
// resource section (later sections, appended data) kept at the end.

#include <cstdint>
#include <memory>
#include <vector>

#include "fuzz_support.h"
#include "io/file_channels.h"
#include "pe/resource_rewrite.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The last two bytes choose the new length; the rest is the module.
  const std::vector<uint8_t> file(data, data + size - 2);
  const size_t newSize = 1 + (data[size - 1] | data[size - 2] << 8) % 20000;
  const auto channel = io::memoryChannel(file);
  const Result<pe::ResourceTable> t = pe::readResourceTable(*channel);
  if (!t || t->resources.empty()) return 0;
  const std::vector<uint8_t> replacement(newSize, 0xA5);
  const size_t index = data[size - 1] % t->resources.size();
  const Result<pe::Rewritten> r = pe::replaceResourceData(file, *t, index, replacement);
  if (!r) {
    FUZZ_CHECK(!r.reason().empty(), "a refusal says why");
    return 0;
  }
  const std::vector<uint8_t>& f = r->file;
  const auto again = io::memoryChannel(f);
  const Result<pe::ResourceTable> u = pe::readResourceTable(*again);
  FUZZ_CHECK(u, "the rewritten module reads again");
  FUZZ_CHECK(u->resources.size() == t->resources.size(), "it keeps every resource");
  const pe::Resource& now = u->resources[index];
  FUZZ_CHECK(now.size == newSize && now.place == pe::Place::InFile && now.position == r->dataPosition,
             "the resource has its new size where the rewrite says");
  FUZZ_CHECK(std::equal(replacement.begin(), replacement.end(), f.begin() + (now.position - 1)),
             "its new bytes are there");
  const pe::Section& rs = t->sections[static_cast<size_t>(t->resourceSection)];
  const size_t tail = file.size() - (size_t{rs.rawPointer} + rs.rawSize);
  FUZZ_CHECK(f.size() >= tail && std::equal(file.end() - static_cast<std::ptrdiff_t>(tail), file.end(),
                                            f.end() - static_cast<std::ptrdiff_t>(tail)),
             "what follows the resource section stays at the end");
  return 0;
}
