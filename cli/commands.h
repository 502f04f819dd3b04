#pragma once
// The commands, one unit each. Each takes its arguments with the command word
// first and returns the exit status.

#include <QStringList>

namespace cli {

int listCommand(const QStringList& args);         // list.cpp
int exportCommand(const QStringList& args);       // export.cpp
int importCommand(const QStringList& args);       // import.cpp
int transparentCommand(const QStringList& args);  // transparency.cpp
int zeroCommand(const QStringList& args);         // transparency.cpp
int paletteCommand(const QStringList& args);      // palette.cpp
int renderCommand(const QStringList& args);       // render.cpp
int sheetCommand(const QStringList& args);        // sheet.cpp
int historyCommand(const QStringList& args);      // history.cpp
int undoCommand(const QStringList& args);         // history.cpp

}  // namespace cli
