#pragma once
// File names are bytes; the parser, the messages and Qt's paths are text. A
// name that is no valid text in the system's encoding (a Latin-1 name from an
// old Windows archive) is shown as Latin-1, as the windows show it, and its
// bytes are remembered, so that every name given or found is also opened.

#include <QString>
#include <QStringList>
#include <string>

namespace cli {

// argv[1] on as text, each remembered with its bytes.
QStringList argumentsAsText(int argc, char** argv);

// The text for name bytes found on the disk, remembered with them.
QString nameOf(const std::string& bytes);

// The bytes a name stands for: those it was given or found as, else its encoding.
// Safe to call from several threads once the names are remembered.
std::string bytesOf(const QString& name);

}  // namespace cli
