#pragma once
// A clear message for the user when an operation is refused or fails. The
// message box is modeless, like the program's notices: the caller carries on.

#include <QString>

class QWidget;

namespace platform {

// With `beside`, the box opens just below that window instead of where the
// window manager puts it, so that what lies over that window stays in sight.
void ShowMessage(const QString& text, const QWidget* beside = nullptr);
// The last message shown and how many so far, for the tests.
QString lastMessage();
int messageCount();

}  // namespace platform
