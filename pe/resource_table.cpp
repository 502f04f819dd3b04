#include "pe/resource_table.h"

#include <algorithm>
#include <array>
#include <set>
#include <span>
#include <tuple>
#include <unordered_set>

#include "io/little_endian.h"

namespace pe {
namespace {

// The headers, as the PE/COFF format lays them out (offsets 0-based).
constexpr uint16_t kMz = 0x5A4D;               // "MZ" at the start of the file
constexpr int64_t kDosHeaderBytes = 64;        // the MS-DOS header ...
constexpr int64_t kNewHeaderField = 0x3C;      // ... whose field here gives where "PE\0\0" stands
constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr int64_t kNtHeadBytes = 24;           // the signature and the COFF file header
constexpr uint16_t kPe32Magic = 0x10B, kPe32PlusMagic = 0x20B;
// Where the optional header keeps its count of data directories; they follow it.
constexpr uint32_t kDirectoryCount32 = 92, kDirectoryCount64 = 108;
constexpr uint32_t kMaxDirectories = 16;  // the loader looks at no more
constexpr int64_t kSectionHeaderBytes = 40;

// The resource directory: tables of 16 bytes, each followed by its 8-byte
// entries; a leaf is a 16-byte data entry. Offsets in it count from its start.
constexpr uint32_t kTableBytes = 16, kEntryBytes = 8, kDataEntryBytes = 16;
constexpr uint32_t kHighBit = 0x80000000;  // name: a string; offset: a subdirectory
constexpr int kLevels = 3;                 // type, name, language

uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(io::le16(p)); }

Result<ResourceTable> refuse(std::string why) {
  return Result<ResourceTable>::failure(Fault::Source, std::move(why));
}

// The bytes of a section that are in the file. Past its virtual size the
// loader maps zeros, not the file, so those bytes are not the section's.
uint32_t fileExtent(const Section& s) {
  return s.virtualSize == 0 ? s.rawSize : std::min(s.rawSize, s.virtualSize);
}

// Finds the section holding an address among sections sorted by address
// (the loader refuses overlapping ones, so the last that starts at or below
// the address is the only candidate).
class SectionMap {
 public:
  explicit SectionMap(const std::vector<Section>& sections) : sections_(sections) {
    for (size_t i = 0; i < sections.size(); ++i) order_.push_back(i);
    std::stable_sort(order_.begin(), order_.end(), [&](size_t a, size_t b) {
      return sections[a].virtualAddress < sections[b].virtualAddress;
    });
  }
  std::optional<size_t> holding(uint32_t rva) const {
    auto it = std::upper_bound(order_.begin(), order_.end(), rva, [&](uint32_t r, size_t i) {
      return r < sections_[i].virtualAddress;
    });
    if (it == order_.begin()) return std::nullopt;
    const size_t i = *std::prev(it);
    if (rva - sections_[i].virtualAddress >= fileExtent(sections_[i])) return std::nullopt;
    return i;
  }

