#include "pe/resource_rewrite.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <string>
#include <unordered_set>

#include "io/little_endian.h"

namespace pe {
namespace {

// Fields of the headers, as 0-based offsets from the optional header's start
// (both kinds unless said), the file header's, or a section header's.
constexpr size_t kOptionalFromNt = 24;
constexpr size_t kSymbolTableFromNt = 12;  // PointerToSymbolTable, a file offset
constexpr size_t kOptionalSizeFromNt = 20;
constexpr size_t kInitializedData = 8, kImageBase32 = 28, kImageBase64 = 24,
                 kSectionAlignment = 32, kFileAlignment = 36, kSizeOfImage = 56,
                 kSizeOfHeaders = 60, kCheckSum = 64;
constexpr size_t kDirectories32 = 96, kDirectories64 = 112;
constexpr size_t kSectionHeaderBytes = 40, kVirtualSize = 8, kVirtualAddress = 12,
                 kRawSize = 16, kRawPointer = 20;
constexpr uint32_t kInitializedDataSection = 0x00000040;  // IMAGE_SCN_CNT_INITIALIZED_DATA
constexpr uint32_t kDiscardable = 0x02000000;             // IMAGE_SCN_MEM_DISCARDABLE
constexpr uint32_t kExecutable = 0x20000000;              // IMAGE_SCN_MEM_EXECUTE

// Data directories by index.
constexpr size_t kCertificates = 4, kRelocations = 5, kDebug = 6;
constexpr const char* kDirectoryNames[16] = {
    "export table",       "import table",          "resource table",
    "exception table",    "certificate table",     "base relocation table",
    "debug directory",    "architecture data",     "global pointer",
    "TLS table",          "load configuration",    "bound import table",
    "import address table", "delay import table",  "CLR runtime header",
    "reserved directory"};

// A debug directory entry: AddressOfRawData and PointerToRawData follow size.
constexpr size_t kDebugEntryBytes = 28, kDebugAddress = 20, kDebugPointer = 24;
// Base relocation entries that patch 4 and 8 bytes; 0 pads a block.
constexpr unsigned kHighLow = 3, kDir64 = 10;

constexpr uint32_t kTableBytes = 16, kEntryBytes = 8, kDataEntryBytes = 16;
constexpr size_t kMaxSections = 256;  // gauges have about a dozen
constexpr uint32_t kHighBit = 0x80000000;

uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

Result<Rewritten> refuse(std::string why) {
  return Result<Rewritten>::failure(Fault::Bitmap, std::move(why));
}

int64_t alignUp(int64_t v, int64_t a) { return (v + a - 1) / a * a; }
bool powerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

std::string named(const Section& s) { return s.name.empty() ? "(unnamed)" : s.name; }

// The section's bytes in the file that the loader maps; see fileExtent in resource_table.cpp.
int64_t extentOf(const Section& s) {
  return s.virtualSize == 0 ? s.rawSize : std::min(s.rawSize, s.virtualSize);
}
// The section's span in memory before alignment.
int64_t spanOf(const Section& s) { return s.virtualSize != 0 ? s.virtualSize : s.rawSize; }

// The resource directory's structures (tables, names, data entries) and the
// places of its data entries, walked over the section's bytes in memory.
struct DirectoryWalk {
  std::span<const uint8_t> bytes;  // from the directory's start to its section's end
  std::vector<uint32_t> dataEntries;
  uint32_t end = 0;  // one past the furthest structure
  std::unordered_set<uint32_t> visited;

  bool fits(uint32_t at, uint64_t n) const { return at <= bytes.size() && n <= bytes.size() - at; }
  void reach(uint64_t e) { end = static_cast<uint32_t>(std::max<uint64_t>(end, e)); }

