#pragma once
// The viewer's preview: a found bitmap plotted dot by dot in its own colours,
// straight from the gauge file, onto a drawing surface that knows only dots
// and lines of text. The surface is an interface so that the tests can record
// what is drawn and the window can draw it into an image.

#include <algorithm>
#include <cstdint>
#include <string>

#include "app/Module1.h"

namespace platform {
class Channel;
}

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
  int32_t textX() const { return textX_; }
  int32_t textY() const { return textY_; }

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

struct ShowResult {
  std::string error;  // empty when the bitmap was drawn; else a sentence for the user
  explicit operator bool() const { return error.empty(); }
};

// SHOW: clears `canvas`, then reads the header, palette and pixels of the
// bitmap at `m.BmpPos` from `gauge` and plots it, the top row first and each
// row from right to left, followed by the zoom line. Sets BmpWidth,
// BmpHeight, ColorsUsed, PalTable entries 0 to ColorsUsed - 1, WorkPos,
// the one-byte buffers and CharBuf as a byte-by-byte reading would leave them.
// A header whose arithmetic leaves signed 32-bit range, or whose palette or
// pixels lie partly outside the file, is refused before anything is read into
// `m` or drawn. Never writes to `gauge`.
ShowResult showBitmap(platform::Channel& gauge, Module1Record& m, Canvas& canvas);

}  // namespace gau
