#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "dsp/Phaser.h"
#include "tests/dsp/SignalProbe.h"

namespace tessaron {
namespace {

// Phaser with its sweep frozen at phase p, feedback fb.
Phaser Frozen(double p, double fb) {
  Phaser ph;
  ph.SetSampleRate(44100.0);
  ph.SetSpeed(0.0);
  ph.SetFeedback(fb);
  ph.SetPhase(p);
  ph.Tick();
  return ph;
}

// Frequency of the deepest notch on a log grid from 50 Hz to 20 kHz.
double DeepestNotch(const Phaser& frozen, double* depth) {
  double bestF = 0.0;
  double bestGain = 1e9;
  for (double f = 50.0; f < 20000.0; f *= 1.05) {
    Phaser ph = frozen;
    const double g = test::ToneGain(
        [&](double x) {
          double l = x;
          double r = -x;
          ph.Process(l, r);
          return l;
        },
        f, 44100.0, 4096, 8192);
    if (g < bestGain) {
      bestGain = g;
      bestF = f;
    }
  }
  *depth = bestGain;
  return bestF;
}

TEST(Phaser, ResetAndSweepEndpoints) {
  Phaser ph;
  EXPECT_DOUBLE_EQ(ph.OmegaMax(), 1.7097102876679147);
  ph.SetPhase(0.4);
  ph.SetSampleRate(48000.0);
  EXPECT_DOUBLE_EQ(ph.OmegaMax(), 2.0 * std::numbers::pi * 12000.0 / 48000.0);
  EXPECT_DOUBLE_EQ(ph.Increment(), 0.00038);
  EXPECT_EQ(ph.Phase(), 0.4);  // the sweep runs on through resets
  ph.SetSampleRate(0.0);
  EXPECT_DOUBLE_EQ(ph.OmegaMax(), 2.0 * std::numbers::pi * 12000.0 / 48000.0);

  Phaser low = Frozen(0.0, 0.0);
  const double wLow = 0.02 * low.OmegaMax();
  EXPECT_DOUBLE_EQ(low.Coefficient(0), (wLow - 2.0) / (wLow + 2.0));
  EXPECT_DOUBLE_EQ(low.CoefficientProduct(), std::pow(low.Coefficient(3), 4.0));
  EXPECT_EQ(low.Solve(), 1.0);

  Phaser high = Frozen(-1.0, -1.0);
  const double wHigh = 0.9 * high.OmegaMax();
  EXPECT_NEAR(high.Coefficient(2), (wHigh - 2.0) / (wHigh + 2.0), 1e-15);
  EXPECT_DOUBLE_EQ(high.LoopGain(), -0.999);
  EXPECT_DOUBLE_EQ(high.Solve(), 1.0 / (1.0 - 0.999 * high.CoefficientProduct()));

  // Speed 0 freezes the sweep.
  for (int k = 0; k < 100; ++k) {
    high.Tick();
  }
  EXPECT_EQ(high.Phase(), -1.0);
}

TEST(Phaser, SweepIsATriangleWithASquaredLaw) {
  Phaser ph;
  ph.SetSampleRate(44100.0);
  ph.SetSpeed(1.0);  // one sweep per second
  EXPECT_DOUBLE_EQ(ph.Increment(), 0.002);
  double lowest = 1.0;
  double highest = -1.0;
  for (int k = 0; k < 1000; ++k) {
    ph.Tick();
    lowest = std::min(lowest, ph.Coefficient(0));
    highest = std::max(highest, ph.Coefficient(0));
    ASSERT_GE(ph.Phase(), -1.0);
    ASSERT_LT(ph.Phase(), 1.0);
  }
  const double wLow = 0.02 * ph.OmegaMax();
  const double wHigh = 0.9 * ph.OmegaMax();
  EXPECT_NEAR(lowest, (wLow - 2.0) / (wLow + 2.0), 1e-4);
  EXPECT_NEAR(highest, (wHigh - 2.0) / (wHigh + 2.0), 1e-3);
  // A quarter of the way up the triangle the squared law gives c = 0.02 + 0.22 x 0.25.
  ph.SetPhase(0.25 - ph.Increment());
  ph.Tick();
  const double w = 0.075 * ph.OmegaMax();
  EXPECT_NEAR(ph.Coefficient(1), (w - 2.0) / (w + 2.0), 1e-12);
}

TEST(Phaser, NotchesFollowTheSweep) {
  double lowDepth = 0.0;
  double highDepth = 0.0;
  const double lowNotch = DeepestNotch(Frozen(0.0, 0.0), &lowDepth);
  const double highNotch = DeepestNotch(Frozen(0.999, 0.0), &highDepth);
  // With all stages around 240 Hz the notches lie near 100 and 580 Hz;
  // at the top of the sweep they move up by more than a decade.
  EXPECT_LT(lowNotch, 700.0);
  EXPECT_GT(highNotch, 3000.0);
  EXPECT_LT(lowDepth, 0.05);
  EXPECT_LT(highDepth, 0.05);

  // Far from the notches the 50:50 mix of an all-pass with its input keeps the level.
  Phaser ph = Frozen(0.0, 0.0);
  const double g = test::ToneGain(
      [&](double x) {
        double l = x;
        double r = x;
        ph.Process(l, r);
        return r;
      },
      5.0, 44100.0, 8820, 88200);
  EXPECT_NEAR(g, 1.0, 0.01);
}

TEST(Phaser, FullFeedbackStaysBounded) {
  for (double fb : {-1.0, 1.0}) {
    Phaser ph;
    ph.SetSampleRate(44100.0);
    ph.SetSpeed(3.0);
    ph.SetFeedback(fb);
    test::Noise noise;
    double peak = 0.0;
    for (int n = 0; n < 441000; ++n) {
      if (n % 44 == 0) {
        ph.Tick();
      }
      double l = noise.Next();
      double r = noise.Next();
      ph.Process(l, r);
      peak = std::max({peak, std::fabs(l), std::fabs(r)});
    }
    EXPECT_TRUE(std::isfinite(peak));
    EXPECT_LT(peak, 100.0) << fb;
  }
}

TEST(Phaser, NaNIsRecoveredAndSilenceNeverGoesSubnormal) {
  Phaser ph = Frozen(0.3, 0.7);
  double l = std::numeric_limits<double>::quiet_NaN();
  double r = 0.5;
  ph.Process(l, r);
  EXPECT_TRUE(std::isfinite(l));
  EXPECT_TRUE(std::isfinite(r));
  ph.SetState(1, 2, std::numeric_limits<double>::quiet_NaN());
  l = r = 0.0;
  ph.Process(l, r);
  EXPECT_TRUE(std::isfinite(r));
  for (int ch = 0; ch < 2; ++ch) {
    for (int s = 0; s < Phaser::kStages; ++s) {
      EXPECT_TRUE(std::isfinite(ph.State(ch, s)));
    }
  }

  // Ten seconds of silence: the dither keeps every state out of the subnormal range.
  for (int n = 0; n < 441000; ++n) {
    l = r = 0.0;
    ph.Process(l, r);
    ASSERT_NE(std::fpclassify(l), FP_SUBNORMAL);
  }
  for (int ch = 0; ch < 2; ++ch) {
    for (int s = 0; s < Phaser::kStages; ++s) {
      EXPECT_NE(std::fpclassify(ph.State(ch, s)), FP_SUBNORMAL);
      EXPECT_LT(std::fabs(ph.State(ch, s)), 1e-10);
    }
  }
}

}  // namespace
}  // namespace tessaron
