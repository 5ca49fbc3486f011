#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "dsp/Ensemble.h"
#include "tests/dsp/SignalProbe.h"

namespace tessaron {
namespace {

// Index of the largest |y| when an impulse enters at sample 0.
int ImpulsePeak(Ensemble& e, int samples) {
  int best = -1;
  double peak = 0.0;
  for (int n = 0; n < samples; ++n) {
    const double y = std::fabs(e.Process(n == 0 ? 1.0 : 0.0));
    if (y > peak) {
      peak = y;
      best = n;
    }
  }
  return best;
}

TEST(Ensemble, LineLengthFollowsTheRate) {
  Ensemble e;
  EXPECT_EQ(e.length, 882);
  EXPECT_EQ(e.buffer[2].size(), 882u);
  e.SetSampleRate(48000.0);
  EXPECT_EQ(e.length, 960);
  EXPECT_EQ(e.buffer[0].size(), 960u);
  EXPECT_DOUBLE_EQ(e.inFilter.omega, 2.0 * std::numbers::pi * 4500.0 / 48000.0);
  for (double bad : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
    e.SetSampleRate(bad);
    EXPECT_EQ(e.length, 960) << bad;
  }
}

TEST(Ensemble, ZeroDepthRestsAtElevenAndAQuarterMilliseconds) {
  Ensemble e;
  e.SetDepth(0, 0.0);
  e.SetDepth(1, 0.0);
  e.Tick();
  for (int n = 0; n < Ensemble::kLines; ++n) {
    EXPECT_DOUBLE_EQ(e.step[n], 0.5625);
    EXPECT_DOUBLE_EQ(e.invStep[n], 1.0 / 0.5625);
  }
  // 11.25 ms = 496 samples, plus a few samples of filter and interpolation latency.
  const int peak = ImpulsePeak(e, 2000);
  EXPECT_GE(peak, 496);
  EXPECT_LE(peak, 502);
}

TEST(Ensemble, StepIsClampedAndAFullStepClocksOncePerSample) {
  Ensemble e;
  e.SetDepth(0, 0.0);
  e.SetDepth(1, 0.0);
  e.SetCentre(0, -0.5);
  e.SetCentre(1, 1.5);
  e.SetCentre(2, std::numeric_limits<double>::quiet_NaN());
  e.Tick();
  EXPECT_EQ(e.step[0], 0.125);
  EXPECT_EQ(e.step[1], 1.0);
  EXPECT_EQ(e.step[2], 0.125);  // a NaN must not stall the clock loop

  e.SetCentre(0, 1.0);
  e.SetCentre(2, 1.0);
  e.Tick();
  for (int s = 1; s <= 5; ++s) {
    e.Process(0.25);
    for (int n = 0; n < Ensemble::kLines; ++n) {
      EXPECT_EQ(e.writeIndex[n], e.length - s);
      EXPECT_EQ(e.clockPhase[n], 0.0);
    }
  }
}

TEST(Ensemble, OscillatorsMoveTheLinesAtTheirOffsets) {
  Ensemble e;
  e.SetSpeed(0, 0.72);
  e.SetSpeed(1, 5.0);
  e.SetDepth(0, 0.12);
  e.SetDepth(1, 0.04);
  EXPECT_DOUBLE_EQ(e.osc2.increment, 0.01);
  EXPECT_DOUBLE_EQ(e.depth1, 0.03);
  EXPECT_DOUBLE_EQ(e.depth2, 0.01);
  for (int k = 0; k < 337; ++k) {
    e.Tick();
  }
  const double offsets[3] = {0.0, 0.667, 1.333};
  for (int n = 0; n < Ensemble::kLines; ++n) {
    const double h = 0.5 - (std::sin(std::numbers::pi * (offsets[n] + e.osc1.phase)) + 0.5) * 0.03 -
                     (std::sin(std::numbers::pi * (offsets[n] + e.osc2.phase)) + 0.5) * 0.01;
    EXPECT_NEAR(e.step[n], h * 0.875 + 0.125, 1e-15) << n;
  }
  EXPECT_GE(e.osc2.phase, -1.0);
  EXPECT_LT(e.osc2.phase, 1.0);
  // At the defaults the three delays stay within about 10.2 .. 11.6 ms.
  for (int k = 0; k < 20000; ++k) {
    e.Tick();
    for (double s : e.step) {
      ASSERT_GT(s, 0.505);
      ASSERT_LT(s, 0.585);
    }
  }
}

TEST(Ensemble, PassesTheBandAndRemovesItOnClear) {
  Ensemble e;
  e.SetDepth(0, 0.0);
  e.SetDepth(1, 0.0);
  e.Tick();
  // Three equal lines: a low tone comes out three times as loud, a high one is cut.
  EXPECT_NEAR(test::ToneGain([&](double x) { return e.Process(x); }, 220.0, 44100.0), 3.0, 0.05);
  e.Clear();
  EXPECT_LT(test::ToneGain([&](double x) { return e.Process(x); }, 15000.0, 44100.0), 0.1);

  e.Clear();
  for (int n = 0; n < 1000; ++n) {
    ASSERT_EQ(e.Process(0.0), 0.0);
  }
}

TEST(Ensemble, RecoversFromNaNInput) {
  Ensemble e;
  e.Tick();
  e.Process(0.3);
  EXPECT_TRUE(std::isfinite(e.Process(std::numeric_limits<double>::quiet_NaN())));
  double energy = 0.0;
  for (int n = 0; n < 4000; ++n) {
    const double y = e.Process(std::sin(n * 0.03));
    ASSERT_TRUE(std::isfinite(y));
    energy += y * y;
  }
  EXPECT_GT(energy, 100.0);
}

TEST(Ensemble, TinyRatesNeitherBreakNorBlowUp) {
  Ensemble e;
  e.SetSampleRate(40.0);
  EXPECT_EQ(e.length, 0);
  EXPECT_EQ(e.Process(1.0), 0.0);

  e.SetSampleRate(500.0);
  EXPECT_EQ(e.length, 10);
  test::Noise noise;
  for (int n = 0; n < 50000; ++n) {
    e.Tick();  // below 1 kHz a control block is one sample
    ASSERT_LT(std::fabs(e.Process(noise.Next())), 30.0);
  }
}

TEST(Ensemble, DeferredTickGivesTheSameOutputAsTick) {
  // Depth and centre changes land between ticks, where a deferred step is
  // still waiting; it must belong to the settings it was ticked with.
  Ensemble eager;
  Ensemble deferred;
  for (Ensemble* e : {&eager, &deferred}) {
    e->SetSpeed(0, 3.0);
    e->SetSpeed(1, 7.0);
    e->SetDepth(0, 0.9);
  }
  test::Noise noise;
  for (int n = 0; n < 20000; ++n) {
    if (n % 44 == 0) {
      eager.Tick();
      deferred.TickDeferred();
      if (n % 440 == 0) {
        const double v = (n % 880 == 0) ? 0.2 : 0.7;
        for (Ensemble* e : {&eager, &deferred}) {
          e->SetDepth(1, v);
          e->SetCentre(n % 3, v);
        }
      }
    }
    // Stretches where nothing is processed, as while the engine is silent.
    if (n % 5000 > 3000) {
      continue;
    }
    const double x = noise.Next();
    ASSERT_EQ(eager.Process(x), deferred.Process(x)) << n;
  }
}

}  // namespace
}  // namespace tessaron
