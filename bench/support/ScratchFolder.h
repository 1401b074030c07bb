// A fresh data folder that is also the current directory (download.log lands there), for
// the benchmarks that run downloads; removed with everything in it at the end.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "model/uRSS.h"

namespace skimbrook::bench {

class TScratchFolder {
 public:
  explicit TScratchFolder(const std::string& Prefix = "skimbrook-bench") {
    std::string pattern = (std::filesystem::temp_directory_path() / (Prefix + "-XXXXXX")).string();
    path_ = std::string(::mkdtemp(pattern.data())) + "/";
    old_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
    SetDataFolder(path_);
  }
  ~TScratchFolder() {
    SetDataFolder("");
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(path_);
  }
  TScratchFolder(const TScratchFolder&) = delete;
  TScratchFolder& operator=(const TScratchFolder&) = delete;

 private:
  std::string path_;
  std::filesystem::path old_;
};

}  // namespace skimbrook::bench
