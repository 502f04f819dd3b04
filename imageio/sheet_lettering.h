#pragma once
// Lettering for pictures drawn without a window system: a fixed 5 x 7 pixel
// face, so `dialpix sheet` needs no fonts and labels the same on every machine.

#include <QImage>
#include <QStringView>

namespace imageio {

inline constexpr int kLetterAdvance = 6;  // 5 pixels and a gap
inline constexpr int kLetterHeight = 7;

// Letters `text` into `image` (32-bit) with its top left at (x, y), clipped to
// the image and to `maxChars` characters; a character outside printable ASCII
// shows as '?'.
void letter(QImage& image, int x, int y, QStringView text, QRgb colour, int maxChars);

}  // namespace imageio