 private:
  const std::vector<Section>& sections_;
  std::vector<size_t> order_;
};

std::string utf8(std::span<const uint8_t> utf16) {
  std::string out;
  auto put = [&](uint32_t c) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  };
  const size_t units = utf16.size() / 2;
  for (size_t i = 0; i < units; ++i) {
    const uint32_t c = u16(&utf16[2 * i]);
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units) {
      const uint32_t low = u16(&utf16[2 * i + 2]);
      if (low >= 0xDC00 && low < 0xE000) {
        put(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    put(c >= 0xD800 && c < 0xE000 ? 0xFFFD : c);  // a lone half of a pair
  }
  return out;
}

// Walks the resource directory: the bytes from its start to the end of its
// section's bytes in the file. Reads go through a few cached blocks, since
// the tables of a module lie together and its data (never read) after them.
// The bytes fetched, and apart from them the bytes read from the file, are
// each held to twice the region, so that tables and names laid over each
// other cannot make the walk slow; a real directory is read about once.
class Walk {
 public:
  Walk(io::Channel& file, int64_t start, uint32_t size, int64_t fileLength,
       const std::vector<Section>& sections)
      : file_(file),
        start_(start),
        size_(size),
        fileLength_(fileLength),
        sections_(sections),
        map_(sections),
        fetchBudget_(2 * static_cast<int64_t>(size) + 4096),
        readBudget_(2 * static_cast<int64_t>(size)) {}

  bool run(std::vector<Resource>& out) {
    out_ = &out;
    std::array<Key, kLevels> path;
    return table(0, 0, path);
  }
  const std::string& reason() const { return reason_; }

 private:
  static constexpr uint32_t kBlock = 4096;
  static constexpr size_t kBlocks = 8;
  struct Block {
    int64_t first = -1;  // offset in the region; -1 when empty
    std::vector<uint8_t> bytes;
  };

  bool fail(std::string why) {
    reason_ = std::move(why);
    return false;
  }
  bool overAndOver() {
    return fail(
        "Its resource directory reads the same bytes over and over (tables or names laid over "
        "each other).");
  }

  // Fills `out` from region offset `at`, or fails naming `what`.
  bool fetch(uint32_t at, std::span<uint8_t> out, const char* what) {
    if (at > size_ || out.size() > size_ - at)
      return fail(std::string(what) + " lies outside the resource section.");
    fetchBudget_ -= static_cast<int64_t>(out.size());
    if (fetchBudget_ < 0) return overAndOver();
    size_t done = 0;
    while (done < out.size()) {
      const int64_t offset = at + static_cast<int64_t>(done);
      const Block* b = block(offset - offset % kBlock);
      if (!b) return false;
      const auto inBlock = static_cast<size_t>(offset - b->first);
      const size_t n = std::min(out.size() - done, b->bytes.size() - inBlock);
      std::copy_n(b->bytes.begin() + static_cast<std::ptrdiff_t>(inBlock), n, out.begin() + done);
      done += n;
    }
    return true;
  }

  const Block* block(int64_t first) {
    for (const Block& b : blocks_)
      if (b.first == first) return &b;
    Block& b = blocks_[next_++ % kBlocks];
    b.first = -1;
    b.bytes.resize(std::min<int64_t>(kBlock, size_ - first));
    readBudget_ -= static_cast<int64_t>(b.bytes.size());
    if (readBudget_ < 0) {
      overAndOver();
      return nullptr;
    }
    if (file_.read(start_ + first + 1, b.bytes) != b.bytes.size()) {
      fail(file_.errorOr("Its resource section could not be read."));
      return nullptr;
    }
    b.first = first;
    return &b;
  }

  bool name(uint32_t at, Key& key) {
    uint8_t length[2];
    if (!fetch(at, length, "A resource name")) return false;
    std::vector<uint8_t> units(2 * static_cast<size_t>(u16(length)));
    if (!fetch(at + 2, units, "A resource name")) return false;
    key.named = true;
    key.name = utf8(units);
    return true;
  }

  bool table(uint32_t at, int level, std::array<Key, kLevels>& path) {
    if (!visited_.insert(at).second)
      return fail("Its resource directory loops: a table is reached twice.");
    uint8_t head[kTableBytes];
    if (!fetch(at, head, "A resource table")) return false;
    const uint32_t count = uint32_t{u16(head + 12)} + u16(head + 14);  // named, then numbered
    if (count > (size_ - at - kTableBytes) / kEntryBytes)
      return fail("A resource table claims " + std::to_string(count) +
                  " entries, more than its section has room for.");
    std::vector<uint8_t> entries(count * kEntryBytes);
    if (!fetch(at + kTableBytes, entries, "A resource table")) return false;
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t key = io::le32u(&entries[i * kEntryBytes]);
      const uint32_t target = io::le32u(&entries[i * kEntryBytes + 4]);
      path[level] = Key{.named = false, .id = key & kHighBit ? 0 : key, .name = {}};
      if ((key & kHighBit) && !name(key & ~kHighBit, path[level])) return false;
      const bool subtable = (target & kHighBit) != 0;
      if (subtable && level + 1 == kLevels)
        return fail("Its resource directory is nested deeper than three levels.");
      if (!subtable && level + 1 < kLevels)
        return fail("Its resource directory has a resource where a table belongs.");
      if (subtable ? !table(target & ~kHighBit, level + 1, path) : !leaf(target, path))
        return false;
    }
    return true;
  }

  bool leaf(uint32_t at, const std::array<Key, kLevels>& path) {
    uint8_t entry[kDataEntryBytes];
    if (!fetch(at, entry, "A resource's data entry")) return false;
    Resource r{.type = path[0], .name = path[1], .language = path[2]};
    r.rva = io::le32u(entry);
    r.size = io::le32u(entry + 4);
    r.codePage = io::le32u(entry + 8);
    r.place = Place::NoSection;
    if (const std::optional<size_t> s = map_.holding(r.rva)) {
      const Section& section = sections_[*s];
      const uint32_t into = r.rva - section.virtualAddress;
      const int64_t offset = int64_t{section.rawPointer} + into;
      r.position = offset + 1;
      const bool inSection = r.size <= fileExtent(section) - into;
      const bool inFile = offset <= fileLength_ && r.size <= fileLength_ - offset;
      r.place = inSection && inFile ? Place::InFile : Place::PastSection;
    }
    out_->push_back(std::move(r));
    return true;
  }

  io::Channel& file_;
  int64_t start_;  // 0-based file offset of the directory
  uint32_t size_;  // bytes from there to the end of its section's bytes in the file
  int64_t fileLength_;
  const std::vector<Section>& sections_;
  SectionMap map_;
  int64_t fetchBudget_;
  int64_t readBudget_;
  std::array<Block, kBlocks> blocks_;
  size_t next_ = 0;
  std::unordered_set<uint32_t> visited_;
  std::vector<Resource>* out_ = nullptr;
  std::string reason_;
};

// Reads `out` from 0-based `offset`; false with `reason` when the file ends first or fails.
bool readHeader(io::Channel& file, int64_t length, int64_t offset, std::span<uint8_t> out,
                const char* what, std::string& reason) {
  if (offset > length || static_cast<int64_t>(out.size()) > length - offset) {
    reason = std::string(what) + " runs past the end of the file: it is cut short.";
    return false;
  }
  if (file.read(offset + 1, out) != out.size()) {
    reason = file.errorOr(std::string(what) + " could not be read.");
    return false;
  }
  return true;
}

}  // namespace

