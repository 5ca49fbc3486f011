#pragma once
// Twelve free-running phase counters, one per pitch class, tuned to A0..G#1.
// Every key reads the counter of its pitch class shifted by whole octaves, so
// all keys of one class are phase-locked and cost nothing to start or stop.
//
// Threading: SetSampleRate runs in the reset, LoadPitch and ResetSyncPhase at
// control rate or in the parameter-change operation, FootageValues and Advance
// per sample; all under the instrument's lock.
#include <array>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessaron {

constexpr int32_t kWaveRows = 22;
constexpr int32_t kWaveLength = 4096;
constexpr int32_t kIncrementEntries = 17281;  // pitch 0..135 semitones in 1/128 steps
constexpr uint32_t kPhaseMask = 0x0FFFFFFF;   // counters keep 28 bits
constexpr int32_t kPitchOffsetA0 = 2688;      // 21 semitones: counter 0 is A0

using WaveRow = std::array<double, kWaveLength>;
using SquareWaveTable = std::array<WaveRow, kWaveRows>;

// Harmonics in row r: 2048 / sqrt(2)^r, rounded.
int32_t HarmonicCount(int32_t row);

// Band-limited square waves shared by the whole process; built on first use,
// thread-safely, and never changed afterwards.
const SquareWaveTable& SharedSquareWaves();

namespace oscillator_detail {
constexpr std::array<int32_t, 128> MakePitchClass() {
  std::array<int32_t, 128> a{};
  for (int32_t t = 0; t < 128; ++t) a[t] = (t + 3) % 12;
  return a;
}
// Octaves above the A0..G#1 counters; negative means silent.
constexpr std::array<int32_t, 128> MakeShift() {
  std::array<int32_t, 128> a{};
  for (int32_t t = 0; t < 128; ++t) a[t] = t >= 21 ? (t - 21) / 12 : (t >= 9 ? -1 : -2);
  return a;
}
inline constexpr std::array<int32_t, 128> kPitchClass = MakePitchClass();
inline constexpr std::array<int32_t, 128> kShift = MakeShift();
}  // namespace oscillator_detail

class OscillatorBank {
 public:
  OscillatorBank();

  // Rebuilds the increment and row tables when fs differs from the rate they
  // were built for. Each bank owns its tables, so banks at different rates
  // never disturb each other. A rate that is not a positive finite number is
  // ignored.
  void SetSampleRate(double fs);

  // 16', 8', 4' and 2' samples of key k; silent footages give 0.
  void FootageValues(int32_t k, double out[4]) const {
    if (k < 12 || k > 127) {
      out[0] = out[1] = out[2] = out[3] = 0.0;
      return;
    }
    TableFootageValues(octaveDown_ ? k - 12 : k, out);
  }

  // FootageValues for table note t0 in 0..127: the key itself, or the key an
  // octave down while OctaveDown is on. For loops that check the key once.
  void TableFootageValues(int32_t t0, double out[4]) const {
    const NoteTaps& taps = taps_[t0];
    ReadFootages(counter_[oscillator_detail::kPitchClass[t0]], taps.shift2, taps.row, out);
  }

  // The four footages at a counter value, given a note's taps (TapsOf).
  // Always inlined: the key loop calls it twice per key and sample, and the inliner
  // otherwise gives up on it once that loop has grown.
  [[gnu::always_inline]] static void ReadFootages(uint32_t counter, uint32_t shift2, const double* const row[4],
                                                  double out[4]) {
    // Footage j sits j octaves above the 16', so its index is the 2' index
    // shifted down by 3 - j; one variable shift serves all four. Silent
    // footages read a row of zeros, which keeps this free of branches.
    // The byte offset of entry (top >> s) & 0xFFF is that index times 8: masking top
    // in place and letting the address scale by 8 >> s saves the shifts.
    const uintptr_t top = counter >> shift2;
    out[0] = At(row[0], top & 0x7FF8, 1);
    out[1] = At(row[1], top & 0x3FFC, 2);
    out[2] = At(row[2], top & 0x1FFE, 4);
    out[3] = At(row[3], top & 0x0FFF, 8);
  }

