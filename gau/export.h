#pragma once
// The export: one gauge bitmap written out as a complete .BMP file in the
// fixed layout of bmp_file.h. The gauge file is only read.

#include <cstdint>
#include <functional>
#include <string>

#include "base/result.h"
#include "io/replace_file.h"

namespace bmp {

// What an export wrote. A failure is Fault::Bitmap (the gauge bitmap cannot be
// converted or read; nothing was written) or Fault::Target (the .BMP could not
// be written; an older file of that name is kept).
struct Exported {
  int32_t width = 0;   // as read at BmpPos - 8
  int32_t height = 0;  // as read at BmpPos - 4
  int32_t colors = 0;  // the stored colour count, 0 read as 256
  int64_t fileBytes = 0;
};

// Writes the .BMP of the bitmap at `bmpPos` of `gauge` onto `out`, which must
// be empty, and flushes it. `onBlock` (may be empty) runs between blocks so a
// window can keep itself painted.
Result<Exported> writeBmp(io::Channel& gauge, int32_t bmpPos, io::Channel& out,
                          const std::function<void()>& onBlock = {});

// What the export does when a file of the target's name already exists:
// Replace for the window's CONVERT, Keep for the command line without --force.
using Existing = io::Existing;

// Writes the .BMP through io::Replacement: whole or not at all, never over a
// link, a device, a read-only file or the gauge file itself (replace_file.h).
Result<Exported> exportBitmap(io::Channel& gauge, int32_t bmpPos, const std::string& target,
                              const std::function<void()>& onBlock = {},
                              Existing existing = Existing::Replace);

}  // namespace bmp
