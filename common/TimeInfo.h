#pragma once
// Host transport information as the engine sees it. The owner fills what the
// host supplies; the prefilled values stand for everything it does not.

#include <cstdint>

namespace tessaron::engine {

struct TimeInfo {
  double tempo = 120.0;               // beats per minute
  double samplePosition = -1.0;
  double quarterNotePosition = -1.0;
  double lastBarStart = -1.0;         // in quarter notes
  double cycleStart = -1.0;
  double cycleEnd = -1.0;
  int32_t timeSignatureNumerator = 4;
  int32_t timeSignatureDenominator = 4;
  bool playing = false;
  bool cycleActive = false;
};

}  // namespace tessaron::engine
