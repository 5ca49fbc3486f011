#pragma once
// One stored program: a name and the instrument's state in the state layout.
#include <string>

#include "host/ChunkBuffer.h"
#include "host/Text.h"

namespace tessaron {

constexpr std::size_t kMaxProgramNameLength = 255;

struct ProgramSlot {
  bool initialised = false;
  std::string name = "empty";  // at most kMaxProgramNameLength bytes, whole characters
  ChunkBuffer state;

  void SetName(const std::string& text) {
    name = text;
    CutUtf8(name, kMaxProgramNameLength);
  }
};

}  // namespace tessaron
