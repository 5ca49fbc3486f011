#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "dsp/BiquadLowPass.h"
#include "dsp/CubicInterpolation.h"
#include "dsp/OnePole.h"
#include "tests/dsp/SignalProbe.h"

namespace tessaron {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(OnePole, LowPassCoefficientsAndStepResponse) {
  LP6 lp;
  lp.SetSampleRate(44100.0);
  lp.SetCutoff(1000.0);
  EXPECT_NEAR(lp.b, 0.8672, 1e-4);
  EXPECT_NEAR(lp.a, 0.1328, 1e-4);
  EXPECT_DOUBLE_EQ(lp.a + lp.b, 1.0);

  double y = 0.0;
  for (int n = 0; n < 2000; ++n) {
    y = lp.Process(1.0);
  }
  EXPECT_NEAR(y, 1.0, 1e-9);
  // -3 dB near the cutoff, strong cut an octave band higher.
  LP6 probe = lp;
  probe.Clear();
  EXPECT_NEAR(test::ToneGain([&](double x) { return probe.Process(x); }, 1000.0, 44100.0), 0.707, 0.03);
}

TEST(OnePole, HighPassStagePassesDcAndBarelyTouchesTheTop) {
  HP6 hp;
  hp.SetSampleRate(44100.0);
  hp.SetCutoff(3.3);
  EXPECT_NEAR(hp.b, 0.04323, 1e-5);
  double y = 0.0;
  for (int n = 0; n < 100; ++n) {
    y = hp.Process(1.0);
  }
  EXPECT_NEAR(y, 1.0, 1e-12);

  hp.SetSampleRate(44100.0);
  hp.SetCutoff(340.0);
  EXPECT_GT(hp.b, 0.043);
  EXPECT_LT(hp.b, 0.046);
  // At fs/2 the gain is (1 - b) / (1 + b): less than 1 dB down.
  double last = 0.0;
  for (int n = 0; n < 200; ++n) {
    last = hp.Process(n % 2 ? -1.0 : 1.0);
  }
  EXPECT_NEAR(std::fabs(last), (1.0 - hp.b) / (1.0 + hp.b), 1e-12);
  EXPECT_GT(std::fabs(last), std::pow(10.0, -1.0 / 20.0));
}

TEST(OnePole, RateChangeClearsStateAndNaNIsRecovered) {
  LP6 lp;
  lp.SetSampleRate(44100.0);
  lp.SetCutoff(12000.0);
  lp.Process(0.7);
  lp.SetSampleRate(48000.0);
  EXPECT_EQ(lp.y, 0.0);
  EXPECT_DOUBLE_EQ(lp.T, 1.0 / 48000.0);

  lp.SetCutoff(12000.0);
  EXPECT_EQ(lp.Process(kNaN), 0.0);
  EXPECT_GT(lp.Process(1.0), 0.0);

  HP6 hp;
  hp.SetSampleRate(44100.0);
  hp.SetCutoff(3.3);
  hp.Process(kNaN);
  EXPECT_NEAR(hp.Process(1.0), hp.a, 1e-15);
}

TEST(OnePole, HighPassStageStaysBoundedAtVeryLowRates) {
  // 340 Hz lies above Nyquist at 500 Hz: the pole must not leave the unit circle.
  HP6 hp;
  hp.SetSampleRate(500.0);
  hp.SetCutoff(340.0);
  EXPECT_LE(hp.b, 1.0);
  test::Noise noise;
  for (int n = 0; n < 100000; ++n) {
    ASSERT_LE(std::fabs(hp.Process(noise.Next())), 1.0);
  }
}

TEST(Biquad, CookbookLowPassCoefficients) {
  BiquadLowPass bq;
  const double w = 2.0 * std::numbers::pi * 6000.0 / 44100.0;
  bq.Setup(44100.0, BiquadLowPass::kButterworthQ, w);
  const double alpha = std::sin(w) / (2.0 * BiquadLowPass::kButterworthQ);
  const double a0 = 1.0 + alpha;
  EXPECT_NEAR(bq.b0, (1.0 - std::cos(w)) / 2.0 / a0, 1e-15);
  EXPECT_NEAR(bq.b1, (1.0 - std::cos(w)) / a0, 1e-15);
  EXPECT_NEAR(bq.c1, 2.0 * std::cos(w) / a0, 1e-15);
  EXPECT_NEAR(bq.c2, -(1.0 - alpha) / a0, 1e-15);
  EXPECT_NEAR(bq.b0 * 2.0 + bq.b1, 1.0 - bq.c1 - bq.c2, 1e-15);

  double y = 0.0;
  for (int n = 0; n < 500; ++n) {
    y = bq.Process(1.0);
  }
  EXPECT_NEAR(y, 1.0, 1e-12);
}

TEST(Biquad, AttenuatesAboveCutoff) {
  for (double fc : {4500.0, 6000.0}) {
    SCOPED_TRACE(fc);
    BiquadLowPass bq;
    bq.Setup(44100.0, BiquadLowPass::kButterworthQ, 2.0 * std::numbers::pi * fc / 44100.0);
    auto gain = [&](double f) {
      bq.Clear();
      return test::ToneGain([&](double x) { return bq.Process(x); }, f, 44100.0);
    };
    EXPECT_NEAR(gain(fc / 8.0), 1.0, 0.01);
    EXPECT_NEAR(gain(fc), std::sqrt(0.5), 0.01);
    EXPECT_LT(gain(fc * 2.0), 0.25);
    EXPECT_LT(gain(fc * 3.0), 0.1);
  }
}

TEST(Biquad, NaNInputLeavesFiniteOutputAndState) {
  BiquadLowPass bq;
  bq.Setup(44100.0, BiquadLowPass::kButterworthQ, 2.0 * std::numbers::pi * 4500.0 / 44100.0);
  bq.Process(0.5);
  EXPECT_TRUE(std::isfinite(bq.Process(kNaN)));
  for (double s : {bq.x1, bq.x2, bq.y1, bq.y2}) {
    EXPECT_TRUE(std::isfinite(s));
  }
  // A poisoned output state recovers as well.
  bq.y1 = kNaN;
  EXPECT_EQ(bq.Process(0.0), 0.0);
  double y = 0.0;
  for (int n = 0; n < 500; ++n) {
    y = bq.Process(1.0);
  }
  EXPECT_NEAR(y, 1.0, 1e-9);
}

TEST(Biquad, StableWhenTheCutoffExceedsNyquist) {
  // 6 kHz at an 8 kHz host rate.
  BiquadLowPass bq;
  bq.Setup(8000.0, BiquadLowPass::kButterworthQ, 37699.11184307752 / 8000.0);
  test::Noise noise;
  double peak = 0.0;
  for (int n = 0; n < 200000; ++n) {
    peak = std::max(peak, std::fabs(bq.Process(noise.Next())));
  }
  EXPECT_LT(peak, 10.0);
}

TEST(CubicInterpolation, HitsTheInnerPointsAndFollowsAParabola) {
  EXPECT_EQ(CatmullRom(3.0, -1.0, 2.0, 7.0, 0.0), -1.0);
  EXPECT_DOUBLE_EQ(CatmullRom(3.0, -1.0, 2.0, 7.0, 1.0), 2.0);
  // Samples of k^2 at k = -1, 0, 1, 2: the cubic reproduces t^2 exactly.
  for (double t = 0.0; t <= 1.0; t += 0.125) {
    EXPECT_NEAR(CatmullRom(1.0, 0.0, 1.0, 4.0, t), t * t, 1e-15);
  }
  // Asymmetric outer points catch a wrong weight on p0 or p3.
  EXPECT_NEAR(CatmullRom(0.0, 0.0, 0.0, 1.0, 0.5), -0.0625, 1e-15);
  EXPECT_NEAR(CatmullRom(1.0, 0.0, 0.0, 0.0, 0.5), -0.0625, 1e-15);

  History4 h;
  for (double v : {1.0, 2.0, 3.0, 4.0, 5.0}) {
    h.Push(v);
  }
  EXPECT_DOUBLE_EQ(h.At(0.5), 3.5);
}

}  // namespace
}  // namespace tessaron