  bool table(uint32_t at, int level) {
    if (level > 2 || !visited.insert(at).second || !fits(at, kTableBytes)) return false;
    const uint32_t count = uint32_t{u16(&bytes[at + 12])} + u16(&bytes[at + 14]);
    if (!fits(at + kTableBytes, uint64_t{count} * kEntryBytes)) return false;
    reach(at + kTableBytes + uint64_t{count} * kEntryBytes);
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* e = &bytes[at + kTableBytes + i * kEntryBytes];
      if (const uint32_t key = io::le32u(e); key & kHighBit) {
        const uint32_t name = key & ~kHighBit;
        if (!fits(name, 2) || !fits(name, 2 + 2 * uint64_t{u16(&bytes[name])})) return false;
        reach(name + 2 + 2 * uint64_t{u16(&bytes[name])});
      }
      const uint32_t target = io::le32u(e + 4);
      if (target & kHighBit) {
        if (!table(target & ~kHighBit, level + 1)) return false;
      } else {
        if (level != 2 || !fits(target, kDataEntryBytes)) return false;
        dataEntries.push_back(target);
        reach(uint64_t{target} + kDataEntryBytes);
      }
    }
    return true;
  }
};

}  // namespace

uint32_t peChecksum(std::span<const uint8_t> file, size_t checksumOffset) {
  uint64_t sum = 0;
  for (size_t i = 0; i < file.size(); i += 2) {
    if (i == checksumOffset || i == checksumOffset + 2) continue;
    uint32_t word = file[i];
    if (i + 1 < file.size()) word |= uint32_t{file[i + 1]} << 8;
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + file.size());
}

