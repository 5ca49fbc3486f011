#pragma once
// One stored program: a name and the instrument's state in the state layout.
#include <string>

#include "host/ChunkBuffer.h"

namespace tessaron {

constexpr std::size_t kMaxProgramNameLength = 255;

struct ProgramSlot {
  bool initialised = false;
  std::string name = "empty";  // at most kMaxProgramNameLength characters
  ChunkBuffer state;

  void SetName(const std::string& text) { name = text.substr(0, kMaxProgramNameLength); }
};

}  // namespace tessaron
