#pragma once
// A gauge file named on the command line, opened and scanned, and its bitmaps
// addressed by number as the windows number them (1-based, in scan order).

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "base/result.h"
#include "cli/command.h"
#include "gau/resource_bitmap.h"
#include "io/file_channels.h"
#include "pe/resource_table.h"

namespace cli {

struct GaugeFile {
  QString path;  // as given on the command line
  std::unique_ptr<io::Channel> channel;
  std::vector<int32_t> positions;  // every scan hit, with no limit of 100
  std::vector<uint8_t> bytes;      // the whole file, when it was asked for and small enough
  std::optional<pe::ResourceTable> resources;  // read when first asked for
};

// The gauge's resource table, read once (empty when it is no Windows module).
const pe::ResourceTable& resourcesOf(GaugeFile& gauge);

// Whether the file's bytes are kept after the scan, so that header fields can
// be read without going back to the disk.
enum class Keep { Nothing, SmallFile };

// Opens `path` and scans it. The reason when it is no regular file, cannot be
// opened as asked or cannot be read to its end.
Result<GaugeFile> openGauge(const QString& path, io::OpenMode mode, Keep keep = Keep::Nothing);

// The position of bitmap `number`, or why there is no such bitmap.
Result<int32_t> bitmapAt(const GaugeFile& gauge, int number);

}  // namespace cli

namespace cli {

class Report;

// A command's one bitmap: its gauge file, opened as asked, and its position.
// A bitmap resource of another depth than the scan's has its layout in `other`
// and no number.
struct OneBitmap {
  GaugeFile gauge;
  int32_t position = 0;
  std::optional<gau::Dib> other;
};

// Opens `path`, scans it and finds the bitmap `bitmap` names; reports why not
// and returns nothing when it cannot (an id that names no bitmap resource, or
// several, as a usage problem). A change (`action`, "the import of x.png") of
// a gauge that opened only for reading is refused here, before any work.
std::optional<OneBitmap> openBitmap(const QString& path, const BitmapArg& bitmap, io::OpenMode mode,
                                    Report& report, const QString& action = {});

// What the bitmap at `bmpPos` is called in messages: "3", "id:4096", or empty.
QString bitmapName(GaugeFile& gauge, int32_t bmpPos);

}  // namespace cli
