#pragma once
// A gauge with one W x H bitmap between filler, in a fresh folder that is also
// the state folder, so the undo history starts empty.

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "gau/change.h"
#include "gau/history.h"
#include "io/file_channels.h"
#include "temp_dir.h"

struct GaugeDir {
  explicit GaugeDir(int32_t w = 8, int32_t h = 8) {
    // The state folder's variable on each system. putenv makes the string
    // itself part of the environment, so every one is kept.
    static std::deque<std::string> settings;
    for (const char* variable : {"XDG_STATE_HOME=", "LOCALAPPDATA="})
      putenv(settings.emplace_back(variable + dir.file("state")).data());
    gaugebuild::Gauge g;
    g.filler(100);
    pos = g.plant(gaugebuild::patterned(w, h, 16, 3));
    g.filler(50, 7);
    g.writeTo(name);
    before = g.bytes();
  }
  ~GaugeDir() { gau::historyLimits() = {}; }
  std::unique_ptr<io::Channel> open() const {
    return io::openFileChannel(name, io::OpenMode::ReadWriteExisting, nullptr);
  }
  std::vector<uint8_t> now() const { return dir.read(name); }
  bool journalLeft() const { return std::filesystem::exists(gau::journalName(name)); }

  TempDir dir;
  std::string name = "panel.gau";
  int32_t pos = 0;
  std::vector<uint8_t> before;
};
