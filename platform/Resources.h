#pragma once
// Data compiled into the module (editor images, factory bank), found by type and name.
#include <cstddef>

namespace tessaron::platform {

struct ResourceData {
  const unsigned char* data = nullptr;
  std::size_t size = 0;
  explicit operator bool() const { return data != nullptr; }
};

// Answers an empty record when no resource of that type and name exists.
ResourceData FindResourceData(const char* type, const char* name);

}  // namespace tessaron::platform
