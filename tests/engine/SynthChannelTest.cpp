#include <gtest/gtest.h>

#include "engine/Envelope.h"
#include "engine/SynthChannel.h"

namespace tessaron {
namespace {

TEST(SynthChannelTest, ResetAndParametersReachFilterAndEnvelope) {
  SynthChannel ch;
  ch.gate = true;
  ch.SetParam(kVcfResonance, 0.3);
  for (int i = 0; i < 100; ++i) ch.Process(1.0, 0.5);
  ch.Reset(48000.0);
  EXPECT_FALSE(ch.gate);
  EXPECT_EQ(ch.vcf.TableRate(), 48000.0);
  for (int s = 0; s < 4; ++s) EXPECT_EQ(ch.vcf.State(s), 0.0);
  EXPECT_EQ(ch.envelope.State(), Envelope::kIdle);

  // Reset settings: attack 0.01, decay 0, sustain 1, release 0.1 per sample.
  ch.envelope.GateOn();
  int n = 0;
  while (ch.envelope.State() == Envelope::kAttack) {
    ch.envelope.Tick();
    ++n;
  }
  EXPECT_NEAR(n, 48000.0 / RateOf(0.01), 1.5);
  for (int i = 0; i < 1000; ++i) ch.envelope.Tick();
  EXPECT_EQ(ch.envelope.Level(), 1.0);
  ch.envelope.GateOff();
  EXPECT_NEAR(ch.envelope.Coefficient(), RateOf(0.1) * kLn10 / 48000.0, 1e-15);

  ch.SetParam(kVcfCutoff, 0.4);
  ch.SetParam(kVcfEnvelope, 0.2);
  ch.SetParam(kEnvAttack, 0.11);
  ch.SetParam(kEnvDecay, 0.22);
  ch.SetParam(kEnvSustain, 0.33);
  ch.SetParam(kEnvRelease, 0.44);  // applies at once: the channel is releasing
  ch.SetParam(kVcfResonance, 1.0);
  ch.SetParam(kWaveSelectEnable, 0.9);  // not a channel parameter
  ch.SetParam(kLfoRouting, 0.9);
  EXPECT_EQ(ch.cutoff, 0.4);
  EXPECT_EQ(ch.envAmount, 0.2);
  EXPECT_EQ(ch.envelope.Attack(), 0.11);
  EXPECT_EQ(ch.envelope.Decay(), 0.22);
  EXPECT_EQ(ch.envelope.Sustain(), 0.33);
  EXPECT_EQ(ch.envelope.Release(), 0.44);
  EXPECT_NEAR(ch.envelope.Coefficient(), RateOf(0.44) * kLn10 / 48000.0, 1e-15);
  EXPECT_EQ(ch.vcf.Resonance(), 1.0);
  EXPECT_EQ(ch.vcf.State(1), 0.1);  // silent after the reset, so seeded
}

}  // namespace
}  // namespace tessaron
