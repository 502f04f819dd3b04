#include "cli/cli.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/commands.h"
#include "cli/names.h"
#include "io/system.h"

namespace cli {
namespace {

// Whether a command decodes or draws pictures (QtGui): those run in dialpix-gui
// only, which passes their runners to run().
enum class Needs { Core, Pictures };

struct Entry {
  const char* word;
  Needs needs;
  Runner run;  // nothing for Needs::Pictures
  const char* summary;
};

constexpr Entry kCommands[] = {
    {"list", Needs::Core, listCommand,
     "list [--json] [-r] PATH...           every bitmap in gauge files"},
    {"export", Needs::Core, exportCommand,
     "export [-o DIR] [--force] GAUGE [N...] bitmaps as .BMP files"},
    {"import", Needs::Pictures, nullptr,
     "import GAUGE N IMAGE                 a picture into bitmap N"},
    {"transparent", Needs::Core, transparentCommand,
     "transparent GAUGE N                  every pixel of bitmap N to colour 0"},
    {"zero", Needs::Core, zeroCommand,
     "zero GAUGE N                         palette entry 0 of bitmap N to black"},
    {"palette", Needs::Core, paletteCommand,
     "palette GAUGE N [ENTRY [--red V] [--green V] [--blue V]]\n"
     "                                       show the palette, or set bytes of one entry"},
    {"render", Needs::Pictures, nullptr,
     "render GAUGE N -o FILE.png [--scale K] bitmap N as a PNG picture"},
    {"sheet", Needs::Pictures, nullptr,
     "sheet GAUGE -o FILE.png [--all]      every bitmap on one PNG picture"},
    {"history", Needs::Core, historyCommand,
     "history [--json] GAUGE               the changes kept for undo"},
    {"undo", Needs::Core, undoCommand,
     "undo [--steps K] GAUGE               take back the latest changes"},
};

const Entry* find(const char* word) {
  for (const Entry& e : kCommands)
    if (std::strcmp(e.word, word) == 0) return &e;
  return nullptr;
}

bool isHelp(const char* a) { return std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0; }
bool isVersion(const char* a) { return std::strcmp(a, "--version") == 0; }

int overview() {
  std::printf(
      "Usage: dialpix [FOLDER | GAUGE.gau]\n"
      "       dialpix COMMAND [OPTION...] ARGUMENT...\n"
      "Finds the 8-bit bitmaps inside FS98 gauge files (*.gau), exports them as .BMP files,\n"
      "writes edited pictures back and changes their palettes.\n\n"
      "Without a command dialpix opens its windows. The commands:\n");
  for (const Entry& e : kCommands) std::printf("  %s\n", e.summary);
  std::printf(
      "\nBitmaps are numbered from 1 in file order, as the windows number them.\n"
      "Exit status: 0 when everything asked was done, 1 when anything was refused or failed\n"
      "(the rest is still done; each problem is reported on standard error), 2 for a usage "
      "error.\n"
      "'dialpix COMMAND --help' describes one command.\n");
  return finishOutput();
}

// Edits (insert, delete, change, swap of neighbours) that turn `a` into `b`.
size_t distance(const std::string& a, const std::string& b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i)
    for (size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min(
          {d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

// The command word or option nearest to a mistyped `word`, or empty when none is near.
std::string nearest(const std::string& word) {
  if (word.size() > 20) return {};  // far from every command word
  std::vector<std::string> words{"--help", "--version"};
  for (const Entry& e : kCommands) words.emplace_back(e.word);
  std::string best;
  size_t bestDistance = 3;  // two slips at most, and fewer than the word has letters
  for (const std::string& w : words)
    if (const size_t d = distance(word, w); d < bestDistance && d < word.size()) {
      best = w;
      bestDistance = d;
    }
  return best;
}

bool existing(const char* path) {
  struct stat st {};
  return ::stat(path, &st) == 0;
}

}  // namespace

std::optional<int> refuseWindows(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (arg[0] != '-' && existing(arg)) continue;
    const std::string near = nearest(arg);
    std::fprintf(stderr,
                 "dialpix: '%s' is not a command, file or folder%s\n"
                 "Try 'dialpix --help' for more information.\n",
                 bytesOf(escaped(nameOf(arg))).c_str(),
                 near.empty() ? "." : ("; did you mean '" + near + "'?").c_str());
    return kUsage;
  }
  if (argc > 2) {
    std::fputs(
        "dialpix: the windows open one folder or gauge file at a time.\n"
        "Try 'dialpix --help' for more information.\n",
        stderr);
    return kUsage;
  }
  if (std::string why; !io::displayReachable(&why)) {
    std::fprintf(stderr,
                 "dialpix: the windows need a display, and %s.\n"
                 "The commands work without one: see 'dialpix --help'.\n",
                 why.c_str());
    return kFailed;
  }
  return std::nullopt;
}

bool needsPictures(int argc, char** argv) {
  const Entry* e = argc >= 2 ? find(argv[1]) : nullptr;
  return e != nullptr && e->needs == Needs::Pictures;
}

bool wantsCommandLine(int argc, char** argv) {
  if (argc < 2) return false;
  return find(argv[1]) != nullptr || isHelp(argv[1]) || isVersion(argv[1]);
}

int run(int argc, char** argv, std::span<const PictureCommand> pictures) {
  io::rawStandardStreams();  // the same bytes on every system
  QCoreApplication::setApplicationName(QStringLiteral("dialpix"));
  // For the parsers and the image plugins; no display, no windowing system.
  QCoreApplication app(argc, argv);
  if (isHelp(argv[1])) return overview();
  if (isVersion(argv[1])) {
    std::printf("%s\n", qPrintable(versionLine()));
    return finishOutput();
  }
  const Entry* e = find(argv[1]);
  Runner runner = e->run;
  for (const PictureCommand& p : pictures)
    if (std::strcmp(p.word, e->word) == 0) runner = p.run;
  if (runner == nullptr) {
    std::fprintf(stderr, "dialpix: %s is not built into this program\n", e->word);
    return kFailed;
  }
  return runner(argumentsAsText(argc, argv));
}

}  // namespace cli
