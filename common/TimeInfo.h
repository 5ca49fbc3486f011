#pragma once
// Transport and tempo as the host reports them. The binding fills only what the host
// supplies; every other field keeps what the caller put there, and the prefilled values
// stand for "not known".
#include <cstdint>

namespace tessaron {

struct TimeInfo {
  double tempo = 120.0;  // beats per minute
  double samplePosition = -1.0;
  double quarterNotePosition = -1.0;
  double lastBarStart = -1.0;  // in quarter notes
  double cycleStart = -1.0;
  double cycleEnd = -1.0;
  int32_t timeSignatureNumerator = 4;
  int32_t timeSignatureDenominator = 4;
  bool playing = false;
  bool cycleActive = false;
};

}  // namespace tessaron
