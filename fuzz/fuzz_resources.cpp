// The resource table of any file: read or refused with a reason, never
// reading before the first byte or more than about three times the file;
// what it lists lies where it says, and the index names a resource that
// holds each position it is asked about, the smallest of them.

#include <cstdint>
#include <memory>
#include <vector>

#include "fuzz_support.h"
#include "pe/resource_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto length = static_cast<int64_t>(size);
  auto channel = std::make_unique<fuzz::CountingChannel>(std::vector<uint8_t>(data, data + size),
                                                         3 * length + 4096);
  const Result<pe::ResourceTable> t = pe::readResourceTable(*channel);
  FUZZ_CHECK(channel->readsBeforeStart() == 0, "no read before position 1");
  FUZZ_CHECK(channel->bytes().size() == size, "reading never changes the file");
  if (!t) {
    FUZZ_CHECK(!t.reason().empty(), "a refusal says why");
    return 0;
  }
  FUZZ_CHECK(t->directories.size() <= 16, "at most 16 data directories");
  FUZZ_CHECK(t->resourceSection < static_cast<int>(t->sections.size()),
             "the resource section is one of the sections");
  FUZZ_CHECK(t->resources.empty() || t->resourceSection >= 0, "resources come from a section");
  FUZZ_CHECK(static_cast<int64_t>(t->resources.size()) <= (2 * length + 4096) / 8,
             "no more resources than the walk's budget has room for entries");
  for (const pe::Resource& r : t->resources) {
    (void)pe::typeName(r.type);
    if (r.place == pe::Place::InFile)
      FUZZ_CHECK(r.position >= 1 && r.size <= length - (r.position - 1),
                 "data in the file lies in the file");
    if (r.place == pe::Place::NoSection)
      FUZZ_CHECK(r.position == 0, "no position without a section");
  }

  // Every resource's ends against the index, and brute force where that is cheap.
  const pe::ResourceIndex index(*t);
  const std::vector<pe::Resource>& rs = t->resources;
  auto holds = [&](size_t i, int64_t pos) {
    return rs[i].place == pe::Place::InFile && pos >= rs[i].position &&
           pos - rs[i].position < rs[i].size;
  };
  auto check = [&](int64_t pos) {
    const std::optional<size_t> owner = index.at(pos);
    if (owner) FUZZ_CHECK(*owner < rs.size() && holds(*owner, pos), "the index names a holder");
    if (rs.size() > 64) return;
    for (size_t i = 0; i < rs.size(); ++i) {
      if (!holds(i, pos)) continue;
      FUZZ_CHECK(owner.has_value(), "a held position has an owner");
      FUZZ_CHECK(rs[*owner].size < rs[i].size || (rs[*owner].size == rs[i].size && *owner <= i),
                 "the owner is the smallest holder, then the first");
    }
  };
  for (const pe::Resource& r : rs) {
    if (r.place != pe::Place::InFile) continue;
    for (int64_t pos :
         {r.position - 1, r.position, r.position + r.size - 1, r.position + int64_t{r.size}})
      check(pos);
  }
  check(1);
  check(length);
  return 0;
}
