#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "dsp/PitchToHz.h"
#include "dsp/Vcf.h"

namespace tessaron {
namespace {

constexpr double kPi = 3.141592653589793;

double ControlForNote(double note) { return note * 128.0 / kVcfTableSize; }

// Steady-state amplitude of the filter's answer to a unit sine.
double SineGain(Vcf& vcf, double hz, double control, double fs = 44100.0) {
  const int settle = static_cast<int>(fs / 2), measure = static_cast<int>(fs / 2);
  double sum = 0.0;
  for (int i = 0; i < settle + measure; ++i) {
    const double y = vcf.Process(std::sin(2.0 * kPi * hz * i / fs), control);
    if (i >= settle) sum += y * y;
  }
  return std::sqrt(2.0 * sum / measure);
}

double Db(double gain) { return 20.0 * std::log10(gain); }

TEST(VcfTablesTest, OmegaAndResonanceGainPerRate) {
  auto tables = std::make_unique<VcfTables>();
  for (double fs : {44100.0, 48000.0, 8000.0}) {
    tables->SetSampleRate(fs);
    for (int i = 0; i < kVcfTableSize; i += 37) {
      const double hz = PitchToHz(i);
      EXPECT_DOUBLE_EQ(tables->omega[i], 2.0 * kPi * hz / fs);
      if (hz < 500.0) {
        EXPECT_EQ(tables->resGain[i], 4.1);
      } else if (hz > 2000.0) {
        EXPECT_EQ(tables->resGain[i], 4.005);
      } else {
        EXPECT_LE(tables->resGain[i], 4.1);
        EXPECT_GE(tables->resGain[i], 4.005);
      }
    }
  }
  EXPECT_NEAR(ResonanceGainAt(1250.0), 4.0525, 1e-12);
  EXPECT_NEAR(ResonanceGainAt(2000.0), 4.005, 1e-12);
  // A rate that is no rate keeps the table.
  for (double bad : {0.0, -1.0, std::nan(""), double(INFINITY)}) tables->SetSampleRate(bad);
  EXPECT_EQ(tables->sampleRate, 8000.0);
}

TEST(VcfTest, IndexRoundingMatchesHalfAwayFromZero) {
  for (double v : {0.0, 0.5, 1.5, 2.5, -0.5, -2.5, 0.49999999999999994, 2.4999999999999996, -1.4999999999999998,
                   17280.5, 17280.49, 1e15 + 0.5, 4.5e15, -7e18, 1e300})
    EXPECT_EQ(RoundHalfAway(v), std::round(v)) << v;
  EXPECT_TRUE(std::isnan(RoundHalfAway(std::nan(""))));
}

TEST(VcfTest, ControlMapsToTableEntriesWithClamping) {
  Vcf vcf;
  const double top = vcf.Tables().omega[kVcfTableSize - 1];
  const double bottom = vcf.Tables().omega[0];
  EXPECT_NEAR(top, 2.0 * kPi * 19912.127 / 44100.0, 1e-12);
  for (double c : {1.0, 1.5, 1e300}) {
    vcf.Process(0.0, c);
    EXPECT_DOUBLE_EQ(vcf.StageGain(), top / (top + 2.0)) << c;
  }
  for (double c : {0.0, -0.3, -1e300, std::nan("")}) {
    vcf.Process(0.0, c);
    EXPECT_DOUBLE_EQ(vcf.StageGain(), bottom / (bottom + 2.0)) << c;
    EXPECT_DOUBLE_EQ(vcf.PoleTerm(), (bottom - 2.0) / (bottom + 2.0)) << c;
  }
  vcf.Process(0.0, 100.0 / kVcfTableSize);
  EXPECT_EQ(vcf.LastIndex(), 100.0);
  vcf.Process(0.0, 100.4 / kVcfTableSize);  // same rounded index: no recomputation
  EXPECT_EQ(vcf.LastIndex(), 100.0);
}

TEST(VcfTest, ResonanceSetsFeedbackMakeUpAndDcGain) {
  Vcf vcf;
  const double c = ControlForNote(60);  // 261.6 Hz: resGain 4.1
  vcf.SetResonance(0.0);
  double y = 0.0;
  for (int i = 0; i < 44100; ++i) y = vcf.Process(1.0, c);
  EXPECT_EQ(vcf.FeedbackGain(), 0.0);
  EXPECT_EQ(vcf.MakeUp(), 1.0);
  EXPECT_NEAR(y, 1.0, 1e-9);

  vcf.SetSampleRate(44100.0);
  vcf.SetResonance(0.5);
  for (int i = 0; i < 44100; ++i) y = vcf.Process(0.001, c);
  EXPECT_DOUBLE_EQ(vcf.FeedbackGain(), 0.5 * 4.1);
  EXPECT_EQ(vcf.MakeUp(), 2.0);
  EXPECT_NEAR(y / 0.001, 2.0 / (1.0 + 2.05), 1e-5);

  vcf.SetResonance(0.75);
  vcf.Process(0.0, c);
  EXPECT_DOUBLE_EQ(vcf.MakeUp(), 1.75);
}

TEST(VcfTest, AttenuatesAboveCutoffAtFourPoles) {
  Vcf vcf;
  const double hz = PitchToHz(59 * 128);  // 246.9 Hz
  const double c = ControlForNote(59);
  // Well below cutoff the four stages follow 1 / (1 + (f/fc)^2)^2.
  EXPECT_NEAR(Db(SineGain(vcf, 30.0, c)), -40.0 * std::log10(1.0 + (30.0 / hz) * (30.0 / hz)), 0.02);
  EXPECT_NEAR(Db(SineGain(vcf, hz, c)), -12.04, 0.3);  // four stages at -3 dB
  const double slope = Db(SineGain(vcf, 8.0 * hz, c)) - Db(SineGain(vcf, 16.0 * hz, c));
  EXPECT_NEAR(slope, 24.0, 1.0);
}

TEST(VcfTest, FullResonanceSelfOscillatesNearCutoff) {
  for (double note : {57.0, 69.0, 81.0}) {
    Vcf vcf;
    vcf.SetResonance(1.0);
    ASSERT_EQ(vcf.State(1), 0.1);
    ASSERT_EQ(vcf.State(3), -0.1);
    const double c = ControlForNote(note);
    double prev = 0.0, peak = 0.0;
    int crossings = 0;
    for (int i = 0; i < 88200; ++i) {
      const double y = vcf.Process(0.0, c);
      ASSERT_TRUE(std::isfinite(y));
      if (i >= 44100) {
        if ((y >= 0.0) != (prev >= 0.0)) ++crossings;
        peak = std::max(peak, std::fabs(y));
      }
      prev = y;
    }
    const double expected = 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
    EXPECT_NEAR(crossings / 2.0, expected, expected * 0.01) << note;
    EXPECT_GT(peak, 0.5) << note;
    EXPECT_LT(peak, 10.0) << note;
  }
}

TEST(VcfTest, SeedsOnlyASilentFilterAtFullResonance) {
  Vcf vcf;
  vcf.SetResonance(0.99);
  for (int s = 0; s < 4; ++s) EXPECT_EQ(vcf.State(s), 0.0);
  for (int i = 0; i < 1000; ++i) EXPECT_LT(std::fabs(vcf.Process(0.0, ControlForNote(69))), 1e-9);

  Vcf playing;
  playing.SetResonance(0.0);
  for (int i = 0; i < 100; ++i) playing.Process(1.0, ControlForNote(69));
  const double s2 = playing.State(1);
  playing.SetResonance(1.0);
  EXPECT_EQ(playing.State(1), s2);
}

TEST(VcfTest, NanInputRecoversFromSilenceOnTheNextSample) {
  Vcf vcf;
  vcf.SetResonance(0.7);
  const double c = ControlForNote(72);
  for (int i = 0; i < 500; ++i) vcf.Process(std::sin(i * 0.05), c);
  EXPECT_TRUE(std::isnan(vcf.Process(std::nan(""), c)));
  EXPECT_EQ(vcf.Process(0.0, c), 0.0);
  for (int s = 0; s < 4; ++s) EXPECT_EQ(vcf.State(s), 0.0);
  for (int i = 0; i < 1000; ++i) {
    const double y = vcf.Process(0.0, c);
    ASSERT_TRUE(std::isfinite(y));
    ASSERT_LT(std::fabs(y), 1e-9);
  }
  // The dither keeps the states away from denormals.
  EXPECT_GE(std::fabs(vcf.State(0)), 1e-14);
}

TEST(VcfTest, InstancesAtDifferentRatesDoNotDisturbEachOther) {
  Vcf a, reference, b;
  b.SetSampleRate(48000.0);
  EXPECT_EQ(b.TableRate(), 48000.0);
  EXPECT_EQ(a.TableRate(), 44100.0);
  const double c = ControlForNote(64);
  for (int i = 0; i < 2000; ++i) {
    if (i % 100 == 0) b.SetSampleRate(i % 200 ? 48000.0 : 22050.0);
    const double x = std::sin(i * 0.1);
    ASSERT_EQ(a.Process(x, c), reference.Process(x, c));
  }
  // A rate far below 1000 Hz stays finite.
  Vcf slow;
  slow.SetSampleRate(500.0);
  slow.SetResonance(1.0);
  for (int i = 0; i < 5000; ++i) ASSERT_TRUE(std::isfinite(slow.Process(std::sin(i * 0.3), 0.9)));
}

}  // namespace
}  // namespace tessaron