Result<Rewritten> replaceResourceData(std::span<const uint8_t> file, const ResourceTable& table,
                                      size_t index, std::span<const uint8_t> data) {
  if (index >= table.resources.size() || table.resourceSection < 0)
    return refuse("It has no such resource.");
  if (data.empty()) return refuse("A resource cannot be made empty.");
  const Resource& target = table.resources[index];
  const auto rsIndex = static_cast<size_t>(table.resourceSection);
  const Section& rs = table.sections[rsIndex];
  const int64_t length = static_cast<int64_t>(file.size());

  // The headers this rewrite changes, checked to lie in the file.
  const int64_t nt = table.headerPosition - 1;
  const int64_t opt = nt + kOptionalFromNt;
  if (nt < 0 || opt + 2 > length) return refuse("Its PE header runs past the end of the file.");
  const uint16_t optionalBytes = u16(&file[nt + kOptionalSizeFromNt]);
  const int64_t sectionTable = opt + optionalBytes;
  const size_t dirsAt = table.kind == Kind::Pe32 ? kDirectories32 : kDirectories64;
  if (sectionTable + static_cast<int64_t>(kSectionHeaderBytes * table.sections.size()) > length ||
      optionalBytes < kCheckSum + 4)
    return refuse("Its headers run past the end of the file.");
  // Every check below walks the sections, some pairwise: a bound keeps a hostile table quick.
  if (table.sections.size() > kMaxSections)
    return refuse("It has " + std::to_string(table.sections.size()) + " sections, more than the " +
                  std::to_string(kMaxSections) + " a module is rewritten with.");
  const uint32_t sectionAlign = io::le32u(&file[opt + kSectionAlignment]);
  const uint32_t fileAlign = io::le32u(&file[opt + kFileAlignment]);
  if (!powerOfTwo(sectionAlign) || !powerOfTwo(fileAlign) || fileAlign > sectionAlign)
    return refuse("Its section and file alignments (" + std::to_string(sectionAlign) + ", " +
                  std::to_string(fileAlign) + ") are not powers of two, the one within the other.");

  // A signature covers every byte: it could no longer hold.
  if (table.directories.size() > kCertificates &&
      (table.directories[kCertificates].rva != 0 || table.directories[kCertificates].size != 0))
    return refuse(
        "It is signed (it has a certificate table), and its signature would no longer hold once "
        "a resource changes size. Remove the signature first, and sign it again afterwards.");

  // The resource section must begin with its directory: else other data may share it.
  const DataDirectory& resources = table.directories[kResourceDirectory];
  if (resources.rva != rs.virtualAddress)
    return refuse("Its resource directory does not begin its section " + named(rs) +
                  ", so other data may share that section.");
  if (rs.characteristics & kExecutable)
    return refuse("Its resource section " + named(rs) + " holds code.");
  const int64_t rsStart = rs.rawPointer, rsContent = extentOf(rs);
  const int64_t rsRawEnd = int64_t{rs.rawPointer} + rs.rawSize;
  if (rsRawEnd > length) return refuse("Its resource section runs past the end of the file.");

  // Sections must not overlap, in memory or in the file, and those after the
  // resources in memory must be after them in the file too.
  for (size_t i = 0; i < table.sections.size(); ++i) {
    const Section& a = table.sections[i];
    for (size_t j = i + 1; j < table.sections.size(); ++j) {
      const Section& b = table.sections[j];
      const int64_t aEnd = a.virtualAddress + alignUp(spanOf(a), sectionAlign);
      const int64_t bEnd = b.virtualAddress + alignUp(spanOf(b), sectionAlign);
      const bool memory = a.virtualAddress < bEnd && b.virtualAddress < aEnd;
      const bool inFile = a.rawSize != 0 && b.rawSize != 0 && a.rawPointer < b.rawPointer + int64_t{b.rawSize} &&
                          b.rawPointer < a.rawPointer + int64_t{a.rawSize};
      if (memory || inFile)
        return refuse("Its sections " + named(a) + " and " + named(b) + " overlap" +
                      (memory ? " in memory." : " in the file."));
    }
    if (i == rsIndex || a.rawSize == 0) continue;
    const bool after = a.virtualAddress > rs.virtualAddress;
    if (after ? a.rawPointer < rsRawEnd : a.rawPointer + int64_t{a.rawSize} > rsStart)
      return refuse("Its section " + named(a) +
                    " is not in the same order in the file as in memory.");
  }

  // The data to replace, and every other resource's, against the section.
  const int64_t dataAt = int64_t{target.rva} - rs.virtualAddress;  // offset in the section
  const int64_t oldSize = target.size;
  if (target.place != Place::InFile || target.rva < rs.virtualAddress ||
      dataAt + oldSize > rsContent)
    return refuse("The resource's data does not lie in its resource section " + named(rs) + ".");
  DirectoryWalk walk;
  walk.bytes = file.subspan(static_cast<size_t>(rsStart), static_cast<size_t>(rsContent));
  if (!walk.table(0, 0)) return refuse("Its resource directory cannot be walked to its end.");
  if (walk.end > dataAt)
    return refuse("Its resource directory lies partly after the data of that resource.");

  // What follows the old data moves by a whole multiple of the alignment.
  const int64_t newSize = static_cast<int64_t>(data.size());
  const int64_t shift = newSize >= oldSize
                            ? alignUp(newSize - oldSize, kDataAlignment)
                            : -((oldSize - newSize) / kDataAlignment * kDataAlignment);
  const int64_t moveFrom = dataAt + oldSize;  // section offset from which bytes move
  const int64_t newContent = rsContent + shift;
  const int64_t rawDelta = alignUp(newContent, fileAlign) - alignUp(rsContent, fileAlign);
  const int64_t newRaw = int64_t{rs.rawSize} + rawDelta;
  const int64_t newVirtual = rs.virtualSize == 0 ? 0 : int64_t{rs.virtualSize} + shift;
  const int64_t vaShift = alignUp(newVirtual != 0 ? newVirtual : newRaw, sectionAlign) -
                          alignUp(spanOf(rs), sectionAlign);
  if (newRaw > std::numeric_limits<uint32_t>::max() || length + rawDelta > (int64_t{1} << 32))
    return refuse("The module would grow past 4 GiB.");

  // Where old addresses and offsets go; nullopt for what no longer exists.
  const auto movedSection = [&](const Section& s) { return s.virtualAddress > rs.virtualAddress; };
  const auto newRva = [&](uint32_t rva) -> std::optional<int64_t> {
    for (const Section& s : table.sections)
      if (movedSection(s) && rva >= s.virtualAddress &&
          rva - s.virtualAddress < alignUp(spanOf(s), sectionAlign))
        return int64_t{rva} + vaShift;
    const int64_t into = int64_t{rva} - rs.virtualAddress;
    if (into >= dataAt && into < moveFrom) return std::nullopt;
    if (into >= moveFrom && into < alignUp(spanOf(rs), sectionAlign))
      return into < rsContent ? std::optional<int64_t>(int64_t{rva} + shift) : std::nullopt;
    return rva;
  };
  const auto newOffset = [&](int64_t offset) -> std::optional<int64_t> {
    if (offset >= rsRawEnd) return offset + rawDelta;
    if (offset < rsStart + dataAt) return offset;
    if (offset >= rsStart + moveFrom && offset < rsStart + rsContent) return offset + shift;
    return std::nullopt;
  };
  const auto sectionOf = [&](uint32_t rva) -> const Section* {
    for (const Section& s : table.sections)
      if (rva >= s.virtualAddress && rva - s.virtualAddress < alignUp(spanOf(s), sectionAlign))
        return &s;
    return nullptr;
  };
  // The file offset of an address's byte, when it lies in a section's bytes.
  const auto offsetOf = [&](uint32_t rva, int64_t n) -> std::optional<int64_t> {
    const Section* s = sectionOf(rva);
    if (!s || rva - s->virtualAddress + n > extentOf(*s)) return std::nullopt;
    const int64_t at = int64_t{s->rawPointer} + (rva - s->virtualAddress);
    return at + n <= length ? std::optional<int64_t>(at) : std::nullopt;
  };

  // Sections after the resources that must take new addresses: only those no
  // code or data points into.
  if (vaShift != 0)
    for (const Section& s : table.sections)
      if (movedSection(s) && !(s.characteristics & kDiscardable) && s.name != ".reloc")
        return refuse("Its section " + named(s) +
                      " follows the resources in memory and would need a new address, but code "
                      "or data may point into it. Only relocations, debug data and other "
                      "discardable sections can be moved.");
  for (size_t d = 0; d < table.directories.size(); ++d) {
    const DataDirectory& dir = table.directories[d];
    if (d == kResourceDirectory || d == kCertificates || d == kRelocations || d == kDebug ||
        dir.rva == 0)
      continue;
    if (const std::optional<int64_t> to = newRva(dir.rva); !to || *to != dir.rva)
      return refuse(std::string("Its ") + kDirectoryNames[d] +
                    " lies in what would move, and cannot follow.");
  }
  // Other resources' data: before the replaced data it stays, after it it moves.
  for (size_t i = 0; i < table.resources.size(); ++i) {
    const Resource& r = table.resources[i];
    if (i == index) continue;
    const int64_t into = int64_t{r.rva} - rs.virtualAddress;
    const bool overlaps = into < moveFrom && into + int64_t{r.size} > dataAt;
    if (overlaps) return refuse("The data of another resource overlaps that resource's data.");
    if (r.rva < rs.virtualAddress || into >= rsContent) {
      if (const std::optional<int64_t> to = newRva(r.rva); !to || *to != r.rva)
        return refuse("The data of another resource lies in a section that would move.");
    } else if (into < dataAt && into + int64_t{r.size} > dataAt) {
      return refuse("The data of another resource overlaps that resource's data.");
    }
  }

  // Base relocations: their blocks must be whole, and no address they patch
  // (nor any address they hold) may lie in what changes: the replaced data and
  // everything after it in memory. Asked of each entry, so it costs nothing.
  const auto changes = [&](uint32_t rva) { return rva >= rs.virtualAddress + dataAt; };
  const uint64_t imageBase =
      table.kind == Kind::Pe32 ? io::le32u(&file[opt + kImageBase32])
                               : uint64_t{io::le32u(&file[opt + kImageBase64])} |
                                     uint64_t{io::le32u(&file[opt + kImageBase64 + 4])} << 32;
  if (table.directories.size() > kRelocations && table.directories[kRelocations].size != 0) {
    const DataDirectory& dir = table.directories[kRelocations];
    const std::optional<int64_t> at = offsetOf(dir.rva, dir.size);
    if (!at) return refuse("Its base relocations do not lie in its sections' bytes.");
    const uint8_t* p = &file[static_cast<size_t>(*at)];
    for (uint32_t b = 0; b + 8 <= dir.size;) {
      const uint32_t page = io::le32u(p + b), blockBytes = io::le32u(p + b + 4);
      if (blockBytes < 8 || blockBytes % 2 != 0 || blockBytes > dir.size - b)
        return refuse("Its base relocations are malformed.");
      for (uint32_t e = b + 8; e + 2 <= b + blockBytes; e += 2) {
        const unsigned entry = u16(p + e);
        const unsigned type = entry >> 12;
        if (type == 0) continue;
        const uint32_t patched = page + (entry & 0xFFF);
        if (changes(patched)) return refuse("A base relocation patches an address that would move.");
        if (type != kHighLow && type != kDir64) continue;
        const int n = type == kHighLow ? 4 : 8;
        const std::optional<int64_t> held = offsetOf(patched, n);
        if (!held) continue;
        uint64_t value = io::le32u(&file[static_cast<size_t>(*held)]);
        if (n == 8) value |= uint64_t{io::le32u(&file[static_cast<size_t>(*held) + 4])} << 32;
        const uint64_t rva = value - imageBase;
        if (rva > std::numeric_limits<uint32_t>::max()) continue;
        const auto r32 = static_cast<uint32_t>(rva);
        if (changes(r32)) {
          const Section* s = sectionOf(r32);
          return refuse("Code or data points into " +
                        (s ? "its section " + named(*s) : std::string("what")) +
                        " where bytes would move, so it cannot change size there.");
        }
      }
      b += blockBytes;
    }
  }

  // The new file: the bytes before the resource section's data, the new data
  // padded, the rest of the section moved, padding, and everything after the
  // section (later sections, the symbol table, appended data) moved as one.
  Rewritten out;
  std::vector<uint8_t>& f = out.file;
  f.reserve(static_cast<size_t>(length + std::max<int64_t>(rawDelta, 0)));
  f.insert(f.end(), file.begin(), file.begin() + (rsStart + dataAt));
  f.insert(f.end(), data.begin(), data.end());
  f.resize(static_cast<size_t>(rsStart + moveFrom + shift), 0);
  f.insert(f.end(), file.begin() + (rsStart + moveFrom), file.begin() + (rsStart + rsContent));
  f.resize(static_cast<size_t>(rsStart + newRaw), 0);
  f.insert(f.end(), file.begin() + rsRawEnd, file.end());
  out.dataPosition = rsStart + dataAt + 1;

  const auto put32 = [&](int64_t at, int64_t v) {
    io::putLe32(&f[static_cast<size_t>(at)], static_cast<uint32_t>(v));
  };
  // Data entries: the replaced one's size, and the address of each that moved.
  for (const uint32_t e : walk.dataEntries) {
    const int64_t at = rsStart + e;
    const uint32_t rva = io::le32u(&file[static_cast<size_t>(at)]);
    if (rva == target.rva && io::le32u(&file[static_cast<size_t>(at) + 4]) == target.size) {
      put32(at + 4, newSize);
    } else if (const std::optional<int64_t> to = newRva(rva); to && *to != rva) {
      put32(at, *to);
    }
  }
  // Section headers.
  for (size_t i = 0; i < table.sections.size(); ++i) {
    const Section& s = table.sections[i];
    const int64_t h = sectionTable + static_cast<int64_t>(i * kSectionHeaderBytes);
    if (i == rsIndex) {
      put32(h + kRawSize, newRaw);
      if (s.virtualSize != 0) put32(h + kVirtualSize, newVirtual);
    } else if (movedSection(s)) {
      put32(h + kVirtualAddress, int64_t{s.virtualAddress} + vaShift);
      if (s.rawSize != 0 || s.rawPointer >= rsRawEnd)
        put32(h + kRawPointer, int64_t{s.rawPointer} + rawDelta);
    }
  }
  // Data directories: the resources' size, the relocations' and debug data's place.
  const int64_t dirs = opt + static_cast<int64_t>(dirsAt);
  if (resources.rva + int64_t{resources.size} > target.rva)
    put32(dirs + 8 * kResourceDirectory + 4, int64_t{resources.size} + shift);
  if (table.directories.size() > kRelocations && table.directories[kRelocations].rva != 0)
    put32(dirs + 8 * kRelocations, *newRva(table.directories[kRelocations].rva));
  if (table.directories.size() > kDebug && table.directories[kDebug].size != 0) {
    const DataDirectory& dir = table.directories[kDebug];
    const std::optional<int64_t> at = offsetOf(dir.rva, dir.size);
    const std::optional<int64_t> to = newRva(dir.rva);
    if (!at || !to || !newOffset(*at))
      return refuse("Its debug directory does not lie where it can follow.");
    put32(dirs + 8 * kDebug, *to);
    for (uint32_t e = 0; e + kDebugEntryBytes <= dir.size; e += kDebugEntryBytes) {
      const int64_t oldEntry = *at + e, newEntry = *newOffset(*at) + e;
      const uint32_t address = io::le32u(&file[static_cast<size_t>(oldEntry + kDebugAddress)]);
      const uint32_t pointer = io::le32u(&file[static_cast<size_t>(oldEntry + kDebugPointer)]);
      const std::optional<int64_t> newAddress = address ? newRva(address) : int64_t{0};
      const std::optional<int64_t> newPointer = pointer ? newOffset(pointer) : int64_t{0};
      if (!newAddress || !newPointer)
        return refuse("Its debug data lies where the resource's data changes.");
      put32(newEntry + kDebugAddress, *newAddress);
      put32(newEntry + kDebugPointer, *newPointer);
    }
  }
  // The COFF symbol table, which MinGW leaves after the last section.
  if (const uint32_t symbols = io::le32u(&file[nt + kSymbolTableFromNt]); symbols != 0) {
    const std::optional<int64_t> to = newOffset(symbols);
    if (!to) return refuse("Its symbol table lies where the resource's data changes.");
    put32(nt + kSymbolTableFromNt, *to);
  }
  // Sizes of the whole: the end of the last section in memory, aligned, and
  // the initialized data, which the resource section counts in.
  int64_t imageEnd = alignUp(io::le32u(&file[opt + kSizeOfHeaders]), sectionAlign);
  for (size_t i = 0; i < table.sections.size(); ++i) {
    const int64_t h = sectionTable + static_cast<int64_t>(i * kSectionHeaderBytes);
    const uint32_t vs = io::le32u(&f[h + kVirtualSize]), raw = io::le32u(&f[h + kRawSize]);
    imageEnd = std::max(imageEnd, io::le32u(&f[h + kVirtualAddress]) + int64_t{vs ? vs : raw});
  }
  imageEnd = alignUp(imageEnd, sectionAlign);
  if (imageEnd > std::numeric_limits<uint32_t>::max())
    return refuse("Its image would grow past 4 GiB.");
  put32(opt + kSizeOfImage, imageEnd);
  if (rs.characteristics & kInitializedDataSection)
    put32(opt + kInitializedData,
          std::max<int64_t>(0, int64_t{io::le32u(&file[opt + kInitializedData])} + rawDelta));
  // The checksum, when the file has one, over the whole new file.
  if (io::le32u(&file[opt + kCheckSum]) != 0)
    put32(opt + kCheckSum, peChecksum(f, static_cast<size_t>(opt + kCheckSum)));
  return out;
}

}  // namespace pe
