#pragma once
// A picture of another size than its gauge bitmap: the bitmap resource made
// the picture's size (gau/resize.h), for the windows and the command line
// alike. The picture's size is asked first, and one over the limit is refused
// before a pixel is decoded.

#include <cstdint>
#include <string>

#include "base/result.h"
#include "gau/resize.h"

namespace io {
class Channel;
}

namespace imageio {

// Makes the bitmap resource whose data begins at 1-based `headerPos` the size
// of the picture in `imageFile` and writes the picture into it.
Result<gau::Resized> importResized(io::Channel& gauge, int64_t headerPos, io::Channel& imageFile);

// The same with the picture opened read-only by name for the length of the call.
Result<gau::Resized> importResized(io::Channel& gauge, int64_t headerPos,
                                   const std::string& fileName);

}  // namespace imageio
