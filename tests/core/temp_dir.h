#pragma once
// A fresh temporary folder per test that is also the working directory, since
// the program resolves bare file names there.

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tools/gauge_builder.h"

class TempDir {
 public:
  TempDir() {
    // A name no other test process holds: create_directory fails on an existing one.
    std::random_device random;
    do {
      path_ = std::filesystem::temp_directory_path() / ("dialpix-" + std::to_string(random()));
    } while (!std::filesystem::create_directory(path_));
    old_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::current_path(old_, ec);
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  std::vector<uint8_t> read(const std::string& name) const { return gaugebuild::readFile(file(name)); }

 private:
  std::filesystem::path path_;
  std::filesystem::path old_;
};
