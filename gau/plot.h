#pragma once
// The viewer's preview: a found bitmap plotted dot by dot in its own colours,
// straight from the gauge file, onto a drawing surface that knows only dots
// and lines of text. The surface is an interface so that the tests can record
// what is drawn and the window can draw it into an image.

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "base/result.h"

namespace io {
class Channel;
}

// Palette of the bitmap last drawn: (k, 1) blue, (k, 2) green, (k, 3) red; entries 0 to 256.
using PaletteTable = std::array<std::array<int16_t, 4>, 257>;

namespace gau {

// A drawing surface addressed in twips from the top-left corner. Like a window
// surface it keeps a text position: a dot moves it to the dot, a printed line
// moves it to the left edge one line lower, and clearing returns it to (0, 0).
class Canvas {
 public:
  virtual ~Canvas() = default;

  void clear() {
    textX_ = 0;
    textY_ = 0;
    erase();
  }
  void setDotSize(int pixels) { dotSize_ = pixels; }
  int dotSize() const { return dotSize_; }
  // One dot of the dot size centred at (x, y).
  void dot(int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b) {
    drawDot(x, y, r, g, b);
    textX_ = x;
    textY_ = y;
  }
  // Prints `text` with its top at the text position, then moves to the next line.
  void printLine(const std::string& text) {
    if (!text.empty()) drawText(textX_, textY_, text);
    textX_ = 0;
    textY_ = static_cast<int32_t>(
        std::min<int64_t>(static_cast<int64_t>(textY_) + lineHeight(), INT32_MAX));
  }

 protected:
  virtual void erase() = 0;
  virtual void drawDot(int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b) = 0;
  virtual void drawText(int32_t x, int32_t y, const std::string& text) = 0;
  // Height of one line of text in twips, in the surface's font.
  virtual int32_t lineHeight() const = 0;

 private:
  int32_t textX_ = 0;
  int32_t textY_ = 0;
  int dotSize_ = 1;
};

// Bitmaps larger than this in either direction are drawn at zoom 1, others at zoom 2.
inline constexpr int32_t kZoom2Limit = 200;
// Twips between neighbouring dots at zoom 1.
inline constexpr int32_t kDotPitch = 10;

// What SHOW read, as a byte-by-byte reading would leave it; the viewer's
// window keeps it in the shared record.
struct Shown {
  int32_t width = 0, height = 0;
  int32_t colors = 0;      // the stored count with 0 read as 256
  PaletteTable palette{};  // the earlier table with entries 0 to colors - 1 read
  int32_t workPos = 0;     // one before the first pixel byte, as the backward reading ends
  unsigned char blue = 0, green = 0, red = 0;  // the last palette entry read
  std::optional<unsigned char> byte;           // the last pixel byte read, if any
  unsigned char zoomDigit = '2';
};

// SHOW: clears `canvas`, then reads the header, palette and pixels of the
// bitmap at `bmpPos` from `gauge` and plots it, the top row first and each
// row from right to left, followed by the zoom line. A pixel index the
// palette does not cover takes its colour from `earlier`. A header whose
// arithmetic leaves signed 32-bit range, or whose palette or pixels lie
// partly outside the file, is refused (Fault::Bitmap) before anything is
// drawn; a read that fails part-way leaves the picture drawn so far
// (Fault::Source). Never writes to `gauge`.
Result<Shown> showBitmap(io::Channel& gauge, int32_t bmpPos, const PaletteTable& earlier,
                         Canvas& canvas);

}  // namespace gau
