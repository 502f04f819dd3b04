#pragma once
// Lays out a small Windows module (a DLL, as gauges are) with given resources,
// the way windres and the MinGW linker do: headers, a .text section, then a
// .rsrc section holding the resource tables (types, names, languages, each
// table's named entries first), the name strings, the data entries and the
// data, 8-byte aligned. For the tests and the fuzz seeds, where those tools
// may be missing; Layout says where each piece went, for spoiling it.

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "io/little_endian.h"

namespace pebuild {

struct Key {
  std::string name;  // ASCII; a number when empty
  uint32_t id = 0;
  // The order of a table: named entries first, by name, then numbers.
  friend bool operator<(const Key& a, const Key& b) {
    return std::make_tuple(a.name.empty(), a.name, a.id) <
           std::make_tuple(b.name.empty(), b.name, b.id);
  }
};

struct Resource {
  Key type;
  Key name;
  uint32_t language = 1033;
  std::vector<uint8_t> data;
};

struct Layout {
  std::vector<uint8_t> bytes;
  uint32_t nt = 0;        // file offset of "PE\0\0"
  uint32_t optional = 0;  // of the optional header
  uint32_t sections = 0;  // of the section table (.text, then .rsrc)
  uint32_t rsrc = 0;      // of the .rsrc section's bytes
  uint32_t rsrcRva = 0;
  // Offsets from the start of .rsrc: every table (root, types' tables, names'
  // tables), every name string, and each resource's data entry (in the order given).
  std::vector<uint32_t> tables, strings, dataEntries;
  std::vector<uint32_t> dataAt;  // file offset of each resource's data
};

enum class Bits { Pe32, Pe32Plus };

inline Layout build(const std::vector<Resource>& resources, Bits bits = Bits::Pe32) {
  constexpr uint32_t kHeaders = 0x400, kText = 0x200, kTextRva = 0x1000, kRsrcRva = 0x2000;
  constexpr uint32_t kSub = 0x80000000;
  const bool plus = bits == Bits::Pe32Plus;
  const uint16_t optionalBytes = plus ? 240 : 224;

  // The tree, sorted as the linker writes it.
  std::map<Key, std::map<Key, std::map<uint32_t, size_t>>> tree;
  for (size_t i = 0; i < resources.size(); ++i)
    tree[resources[i].type][resources[i].name][resources[i].language] = i;

  Layout l;
  std::vector<uint8_t> r;  // the .rsrc section
  auto u16 = [&r](uint32_t at, uint32_t v) {
    io::putLe16(&r.at(at + 1) - 1, static_cast<uint16_t>(v));
  };
  auto u32 = [&r](uint32_t at, uint32_t v) { io::putLe32(&r.at(at + 3) - 3, v); };
  auto table = [&](size_t named, size_t count) {
    const auto at = static_cast<uint32_t>(r.size());
    r.resize(r.size() + 16 + 8 * count);
    u16(at + 12, static_cast<uint32_t>(named));
    u16(at + 14, static_cast<uint32_t>(count - named));
    l.tables.push_back(at);
    return at;
  };
  auto namedIn = [](const auto& m) {
    return static_cast<size_t>(
        std::count_if(m.begin(), m.end(), [](const auto& e) { return !e.first.name.empty(); }));
  };
  // Tables level by level, then strings, then data entries, filled in as each is placed.
  struct Pending {
    uint32_t entry;
    Key key;
  };
  std::vector<Pending> names;
  std::vector<std::pair<uint32_t, size_t>> leaves;  // entry, resource
  const uint32_t root = table(namedIn(tree), tree.size());
  uint32_t e = root + 16;
  std::vector<std::pair<uint32_t, const std::map<Key, std::map<uint32_t, size_t>>*>> typeTables;
  for (const auto& [type, byName] : tree) {
    names.push_back({e, type});
    typeTables.push_back({e, &byName});
    e += 8;
  }
  std::vector<std::pair<uint32_t, const std::map<uint32_t, size_t>*>> nameTables;
  for (const auto& [entry, byName] : typeTables) {
    const uint32_t t = table(namedIn(*byName), byName->size());
    u32(entry + 4, kSub | t);
    uint32_t f = t + 16;
    for (const auto& [name, byLanguage] : *byName) {
      names.push_back({f, name});
      nameTables.push_back({f, &byLanguage});
      f += 8;
    }
  }
  for (const auto& [entry, byLanguage] : nameTables) {
    const uint32_t t = table(0, byLanguage->size());
    u32(entry + 4, kSub | t);
    uint32_t f = t + 16;
    for (const auto& [language, index] : *byLanguage) {
      u32(f, language);
      leaves.push_back({f, index});
      f += 8;
    }
  }
  for (const Pending& p : names) {
    if (p.key.name.empty()) {
      u32(p.entry, p.key.id);
      continue;
    }
    const auto at = static_cast<uint32_t>(r.size());
    l.strings.push_back(at);
    u32(p.entry, kSub | at);
    r.push_back(static_cast<uint8_t>(p.key.name.size()));
    r.push_back(0);
    for (char c : p.key.name) r.push_back(static_cast<uint8_t>(c)), r.push_back(0);
  }
  r.resize((r.size() + 3) / 4 * 4);
  l.dataEntries.resize(resources.size());
  for (const auto& [entry, index] : leaves) {
    const auto at = static_cast<uint32_t>(r.size());
    l.dataEntries[index] = at;
    u32(entry + 4, at);
    r.resize(r.size() + 16);
  }
  l.dataAt.resize(resources.size());
  for (const auto& [entry, index] : leaves) {
    r.resize((r.size() + 7) / 8 * 8);
    const auto at = static_cast<uint32_t>(r.size());
    l.dataAt[index] = kHeaders + kText + at;
    u32(l.dataEntries[index], kRsrcRva + at);
    u32(l.dataEntries[index] + 4, static_cast<uint32_t>(resources[index].data.size()));
    r.insert(r.end(), resources[index].data.begin(), resources[index].data.end());
  }
  const auto rsrcBytes = static_cast<uint32_t>(r.size());
  r.resize((r.size() + 0x1FF) / 0x200 * 0x200);

  // Headers; a file image the loader and objdump take for a DLL.
  std::vector<uint8_t>& b = l.bytes;
  b.assign(kHeaders + kText, 0);
  b.insert(b.end(), r.begin(), r.end());
  auto h16 = [&b](uint32_t at, uint32_t v) {
    io::putLe16(&b.at(at + 1) - 1, static_cast<uint16_t>(v));
  };
  auto h32 = [&b](uint32_t at, uint32_t v) { io::putLe32(&b.at(at + 3) - 3, v); };
  for (uint32_t i = 0; i < kText; ++i) b[kHeaders + i] = 0xC3;  // ret
  h16(0, 0x5A4D);                                               // "MZ"
  l.nt = 0x80;
  h32(0x3C, l.nt);
  h32(l.nt, 0x00004550);  // "PE\0\0"
  h16(l.nt + 4, plus ? 0x8664 : 0x014C);
  h16(l.nt + 6, 2);
  h16(l.nt + 20, optionalBytes);
  h16(l.nt + 22, plus ? 0x2022 : 0x2102);  // a DLL; large addresses / 32-bit words
  const uint32_t o = l.optional = l.nt + 24;
  h16(o, plus ? 0x20B : 0x10B);
  h32(o + 4, kText);
  h32(o + 8, static_cast<uint32_t>(r.size()));
  h32(o + 20, kTextRva);
  if (plus) {
    h32(o + 24, 0x10000000);  // image base, 64 bits
  } else {
    h32(o + 24, kRsrcRva);
    h32(o + 28, 0x10000000);
  }
  h32(o + 32, 0x1000);  // section alignment
  h32(o + 36, 0x200);   // file alignment
  h16(o + 40, 4);
  h16(o + 48, 4);
  h32(o + 56, kRsrcRva + (rsrcBytes + 0xFFF) / 0x1000 * 0x1000);  // image size
  h32(o + 60, kHeaders);
  h16(o + 68, 2);  // GUI
  const uint32_t count = plus ? o + 108 : o + 92;
  h32(count, 16);
  h32(count + 4 + 8 * 2, kRsrcRva);  // resources
  h32(count + 8 + 8 * 2, rsrcBytes);
  l.sections = o + optionalBytes;
  auto section = [&](uint32_t at, const char* name, uint32_t rva, uint32_t bytes, uint32_t raw,
                     uint32_t file, uint32_t flags) {
    for (uint32_t i = 0; name[i] != 0; ++i) b[at + i] = static_cast<uint8_t>(name[i]);
    h32(at + 8, bytes);
    h32(at + 12, rva);
    h32(at + 16, raw);
    h32(at + 20, file);
    h32(at + 36, flags);
  };
  section(l.sections, ".text", kTextRva, kText, kText, kHeaders, 0x60000020);
  section(l.sections + 40, ".rsrc", kRsrcRva, rsrcBytes, static_cast<uint32_t>(r.size()),
          kHeaders + kText, 0x40000040);
  l.rsrc = kHeaders + kText;
  l.rsrcRva = kRsrcRva;
  return l;
}

}  // namespace pebuild
