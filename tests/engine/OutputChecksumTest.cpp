// Pins the exact output of long, varied renders. Speed work on the engine and
// its DSP must leave every sample bit for bit as it was; a changed hash here
// means the sound changed, not merely that a tolerance was crossed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <pmmintrin.h>
#include <xmmintrin.h>
#endif

#include "tests/engine/SoundEngineTestFixture.h"

namespace tessaron {
namespace {

using testing::EngineRig;

// FNV-1a over the raw bytes, so that -0.0 and NaN payloads count too.
struct Fnv1a {
  uint64_t h = 1469598103934665603ull;
  void Add(const std::vector<double>& x) {
    for (double v : x) {
      unsigned char b[sizeof v];
      std::memcpy(b, &v, sizeof v);
      for (unsigned char c : b) h = (h ^ c) * 1099511628211ull;
    }
  }
};

// Something that happens at an absolute sample: MIDI, or a parameter change
// applied between host blocks.
struct Cue {
  int32_t at;
  enum Kind { kMidi, kParam } kind;
  uint8_t status, d1, d2;  // kMidi
  int index;               // kParam
  double value;
};
Cue Midi(int32_t at, uint8_t status, uint8_t d1, uint8_t d2) { return {at, Cue::kMidi, status, d1, d2, 0, 0.0}; }
Cue On(int32_t at, uint8_t note) { return Midi(at, 0x90, note, 100); }
Cue Off(int32_t at, uint8_t note) { return Midi(at, 0x80, note, 0); }
Cue Param(int32_t at, int index, double v) { return {at, Cue::kParam, 0, 0, 0, index, v}; }

// Renders total samples in host blocks cycling through blockSizes; cues go
// into the block that contains them, parameters before that block.
struct Outcome {
  uint64_t hash;
  double peak;
  bool wentIdle;
};
Outcome Play(EngineRig& rig, std::vector<Cue> cues, int32_t total, const std::vector<int32_t>& blockSizes) {
  std::stable_sort(cues.begin(), cues.end(), [](const Cue& a, const Cue& b) { return a.at < b.at; });
  Fnv1a fnv;
  Outcome out{0, 0.0, false};
  size_t next = 0, sizeIndex = 0;
  for (int32_t pos = 0; pos < total;) {
    const int32_t len = std::min(blockSizes[sizeIndex++ % blockSizes.size()], total - pos);
    for (; next < cues.size() && cues[next].at < pos + len; ++next) {
      const Cue& c = cues[next];
      if (c.kind == Cue::kParam) {
        rig.Set(c.index, c.value);
      } else {
        rig.Send(c.at - pos, c.status, c.d1, c.d2);
      }
    }
    rig.Render(len, len);
    fnv.Add(rig.left);
    fnv.Add(rig.right);
    out.peak = std::max({out.peak, testing::PeakAbs(rig.left), testing::PeakAbs(rig.right)});
    out.wentIdle = out.wentIdle || !rig.engine.SoundActive();
    pos += len;
  }
  out.hash = fnv.h;
  return out;
}

// The audio callbacks run with flush-to-zero and denormals-are-zero; the
// scenarios that reach silence run that way too.
class FlushDenormals {
 public:
  FlushDenormals() {
#if defined(__SSE2__)
    saved_ = _mm_getcsr();
    _mm_setcsr(saved_ | 0x8040);
#endif
  }
  ~FlushDenormals() {
#if defined(__SSE2__)
    _mm_setcsr(saved_);
#endif
  }

