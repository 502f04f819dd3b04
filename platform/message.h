#pragma once
// A clear message for the user when an operation is refused or fails. The
// message box is modeless, like the program's notices: the caller carries on.

#include <QString>

namespace platform {

void ShowMessage(const QString& text);
// The last message shown and how many so far, for the tests.
QString lastMessage();
int messageCount();

}  // namespace platform