Result<ResourceTable> readResourceTable(io::Channel& file) {
  const int64_t length = file.length();
  if (length < 0) return refuse(file.errorOr("Its length could not be had."));
  std::string reason;

  uint8_t dos[kDosHeaderBytes];
  if (length < kDosHeaderBytes || !readHeader(file, length, 0, dos, "Its MS-DOS header", reason) ||
      u16(dos) != kMz)
    return refuse(reason.empty() ? "It is not a Windows module: it has no MZ header." : reason);
  const int64_t nt = io::le32u(dos + kNewHeaderField);

  uint8_t head[kNtHeadBytes];
  if (!readHeader(file, length, nt, head, "Its PE header", reason)) return refuse(reason);
  if (io::le32u(head) != kPeSignature)
    return refuse(
        "It is not a Windows module: it has no PE signature where its MS-DOS header says.");
  ResourceTable t;
  t.headerPosition = nt + 1;
  t.machine = u16(head + 4);
  const uint16_t sectionCount = u16(head + 6);
  const uint16_t optionalBytes = u16(head + 20);

  // The optional header and the section table after it, in one read of at
  // most 2.6 MB, allocated only once the file is known to hold it.
  const int64_t restBytes = optionalBytes + sectionCount * kSectionHeaderBytes;
  if (restBytes > length - nt - kNtHeadBytes)
    return refuse(
        "Its optional header or section table runs past the end of the file: it is cut short.");
  std::vector<uint8_t> rest(static_cast<size_t>(restBytes));
  if (!readHeader(file, length, nt + kNtHeadBytes, rest, "Its optional header or section table",
                  reason))
    return refuse(reason);
  const uint16_t magic = optionalBytes >= 2 ? u16(rest.data()) : 0;
  if (magic != kPe32Magic && magic != kPe32PlusMagic)
    return refuse("Its optional header is neither PE32 nor PE32+.");
  t.kind = magic == kPe32Magic ? Kind::Pe32 : Kind::Pe32Plus;
  const uint32_t countAt = t.kind == Kind::Pe32 ? kDirectoryCount32 : kDirectoryCount64;
  if (optionalBytes < countAt + 4)
    return refuse("Its optional header is " + std::to_string(optionalBytes) +
                  " bytes long, too short for its kind.");
  const uint32_t room = (optionalBytes - countAt - 4) / 8;
  const uint32_t directories = std::min({io::le32u(&rest[countAt]), room, kMaxDirectories});
  for (uint32_t d = 0; d < directories; ++d) {
    const uint8_t* p = &rest[countAt + 4 + 8 * d];
    t.directories.push_back({io::le32u(p), io::le32u(p + 4)});
  }
  for (uint16_t s = 0; s < sectionCount; ++s) {
    const uint8_t* p = &rest[optionalBytes + s * static_cast<size_t>(kSectionHeaderBytes)];
    Section section;
    section.name.assign(reinterpret_cast<const char*>(p), 8);
    section.name.resize(section.name.find('\0') == std::string::npos ? 8 : section.name.find('\0'));
    section.virtualSize = io::le32u(p + 8);
    section.virtualAddress = io::le32u(p + 12);
    section.rawSize = io::le32u(p + 16);
    section.rawPointer = io::le32u(p + 20);
    section.characteristics = io::le32u(p + 36);
    t.sections.push_back(std::move(section));
  }

  if (t.directories.size() <= kResourceDirectory ||
      (t.directories[kResourceDirectory].rva == 0 && t.directories[kResourceDirectory].size == 0))
    return t;  // a module without resources
  const uint32_t rva = t.directories[kResourceDirectory].rva;
  const std::optional<size_t> home = SectionMap(t.sections).holding(rva);
  if (!home) return refuse("Its resource directory lies in none of its sections.");
  t.resourceSection = static_cast<int>(*home);
  const Section& rsrc = t.sections[*home];
  const int64_t start = int64_t{rsrc.rawPointer} + (rva - rsrc.virtualAddress);
  const int64_t end = std::min(int64_t{rsrc.rawPointer} + fileExtent(rsrc), length);
  if (end - start < kTableBytes)
    return refuse("Its resource section runs past the end of the file: it is cut short.");
  Walk walk(file, start, static_cast<uint32_t>(end - start), length, t.sections);
  if (!walk.run(t.resources)) return refuse(walk.reason());
  return t;
}

