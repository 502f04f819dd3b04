#pragma once
// A fresh temporary folder per test that is also the working directory, since
// the program resolves bare file names there.

#include <filesystem>
#include <string>
#include <vector>

#include "tools/gauge_builder.h"

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "dialpix-XXXXXX").string();
    path_ = mkdtemp(tmpl.data());
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
