#include <gtest/gtest.h>

#include <cmath>

#include "dsp/PitchToHz.h"
#include "tests/engine/SoundEngineTestFixture.h"

namespace tessaron {
namespace {

using testing::EngineRig;
using testing::PeakAbs;
using testing::PeakFrequency;
using testing::Rms;

constexpr double kFs = 44100.0;

TEST(Render, MiddleCSoundsAtItsPitchInEachSectionAlone) {
  enum Section { kSynth, kOrgan, kString };
  for (Section section : {kSynth, kOrgan, kString}) {
    EngineRig rig;
    rig.Sections(section == kSynth, section == kOrgan, section == kString);
    rig.Set(kOrgan16, 1.0);  // Organ 16': the key's own pitch
    rig.Set(kOrgan8, 0.0);
    rig.Set(kStringFootages, 0.0);  // String: the 16'-based mix only
    rig.On(60);
    rig.Render(66150);
    const double expected = PitchToHz(60 * 128);
    const double peak = PeakFrequency(rig.left, kFs, 100.0, 1200.0, 0.5, 22050);
    EXPECT_NEAR(peak, expected, 1.0) << "section " << section;
    EXPECT_GT(Rms(rig.left, 22050), 0.01) << "section " << section;
    // Centred pans give equal channels.
    EXPECT_NEAR(Rms(rig.right, 22050), Rms(rig.left, 22050), 1e-9) << "section " << section;
  }
}

TEST(Render, OctaveSwitchesAndPitchBendMoveThePitch) {
  EngineRig rig;
  rig.Sections(true, false, false);
  rig.Set(kOsc1Octave, 1.0);  // both oscillators an octave down
  rig.Set(kOsc2Octave, 1.0);
  rig.Send(0, 0xE0, 0, 96);  // +0.5 of the default two semitones: one semitone up
  rig.On(69);
  rig.Render(66150);
  EXPECT_NEAR(PeakFrequency(rig.left, kFs, 100.0, 1200.0, 0.5, 22050), PitchToHz(58 * 128), 1.0);
}

TEST(Render, KeysBelowTwelveNeverSound) {
  EngineRig rig;
  rig.Sections(true, true, true);
  for (int i = 8; i <= 11; ++i) rig.Set(i, 1.0);
  rig.Set(kOsc1Octave, 1.0);
  for (uint8_t note = 0; note < 12; ++note) rig.On(note);
  rig.Render(22050);
  EXPECT_LT(PeakAbs(rig.left), 1e-9);
  EXPECT_LT(PeakAbs(rig.right), 1e-9);
  EXPECT_EQ(rig.engine.Keys().Size(), 12);
}

// Freezes the LFO with its phase on the chosen side of zero and lets the
// square's smoothing settle.
void HoldLfo(EngineRig& rig, bool positive) {
  rig.Set(kLfoWaveshape, 1.0);  // square
  rig.Set(kModSpeed, 25.0);
  for (int guard = 0; guard < 100; ++guard) {
    rig.Render(44, 44);
    if ((rig.engine.LfoPhase() < 0.0) == positive) break;
  }
  rig.Set(kModSpeed, 0.0);
  rig.Render(44100);
}

TEST(Render, VcaRoutingAtHalfDepthSilencesTheSynthAtLfoPlusOne) {
  auto synthRms = [](bool vca, bool lfoPositive) {
    EngineRig rig;
    rig.Sections(true, false, false);
    rig.Set(kLfoRouting, vca ? 2 : 1);  // VCA, or VCF with zero depth as the unmodulated reference
    rig.Set(kWheelAmount, 1.0);         // wheel amount 1 and wheel fully up: depth 0.5
    HoldLfo(rig, lfoPositive);
    if (vca) rig.Cc(1, 127);
    rig.On(60);
    rig.Render(22050);
    if (vca) {
      EXPECT_DOUBLE_EQ(rig.engine.ModulationDepth(), 0.5);
    }
    EXPECT_NEAR(rig.engine.LfoValue(), lfoPositive ? 1.0 : -1.0, 1e-9);
    return Rms(rig.left, 4410);
  };
  // Each case is compared with an unmodulated run that took the same path to its LFO phase.
  const double referencePlus = synthRms(false, true);
  const double referenceMinus = synthRms(false, false);
  ASSERT_GT(referencePlus, 0.01);
  EXPECT_LT(synthRms(true, true), referencePlus * 1e-6);
  EXPECT_NEAR(synthRms(true, false), referenceMinus, referenceMinus * 1e-6);
}

TEST(Render, PhaserTakesOnlyTheSectionsSwitchedToIt) {
  auto render = [](int phaserSwitch) {
    EngineRig rig;
    rig.Sections(false, true, false);
    rig.Set(kPhaserSpeed, 3.0);
    if (phaserSwitch >= 0) rig.Set(phaserSwitch, 1.0);
    rig.On(60);
    rig.On(64);
    rig.Render(22050);
    return rig.left;
  };
  const std::vector<double> plain = render(-1);
  const std::vector<double> otherSections = render(45);  // String and Synth switches
  const std::vector<double> alsoSynth = render(46);
  const std::vector<double> organ = render(47);
  double differOther = 0.0, differOrgan = 0.0;
  for (size_t i = 0; i < plain.size(); ++i) {
    differOther = std::fmax(differOther, std::fabs(otherSections[i] - plain[i]));
    differOther = std::fmax(differOther, std::fabs(alsoSynth[i] - plain[i]));
    differOrgan = std::fmax(differOrgan, std::fabs(organ[i] - plain[i]));
  }
  // A phaser fed silence only adds its anti-denormal dither.
  EXPECT_LT(differOther, 1e-9);
  EXPECT_GT(differOrgan, 0.01);
}

TEST(Render, ResetAtTheSameRateKeepsTheDelayTailAndANewRateClearsIt) {
  auto tail = [](double secondRate) {
    EngineRig rig;
    rig.Sections(false, true, false);
    rig.Set(kDelayMix, 0.5);  // delay mix
    rig.Set(kDelayFeedback, 0.6);
    rig.On(60);
    rig.Render(4400);
    rig.Off(60);
    rig.Render(22000);  // organ gone, echoes still running
    if (secondRate > 0.0) rig.Reset(secondRate);
    rig.Render(22000);
    return rig.left;
  };
  const std::vector<double> untouched = tail(0.0);
  ASSERT_GT(Rms(untouched), 1e-4);
  EXPECT_EQ(tail(kFs), untouched);
  EXPECT_LT(PeakAbs(tail(48000.0)), 1e-9);
}

TEST(Render, IdenticalInputGivesIdenticalOutputForAnyHostBlockSize) {
  auto render = [](int32_t block) {
    EngineRig rig;
    rig.Sections(true, true, true);
    rig.Set(kOrgan4, 0.5);
    rig.Set(kPhaserSynth, 1.0);  // phaser on the Synth
    rig.Set(kDelayMix, 0.4);     // delay in the mix
    rig.Set(kModDepth, 1.0);
    for (uint8_t note : {uint8_t(48), uint8_t(55), uint8_t(60), uint8_t(64), uint8_t(67)}) rig.On(note);
    rig.Send(0, 0xE0, 0, 70);
    rig.Render(20000, block);
    std::vector<double> out = rig.left;
    out.insert(out.end(), rig.right.begin(), rig.right.end());
    return out;
  };
  const std::vector<double> reference = render(5000);
  ASSERT_GT(Rms(reference), 0.01);
  EXPECT_EQ(render(5000), reference);
  for (int32_t block : {1, 7, 64, 1000}) EXPECT_EQ(render(block), reference) << "block " << block;
}

TEST(Render, ControlUpdatesRunOnContinuousTimeAcrossHostBlocks) {
  EngineRig rig;
  const int expected[] = {2, 1, 2, 1, 2, 1};  // updates at 0, 44, 88, 132, 176, 220, ...
  for (int block = 0; block < 6; ++block) {
    const int before = rig.host.timeQueries;
    rig.Render(64, 64);
    EXPECT_EQ(rig.host.timeQueries - before, expected[block]) << "block " << block;
  }
  std::vector<double> none;
  rig.engine.RenderBlock(nullptr, nullptr, 0);
  rig.engine.RenderBlock(none.data(), none.data(), -5);
  rig.Render(64, 64);  // 384..447: updates at 396, 440
  EXPECT_EQ(rig.host.timeQueries, 9 + 2);
}

TEST(Render, SilenceAfterTheTailsStopsKeyWorkUntilTheNextNote) {
  EngineRig rig;
  rig.Sections(true, true, true);
  rig.On(60);
  rig.Render(4400);
  EXPECT_TRUE(rig.engine.SoundActive());
  rig.Off(60);
  rig.Render(88200);
  EXPECT_FALSE(rig.engine.SoundActive());
  rig.Render(4400);
  EXPECT_EQ(PeakAbs(rig.left), 0.0);
  EXPECT_EQ(PeakAbs(rig.right), 0.0);

  // The oscillators kept running: the same note now starts where a never-idle
  // engine's would.
  rig.On(60);
  rig.Render(4400);
  EXPECT_TRUE(rig.engine.SoundActive());
  EXPECT_GT(Rms(rig.left), 0.01);
  EngineRig busy;
  busy.Sections(true, true, true);
  busy.Render(4400 + 88200 + 4400 + 4400);
  for (int p = 0; p < 12; ++p) {
    EXPECT_EQ(rig.engine.Osc1().Counter(p), busy.engine.Osc1().Counter(p));
    EXPECT_EQ(rig.engine.Osc2().Counter(p), busy.engine.Osc2().Counter(p));
  }
}

TEST(Render, HostAnomaliesNeitherHangNorPoison) {
  // Unusable rates are ignored; a rate below 1000 Hz still has one-sample control blocks.
  EngineRig rig;
  for (double bad : {0.0, -44100.0, std::nan(""), double(INFINITY)}) {
    EXPECT_FALSE(rig.engine.Reset(bad, 512));
    EXPECT_EQ(rig.engine.LastSampleRate(), kFs);
    EXPECT_EQ(rig.engine.ControlBlockLength(), 44);
  }
  EngineRig slow(500.0);
  EXPECT_EQ(slow.engine.ControlBlockLength(), 1);
  slow.Sections(true, true, true);
  slow.On(60);
  slow.Render(1000);
  for (double x : slow.left) ASSERT_TRUE(std::isfinite(x));

  // A tempo the host gets wrong falls back to 120 for the synced delay.
  auto synced = [](bool giveTempo, double tempo) {
    EngineRig r;
    r.host.giveTempo = giveTempo;
    r.host.tempo = tempo;
    r.Sections(false, true, false);
    r.Set(kDelaySync, 1.0);
    r.Set(kDelayMix, 0.5);
    r.On(60);
    r.Render(22000);
    return r.left;
  };
  const std::vector<double> reference = synced(false, 0.0);
  for (double tempo : {0.0, -90.0, std::nan(""), double(INFINITY)}) EXPECT_EQ(synced(true, tempo), reference);
  EXPECT_NE(synced(true, 90.0), reference);
}

// Tails end once all they would still add stays below -120 dBFS: the output keeps
// within that of the full computation, through the silence and the next phrase.
TEST(Render, EndedTailsStayWithinMinus120DbOfTheFullComputation) {
  for (bool pingPong : {false, true}) {
    auto render = [&](bool cut, bool& wentQuiet) {
      EngineRig rig;
      rig.engine.SetTailCutting(cut);
      rig.Sections(true, true, true);
      rig.Set(kOrgan4, 0.5);
      for (int i = 45; i <= 47; ++i) rig.Set(i, 1.0);  // phaser on everything
      rig.Set(kPhaserFeedback, 0.8);
      rig.Set(kDelayTime, 0.1);  // a long delay with feedback and vibe
      rig.Set(kDelayFeedback, 0.6);
      rig.Set(kDelayMix, 0.5);
      rig.Set(kDelayVibe, 1.0);
      rig.Set(kDelayPingPong, pingPong ? 1.0 : 0.0);
      std::vector<double> out;
      auto play = [&](int32_t n) {
        rig.Render(n, 512);
        out.insert(out.end(), rig.left.begin(), rig.left.end());
        out.insert(out.end(), rig.right.begin(), rig.right.end());
      };
      for (uint8_t note : {uint8_t(48), uint8_t(55), uint8_t(64)}) rig.On(note);
      play(44100);
      for (uint8_t note : {uint8_t(48), uint8_t(55), uint8_t(64)}) rig.Off(note);
      play(44100 * 29);
      wentQuiet = rig.engine.DelayLine().IsIdle() && rig.left.back() == 0.0 && rig.right.back() == 0.0;
      rig.On(60);
      play(22050);
      rig.Off(60);
      play(44100);
      return out;
    };
    bool cutQuiet = false, fullQuiet = false;
    const std::vector<double> cut = render(true, cutQuiet);
    const std::vector<double> full = render(false, fullQuiet);
    ASSERT_EQ(cut.size(), full.size());
    double worst = 0.0;
    for (size_t i = 0; i < cut.size(); ++i) worst = std::fmax(worst, std::fabs(cut[i] - full[i]));
    EXPECT_TRUE(cutQuiet) << "ping-pong " << pingPong;
    EXPECT_FALSE(fullQuiet) << "ping-pong " << pingPong;
    EXPECT_LT(worst, 1e-6) << "ping-pong " << pingPong;
    EXPECT_GT(PeakAbs(cut), 0.05);
  }
}

}  // namespace
}  // namespace tessaron
