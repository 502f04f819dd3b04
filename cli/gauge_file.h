#pragma once
// A gauge file named on the command line, opened and scanned, and its bitmaps
// addressed by number as the windows number them (1-based, in scan order).

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "base/result.h"
#include "io/file_channels.h"

namespace cli {

struct GaugeFile {
  QString path;  // as given on the command line
  std::unique_ptr<io::Channel> channel;
  std::vector<int32_t> positions;  // every scan hit, with no limit of 100
  std::vector<uint8_t> bytes;      // the whole file, when it was asked for and small enough
};

// Whether the file's bytes are kept after the scan, so that header fields can
// be read without going back to the disk.
enum class Keep { Nothing, SmallFile };

// Opens `path` and scans it. The reason when it is no regular file, cannot be
// opened as asked or cannot be read to its end.
Result<GaugeFile> openGauge(const QString& path, io::OpenMode mode,
                            Keep keep = Keep::Nothing);

// The position of bitmap `number`, or why there is no such bitmap.
Result<int32_t> bitmapAt(const GaugeFile& gauge, int number);

}  // namespace cli

namespace cli {

class Report;

// A command's one bitmap: its gauge file, opened as asked, and its position.
struct OneBitmap {
  GaugeFile gauge;
  int32_t position = 0;
};

// Opens `path`, scans it and finds bitmap `number`; reports why not and
// returns nothing when it cannot.
std::optional<OneBitmap> openBitmap(const QString& path, int number, io::OpenMode mode,
                                    Report& report);

}  // namespace cli
