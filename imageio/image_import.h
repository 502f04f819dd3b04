#pragma once
// The whole import of an image file over a gauge bitmap, for the windows and
// the command line alike. A .BMP in the layout the export writes, with the
// bitmap's width and height, is copied byte for byte (padding included), so an
// unchanged round trip leaves the gauge as it was. Any other file that Qt's
// image reader can decode (every .BMP layout editors write, PNG, ...) is
// decoded, mapped onto the bitmap's own palette and written over its W x H
// pixels. Either way nothing is written unless the whole picture fits.

#include <cstdint>
#include <string>

#include "base/result.h"
#include "gau/import.h"
#include "gau/resource_bitmap.h"

namespace io {
class Channel;
}

namespace imageio {
using io::Channel;

// What the import did; approximatedPixels / approximatedColours say how many
// pixels, in how many distinct colours, were not in the palette and took the
// nearest entry (0 for a byte-for-byte copy).
struct ImageImport : gau::Imported {
  bool decoded = false;  // false: copied as the export's own layout
};

// Imports the image file `imageFile` (read only) over the bitmap at `bmpPos`.
Result<ImageImport> importImage(Channel& gauge, int32_t bmpPos, Channel& imageFile);

// The same with the file opened read-only by name for the length of the call.
Result<ImageImport> importImage(Channel& gauge, int32_t bmpPos, const std::string& fileName);

// Imports the image file `fileName` into the bitmap resource `dib` of another
// depth (see gau::importIntoDib): decoded whole, of the bitmap's size, before
// a byte of the gauge is written.
Result<gau::DibImported> importImageIntoDib(Channel& gauge, const gau::Dib& dib,
                                            const std::string& fileName);

}  // namespace imageio
