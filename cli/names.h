#pragma once
// File names are bytes; the parser, the messages and Qt's paths are text. A
// name's text is its UTF-8, with each byte that is no part of UTF-8 (a Latin-1
// name from an old Windows archive) kept as a lone surrogate U+DC80..U+DCFF,
// as Python's "surrogateescape" keeps it. So two names never share a text,
// and a text built from names (a folder and a file in it) still stands for
// exactly their bytes.

#include <QString>
#include <QStringList>
#include <string>

namespace cli {

// argv[1] on as text.
QStringList argumentsAsText(int argc, char** argv);

// The text for name bytes, given or found on the disk.
QString nameOf(const std::string& bytes);

// The bytes a name's text stands for.
std::string bytesOf(const QString& name);

// True when the name's bytes are all UTF-8, so that its text alone names the file.
bool isUtf8(const QString& name);

// How text output and messages write a name, as git writes one: as it is,
// unless it holds a control character (C0, DEL, C1) or starts with a double
// quote; then in double quotes, with C escapes for the control characters,
// quotes and backslashes ("tab\there", "\033[31m.gau"). Bytes that are no
// UTF-8 stay as they are, except the C1 range. So a name can neither break a
// line of output nor drive the terminal, and can still be read back exactly.
QString quoted(const QString& name);

// A sentence for standard error with the control characters that names may
// have brought into it escaped as quoted() escapes them, without quotes.
QString escaped(const QString& sentence);

}  // namespace cli
