#pragma once
// The fixed settings a plug-in hands to the framework base at construction.
#include <cstdint>

namespace tessaron {

struct PluginConfig {
  const char* effectName = "";
  const char* productName = "";
  const char* vendorName = "";
  int32_t version = 0x00010000;  // packed: major bits 16..31, minor 8..15, patch 0..7
  int32_t uniqueId = 0;
  const char* channelIO = "0-2";  // space-separated "inputs-outputs" pairs
  int nParams = 0;
  int nPrograms = 1;
  int latency = 0;
  bool plugDoesChunks = true;
  bool plugIsInstrument = true;
  bool plugDoesMidi = true;
};

// major * 10000 + minor * 100 + patch
constexpr int32_t DecimalVersion(int32_t packed) {
  return ((packed >> 16) & 0xFFFF) * 10000 + ((packed >> 8) & 0xFF) * 100 + (packed & 0xFF);
}

}  // namespace tessaron