 private:
  unsigned saved_ = 0;
};

// All sections through phaser and a fed-back vibe delay; glide, FM with a
// delayed modulation onset, wheel, bend, sustain, oscillator sync with its
// phase reset, and mid-phrase changes of routing and delay mode.
TEST(OutputChecksum, FullPhraseAt44k) {
  EngineRig rig(44100.0, 1024);
  rig.Sections(true, true, true);
  rig.Set(kOrgan2, 0.3);
  rig.Set(kOrgan4, 0.6);
  rig.Set(kOrgan8, 1.0);
  rig.Set(kOrgan16, 0.8);
  rig.Set(kOsc1Fine, 0.07);
  rig.Set(kOsc2Coarse, -5.0);
  rig.Set(kGlideAmount, 0.5);  // glide
  rig.Set(kGlideSpeed, 0.3);
  rig.Set(kGlideEnable, 1.0);
  rig.Set(kGlideDirection, 1);
  rig.Set(kWaveform, 2);  // both waveforms
  rig.Set(kVcfCutoff, 0.45);
  rig.Set(kVcfResonance, 0.7);
  rig.Set(kVcfEnvelope, 0.4);
  rig.Set(kEnvAttack, 0.2);
  rig.Set(kEnvDecay, 0.4);
  rig.Set(kEnvSustain, 0.6);
  rig.Set(kEnvRelease, 0.3);
  rig.Set(kModSpeed, 6.0);  // LFO to FM
  rig.Set(kModSlope, 0.3);
  rig.Set(kModDelay, 0.2);
  rig.Set(kModDepth, 0.5);
  rig.Set(kStringFootages, 0.3);
  rig.Set(kStringTimbre, 0.7);
  rig.Set(kStringAttack, 0.1);
  rig.Set(kPhaserSpeed, 0.8);  // phaser on every section
  rig.Set(kPhaserFeedback, 0.6);
  for (int i = 45; i <= 47; ++i) rig.Set(i, 1.0);
  rig.Set(kDelayTime, 0.35);  // delay with feedback and vibe
  rig.Set(kDelayFeedback, 0.6);
  rig.Set(kDelayMix, 0.4);
  rig.Set(kDelayVibe, 1.0);
  rig.Set(kDelayVibeSpeed, 3.0);
  rig.Set(kDelayVibeDepth, 0.6);
  rig.Set(kSyncReset, 1.0);  // sync reset, realigned when sync comes on
  rig.Set(kSyncResetPhase, 100.0);

  std::vector<Cue> cues = {
      On(0, 48),
      On(30, 55),
      On(700, 60),
      On(701, 64),
      On(2000, 67),
      Midi(4000, 0xB0, 1, 90),   // wheel
      Midi(9000, 0xE0, 0, 100),  // bend
      Off(22050, 55),
      Off(22051, 60),
      On(23000, 72),
      On(23001, 74),
      Midi(30000, 0xB0, 64, 127),  // sustain down
      Off(31000, 48),
      Off(31000, 64),
      Off(33000, 72),
      Param(40000, kOscSync, 1.0),   // oscillator sync on
      Param(44100, kLfoRouting, 1),  // LFO to the filters
      Midi(50000, 0xB0, 64, 0),      // sustain up
      On(60000, 36),
      On(60010, 43),
      On(60020, 50),
      On(60030, 57),
      On(60040, 62),
      Param(70000, kDelayPingPong, 1.0),  // ping-pong
      Midi(75000, 0xE0, 0, 20),
      Param(88200, kLfoRouting, 2),      // LFO to the amplifier
      Param(88200, kLfoWaveshape, 1.0),  // square LFO
      Off(100000, 36),
      Off(100000, 43),
      Off(100100, 50),
      Off(100200, 57),
      Off(120000, 62),
      Off(120000, 74),
      Param(150000, kDelayDouble, 1.0),  // double line
      Param(150000, kDelayPingPong, 0.0),
      On(180000, 65),
      Off(200000, 65),
  };
  const Outcome out = Play(rig, cues, 220500, {512, 37, 256, 1, 1000, 64});
  EXPECT_GT(out.peak, 0.05);
  EXPECT_EQ(out.hash, 0x630aa1074ba74c58ull);
}

// Ping-pong delay synced to a host tempo with a deep vibe, phaser on the
// String alone, octave modulation, alternating waveforms, and a square LFO
// on the filters, at 48 kHz.
TEST(OutputChecksum, SyncedPingPongAt48k) {
  EngineRig rig(48000.0, 1024);
  rig.host.giveTempo = true;
  rig.host.tempo = 133.0;
  rig.Sections(true, false, true);
  rig.Set(kSynthPan, 0.2);
  rig.Set(kStringPan, 0.8);
  rig.Set(kOctaveMod, 1.0);      // octave modulation
  rig.Set(kWaveAlternate, 0.0);  // alternate waveforms
  rig.Set(kWaveSelectEnable, 1.0);
  rig.Set(kVcfResonance, 1.0);  // self-oscillating filters
  rig.Set(kVcfEnvelope, -0.5);
  rig.Set(kLfoRouting, 1);
  rig.Set(kLfoWaveshape, 1.0);
  rig.Set(kModSpeed, 2.5);
  rig.Set(kModDepth, 0.8);
  rig.Set(kPhaserString, 1.0);
  rig.Set(kDelayTime, 0.7);
  rig.Set(kDelayFeedback, 0.8);
  rig.Set(kDelayMix, 0.5);
  rig.Set(kDelaySync, 1.0);
  rig.Set(kDelayVibe, 1.0);
  rig.Set(kDelayPingPong, 1.0);
  rig.Set(kDelayVibeDepth, 1.0);
  rig.Set(kEnsembleSpeed1, 2.0);
  rig.Set(kEnsembleDepth1, 0.5);

  std::vector<Cue> cues = {
      On(0, 60),
      On(5000, 63),
      On(10000, 67),
      Off(20000, 60),
      On(24000, 70),
      Param(30000, kDelayTime, 0.1),
      Midi(36000, 0xB0, 1, 127),
      Off(40000, 63),
      Off(40000, 67),
      Off(50000, 70),
      On(90000, 58),
      Off(120000, 58),
  };
  const Outcome out = Play(rig, cues, 144000, {1024, 100, 7});
  EXPECT_GT(out.peak, 0.05);
  EXPECT_EQ(out.hash, 0xbab1b1c06c639c5eull);
}

// Short notes that die away completely at 96 kHz: the engine and the delay
// go quiet, skip their work, and must come back exactly where the full
// computation would be.
TEST(OutputChecksum, TailsToSilenceAndBackAt96k) {
  FlushDenormals ftz;
  EngineRig rig(96000.0, 1024);
  rig.Sections(true, true, true);
  rig.Set(kOrgan4, 1.0);
  rig.Set(kWaveform, 2);
  rig.Set(kEnvRelease, 0.0);  // quick releases
  rig.Set(kStringRelease, 0.0);
  rig.Set(kKeyRelease, 0.0);
  rig.Set(kDelayTime, 0.2);  // echoes without feedback, so the line empties
  rig.Set(kDelayFeedback, 0.0);
  rig.Set(kDelayMix, 0.5);
  rig.Set(kLfoRouting, 2);
  rig.Set(kModDepth, 0.3);

  std::vector<Cue> cues = {
      On(0, 57),
      On(0, 61),
      Off(9600, 57),
      Off(9600, 61),
      On(400000, 69),
      Off(410000, 69),
      Param(500000, kDelayPingPong, 1.0),
      On(700000, 45),
      Off(705000, 45),
  };
  const Outcome out = Play(rig, cues, 960000, {512, 333});
  EXPECT_TRUE(out.wentIdle);
  EXPECT_TRUE(rig.engine.DelayLine().IsIdle());
  EXPECT_GT(out.peak, 0.05);
  EXPECT_EQ(out.hash, 0xcdc3cc7ec6251fdbull);
}

// Every combination of listening sections takes its own key loop; each must
// keep its exact output. Keys over the whole range, a release and octave
// modulation midway.
TEST(OutputChecksum, EverySectionCombination) {
  const uint64_t expected[8] = {0,
                                0x8163d50026c3f1a1ull,
                                0x3521a005cf6920a5ull,
                                0x8d09eddb1f4c494dull,
                                0x0c9db478ec15f2a6ull,
                                0xb2ea2da7b39e961aull,
                                0x4b0cfb4dbe66d55aull,
                                0x16553fe055c1bf23ull};
  const uint8_t notes[] = {0, 5, 11, 12, 23, 36, 43, 48, 52, 55, 60, 64, 67, 71, 74, 99, 115, 127};
  for (int combo = 1; combo < 8; ++combo) {
    const bool organ = combo & 1, synth = combo & 2, string = combo & 4;
    EngineRig rig(44100.0, 512);
    rig.Sections(synth, organ, string);
    rig.Set(kOrgan2, 0.3);
    rig.Set(kOrgan4, 0.6);
    rig.Set(kOrgan8, 1.0);
    rig.Set(kOrgan16, 0.8);
    rig.Set(kWaveform, 2);
    rig.Set(kVcfResonance, 0.6);
    rig.Set(kVcfEnvelope, 0.4);
    rig.Set(kLfoRouting, 1);
    rig.Set(kModDepth, 0.4);
    rig.Set(kPhaserString, organ ? 1.0 : 0.0);
    rig.Set(kDelayMix, 0.3);
    Fnv1a fnv;
    for (int block = 0; block < 120; ++block) {
      if (block < 18) rig.On(notes[block]);
      if (block == 60) {
        for (uint8_t n : notes) {
          if (n % 3 == 0) rig.Off(n);
        }
      }
      if (block == 80) rig.Set(kOctaveMod, 1.0);
      rig.Render(512, 512);
      fnv.Add(rig.left);
      fnv.Add(rig.right);
    }
    EXPECT_EQ(fnv.h, expected[combo]) << "organ " << organ << " synth " << synth << " string " << string;
  }
}

}  // namespace
}  // namespace tessaron
