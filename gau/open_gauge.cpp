#include "gau/open_gauge.h"

#include <limits>

#include "io/file_channels.h"
#include "io/system.h"

namespace gau {

OpenResult openGauge(const std::string& name, Access wanted) {
  OpenResult r;
  const auto failed = [&r](OpenProblem p, std::string why) {
    r.failure = {p, std::move(why)};
    return std::move(r);
  };
  // A named pipe would block the open; only a regular file is a gauge file.
  if (const io::FileKind kind = io::kindOf(name);
      kind != io::FileKind::Missing && kind != io::FileKind::Regular)
    return failed(OpenProblem::NotRegular, "it is not a regular file");
  // A gauge without write permission opens for reading only, and every
  // change of it is refused.
  Access access = wanted == Access::ReadWrite && io::writePermitted(name) ? Access::ReadWrite
                                                                          : Access::ReadOnly;
  OpenedGauge g;
  if (const Result<Recovery> recovered = recoverGauge(name); !recovered) {
    if (access == Access::ReadWrite) return failed(OpenProblem::Journal, recovered.reason());
    g.recoveryProblem = recovered.reason();
  } else {
    g.recovery = *recovered;
  }
  std::string why;
  g.channel = io::openFileChannel(
      name, access == Access::ReadWrite ? io::OpenMode::ReadWriteExisting : io::OpenMode::ReadOnly,
      &why);
  // Refused for writing for want of permission (another user's file, a
  // read-only disk): it can still be read.
  if (!g.channel && access == Access::ReadWrite && !io::writePermitted(name)) {
    std::string whyReading;
    g.channel = io::openFileChannel(name, io::OpenMode::ReadOnly, &whyReading);
    access = Access::ReadOnly;
  }
  if (!g.channel) return failed(OpenProblem::CannotOpen, why);
  // Positions are signed 32-bit numbers, so larger files cannot be addressed.
  if (g.channel->length() > std::numeric_limits<int32_t>::max())
    return failed(OpenProblem::TooLarge, "it is larger than 2,147,483,647 bytes");
  g.access = access;
  g.withoutJournal = access == Access::ReadWrite && !journalPossible(name);
  r.gauge = std::move(g);
  return r;
}

}  // namespace gau
