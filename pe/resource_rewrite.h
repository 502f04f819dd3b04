#pragma once
// Replacing one resource's data by bytes of another length, with the module
// made whole again around it: the resource section grows or shrinks in whole
// file-alignment units, what follows it in the file (the sections a linker
// puts after the resources, then anything appended after the last section)
// moves with it byte for byte, and every header field that depends on sizes
// and places follows (section sizes and addresses, the resource, relocation
// and debug directories, SizeOfImage, SizeOfInitializedData, the checksum).
//
// Pure: bytes in, the new file's bytes or a sentence out. A module that
// cannot be rewritten without breaking something is refused, never guessed at:
// a signed one, one whose sections overlap or are out of order, one whose
// resource directory does not begin its section, a section that code or data
// can point into that would need a new address, and the like.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/result.h"
#include "pe/resource_table.h"

namespace pe {

// Data entries are laid out on this boundary; what follows the replaced data
// moves by whole multiples of it, so it keeps its alignment.
inline constexpr uint32_t kDataAlignment = 8;

struct Rewritten {
  std::vector<uint8_t> file;  // the whole new file
  int64_t dataPosition = 0;   // 1-based position of the resource's new data (it stays put)
};

// Replaces the data of `table.resources[index]` (read from `file` by
// readResourceTable) by `data`. Refusals are Fault::Bitmap, each reason a
// sentence about the file.
Result<Rewritten> replaceResourceData(std::span<const uint8_t> file, const ResourceTable& table,
                                      size_t index, std::span<const uint8_t> data);

// The PE checksum of `file` as the loader and MapFileAndCheckSum compute it
// (the checksum field itself, at 0-based `checksumOffset`, counted as zero).
uint32_t peChecksum(std::span<const uint8_t> file, size_t checksumOffset);

}  // namespace pe