  void Advance() {
#if defined(__SSE2__)
    // Four counters per step, written out: the compiler's own vector loop
    // here took about three times the instructions.
    const __m128i mask = _mm_set1_epi32(static_cast<int32_t>(kPhaseMask));
    for (int32_t p = 0; p < 12; p += 4) {
      __m128i* c = reinterpret_cast<__m128i*>(counter_ + p);
      const __m128i inc = _mm_loadu_si128(reinterpret_cast<const __m128i*>(increment_ + p));
      _mm_storeu_si128(c, _mm_and_si128(_mm_add_epi32(_mm_loadu_si128(c), inc), mask));
    }
#else
    for (int32_t p = 0; p < 12; ++p) counter_[p] = (counter_[p] + increment_[p]) & kPhaseMask;
#endif
  }

  // Loads the twelve increments for a pitch offset of P semitones: counter q
  // then runs at MIDI note 21 + q + P. Each entry is clamped to the table on
  // its own. A non-finite P leaves the increments unchanged.
  void LoadPitch(double semitones);

  // Where table note t0 in 0..127 reads: its counter, the shift that brings
  // the 2' index to bit 0, and the four footage rows. Valid until TapsVersion
  // changes.
  struct Taps {
    const uint32_t* counter;
    uint32_t shift2;
    const double* const* row;
  };
  Taps TapsOf(int32_t t0) const {
    return {&counter_[oscillator_detail::kPitchClass[t0]], taps_[t0].shift2, taps_[t0].row};
  }
  uint64_t TapsVersion() const { return tapsVersion_; }
  // A row of zeros, for footages and keys that do not sound.
  static const double* SilentRow();

  void SetOctaveDown(bool on) { octaveDown_ = on; }
  bool OctaveDown() const { return octaveDown_; }

  uint32_t Counter(int32_t p) const { return counter_[p]; }
  void SetCounter(int32_t p, uint32_t value) { counter_[p] = value & kPhaseMask; }
  uint32_t Increment(int32_t p) const { return increment_[p]; }
  double LastSampleRate() const { return lastSampleRate_; }
  uint32_t IncrementAt(int32_t i) const { return incrementTable_[i]; }
  int32_t RowOfNote(int32_t t) const { return rowOfNote_[t]; }

  static constexpr int32_t PitchClass(int32_t t) { return oscillator_detail::kPitchClass[t]; }
  static constexpr int32_t Shift(int32_t t) { return oscillator_detail::kShift[t]; }

 private:
  // The entry at a byte offset of index * scale.
  [[gnu::always_inline]] static double At(const double* row, uintptr_t index, uintptr_t scale) {
    return *reinterpret_cast<const double*>(reinterpret_cast<const char*>(row) + index * scale);
  }

  // A footage sounding o octaves above its counter reads the wave at bits
  // (16 - o) .. (27 - o) of the 28-bit counter.
  struct NoteTaps {
    const double* row[4];  // wave row of each footage's note, or a row of zeros
    uint32_t shift2;       // right shift that brings the 2' footage's index to bit 0
  };
  void MapFootages();

  uint32_t counter_[12] = {};
  uint32_t increment_[12] = {};
  bool octaveDown_ = false;
  double lastSampleRate_ = 1.0;
  const SquareWaveTable* waves_;
  std::array<int32_t, 128> rowOfNote_{};
  std::array<uint32_t, kIncrementEntries> incrementTable_{};
  NoteTaps taps_[128];  // per table note: its four footages
  uint64_t tapsVersion_ = 0;
};

// Puts every counter of osc2 syncResetPhase cycles (0..0.5) ahead of osc1's.
void ResetSyncPhase(const OscillatorBank& osc1, OscillatorBank& osc2, double syncResetPhase);

}  // namespace tessaron
