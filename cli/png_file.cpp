#include "cli/png_file.h"

#include <QBuffer>
#include <QImageWriter>
#include <span>

#include "cli/report.h"

namespace cli {

std::optional<PngProblem> savePng(const QImage& picture, io::Replacement& file) {
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "png");
  if (!writer.write(picture)) return PngProblem{true, writer.errorString()};
  const std::span bytes(reinterpret_cast<const uint8_t*>(png.constData()),
                        static_cast<size_t>(png.size()));
  if (file.channel().write(1, bytes) && file.commit()) return std::nullopt;
  return PngProblem{false, file.why().empty()
                               ? QStringLiteral("It could not be written: %1.")
                                     .arg(reason(file.channel().errorOr("unknown error")))
                               : reason(file.why())};
}

}  // namespace cli
