#include <gtest/gtest.h>

#include <cmath>

#include "tests/engine/SoundEngineTestFixture.h"

namespace tessaron {
namespace {

using testing::EngineRig;

TEST(SoundEngineParameters, SettingsTakeTheirFormulas) {
  EngineRig rig;
  const EngineSettings& s = rig.engine.Settings();
  // Defaults as the reset's parameter pass leaves them.
  EXPECT_DOUBLE_EQ(s.osc2Coarse, 0.02);
  EXPECT_FALSE(s.alternate);
  EXPECT_DOUBLE_EQ(s.syncResetPhase, 0.0625);
  EXPECT_TRUE(s.sawOn);
  EXPECT_FALSE(s.squareOn);
  EXPECT_DOUBLE_EQ(rig.engine.DelayLine().Dry(), 1.0);

  rig.Set(kSynthPan, 0.25);
  rig.Set(kSynthLevel, 0.8);
  rig.Set(kMasterLevel, 0.5);
  rig.Set(kOrganLevel, 0.0);
  EXPECT_DOUBLE_EQ(s.synthGainL, std::sqrt(0.75) * 0.5 * 0.8);
  EXPECT_DOUBLE_EQ(s.synthGainR, std::sqrt(0.25) * 0.5 * 0.8);
  EXPECT_TRUE(s.synthActive);
  EXPECT_FALSE(s.organActive);

  // Footage parameters run from 2' (index 8) up to 16' (index 11).
  for (int i = 8; i <= 11; ++i) rig.Set(i, 0.1 * (i - 7));
  EXPECT_DOUBLE_EQ(s.footageLevel[0], 0.4);
  EXPECT_DOUBLE_EQ(s.footageLevel[3], 0.1);

  rig.Set(kGlideAmount, 0.5);
  EXPECT_DOUBLE_EQ(s.glideAmount, 6.0);
  rig.Set(kDelayMix, 0.5);
  EXPECT_NEAR(rig.engine.DelayLine().Dry(), 0.70710678, 1e-8);
  EXPECT_NEAR(rig.engine.DelayLine().Wet(), 0.70710678, 1e-8);
  rig.Set(kKeyRelease, 0.5);
  EXPECT_NEAR(rig.engine.Keys().ReleaseCoefficient(), RateOf(0.5) * 2.302585092994046 / 44100.0, 1e-18);

  // A value that is not a number never reaches a setting.
  rig.engine.ApplyParameter(kSynthLevel, std::nan(""), 0.5);
  EXPECT_DOUBLE_EQ(s.synthLevel, 0.8);
}

TEST(SoundEngineParameters, SyncResetRealignsOscillatorTwoOnEveryApplication) {
  EngineRig rig;
  rig.Render(1000);
  auto aligned = [&] {
    for (int p = 0; p < 12; ++p) {
      if (rig.engine.Osc2().Counter(p) != ((rig.engine.Osc1().Counter(p) + (1u << 24)) & 0x0FFFFFFFu)) return false;
    }
    return true;
  };
  ASSERT_FALSE(aligned());
  rig.Set(kOscSync, 1.0);  // sync on with sync reset off: counters untouched
  EXPECT_FALSE(aligned());
  rig.Set(kSyncReset, 1.0);
  EXPECT_FALSE(aligned());
  rig.Set(kOscSync, 1.0);  // already on, applied again: realigns
  EXPECT_TRUE(aligned());
  rig.Set(kOscSync, 0.0);
  rig.Render(1000);  // sync off: the pitches differ and the phases drift apart
  EXPECT_FALSE(aligned());
}

TEST(SoundEngineParameters, FirstResetIsFullAndLaterOnesOnlyWhenTheRateChanges) {
  SoundEngine engine;
  EXPECT_EQ(engine.LastSampleRate(), 1.0);
  EXPECT_TRUE(engine.Reset(44100.0, 512));
  EXPECT_EQ(engine.ControlBlockLength(), 44);
  EXPECT_EQ(engine.StringEnvelope().Decay(), 0.1);
  EXPECT_EQ(engine.StringEnvelope().Sustain(), 1.0);
  EXPECT_FALSE(engine.Reset(44100.0, 512));
  EXPECT_TRUE(engine.Reset(48000.0, 512));
  EXPECT_EQ(engine.ControlBlockLength(), 48);
  EXPECT_TRUE(engine.Reset(96000.0, 512));
  EXPECT_EQ(engine.ControlBlockLength(), 96);
}

TEST(SoundEngineParameters, GlideDirectionsAndSync) {
  // After four control ticks the glide envelope stands at 1: the full glide
  // amount (12 semitones here) is applied in the chosen direction.
  struct Case {
    int direction;
    bool sync;
    double osc1, osc2;  // semitone offsets
  };
  const Case cases[] = {
      {0, false, -12, -12}, {1, false, 0, -12}, {2, false, 0, 12}, {3, false, 12, 12}, {2, true, 0, 0}};
  for (const Case& c : cases) {
    EngineRig rig;
    rig.Set(kGlideAmount, 1.0);
    rig.Set(kGlideDirection, c.direction);
    rig.Set(kOscSync, c.sync ? 1.0 : 0.0);
    rig.Set(kOsc2Coarse, c.sync ? 0.0 : -0.02);  // no detune, so both oscillators share table entries
    rig.On(60);
    rig.Render(5 * 44, 44);
    ASSERT_EQ(rig.engine.GlideEnvelope().Level(), 1.0);
    const OscillatorBank& o1 = rig.engine.Osc1();
    const OscillatorBank& o2 = rig.engine.Osc2();
    EXPECT_EQ(o1.Increment(0), o1.IncrementAt(2688 + int32_t(c.osc1 * 128))) << c.direction;
    EXPECT_EQ(o2.Increment(0), o2.IncrementAt(2688 + int32_t(c.osc2 * 128))) << c.direction;
  }
}

TEST(SoundEngineParameters, DelayedModulationDipsThenFadesIn) {
  EngineRig rig;
  rig.Set(kModDepth, 1.0);   // the delayed modulation alone
  rig.Set(kModDelay, 0.01);  // ten control blocks
  rig.Set(kModSlope, 0.3);
  rig.On(60);
  rig.Render(44, 44);
  for (int block = 0; block < 10; ++block) {
    rig.Render(44, 44);
    EXPECT_EQ(rig.engine.ModulationDepth(), 0.0) << block;
  }
  // Expired: the envelope jumps up, so the depth falls back towards 0 ...
  double low = 1.0;
  for (int block = 0; block < 6; ++block) {
    rig.Render(44, 44);
    if (block == 0) {
      EXPECT_GT(rig.engine.ModulationDepth(), 0.0);
    }
    low = std::fmin(low, rig.engine.ModulationDepth());
  }
  EXPECT_EQ(low, 0.0);
  // ... and then fades in at the slope's speed towards half depth.
  rig.Render(44 * 1000);
  EXPECT_NEAR(rig.engine.ModulationDepth(), 0.5, 0.01);
}

}  // namespace
}  // namespace tessaron
