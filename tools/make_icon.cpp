// make_icon FILE.png | FILE.ico: writes the program's icon, drawn by the same
// code as the start window's: the 32 x 32 PNG for the desktop menu, or the
// Windows icon (16, 32, 48 and 256 pixels) for the program's resources.

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <cstdio>
#include <iterator>

#include "forms/dial_icon.h"
#include "io/little_endian.h"

namespace {

// An .ico whose images are PNGs, as Windows reads them since Vista.
QByteArray icoOf(const QImage& icon) {
  const int sizes[] = {16, 32, 48, 256};
  constexpr int kDirectory = 6, kEntry = 16;
  QByteArray head(kDirectory + kEntry * std::size(sizes), '\0');
  auto* h = reinterpret_cast<uint8_t*>(head.data());
  io::putLe16(h + 2, 1);  // type: icon
  io::putLe16(h + 4, std::size(sizes));
  QByteArray images;
  for (size_t i = 0; i < std::size(sizes); ++i) {
    const int s = sizes[i];
    // Whole multiples stay sharp; the small size is smoothed.
    const QImage scaled =
        icon.convertToFormat(QImage::Format_ARGB32)
            .scaled(s, s, Qt::IgnoreAspectRatio,
                    s % 32 == 0 ? Qt::FastTransformation : Qt::SmoothTransformation);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    scaled.save(&buffer, "PNG");
    uint8_t* e = h + kDirectory + kEntry * i;
    e[0] = static_cast<uint8_t>(s == 256 ? 0 : s);  // 0 stands for 256
    e[1] = e[0];
    io::putLe16(e + 4, 1);   // planes
    io::putLe16(e + 6, 32);  // bits a pixel
    io::putLe32(e + 8, static_cast<uint32_t>(png.size()));
    io::putLe32(e + 12, static_cast<uint32_t>(head.size() + images.size()));
    images += png;
  }
  return head + images;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_icon FILE.png|FILE.ico\n");
    return 2;
  }
  const QString name = QString::fromLocal8Bit(argv[1]);
  if (name.endsWith(QStringLiteral(".ico"))) {
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(icoOf(dialIconImage())) < 0) {
      std::fprintf(stderr, "make_icon: %s: %s\n", argv[1], qPrintable(file.errorString()));
      return 1;
    }
    return 0;
  }
  QImageWriter writer(name, "png");
  if (!writer.write(dialIconImage())) {
    std::fprintf(stderr, "make_icon: %s: %s\n", argv[1], qPrintable(writer.errorString()));
    return 1;
  }
  return 0;
}
