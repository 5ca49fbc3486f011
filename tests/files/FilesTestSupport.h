#pragma once
// Instances for the file and MIDI tests: built inside a private HOME, so that the
// configuration they read and create is the test's own.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "instrument/Tessaron.h"

namespace tessaron::test {

namespace fs = std::filesystem;

class PrivateHome {
 public:
  PrivateHome() {
    std::string pattern = (fs::temp_directory_path() / "tessaron-files-XXXXXX").string();
    if (mkdtemp(pattern.data())) dir_ = pattern;
    Keep("HOME", savedHome_, hadHome_);
    Keep("XDG_CONFIG_HOME", savedConfig_, hadConfig_);
    setenv("HOME", dir_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir_ / ".config").c_str(), 1);
    fs::create_directories(dir_ / ".config");
  }
  ~PrivateHome() {
    Restore("HOME", savedHome_, hadHome_);
    Restore("XDG_CONFIG_HOME", savedConfig_, hadConfig_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  const fs::path& Dir() const { return dir_; }
  std::string File(const char* name) const { return (dir_ / name).string(); }
  // The configuration file every instance built afterwards reads.
  void WriteConfiguration(const std::string& text) const {
    fs::create_directories(dir_ / ".config" / "GreyLanternLabs");
    std::ofstream(dir_ / ".config" / "GreyLanternLabs" / "tessaron.ini") << text;
  }

 private:
  static void Keep(const char* name, std::string& saved, bool& had) {
    const char* value = getenv(name);
    had = value != nullptr;
    if (had) saved = value;
  }
  static void Restore(const char* name, const std::string& saved, bool had) {
    if (had) {
      setenv(name, saved.c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  fs::path dir_;
  std::string savedHome_, savedConfig_;
  bool hadHome_ = false, hadConfig_ = false;
};

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline int32_t BigEndianAt(const std::vector<uint8_t>& b, std::size_t pos) {
  return static_cast<int32_t>((uint32_t{b[pos]} << 24) | (uint32_t{b[pos + 1]} << 16) | (uint32_t{b[pos + 2]} << 8) |
                              uint32_t{b[pos + 3]});
}

inline void PutBigEndian(std::vector<uint8_t>& b, int32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<uint8_t>(static_cast<uint32_t>(value) >> shift));
}

inline void PutText(std::vector<uint8_t>& b, const std::string& text) { b.insert(b.end(), text.begin(), text.end()); }

// A parameter-list program record ("FxCk"): 56-byte header, then big-endian floats.
inline std::vector<uint8_t> ParameterListProgram(const std::string& name, const std::vector<float>& values,
                                                 int32_t version = 1, int32_t count = kParameterCount) {
  std::vector<uint8_t> b;
  PutText(b, "CcnK");
  PutBigEndian(b, 56 + 4 * static_cast<int32_t>(values.size()));
  PutText(b, "FxCk");
  PutBigEndian(b, version);
  PutText(b, "Tsrn");
  PutBigEndian(b, 10001);
  PutBigEndian(b, count);
  std::string field = name;
  field.resize(28, '\0');
  PutText(b, field);
  for (float v : values) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    PutBigEndian(b, static_cast<int32_t>(bits));
  }
  return b;
}

// An instance as the entry point hands it out, built in its own private home.
struct HomedInstance {
  PrivateHome home;
  Tessaron t{nullptr};
  HomedInstance() { t.FillEmptyPrograms(kProgramCount); }
};

}  // namespace tessaron::test
