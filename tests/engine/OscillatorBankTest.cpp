#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/PitchToHz.h"
#include "engine/OscillatorBank.h"

namespace tessaron {
namespace {

constexpr double kPi = 3.141592653589793;

// Sine coefficient of harmonic h over one table row.
double SineCoefficient(const WaveRow& row, int h) {
  double s = 0.0;
  for (int m = 0; m < kWaveLength; ++m) s += row[m] * std::sin(2.0 * kPi * h * m / kWaveLength);
  return s * 2.0 / kWaveLength;
}

double HarmonicMagnitude(const WaveRow& row, int h) {
  double s = 0.0, c = 0.0;
  for (int m = 0; m < kWaveLength; ++m) {
    const double ph = 2.0 * kPi * h * m / kWaveLength;
    s += row[m] * std::sin(ph);
    c += row[m] * std::cos(ph);
  }
  return std::hypot(s, c) * 2.0 / kWaveLength;
}

// Sign changes per second of one footage of key k: twice the frequency.
double MeasuredHz(OscillatorBank& bank, int key, int footage, double fs) {
  const int n = static_cast<int>(fs);
  double f[4];
  bank.FootageValues(key, f);
  double prev = f[footage];
  int crossings = 0;
  for (int i = 0; i < n; ++i) {
    bank.Advance();
    bank.FootageValues(key, f);
    if ((f[footage] >= 0.0) != (prev >= 0.0)) ++crossings;
    prev = f[footage];
  }
  return crossings / 2.0;
}

TEST(SquareWaveTableTest, HarmonicCountsPerRow) {
  const int expected[kWaveRows] = {2048, 1448, 1024, 724, 512, 362, 256, 181, 128, 91, 64,
                                   45,   32,   23,   16,  11,  8,   6,   4,   3,   2,  1};
  for (int r = 0; r < kWaveRows; ++r) EXPECT_EQ(HarmonicCount(r), expected[r]) << "row " << r;
}

TEST(SquareWaveTableTest, RowsAreBandLimitedTaperedOddHarmonics) {
  const SquareWaveTable& table = SharedSquareWaves();
  for (int r : {10, 13, 16}) {
    const WaveRow& row = table[r];
    const int n = HarmonicCount(r);
    EXPECT_NEAR(SineCoefficient(row, 1), 0.5, 1e-12) << "row " << r;
    const int top = n % 2 ? n : n - 1;  // highest odd harmonic kept
    const double taper = 0.54 + 0.46 * std::cos((top - 1) * (kPi / 2) / (n - 1));
    EXPECT_NEAR(SineCoefficient(row, top), taper * 0.5 / top, 1e-12) << "row " << r;
    EXPECT_NEAR(SineCoefficient(row, 3), (0.54 + 0.46 * std::cos(2 * (kPi / 2) / (n - 1))) * 0.5 / 3, 1e-12);
    EXPECT_LT(HarmonicMagnitude(row, 2), 1e-12) << "even harmonics cancel";
    double above = 0.0;
    for (int h = n + 1; h < std::min(kWaveLength / 2, n + 200); ++h) above = std::max(above, HarmonicMagnitude(row, h));
    EXPECT_LT(above, 1e-12) << "row " << r;
  }
  // Row 10's plateau and peak.
  double peak = 0.0;
  for (double v : table[10]) peak = std::max(peak, v);
  EXPECT_NEAR(peak, 0.4276, 5e-5);
  EXPECT_NEAR(table[10][1024], 0.3906, 5e-5);
  EXPECT_GT(table[10][512], 0.0);  // positive in the first half period
  EXPECT_LT(table[10][2560], 0.0);
  // The top rows are pure sines of amplitude 0.5.
  for (int r : {20, 21})
    for (int m = 0; m < kWaveLength; m += 97)
      EXPECT_NEAR(table[r][m], 0.5 * std::sin(2.0 * kPi * m / kWaveLength), 1e-15);
}

TEST(OscillatorBankTest, IncrementsAndRowsAt44100) {
  OscillatorBank bank;
  bank.SetSampleRate(44100.0);
  EXPECT_EQ(bank.IncrementAt(21 * 128), 167391u);
  EXPECT_EQ(bank.IncrementAt(60 * 128), 1592510u);
  for (int t = 0; t <= 16; ++t) EXPECT_EQ(bank.RowOfNote(t), 0) << "note " << t;
  const int firstNote[] = {17, 24, 29, 36, 41, 48, 53, 60, 65, 72, 77, 83, 89, 95, 101, 107, 113, 119, 125};
  for (int r = 3; r < kWaveRows; ++r) {
    const int t = firstNote[r - 3];
    EXPECT_EQ(bank.RowOfNote(t), r) << "note " << t;
    EXPECT_EQ(bank.RowOfNote(t - 1), r - 1 == 2 ? 0 : r - 1) << "note " << t - 1;
  }
  EXPECT_EQ(bank.RowOfNote(127), 21);
}

TEST(OscillatorBankTest, KeysSoundAtTheirPitchAcrossFootages) {
  OscillatorBank bank;
  bank.SetSampleRate(44100.0);
  bank.LoadPitch(0.0);
  EXPECT_EQ(bank.Increment(0), 167391u);  // counter 0 is A0
  EXPECT_NEAR(MeasuredHz(bank, 69, 0, 44100.0), 440.0, 1.0);
  EXPECT_NEAR(MeasuredHz(bank, 60, 0, 44100.0), 261.6, 1.0);
  EXPECT_NEAR(MeasuredHz(bank, 60, 1, 44100.0), 523.3, 1.0);
  EXPECT_NEAR(MeasuredHz(bank, 21, 3, 44100.0), 220.0, 1.0);  // 2' of A0 is A3
  bank.SetOctaveDown(true);
  EXPECT_NEAR(MeasuredHz(bank, 69, 0, 44100.0), 220.0, 1.0);
  // A pitch offset moves every counter.
  bank.SetOctaveDown(false);
  bank.LoadPitch(12.0);
  EXPECT_NEAR(MeasuredHz(bank, 69, 0, 44100.0), 880.0, 1.0);
}

TEST(OscillatorBankTest, SilentFootagesAtTheEdgesOfTheRange) {
  OscillatorBank bank;
  bank.SetSampleRate(44100.0);
  bank.LoadPitch(0.0);
  auto everSounds = [&](int key, bool octaveDown) {
    bank.SetOctaveDown(octaveDown);
    bool sounds[4] = {};
    double f[4];
    for (int i = 0; i < 4410; ++i) {
      bank.Advance();
      bank.FootageValues(key, f);
      for (int j = 0; j < 4; ++j) sounds[j] = sounds[j] || f[j] != 0.0;
    }
    return std::vector<bool>(sounds, sounds + 4);
  };
  EXPECT_EQ(everSounds(21, false), (std::vector<bool>{true, true, true, true}));
  EXPECT_EQ(everSounds(20, false), (std::vector<bool>{false, true, true, true}));
  EXPECT_EQ(everSounds(127, false), (std::vector<bool>{true, false, false, false}));
  EXPECT_EQ(everSounds(30, true), (std::vector<bool>{false, true, true, true}));
  for (int key : {0, 5, 11})
    for (bool down : {false, true})
      EXPECT_EQ(everSounds(key, down), (std::vector<bool>{false, false, false, false})) << key;
  // Key 12 with octave down reads notes 0, 12, 24, 36: only 24 and 36 sound.
  EXPECT_EQ(everSounds(12, true), (std::vector<bool>{false, false, true, true}));
}

TEST(OscillatorBankTest, PitchLoadClampsEachEntryOnItsOwn) {
  OscillatorBank bank;
  bank.SetSampleRate(44100.0);
  bank.LoadPitch(-25.0);  // c = -512: counters 0..4 fall below the table
  for (int q = 0; q <= 4; ++q) EXPECT_EQ(bank.Increment(q), bank.IncrementAt(0)) << q;
  for (int q = 5; q < 12; ++q) EXPECT_EQ(bank.Increment(q), bank.IncrementAt(128 * (q - 4))) << q;
  bank.LoadPitch(110.0);  // c = 16768: the top counters clamp at the last entry
  EXPECT_EQ(bank.Increment(4), bank.IncrementAt(17280));
  EXPECT_EQ(bank.Increment(11), bank.IncrementAt(17280));
  EXPECT_EQ(bank.Increment(3), bank.IncrementAt(17152));
  bank.LoadPitch(0.004);  // 0.512 units rounds to one
  EXPECT_EQ(bank.Increment(0), bank.IncrementAt(2689));
  const uint32_t before = bank.Increment(0);
  bank.LoadPitch(std::nan(""));
  EXPECT_EQ(bank.Increment(0), before);
}

TEST(OscillatorBankTest, CountersWrapAt28BitsAndSyncResetOffsetsOsc2) {
  OscillatorBank osc1, osc2;
  osc1.SetSampleRate(44100.0);
  osc1.LoadPitch(0.0);
  osc1.SetCounter(0, kPhaseMask);
  osc1.Advance();
  EXPECT_EQ(osc1.Counter(0), 167390u);
  for (int i = 0; i < 1000; ++i) osc1.Advance();
  ResetSyncPhase(osc1, osc2, 0.0625);  // default 45 degrees
  for (int p = 0; p < 12; ++p) EXPECT_EQ(osc2.Counter(p), (osc1.Counter(p) + (1u << 24)) & kPhaseMask) << p;
  ResetSyncPhase(osc1, osc2, 0.5);
  for (int p = 0; p < 12; ++p) EXPECT_EQ(osc2.Counter(p), (osc1.Counter(p) + (1u << 27)) & kPhaseMask) << p;
}

TEST(OscillatorBankTest, BanksAtDifferentRatesAreIndependent) {
  OscillatorBank a, b, reference;
  a.SetSampleRate(44100.0);
  reference.SetSampleRate(44100.0);
  b.SetSampleRate(48000.0);
  EXPECT_EQ(a.IncrementAt(2688), 167391u);
  EXPECT_EQ(b.IncrementAt(2688), static_cast<uint32_t>(27.5 * 268435456.0 / 48000.0));
  EXPECT_EQ(b.RowOfNote(60), 9);  // one row lower than at 44100 for this note
  EXPECT_EQ(a.RowOfNote(60), 10);
  a.LoadPitch(0.0);
  reference.LoadPitch(0.0);
  b.LoadPitch(0.0);
  // b is rebuilt between every sample; a must still match the reference.
  double fa[4], fr[4];
  for (int i = 0; i < 4000; ++i) {
    if (i % 16 == 0) b.SetSampleRate(i % 32 ? 48000.0 : 22050.0);
    a.Advance();
    reference.Advance();
    a.FootageValues(64, fa);
    reference.FootageValues(64, fr);
    for (int j = 0; j < 4; ++j) ASSERT_EQ(fa[j], fr[j]);
  }
  b.SetSampleRate(48000.0);
  b.LoadPitch(0.0);
  EXPECT_NEAR(MeasuredHz(b, 69, 0, 48000.0), 440.0, 1.0);
}

TEST(OscillatorBankTest, LowAndInvalidRatesAreSafe) {
  OscillatorBank bank;
  bank.SetSampleRate(500.0);
  EXPECT_EQ(bank.IncrementAt(17280), 0xFFFFFFFFu);  // 19.9 kHz does not fit at 500 Hz
  EXPECT_EQ(bank.RowOfNote(127), 21);
  bank.LoadPitch(0.0);
  double f[4];
  for (int i = 0; i < 1000; ++i) {
    bank.Advance();
    bank.FootageValues(127, f);
    ASSERT_TRUE(std::isfinite(f[0]));
  }
  bank.SetSampleRate(44100.0);
  bank.SetSampleRate(0.0);
  bank.SetSampleRate(-1.0);
  bank.SetSampleRate(std::nan(""));
  EXPECT_EQ(bank.LastSampleRate(), 44100.0);
  EXPECT_EQ(bank.IncrementAt(21 * 128), 167391u);
}

}  // namespace
}  // namespace tessaron
