#pragma once
// A private HOME for ABI tests whose instances read the per-user configuration.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace tessaron::test {

class ConfiguredHome {
 public:
  explicit ConfiguredHome(const std::string& configuration = "") {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "tessaron-abi-XXXXXX").string();
    if (mkdtemp(pattern.data())) dir_ = pattern;
    setenv("HOME", dir_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir_ / ".config").c_str(), 1);
    if (!configuration.empty()) {
      fs::create_directories(dir_ / ".config" / "GreyLanternLabs");
      std::ofstream(dir_ / ".config" / "GreyLanternLabs" / "tessaron.ini") << configuration;
    }
  }
  ~ConfiguredHome() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::string File(const char* name) const { return (dir_ / name).string(); }

 private:
  std::filesystem::path dir_;
};

}  // namespace tessaron::test
