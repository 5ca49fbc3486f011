#include "engine/OscillatorBank.h"

#include <cmath>
#include <memory>

#include "dsp/PitchToHz.h"

namespace tessaron {
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kPhaseScale = 268435456.0;  // 2^28

std::unique_ptr<SquareWaveTable> BuildSquareWaves() {
  auto table = std::make_unique<SquareWaveTable>();
  // sin(j * 2pi * k / 4096) only ever needs the integer phase (j * k) mod 4096,
  // which keeps the build to table look-ups and exact phase arithmetic.
  WaveRow sine;
  for (int32_t m = 0; m < kWaveLength; ++m) sine[m] = std::sin(kTwoPi * m / kWaveLength);
  WaveRow saw;
  for (int32_t r = 0; r < kWaveRows; ++r) {
    const int32_t n = HarmonicCount(r);
    saw.fill(0.0);
    for (int32_t j = 1; j <= n; ++j) {
      // Half a raised-cosine taper, 1 at the fundamental down to 0.54 at the top.
      const double a = j == 1 ? 0.5
                              : (0.54 + 0.46 * std::cos((j - 1) * (kTwoPi / 4.0) / (n - 1))) * 0.5 / j;
      for (int32_t k = 0; k < kWaveLength; ++k) saw[k] += a * sine[(j * k) & (kWaveLength - 1)];
    }
    // Saw minus its half-period shift keeps the odd harmonics: a square wave.
    WaveRow& row = (*table)[r];
    for (int32_t m = 0; m < kWaveLength; ++m)
      row[m] = (saw[m] - saw[(m + kWaveLength / 2) & (kWaveLength - 1)]) * 0.5;
  }
  return table;
}

}  // namespace

int32_t HarmonicCount(int32_t row) {
  return static_cast<int32_t>(std::round(2048.0 / std::pow(1.4142135623730951, row)));
}

const SquareWaveTable& SharedSquareWaves() {
  static const std::unique_ptr<SquareWaveTable> table = BuildSquareWaves();
  return *table;
}

OscillatorBank::OscillatorBank() : waves_(&SharedSquareWaves()) { MapFootages(); }

const double* OscillatorBank::SilentRow() {
  static const WaveRow kSilentRow{};
  return kSilentRow.data();
}

void OscillatorBank::MapFootages() {
  ++tapsVersion_;
  for (int32_t t0 = 0; t0 < 128; ++t0) {
    NoteTaps& taps = taps_[t0];
    // Footage j of note t0 sounds kShift[t0] + j octaves above the counter
    // whenever it sounds at all; at most 8, so the shift stays within 5..15.
    taps.shift2 = static_cast<uint32_t>(13 - oscillator_detail::kShift[t0]);
    for (int32_t j = 0; j < 4; ++j) {
      const int32_t t = t0 + 12 * j;
      const bool sounds = t <= 127 && oscillator_detail::kShift[t] >= 0;
      taps.row[j] = sounds ? (*waves_)[rowOfNote_[t]].data() : SilentRow();
    }
  }
}

void OscillatorBank::BuildTables(double fs) {
  waves_ = &SharedSquareWaves();
  if (!(std::isfinite(fs) && fs > 0.0) || fs == lastSampleRate_) return;
  lastSampleRate_ = fs;
  for (int32_t i = 0; i < kIncrementEntries; ++i) {
    const double inc = std::trunc(PitchToHz(i) * kPhaseScale / fs);
    // At very low rates the top notes would not fit; they alias regardless.
    incrementTable_[i] = inc < 4294967295.0 ? static_cast<uint32_t>(inc) : 0xFFFFFFFFu;
  }
  for (int32_t t = 0; t < 128; ++t) {
    double b = static_cast<double>(incrementTable_[128 * t] / 65536u);
    int32_t r = 0;
    while (b > 1.0) {
      b *= 0.7071067811865476;
      ++r;
    }
    rowOfNote_[t] = r < kWaveRows - 1 ? r : kWaveRows - 1;
  }
  MapFootages();
}

void OscillatorBank::LoadPitch(double semitones) {
  if (!std::isfinite(semitones)) return;
  // Far outside the table every entry clamps anyway; bounding first keeps the
  // integer conversion defined.
  if (semitones > 1000.0) semitones = 1000.0;
  if (semitones < -1000.0) semitones = -1000.0;
  int64_t c = std::llround(semitones * 128.0) + kPitchOffsetA0;
  for (int32_t q = 0; q < 12; ++q, c += 128) {
    const int64_t i = c < 0 ? 0 : (c >= kIncrementEntries ? kIncrementEntries - 1 : c);
    increment_[q] = incrementTable_[i];
  }
}

void ResetSyncPhase(const OscillatorBank& osc1, OscillatorBank& osc2, double syncResetPhase) {
  if (!std::isfinite(syncResetPhase)) return;
  // Whole cycles do not move the phase; dropping them keeps the rounding defined.
  const double fraction = std::fmod(syncResetPhase, 1.0);
  const uint32_t offset = static_cast<uint32_t>(std::llround(fraction * kPhaseScale));
  for (int32_t p = 0; p < 12; ++p) osc2.SetCounter(p, osc1.Counter(p) + offset);
}

}  // namespace tessaron
