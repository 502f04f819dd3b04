#pragma once
// The resource table of a Windows module (PE32 or PE32+), as a gauge file is:
// where each resource's data lies in the file. Read through a channel, a few
// small reads of the headers, the section table and the resource directory;
// the resources' own bytes are never read.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "io/file_channels.h"

namespace pe {

// Resource types met in gauges (RT_* of the Windows headers).
inline constexpr uint32_t kCursor = 1;
inline constexpr uint32_t kBitmap = 2;
inline constexpr uint32_t kIcon = 3;
inline constexpr uint32_t kRcData = 10;
inline constexpr uint32_t kGroupIcon = 14;

// The resource directory's index in ResourceTable::directories.
inline constexpr size_t kResourceDirectory = 2;

enum class Kind { Pe32, Pe32Plus };

struct Section {
  std::string name;  // up to 8 bytes, as written (no trailing NULs)
  uint32_t virtualAddress = 0;
  uint32_t virtualSize = 0;
  uint32_t rawPointer = 0;  // 0-based file offset of its bytes, as in the header
  uint32_t rawSize = 0;
  uint32_t characteristics = 0;
};

struct DataDirectory {
  uint32_t rva = 0;
  uint32_t size = 0;
};

// A type, name or language in the directory: a number, or a string.
struct Key {
  bool named = false;
  uint32_t id = 0;   // when !named
  std::string name;  // when named: UTF-8 from the directory's UTF-16
  friend bool operator==(const Key&, const Key&) = default;
};

// Where a resource's data lies.
enum class Place {
  InFile,      // every byte inside its section's bytes in the file
  NoSection,   // its address lies in no section's bytes in the file
  PastSection  // it starts in a section but runs past its bytes or past the end of the file
};

struct Resource {
  Key type;
  Key name;
  Key language;
  uint32_t rva = 0;
  uint32_t size = 0;
  uint32_t codePage = 0;
  Place place = Place::InFile;
  int64_t position = 0;  // 1-based position of the first byte; 0 for NoSection
};

struct ResourceTable {
  uint16_t machine = 0;  // 0x14C i386, 0x8664 x86-64, ...
  Kind kind = Kind::Pe32;
  int64_t headerPosition = 0;  // 1-based position of "PE\0\0"
  std::vector<Section> sections;
  std::vector<DataDirectory> directories;  // as many as the header has room for, up to 16
  int resourceSection = -1;                // index into sections; -1 without resources
  std::vector<Resource> resources;         // in directory order
};

// Reads the table of the module in `file`. A file that is not a module, or
// whose headers or resource directory break a bound, is refused with the
// reason (Fault::Source); a module without resources gives an empty list.
// Resources whose data lies outside the file are listed with their Place.
Result<ResourceTable> readResourceTable(io::Channel& file);

// "bitmap", "icon", "cursor", "rcdata", "group_icon"; else the number or the name.
std::string typeName(const Key& type);

// Which resource's data holds a position: built once, then any number of
// lookups at O(log n). Only data in the file (Place::InFile) counts; where
// resources overlap, the smallest holds the position (then the first).
class ResourceIndex {
 public:
  explicit ResourceIndex(const ResourceTable& table);
  // Index into table.resources of the resource holding 1-based `pos`.
  std::optional<size_t> at(int64_t pos) const;

 private:
  struct Span {
    int64_t first;  // 1-based; the span runs to the next one's first
    std::optional<size_t> owner;
  };
  std::vector<Span> spans_;  // sorted by first; the last has no owner
};

}  // namespace pe