std::string typeName(const Key& type) {
  if (type.named) return type.name;
  switch (type.id) {
    case kCursor:
      return "cursor";
    case kBitmap:
      return "bitmap";
    case kIcon:
      return "icon";
    case kRcData:
      return "rcdata";
    case kGroupIcon:
      return "group_icon";
    default:
      return std::to_string(type.id);
  }
}

ResourceIndex::ResourceIndex(const ResourceTable& table) {
  // A sweep over the starts and ends of the data in the file: between two
  // consecutive ends the owner cannot change, so each span keeps one.
  struct Event {
    int64_t at;
    bool opens;
    size_t index;
  };
  std::vector<Event> events;
  const std::vector<Resource>& rs = table.resources;
  for (size_t i = 0; i < rs.size(); ++i) {
    if (rs[i].place != Place::InFile || rs[i].size == 0) continue;
    events.push_back({rs[i].position, true, i});
    events.push_back({rs[i].position + rs[i].size, false, i});
  }
  std::sort(events.begin(), events.end(),
            [](const Event& a, const Event& b) { return a.at < b.at; });
  auto smaller = [&rs](size_t a, size_t b) {
    return std::tie(rs[a].size, a) < std::tie(rs[b].size, b);
  };
  std::set<size_t, decltype(smaller)> open(smaller);
  for (size_t k = 0; k < events.size();) {
    const int64_t at = events[k].at;
    for (; k < events.size() && events[k].at == at; ++k) {
      if (events[k].opens)
        open.insert(events[k].index);
      else
        open.erase(events[k].index);
    }
    const std::optional<size_t> owner =
        open.empty() ? std::nullopt : std::optional<size_t>(*open.begin());
    if (spans_.empty() || spans_.back().owner != owner) spans_.push_back({at, owner});
  }
}

std::optional<size_t> ResourceIndex::at(int64_t pos) const {
  auto it = std::upper_bound(spans_.begin(), spans_.end(), pos,
                             [](int64_t p, const Span& s) { return p < s.first; });
  if (it == spans_.begin()) return std::nullopt;
  return std::prev(it)->owner;
}

}  // namespace pe
