#pragma once
// A picture saved as a PNG file through io::Replacement: encoded in memory,
// so the disk is written by the replacement alone, whole or not at all.

#include <QImage>
#include <QString>
#include <optional>

#include "io/replace_file.h"

namespace cli {

struct PngProblem {
  bool encoding = false;  // the picture could not be encoded; else the file not written
  QString why;            // a sentence, or the encoder's words when encoding
};

// Nothing when the file is in place; else what went wrong.
std::optional<PngProblem> savePng(const QImage& picture, io::Replacement& file);

}  // namespace cli
