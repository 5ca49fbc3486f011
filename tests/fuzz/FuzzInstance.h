#pragma once
// One instrument for every fuzz input, built inside a private HOME so that its
// configuration is never the user's.
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "instrument/Tessaron.h"

namespace tessaron::fuzz {

inline const std::string& ScratchFolder() {
  static const std::string folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "tessaron-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    setenv("HOME", pattern.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (pattern + "/.config").c_str(), 1);
    return pattern;
  }();
  return folder;
}

inline Tessaron& Instance() {
  ScratchFolder();
  static Tessaron* instance = [] {
    auto* t = new Tessaron(nullptr);
    t->FillEmptyPrograms(kProgramCount);
    return t;
  }();
  return *instance;
}

// Whatever the input, every value stays inside its range and every name bounded.
inline void CheckInvariants(Tessaron& t) {
  for (int i = 0; i < t.NParams(); ++i) {
    const IParameter& p = *t.GetParam(i);
    if (!(p.Value() >= p.Min() && p.Value() <= p.Max())) std::abort();
  }
  for (int i = 0; i < t.NPrograms(); ++i) {
    if (t.ProgramName(i).size() > kMaxProgramNameLength) std::abort();
  }
  if (t.CurrentProgram() < 0 || t.CurrentProgram() >= t.NPrograms()) std::abort();
}

}  // namespace tessaron::fuzz
