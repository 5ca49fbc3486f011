#pragma once
// A private HOME for ABI tests whose instances read the per-user configuration.
// Windows answers the configuration folder from the registry, not the environment: there
// the file is written in place and whatever was there is put back afterwards (the Wine
// test run keeps its own prefix, so no real user's file is at stake).
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#ifdef _WIN32
#include <process.h>

#include <atomic>

#include "platform/Folders.h"
#endif

namespace tessaron::test {

class ConfiguredHome {
 public:
  explicit ConfiguredHome(const std::string& configuration = "") {
    namespace fs = std::filesystem;
#ifdef _WIN32
    static std::atomic<int> counter{0};
    dir_ = fs::temp_directory_path() / ("tessaron-abi-" + std::to_string(_getpid()) + "-" + std::to_string(counter++));
    fs::create_directories(dir_);
    const fs::path folder = fs::path(platform::LocalAppDataFolder()) / "GreyLanternLabs";
    fs::create_directories(folder);
    file_ = folder / "tessaron.ini";
    if (std::ifstream saved{file_, std::ios::binary}) {
      std::ostringstream text;
      text << saved.rdbuf();
      saved_ = text.str();
      hadFile_ = true;
    }
    std::error_code ignored;
    fs::remove(file_, ignored);
    if (!configuration.empty()) std::ofstream(file_, std::ios::binary) << configuration;
#else
    std::string pattern = (fs::temp_directory_path() / "tessaron-abi-XXXXXX").string();
    if (mkdtemp(pattern.data())) dir_ = pattern;
    setenv("HOME", dir_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir_ / ".config").c_str(), 1);
    if (!configuration.empty()) {
      fs::create_directories(dir_ / ".config" / "GreyLanternLabs");
      std::ofstream(dir_ / ".config" / "GreyLanternLabs" / "tessaron.ini") << configuration;
    }
#endif
  }
  ~ConfiguredHome() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
#ifdef _WIN32
    std::filesystem::remove(file_, ignored);
    if (hadFile_) std::ofstream(file_, std::ios::binary) << saved_;
#endif
  }
  std::string File(const char* name) const { return (dir_ / name).string(); }

 private:
  std::filesystem::path dir_;
#ifdef _WIN32
  std::filesystem::path file_;
  std::string saved_;
  bool hadFile_ = false;
#endif
};

}  // namespace tessaron::test
