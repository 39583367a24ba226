// Small file helpers for the library tests: a fresh workspace folder with
// files written and read as raw bytes.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/temp_folder.h"
#include "support/time_limit.h"

namespace lumireel::testing {

class LibraryFiles {
 public:
  std::string At(const std::string& relative) const { return temp_.path() + "/" + relative; }
  void Put(const std::string& relative, const std::string& bytes) const {
    std::filesystem::create_directories(std::filesystem::path(At(relative)).parent_path());
    std::ofstream(At(relative), std::ios::binary) << bytes;
  }
  std::string Bytes(const std::string& relative) const {
    std::ifstream in(At(relative), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(const std::string& relative) const { return std::filesystem::exists(At(relative)); }
  void MakeFolders(const std::string& relative) const {
    std::filesystem::create_directories(At(relative));
  }

 private:
  TempFolder temp_;
};

}  // namespace lumireel::testing
