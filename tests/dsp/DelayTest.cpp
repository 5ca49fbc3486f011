#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "dsp/Delay.h"
#include "tests/dsp/SignalProbe.h"

namespace tessaron {
namespace {

constexpr double kFs = 44100.0;
constexpr int kControlBlock = 44;

// The delay a channel's clock gives, in milliseconds.
double DelayMs(const Delay& d, int ch) {
  const int cells = d.ReadOffset() == 0 ? d.LineLength() : d.ReadOffset();
  return cells * d.Step(ch) / kFs * 1000.0;
}

Delay WetOnly() {
  Delay d;
  d.SetMix(1.0);
  d.SetFeedback(0.0);
  d.SetVibe(false);
  return d;
}

// Runs the delay like the render loop does and returns both channels.
void RunDelay(Delay& d, double time, double tempo, const std::vector<double>& inL, const std::vector<double>& inR,
              std::vector<double>& outL, std::vector<double>& outR) {
  outL.resize(inL.size());
  outR.resize(inL.size());
  for (size_t n = 0; n < inL.size(); ++n) {
    if (n % kControlBlock == 0) {
      d.Tick(time, tempo);
    }
    double l = inL[n];
    double r = inR[n];
    d.Process(l, r);
    outL[n] = l;
    outR[n] = r;
  }
}

// Resampling in and out of the line adds a few samples of latency, never less than none.
void ExpectArrival(int measured, double expected) {
  EXPECT_GE(measured, expected - 1.0);
  EXPECT_LE(measured, expected + 8.0);
}

int PeakIndex(const std::vector<double>& v, size_t from = 0) {
  size_t best = from;
  for (size_t n = from; n < v.size(); ++n) {
    if (std::fabs(v[n]) > std::fabs(v[best])) {
      best = n;
    }
  }
  return static_cast<int>(best);
}

TEST(Delay, LineLengthFollowsTheRate) {
  Delay d;
  EXPECT_EQ(d.LineLength(), 52920);
  EXPECT_EQ(d.BufferSize(1), 52920u);
  d.SetSampleRate(48000.0);
  EXPECT_EQ(d.LineLength(), 57600);
  EXPECT_DOUBLE_EQ(d.OutputFilterOmega(0), 2.0 * std::numbers::pi * 6000.0 / 48000.0);
  // A lower rate shortens the line under the read offset the last Tick set.
  d.Tick(0.5, 120.0);
  EXPECT_EQ(d.ReadOffset(), 28800);
  d.SetSampleRate(44100.0);
  EXPECT_EQ(d.ReadOffset(), 26460);
  d.SetSampleRate(48000.0);

  for (double bad :
       {0.0, -44100.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    d.SetSampleRate(bad);
    EXPECT_EQ(d.LineLength(), 57600) << bad;
  }

  // No cells: the pair passes untouched, not even scaled by the dry gain.
  d.SetSampleRate(0.5);
  EXPECT_EQ(d.LineLength(), 0);
  d.SetMix(0.5);
  d.Tick(0.5, 120.0);
  double l = 0.8;
  double r = -0.3;
  d.Process(l, r);
  EXPECT_EQ(l, 0.8);
  EXPECT_EQ(r, -0.3);
}

TEST(Delay, SyncedTimesAtOneHundredTwentyBeatsPerMinute) {
  struct Case {
    int division;
    double ms;
    bool halfLine;
  };
  const Case cases[] = {
      {0, 1000.0, false},                                                   // "2/1": 4000 ms folded twice
      {1, 750.0, false},                                                    // "1/1." 3000 ms
      {6, 2000.0 / 3.0, false}, {7, 500.0, false},                          // "1/4"
      {9, 1000.0 / 3.0, false}, {10, 250.0, false},                         // "1/8"
      {13, 125.0, false},       {16, 62.5, true},                           // "1/32"
      {17, 46.875, true},       {18, 125.0 / 3.0, true}, {19, 62.5, true},  // "1/64": 31.25 ms doubled
  };
  Delay d;
  d.SetSync(true);
  d.SetVibe(false);
  d.SetDouble(false);  // has no say in sync mode
  for (const Case& c : cases) {
    SCOPED_TRACE(c.division);
    d.Tick(1.0 - c.division / 19.0, 120.0);
    EXPECT_EQ(d.ReadOffset(), c.halfLine ? d.LineLength() / 2 : 0);
    EXPECT_NEAR(DelayMs(d, 0), c.ms, 1e-9);
    EXPECT_EQ(d.Step(0), d.Step(1));
  }
  // The middle of the knob rounds to "1/8".
  d.Tick(0.5, 120.0);
  EXPECT_NEAR(DelayMs(d, 1), 250.0, 1e-9);
  d.Tick(0.5, 90.0);
  EXPECT_NEAR(DelayMs(d, 1), 1000.0 / 3.0, 1e-9);
}

TEST(Delay, FreeTimesAndDoubleLine) {
  Delay d;
  d.SetVibe(false);
  d.Tick(0.0, 120.0);
  EXPECT_EQ(d.Step(0), 0.125);
  EXPECT_NEAR(DelayMs(d, 0), 75.0, 1e-9);
  d.Tick(1.0, 120.0);
  EXPECT_NEAR(DelayMs(d, 1), 600.0, 1e-9);
  d.SetDouble(true);
  d.Tick(0.0, 120.0);
  EXPECT_NEAR(DelayMs(d, 0), 150.0, 1e-9);
  d.Tick(1.0, 120.0);
  EXPECT_NEAR(DelayMs(d, 0), 1200.0, 1e-9);
}

TEST(Delay, BadTempoFallsBackAndStepsStayPositive) {
  Delay d;
  d.SetSync(true);
  d.SetVibe(false);
  d.Tick(0.5, 120.0);
  const double reference = d.Step(0);
  for (double tempo : {0.0, -40.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    d.Tick(0.5, tempo);
    EXPECT_EQ(d.Step(0), reference) << tempo;
  }
  for (double tempo : {1e-300, 5e-324, 1e300}) {
    d.Tick(0.5, tempo);
    EXPECT_TRUE(std::isfinite(d.Step(0))) << tempo;
    EXPECT_GT(d.Step(0), 0.0) << tempo;
  }

  // Deep vibe at the bottom of the synced range would stop the clock.
  d.SetVibe(true);
  d.SetVibeDepth(1.0);
  d.SetVibeSpeed(25.0);
  double lowest = 1.0;
  for (int k = 0; k < 200; ++k) {
    d.Tick(1.0 - 13.0 / 19.0, 120.0);  // "1/16": 125 ms, a = 0.044
    lowest = std::min({lowest, d.Step(0), d.Step(1)});
    double l = 0.1;
    double r = 0.1;
    d.Process(l, r);
  }
  EXPECT_EQ(lowest, Delay::kMinStep);

  // Free mode never reaches the bound, so the bound never changes its times.
  Delay f;
  f.SetVibe(true);
  f.SetVibeDepth(1.0);
  f.SetVibeSpeed(25.0);
  for (int k = 0; k < 200; ++k) {
    f.Tick(0.0, 120.0);
    ASSERT_GT(std::min(f.Step(0), f.Step(1)), Delay::kMinStep);
  }

  // Processing before the first Tick must not hang on a zero step.
  Delay fresh;
  double l = 1.0;
  double r = 1.0;
  fresh.Process(l, r);
  SUCCEED();
}

TEST(Delay, VibeBendsTheChannelsApart) {
  Delay d;
  d.SetVibeSpeed(5.0);
  d.SetVibeDepth(0.5);
  EXPECT_DOUBLE_EQ(d.VibeIncrement(), 0.01);
  EXPECT_DOUBLE_EQ(d.VibeDepth(), 0.05);
  d.SetVibe(true);
  for (int k = 0; k < 30; ++k) {
    d.Tick(0.4, 120.0);
  }
  const double centre = 0.4 * 0.875 + 0.125;
  EXPECT_GT(std::fabs(d.Step(0) - centre), 1e-3);
  EXPECT_NEAR(d.Step(0) + d.Step(1), 2.0 * centre, 1e-12);

  d.SetPingPong(true);
  d.Tick(0.4, 120.0);
  EXPECT_EQ(d.Step(0), d.Step(1));
  EXPECT_EQ(d.ClockPhase(0), d.ClockPhase(1));

  d.SetPingPong(false);
  d.SetVibe(false);
  d.Tick(0.4, 120.0);
  EXPECT_EQ(d.Step(0), d.Step(1));
}

TEST(Delay, EchoArrivesAtTheSetTime) {
  const int n = 60000;
  std::vector<double> impulse(n, 0.0);
  impulse[100] = 1.0;
  std::vector<double> outL;
  std::vector<double> outR;

  Delay free = WetOnly();
  RunDelay(free, 0.5, 120.0, impulse, impulse, outL, outR);  // 0.6 s x 0.5625
  ExpectArrival(PeakIndex(outL) - 100, 0.3375 * kFs);
  ExpectArrival(PeakIndex(outR) - 100, 0.3375 * kFs);

  Delay synced = WetOnly();
  synced.SetSync(true);
  RunDelay(synced, 1.0 - 7.0 / 19.0, 120.0, impulse, impulse, outL, outR);  // "1/4"
  ExpectArrival(PeakIndex(outL) - 100, 0.5 * kFs);

  RunDelay(synced, 1.0 - 19.0 / 19.0, 120.0, impulse, impulse, outL, outR);  // "1/64", half line
  ExpectArrival(PeakIndex(outR, 100) - 100, 0.0625 * kFs);
}

TEST(Delay, FeedbackRepeatsAndPingPongCrosses) {
  const int n = 40000;
  std::vector<double> impulse(n, 0.0);
  std::vector<double> silence(n, 0.0);
  impulse[10] = 1.0;
  std::vector<double> outL;
  std::vector<double> outR;
  const double period = 0.075 * kFs;  // time 0, single line

  Delay d = WetOnly();
  d.SetFeedback(0.5);
  RunDelay(d, 0.0, 120.0, impulse, silence, outL, outR);
  const int first = PeakIndex(outL);
  ExpectArrival(first - 10, period);
  const int second = PeakIndex(outL, first + 100);
  EXPECT_NEAR(second - first, period, 3.0);
  EXPECT_NEAR(std::fabs(outL[second]) / std::fabs(outL[first]), 0.5, 0.1);
  for (double y : outR) {
    ASSERT_EQ(y, 0.0);
  }

  Delay p = WetOnly();
  p.SetFeedback(0.5);
  p.SetPingPong(true);
  RunDelay(p, 0.0, 120.0, impulse, silence, outL, outR);
  ExpectArrival(PeakIndex(outL) - 10, period);
  ExpectArrival(PeakIndex(outR) - 10, 2.0 * period);
  EXPECT_NEAR(std::fabs(outR[PeakIndex(outR)]) / std::fabs(outL[PeakIndex(outL)]), 0.5, 0.1);
}

TEST(Delay, MixGainsAndBoundedFullFeedback) {
  Delay d;
  d.SetMix(0.5);
  EXPECT_NEAR(d.Dry(), 0.70710678, 1e-8);
  EXPECT_NEAR(d.Wet(), 0.70710678, 1e-8);

  d.SetMix(0.0);
  d.SetFeedback(1.0);
  test::Noise noise;
  for (int n = 0; n < 2000; ++n) {
    if (n % kControlBlock == 0) {
      d.Tick(0.2, 120.0);
    }
    const double x = noise.Next();
    double l = x;
    double r = -x;
    d.Process(l, r);
    ASSERT_EQ(l, x);
    ASSERT_EQ(r, -x);
  }

  // Feedback 1 with loud input: the clamp keeps the loop bounded.
  d.SetMix(1.0);
  d.SetPingPong(true);
  double peak = 0.0;
  for (int n = 0; n < 300000; ++n) {
    if (n % kControlBlock == 0) {
      d.Tick(0.0, 120.0);
    }
    double l = 4.0 * noise.Next();
    double r = 4.0 * noise.Next();
    d.Process(l, r);
    peak = std::max({peak, std::fabs(l), std::fabs(r)});
  }
  EXPECT_TRUE(std::isfinite(peak));
  EXPECT_LT(peak, 20.0);
}

TEST(Delay, NaNInputDoesNotPoisonTheLine) {
  Delay d = WetOnly();
  d.SetFeedback(0.6);
  d.Tick(0.0, 120.0);
  double l = std::numeric_limits<double>::quiet_NaN();
  double r = std::numeric_limits<double>::quiet_NaN();
  d.Process(l, r);
  double energy = 0.0;
  for (int n = 0; n < 20000; ++n) {
    if (n % kControlBlock == 0) {
      d.Tick(0.0, 120.0);
    }
    l = r = (n < 100) ? 0.5 : 0.0;
    d.Process(l, r);
    ASSERT_TRUE(std::isfinite(l) && std::isfinite(r)) << n;
    energy += l * l;
  }
  EXPECT_GT(energy, 1.0);
}

// The silent-input shortcut must give exactly what the full computation gives.
TEST(Delay, IdleShortcutsMatchTheFullComputation) {
  // Synced and free time reach steps from a few ticks a sample to about one.
  for (int run = 0; run < 4; ++run) {
    const bool pingPong = run % 2 == 1;
    const bool sync = run < 2;
    SCOPED_TRACE(run);
    Delay fast;  // skips silent samples one at a time
    Delay bulk;  // skips whole silent control blocks, taking the clock phase in one step
    Delay full;
    Delay block;  // whole control blocks through the block Process
    full.SetIdleSkip(false);
    for (Delay* d : {&fast, &bulk, &full, &block}) {
      d->SetMix(0.4);
      d->SetFeedback(0.0);
      d->SetSync(sync);
      d->SetVibe(true);
      d->SetVibeSpeed(3.0);
      d->SetVibeDepth(0.8);
      d->SetPingPong(pingPong);
    }
    EXPECT_FALSE(full.SkipSilence(kControlBlock));
    test::Noise noise;
    bool wentIdle = false;
    int skippedBlocks = 0;
    const int total = 4 * 44100;
    for (int start = 0; start < total; start += kControlBlock) {
      const double time = start < total / 2 ? 0.3 : 0.8;
      for (Delay* d : {&fast, &bulk, &full, &block}) {
        d->Tick(time, 133.0);
      }
      // Bursts of noise, a long silence, a burst, silence.
      double in[kControlBlock];
      bool silent = true;
      for (int k = 0; k < kControlBlock; ++k) {
        const int n = start + k;
        const bool sounding = n < 5000 || (n > 120000 && n < 121000);
        in[k] = sounding ? noise.Next() : 0.0;
        silent = silent && !sounding;
      }
      const bool skipped = silent && bulk.SkipSilence(kControlBlock);
      skippedBlocks += skipped ? 1 : 0;
      double blockL[kControlBlock], blockR[kControlBlock];
      for (int k = 0; k < kControlBlock; ++k) {
        blockL[k] = in[k];
        blockR[k] = pingPong ? 0.0 : -in[k];
      }
      block.Process(blockL, blockR, kControlBlock);
      for (int k = 0; k < kControlBlock; ++k) {
        double l[3] = {in[k], in[k], in[k]};
        double r[3] = {pingPong ? 0.0 : -in[k], 0.0, 0.0};
        r[1] = r[2] = r[0];
        fast.Process(l[0], r[0]);
        full.Process(l[2], r[2]);
        if (skipped) {
          l[1] = r[1] = 0.0;
        } else {
          bulk.Process(l[1], r[1]);
        }
        ASSERT_EQ(l[0], l[2]) << start + k;
        ASSERT_EQ(r[0], r[2]) << start + k;
        ASSERT_EQ(blockL[k], l[2]) << start + k;
        ASSERT_EQ(blockR[k], r[2]) << start + k;
        // The bulk skip takes the clock phase in one step: within rounding.
        ASSERT_NEAR(l[1], l[2], 1e-12) << start + k;
        ASSERT_NEAR(r[1], r[2], 1e-12) << start + k;
      }
      wentIdle = wentIdle || fast.IsIdle();
    }
    EXPECT_TRUE(wentIdle);
    EXPECT_GT(skippedBlocks, 1000);
    for (int ch = 0; ch < 2; ++ch) {
      EXPECT_EQ(fast.ClockPhase(ch), full.ClockPhase(ch));
      EXPECT_EQ(fast.WriteIndex(ch), full.WriteIndex(ch));
      EXPECT_EQ(block.ClockPhase(ch), full.ClockPhase(ch));
      EXPECT_EQ(block.WriteIndex(ch), full.WriteIndex(ch));
      EXPECT_NEAR(bulk.ClockPhase(ch), full.ClockPhase(ch), 1e-9);
    }
  }
}

}  // namespace
}  // namespace tessaron
