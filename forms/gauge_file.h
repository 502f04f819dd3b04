#pragma once
// Opening the gauge file for the windows, and what they refuse on one that
// is open for reading only.

#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "base/result.h"
#include "gau/change.h"

class QObject;
class QWidget;

enum class GaugeAccess { ReadWrite, ReadOnly };

// Opens `file` on the gauge channel for reading and writing, as gau::openGauge
// does. When the system refuses writing for want of permission (another
// user's file, a read-only disk), opens it for reading only, so it can still
// be viewed and exported. The failure's reason follows "The gauge file NAME".
Result<GaugeAccess> openGaugeFile(const std::string& file);

// What opening the gauge found that the user must hear of, once the chooser
// knows the bitmap numbers: a change cut off part-way and put back, a journal
// that could not be played back, a folder that takes no journal.
struct OpenFindings {
  std::optional<gau::Restored> restored;
  std::string recoveryProblem;
  bool withoutJournal = false;
};
const OpenFindings& openFindings();

// Tells the user, beside `owner`, what the changes made so far could not do
// (a change not kept for undo), once for each gauge file.
void tellChangeNotices(QWidget* owner);

// Runs `redraw` each time tellChangeNotices() is, that is after every change
// a window makes, for as long as `owner` lives: a window that shows the
// gauge's pixels keeps up with the changes made in the others.
void onGaugeChanged(QObject* owner, std::function<void()> redraw);

// True when the open gauge file refuses writes.
bool gaugeReadOnly();

// What a read-only gauge file means for the user, said once when it opens.
QString readOnlyNote(const QString& gauge);

// The sentence for `what` (a command's caption) refused on a read-only gauge.
QString readOnlyRefusal(const QString& what, const QString& gauge);

// When the open gauge file is read-only, tells the user in the window of
// `owner` that `what` was refused and returns true; nothing is written.
bool refusedAsReadOnly(QWidget* owner, const QString& what);

// When the gauge file's name no longer leads to the file open (another file
// was put in its place, or it was removed), tells the user beside `owner` that
// `what` was refused, offers the way back to the start window, where the file
// now at that name can be opened, and returns true; nothing is read or written.
bool refusedAsGone(QWidget* owner, const QString& what);
