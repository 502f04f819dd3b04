#pragma once
// Messages of the program's own: a warning box with the text and OK.

#include <QString>

class QMessageBox;
class QWidget;

namespace ui {

// Where a message box opens.
enum class Placement {
  OverOwner,   // centred over the owner's window, as message boxes open
  BelowOwner,  // just below it, so that what stands over that window stays in sight
};

// Shows `text` in a box that belongs to the window of `owner` (which may be
// null): it stays above that window, which takes no input while it is up,
// and it gives the keyboard back to that window when it goes. When `owner` is
// a control, the box opens just below it (beside the window where the screen
// has no room below), so it covers nothing above it, such as a number to
// correct; when `owner` is a window, as `where` says. One message at a time:
// a new one replaces one still up. `offer`, when given, is the caption of a
// second button beside OK, the box's default button; the caller connects to it.
QMessageBox* ShowMessage(QWidget* owner, const QString& text, const QString& offer = {},
                         Placement where = Placement::OverOwner);

// The message box on screen, if any.
QMessageBox* currentMessage();
// The last message shown and how many so far, for the tests.
QString lastMessage();
int messageCount();

}  // namespace ui
