#include <gtest/gtest.h>

#include <cmath>

#include "engine/Envelope.h"
#include "engine/SectionRamp.h"

namespace tessaron {
namespace {

int TicksUntilDecay(Envelope& env, int limit) {
  int n = 0;
  while (env.State() == Envelope::kAttack && n < limit) {
    env.Tick();
    ++n;
  }
  return n;
}

TEST(RateOfTest, MatchesTheTimeLaw) {
  EXPECT_NEAR(RateOf(0.0), 202.632, 5e-4);
  EXPECT_NEAR(RateOf(0.001), 200.201, 5e-4);
  EXPECT_NEAR(RateOf(0.01), 179.597, 5e-4);
  EXPECT_NEAR(RateOf(0.1), 60.636, 5e-4);
  EXPECT_NEAR(RateOf(0.3), 5.469, 5e-4);
  EXPECT_NEAR(RateOf(0.5), 0.535, 5e-4);
  EXPECT_NEAR(RateOf(1.0), 0.0512, 5e-5);
}

// An envelope that HoldIfStill lets rest must give the very levels of one that
// ticks on, through the hold and through every change that ends it.
TEST(EnvelopeTest, HoldingAStillDecayChangesNoLevel) {
  Envelope held, ticked;
  for (Envelope* e : {&held, &ticked}) {
    e->Reset(44100.0);
    e->SetDecay(0.05);
    e->SetSustainLevel(0.6);
    e->SetRelease(0.2);
    e->GateOn();
  }
  const auto run = [&](int ticks) {
    for (int i = 0; i < ticks; ++i) {
      held.HoldIfStill();
      held.Tick();
      ticked.Tick();
      ASSERT_EQ(held.Level(), ticked.Level());
      ASSERT_EQ(held.State(), ticked.State());
    }
  };
  const auto stopped = [&] {
    Envelope probe = ticked;
    probe.Tick();
    return probe.Level() == ticked.Level();
  };
  run(100000);
  ASSERT_TRUE(stopped());  // so the first one was held
  for (Envelope* e : {&held, &ticked}) e->SetSustainLevel(0.3);
  run(100000);
  ASSERT_TRUE(stopped());
  for (Envelope* e : {&held, &ticked}) e->SetDecay(0.3);
  run(1000);
  for (Envelope* e : {&held, &ticked}) e->GateOff();
  run(100000);
  EXPECT_EQ(held.State(), Envelope::kIdle);
}

TEST(EnvelopeTest, AttackReachesOneAfterTheFullMoveTimeAndHolds) {
  Envelope env;
  env.Reset(44100.0);
  env.SetAttack(0.3);
  env.SetDecay(0.1);
  env.SetSustainLevel(1.0);
  env.GateOn();
  EXPECT_EQ(TicksUntilDecay(env, 100000), 8063);
  EXPECT_EQ(env.Level(), 1.0);
  for (int i = 0; i < 1000; ++i) env.Tick();
  EXPECT_EQ(env.Level(), 1.0);
  EXPECT_EQ(env.State(), Envelope::kDecay);
}

TEST(EnvelopeTest, ZeroAttackAtControlRateUsesItsOwnLaw) {
  Envelope env;  // clocked at 1000 ticks per second, like glide and modulation
  env.SetDecay(0.5);
  env.GateOn();
  const double expected[] = {0.510, 0.786, 0.936, 1.0};
  for (double e : expected) {
    env.Tick();
    EXPECT_NEAR(env.Level(), e, 5e-4);
  }
  EXPECT_EQ(env.State(), Envelope::kDecay);
  // Sustain 0: the decay then heads for 0.
  env.Tick();
  EXPECT_LT(env.Level(), 1.0);
}

TEST(EnvelopeTest, GateOffAtZeroGoesIdleAndReleaseFallsToZero) {
  Envelope env;
  env.Reset(44100.0);
  env.SetRelease(0.1);
  env.GateOff();
  EXPECT_EQ(env.State(), Envelope::kIdle);
  EXPECT_EQ(env.Level(), 0.0);

  env.SetSustainLevel(1.0);
  env.GateOn();
  TicksUntilDecay(env, 100000);
  env.GateOff();
  EXPECT_EQ(env.State(), Envelope::kRelease);
  int n = 0;
  while (env.State() != Envelope::kIdle && n < 100000) {
    env.Tick();
    ++n;
  }
  EXPECT_EQ(env.Level(), 0.0);
  // A full release lasts 1 / rate seconds, to within one step.
  EXPECT_NEAR(n, 44100.0 / RateOf(0.1), 1.5);
}

TEST(EnvelopeTest, RetriggerRisesFromPresentLevelAtAttackSpeed) {
  Envelope env;
  env.Reset(44100.0);
  env.SetAttack(0.1);
  env.SetSustainLevel(1.0);
  env.SetRelease(0.3);
  env.GateOn();
  TicksUntilDecay(env, 100000);
  env.GateOff();
  for (int i = 0; i < 2000; ++i) env.Tick();
  const double before = env.Level();
  ASSERT_GT(before, 0.2);
  ASSERT_LT(before, 0.9);
  env.GateOn();
  env.Tick();
  EXPECT_GT(env.Level(), before);
  EXPECT_NEAR(env.Coefficient(), RateOf(0.1) * kLn10 / 44100.0, 1e-15);
  // Shorter than a full move, because it starts part-way up.
  EXPECT_LT(TicksUntilDecay(env, 100000), 44100.0 / RateOf(0.1));
}

TEST(EnvelopeTest, SettersTakeEffectOnlyInTheirOwnSegment) {
  Envelope env;
  env.Reset(44100.0);
  env.SetAttack(0.2);
  env.SetRelease(0.5);
  env.GateOn();
  const double attackCoefficient = env.Coefficient();
  env.SetRelease(0.1);  // during the attack: no effect yet
  EXPECT_EQ(env.Coefficient(), attackCoefficient);
  env.SetAttack(0.0);  // the setter always uses RateOf, unlike GateOn
  EXPECT_NEAR(env.Coefficient(), RateOf(0.0) * kLn10 / 44100.0, 1e-15);
  for (int i = 0; i < 10; ++i) env.Tick();
  env.GateOff();
  EXPECT_NEAR(env.Coefficient(), RateOf(0.1) * kLn10 / 44100.0, 1e-15);
  env.SetRelease(0.4);
  EXPECT_NEAR(env.Coefficient(), RateOf(0.4) * kLn10 / 44100.0, 1e-15);
}

TEST(EnvelopeTest, LoweredSustainRetargetsTheDecay) {
  Envelope env;
  env.Reset(44100.0);
  env.SetDecay(0.05);
  env.SetSustainLevel(1.0);
  env.GateOn();
  TicksUntilDecay(env, 100000);
  env.SetSustainLevel(0.25);
  for (int i = 0; i < 44100; ++i) env.Tick();
  EXPECT_NEAR(env.Level(), 0.25, 1e-6);
  EXPECT_GT(env.Level(), 0.25);  // approached from above, never crossed
  EXPECT_EQ(env.State(), Envelope::kDecay);
}

TEST(EnvelopeTest, VeryLowTickRatesStayBounded) {
  // Unclamped, a 0 setting at 100 ticks per second would multiply the distance
  // to the target by -3.7 per step and run away.
  Envelope env;
  env.Reset(100.0);
  env.SetSustainLevel(0.5);
  env.GateOn();
  env.Tick();
  EXPECT_EQ(env.Level(), 1.0);
  for (int i = 0; i < 100; ++i) env.Tick();
  EXPECT_EQ(env.Level(), 0.5);
  env.GateOff();
  env.Tick();
  EXPECT_EQ(env.Level(), 0.0);
  EXPECT_EQ(env.State(), Envelope::kIdle);
}

TEST(SectionRampTest, RiseAndFallTimes) {
  SectionRamp ramp;
  ramp.SetGate(true);
  int up = 0;
  while (ramp.Level() < 1.0 && up < 10000) {
    ramp.Step();
    ++up;
  }
  EXPECT_NEAR(up, 44100.0 / RateOf(0.001), 1.5);  // about 5.0 ms
  ramp.SetGate(false);
  int down = 0;
  while (ramp.Level() > 0.0 && down < 10000) {
    ramp.Step();
    ++down;
  }
  EXPECT_NEAR(down, 44100.0 / RateOf(0.01), 1.5);  // about 5.6 ms
}

TEST(SectionRampTest, ShortGateNeverReachesOneAndRateChangeClears) {
  SectionRamp ramp;
  ramp.SetGate(true);
  for (int i = 0; i < 88; ++i) ramp.Step();  // 2 ms at 44100 Hz
  ramp.SetGate(false);
  double peak = ramp.Level();
  for (int i = 0; i < 1000; ++i) {
    ramp.Step();
    peak = std::max(peak, ramp.Level());
  }
  EXPECT_LT(peak, 1.0);
  EXPECT_GT(peak, 0.3);
  EXPECT_EQ(ramp.Level(), 0.0);

  ramp.SetGate(true);
  ramp.Step();
  ramp.SetSampleRate(96000.0);
  EXPECT_FALSE(ramp.Gate());
  EXPECT_EQ(ramp.Level(), 0.0);
  EXPECT_NEAR(ramp.AttackCoefficient(), RateOf(0.001) * kLn10 / 96000.0, 1e-15);

  ramp.SetSampleRate(200.0);
  ramp.SetGate(true);
  for (int i = 0; i < 3; ++i) {
    ramp.Step();
    EXPECT_LE(ramp.Level(), 1.0);
    EXPECT_GE(ramp.Level(), 0.0);
  }
}

}  // namespace
}  // namespace tessaron
