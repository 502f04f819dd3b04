#pragma once
// A bitmap resource made the size of a picture: its data (header, palette,
// pixels) built anew, the module rewritten around it (pe/resource_rewrite.h)
// and the file changed through changeTail(), so the change can be undone and
// a cut-off one plays back. Only a bitmap that is a resource of its own can
// change size: one loose in the file, or inside other data, has nothing that
// says how long it is but itself.

#include <cstdint>
#include <string>

#include "base/result.h"
#include "gau/colour_map.h"

namespace io {
class Channel;
}

namespace gau {

// The largest picture a bitmap is made: each side at most this, so a 32-bit
// bitmap stays under 256 MiB and every size fits 32 bits with room.
inline constexpr int32_t kMaxResizedSide = 8192;
// The largest gauge file rewritten: it is held in memory twice.
inline constexpr int64_t kMaxResizedGauge = int64_t{512} << 20;

// What making a bitmap another size found and did.
struct Resized {
  int32_t width = 0, height = 0;  // before
  int bits = 0;                   // 8, 24 or 32: kept
  bool wasCompressed = false;     // run-length data replaced by plain rows
  int64_t approximatedPixels = 0;   // 8-bit: pixels whose colour the palette lacks
  int64_t approximatedColours = 0;  // and the distinct colours among them
};

// The bitmap resource whose data begins at 1-based `headerPos`: its width,
// height and depth, or why it cannot change size (Fault::Bitmap).
Result<Resized> resizableBitmap(io::Channel& gauge, int64_t headerPos);

// Makes the bitmap resource whose data begins at `headerPos` the size of
// `picture`, which must be consistent (see pictureProblem) and at most
// kMaxResizedSide a side. An 8-bit bitmap keeps its palette and the picture
// is mapped onto it as an import maps it; 24- and 32-bit bitmaps take its
// colours exactly (32-bit: with their alpha). Refusals (nothing written):
// Fault::Bitmap (no resource, a depth or layout it cannot rebuild, a module
// that cannot be rewritten), Fault::DoesNotFit (the picture is too large),
// Fault::ReadOnly; a failed write as changeTail() says.
Result<Resized> resizeBitmap(io::Channel& gauge, int64_t headerPos, const Picture& picture);

}  // namespace gau
