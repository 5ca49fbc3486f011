#pragma once
// Pitch in 1/128 semitone above MIDI note 0 to Hz, shared by the cutoff display,
// the oscillator tables and the filter tables.
#include <cstdint>

namespace tessaron {

constexpr int32_t kPitchUnitsPerSemitone = 128;
constexpr int32_t kPitchLimit = 17280;  // 135 semitones

double PitchToHz(int32_t pitch);

}  // namespace tessaron
