#pragma once
// Transport and tempo as the host reports them; fields the host does not supply keep
// whatever the caller put there.
#include <cstdint>

namespace tessaron {

struct TimeInfo {
  double tempo = 120.0;
  double samplePos = 0.0;
  double ppqPos = 0.0;
  double lastBarPos = 0.0;
  double cycleStart = 0.0;
  double cycleEnd = 0.0;
  int32_t numerator = 4;
  int32_t denominator = 4;
  bool transportIsRunning = false;
  bool transportLoopEnabled = false;
};

}  // namespace tessaron
