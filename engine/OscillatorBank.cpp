#include "engine/OscillatorBank.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <system_error>
#include <thread>

#include "dsp/PitchToHz.h"

namespace tessaron {
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kPhaseScale = 268435456.0;  // 2^28

// sin(2pi * m / 4096), twice over: j * k (mod 4096) + j stays inside without a mask.
using SineTable = std::array<double, 2 * kWaveLength>;

// One row: the saw is summed in place, each entry over its harmonics in ascending order,
// then folded into the square. Only the loop layout differs between the two paths below;
// every entry sees the same multiplications and additions in the same order, so the
// table is the same to the bit either way.
void BuildSquareRow(const SineTable& sine, int32_t r, WaveRow& row) {
  constexpr uint32_t kMask = kWaveLength - 1;
  const int32_t n = HarmonicCount(r);
  // Half a raised-cosine taper, 1 at the fundamental down to 0.54 at the top.
  const auto amplitude = [n](int32_t j) {
    return j == 1 ? 0.5 : (0.54 + 0.46 * std::cos((j - 1) * (kTwoPi / 4.0) / (n - 1))) * 0.5 / j;
  };
  double* saw = row.data();
  row.fill(0.0);
  int32_t j = 1;
#if defined(__SSE2__)
  // Two samples per register, two harmonics per pass over the row; the loads are the
  // table look-ups of samples k and k + 1.
  const double* s = sine.data();
  for (; j + 1 <= n; j += 2) {
    const __m128d a1 = _mm_set1_pd(amplitude(j)), a2 = _mm_set1_pd(amplitude(j + 1));
    const double* next1 = s + j;
    const double* next2 = s + j + 1;
    const uint32_t step1 = 2 * static_cast<uint32_t>(j), step2 = step1 + 2;
    uint32_t i1 = 0, i2 = 0;
    for (int32_t k = 0; k < kWaveLength; k += 2) {
      __m128d acc = _mm_loadu_pd(saw + k);  // rows are only as aligned as a double
      acc = _mm_add_pd(acc, _mm_mul_pd(a1, _mm_loadh_pd(_mm_load_sd(s + i1), next1 + i1)));
      acc = _mm_add_pd(acc, _mm_mul_pd(a2, _mm_loadh_pd(_mm_load_sd(s + i2), next2 + i2)));
      _mm_storeu_pd(saw + k, acc);
      i1 = (i1 + step1) & kMask;
      i2 = (i2 + step2) & kMask;
    }
  }
#endif
  for (; j <= n; ++j) {
    const double a = amplitude(j);
    for (uint32_t k = 0; k < kWaveLength; ++k) saw[k] += a * sine[(static_cast<uint32_t>(j) * k) & kMask];
  }
  // Saw minus its half-period shift keeps the odd harmonics: a square wave.
  for (int32_t m = 0; m < kWaveLength / 2; ++m) {
    const double early = saw[m], late = saw[m + kWaveLength / 2];
    row[m] = (early - late) * 0.5;
    row[m + kWaveLength / 2] = (late - early) * 0.5;
  }
}

std::unique_ptr<SquareWaveTable> BuildSquareWaves() {
  std::unique_ptr<SquareWaveTable> table(new SquareWaveTable);  // every row is written in full
  // sin(j * 2pi * k / 4096) only ever needs the integer phase (j * k) mod 4096,
  // which keeps the build to table look-ups and exact phase arithmetic.
  SineTable sine;
  for (int32_t m = 0; m < kWaveLength; ++m) sine[m] = std::sin(kTwoPi * m / kWaveLength);
  std::copy(sine.begin(), sine.begin() + kWaveLength, sine.begin() + kWaveLength);

  // Rows are independent: a second thread takes whichever row is next, so the long
  // first rows do not all land on one side.
  std::atomic<int32_t> nextRow{0};
  const auto buildRows = [&] {
    for (int32_t r; (r = nextRow.fetch_add(1, std::memory_order_relaxed)) < kWaveRows;)
      BuildSquareRow(sine, r, (*table)[r]);
  };
  std::thread helper;
  if (std::thread::hardware_concurrency() > 1) {
    try {
      helper = std::thread(buildRows);
    } catch (const std::system_error&) {
      // No thread to be had: this one builds every row.
    }
  }
  buildRows();
  if (helper.joinable()) helper.join();
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

void OscillatorBank::SetSampleRate(double fs) {
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
