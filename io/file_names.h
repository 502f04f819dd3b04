#pragma once
// File names are bytes, and the windows show them as text. These two are the
// only conversions between the two, so a name the list shows is always the
// name that gets opened.

#include <QString>
#include <string>

namespace io {

// The text shown for file-name bytes, and for sentences that carry them: UTF-8
// on Windows; elsewhere as the system decodes them (QFile::decodeName) where that gives the bytes
// back, else read as Latin-1, the names of archives from older Windows machines.
QString nameText(const std::string& bytes);

// The bytes of a name typed by the user (UTF-8 on Windows, else QFile::encodeName).
std::string nameBytes(const QString& text);

}  // namespace io
