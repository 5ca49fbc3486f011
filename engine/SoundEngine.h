#pragma once
// The host-free sound engine: note handling, control-rate modulation, the three
// sections, effects and output stage. It knows engine settings only; the
// instrument turns parameter records into settings through ApplyParameter and
// forwards host calls. Everything here runs under the instrument's lock: the
// render and MIDI calls on the audio thread, parameter and reset calls on
// whichever thread the host uses.
#include <array>
#include <cstdint>
#include <limits>
#include <memory>

#include "dsp/Delay.h"
#include "dsp/Ensemble.h"
#include "dsp/OnePole.h"
#include "dsp/Phaser.h"
#include "engine/Envelope.h"
#include "engine/HeldKeys.h"
#include "engine/KeyStateMap.h"
#include "common/MidiMessage.h"
#include "engine/MidiQueue.h"
#include "engine/NoteEventList.h"
#include "engine/OrganFilters.h"
#include "engine/OscillatorBank.h"
#include "engine/ParameterIds.h"
#include "engine/SectionRamp.h"
#include "engine/SynthChannel.h"
#include "common/TimeInfo.h"

namespace tessaron {

// What the engine must ask its owner for. Called on the audio thread from
// inside RenderBlock, with the instrument's lock held.
class EngineHost {
 public:
  // Fill what the host knows; the prefilled values stand for the rest.
  virtual void FillTimeInfo(TimeInfo& info) = 0;
  // A queued controller (not 1 or 64) reached its control block.
  virtual void ApplyController(int32_t controller, int32_t value) = 0;

 protected:
  ~EngineHost() = default;
};

// Plain values the parameter-change operation writes and the audio path reads.
struct EngineSettings {
  double bendRange = 0.0;
  double wheelAmount = 0.0;
  double synthLevel = 0.0, organLevel = 0.0, stringLevel = 0.0;
  double synthPan = 0.5, organPan = 0.5, stringPan = 0.5;
  double masterLevel = 0.0;
  std::array<double, 4> footageLevel{};  // 16', 8', 4', 2'
  double osc1Fine = 0.0;
  bool osc1Octave = false;
  double osc2Coarse = 0.0;  // includes the fixed 2-cent detune
  bool osc2Octave = false;
  bool oscSync = false;
  bool octaveMod = false;
  double glideAmount = 0.0;  // semitones
  bool glideMulti = false;
  int32_t glideDirection = 0;  // 0..3 = A..D
  bool sawOn = false, squareOn = false;
  bool alternate = false;
  bool waveSelectMulti = false;
  int32_t lfoRouting = 0;  // 0 FM, 1 VCF, 2 VCA
  bool lfoResetMulti = false;
  bool lfoSquare = false;
  double modDelay = 0.0;  // seconds
  double modDepth = 0.0;
  double stringFootages = 0.5;
  double stringTimbre = 0.5;
  bool phaserOnString = false, phaserOnSynth = false, phaserOnOrgan = false;
  double delayTime = 0.0;
  double masterTune = 0.0;
  bool syncReset = false;
  double syncResetPhase = 0.0;

  // Derived from levels, pans and master level.
  bool synthActive = false, organActive = false, stringActive = false;
  double synthGainL = 0.0, synthGainR = 0.0;
  double organGainL = 0.0, organGainR = 0.0;
  double stringGainL = 0.0, stringGainR = 0.0;
};

enum LfoRouting : int32_t { kLfoFm = 0, kLfoVcf = 1, kLfoVca = 2 };

class SoundEngine {
 public:
  static constexpr int kChannels = 6;
  static constexpr double kControlRate = 1000.0;
  // Fixed footage weights: a stack of octave squares that approximates a sawtooth.
  static constexpr double kW1 = 0.5641025641025641;   // 22/39
  static constexpr double kW2 = 0.2682926829268293;   // 11/41
  static constexpr double kW3 = 0.14666666666666667;  // 11/75

  SoundEngine();
  // The key taps point into the engine itself.
  SoundEngine(const SoundEngine&) = delete;
  SoundEngine& operator=(const SoundEngine&) = delete;

  void SetHost(EngineHost* host) { host_ = host; }

  // Off: no tail is ended and no silence skipped, every sample takes the full
  // computation. Tests compare the two.
  void SetTailCutting(bool on) {
    tailCutting_ = on;
    delay_.SetIdleSkip(on);
    if (!on) phaserIdle_ = false;
  }

  // Delay vibe speed and depth that a rate change restores before the
  // parameters are applied again (the instrument copies its defaults here).
  void SetDelayVibeDefaults(double speed, double depth) {
    vibeSpeedDefault_ = speed;
    vibeDepthDefault_ = depth;
  }

  // Instrument reset. Returns true when the full set-up for a new rate ran; the
  // caller must then apply every parameter again (0..65 in order). A rate that
  // is not a positive finite number only runs the shell part.
  bool Reset(double fs, int32_t maxBlockSize);
  // The shell's share of a reset: held keys, control timing.
  void ShellReset(double fs);

  // One parameter's real value v and normalised value n become settings.
  void ApplyParameter(int32_t index, double v, double n);

  // Engine-side intake of one short MIDI message, after the shell's own
  // filtering (thru, learn capture, program change).
  void HandleMidiMessage(MidiMessage m);
  void AllNotesOff();

  void RenderBlock(double* left, double* right, int32_t n);

  // Parts of the render loop, public for the instrument and for tests.
  void DrainMidiQueue();
  bool UpdateControls();
  void NoteOn(uint8_t note);
  void NoteOff(uint8_t note);
  void SetSustain(bool down);
  void StepKeyRamps() { keys_.StepRamps(); }
  void RemoveHeldKey(uint8_t note) { heldKeys_.Remove(note); }
  void SelectWaveforms();

  // Read access for the instrument, the editor lamps and tests.
  const EngineSettings& Settings() const { return settings_; }
  int32_t ControlBlockLength() const { return controlBlockLength_; }
  double LastSampleRate() const { return lastSampleRate_; }
  bool SoundActive() const { return soundActive_; }
  double PitchBend() const { return pitchBend_; }
  double Wheel() const { return wheel_; }
  bool Sustain() const { return sustain_; }
  double LfoPhase() const { return lfoPhase_; }
  double LfoValue() const { return lfoValue_; }
  double ModulationDepth() const { return modulationDepth_; }
  const HeldKeys& Held() const { return heldKeys_; }
  const KeyStateMap& Keys() const { return keys_; }
  const MidiQueue& Queue() const { return midiQueue_; }
  const NoteEventList& NoteEvents() const { return noteEvents_; }
  // Messages the MIDI queue's overflow rule has dropped.
  int64_t DroppedMidi() const { return midiQueue_.Dropped(); }
  const OscillatorBank& Osc1() const { return osc1_; }
  const OscillatorBank& Osc2() const { return osc2_; }
  const SynthChannel& Channel(int c) const { return channels_[c]; }
  const Envelope& StringEnvelope() const { return stringEnv_; }
  const Envelope& GlideEnvelope() const { return glideEnv_; }
  const SectionRamp& OrganRamp() const { return organRamp_; }
  const SectionRamp& SawRamp() const { return sawRamp_; }
  const SectionRamp& SquareRamp() const { return squareRamp_; }
  const Delay& DelayLine() const { return delay_; }

 private:
  void UpdateMixGains();
  void UpdatePitch();
  void RestartModulationDelay();
  // Notes and the pedal go to the per-sample list; the rest acts at the control block.
  static bool FiresAtItsSample(const MidiMessage& m);
  void FireEvents(int32_t i);
  // The first note event is due at or before sample i of the sub-block.
  bool EventDueBy(int32_t i) const { return !noteEvents_.Empty() && noteEvents_.Front().offset - eventBase_ <= i; }
  void RenderSamples(double* left, double* right, int32_t len);
  // Samples a run of sound renders stage by stage; a bound for the stack buffers.
  static constexpr int32_t kRunLength = 64;
  int32_t RenderSoundingRun(double* left, double* right, int32_t begin, int32_t end);
  // Up to n samples of silent input through the delay's tail; answers how many.
  int32_t RenderDelayTail(double* left, double* right, int32_t n);
  void ProcessEffects(double& busL, double& busR, double& dryL, double& dryR);
  void WriteOutput(double dryL, double dryR, double& left, double& right);
  static void ClearBlock(double* out, int32_t n);
  void WriteOutputRun(const double* dryL, const double* dryR, double* left, double* right, int32_t n);
  bool SkipSilence(int32_t n);
  // While nothing sounds: ends the phaser, delay and output tails once all they could
  // still add stays below kTailLevel each (three of them: below -120 dBFS together).
  void EndQuietTails();
  static constexpr double kTailLevel = 3e-7;
  // Every sounding key's footages, gathered per sample for the sections.
  // Cleared by Clear, once per sample: an initialiser here becomes a string
  // instruction whose start-up costs more than the stores.
  struct KeySums {
    double X[4];                 // organ, per footage
    double PQ[2 * kChannels];    // synth square and saw inputs, channel c at 2c and 2c + 1
    double SL, SH;               // string low and high mixes
    void Clear();
  };
  // Where one sounding key reads its footages in both banks, worked out once
  // for as long as the key list, the tap maps and the octave switches stay.
  struct KeyTaps {
    const double* level;
    const uint32_t* counter[2];
    uint32_t shift2[2];
    const double* row[2][4];
    intptr_t pq;  // where the key's channel's Synth inputs start in KeySums::PQ
  };
  void PlanKeyTaps();
  bool KeyTapsStale() const {
    return tapsKeyList_ != keys_.ListVersion() || tapsOsc1_ != osc1_.TapsVersion() ||
           tapsOsc2_ != osc2_.TapsVersion() || tapsDrop1_ != osc1_.OctaveDown() || tapsDrop2_ != osc2_.OctaveDown();
  }
  // kScaled: some key is ramping; otherwise every level is 1.0 and scaling by it
  // would change no bit. kShared: the second bank reads the first one's rows and
  // shift (tapsShared_). Never inlined: with these loops inside, SynthesiseSample
  // grows past the size at which link-time optimisation still inlines the envelopes
  // and filters into it, which costs more than the call.
  template <bool kOrgan, bool kSynth, bool kString, bool kScaled, bool kShared>
  [[gnu::noinline]] void SumKeys(KeySums& sums);
  template <bool kOrgan, bool kSynth, bool kString>
  void SumKeysFor(KeySums& sums) {
    if (KeyTapsStale()) PlanKeyTaps();
    const bool scaled = !keys_.Settled();
    // The String alone reads only the second bank: nothing to share.
    if constexpr (kOrgan || kSynth) {
      if (tapsShared_) {
        scaled ? SumKeys<kOrgan, kSynth, kString, true, true>(sums) : SumKeys<kOrgan, kSynth, kString, false, true>(sums);
        return;
      }
    }
    scaled ? SumKeys<kOrgan, kSynth, kString, true, false>(sums) : SumKeys<kOrgan, kSynth, kString, false, false>(sums);
  }
  void SynthesiseSample(double& dryL, double& dryR, double& busL, double& busR);
  void FlushIdleAdvance();

  // Owned in this order; destroyed in reverse.
  NoteEventList noteEvents_;
  OscillatorBank osc1_, osc2_;
  KeyStateMap keys_;
  // The channels' filter tables, rebuilt in place for a new rate.
  std::unique_ptr<VcfTables> vcfTables_ = std::make_unique<VcfTables>();
  // Channels 2p and 2p + 1 keep their filters' per-sample values side by side.
  std::array<VcfLanes, kChannels / 2> vcfLanes_{};
  std::array<SynthChannel, kChannels> channels_{
      SynthChannel(*vcfTables_, vcfLanes_[0], 0), SynthChannel(*vcfTables_, vcfLanes_[0], 1),
      SynthChannel(*vcfTables_, vcfLanes_[1], 0), SynthChannel(*vcfTables_, vcfLanes_[1], 1),
      SynthChannel(*vcfTables_, vcfLanes_[2], 0), SynthChannel(*vcfTables_, vcfLanes_[2], 1)};
  Envelope stringEnv_, glideEnv_, modEnv_;
  SectionRamp organRamp_, sawRamp_, squareRamp_;
  double controlRate_ = kControlRate;
  double lfoSpeed_ = 0.0;
  double lfoIncrement_ = 0.0;
  double lfoPhase_ = 0.0;
  OrganFilters organFilters_;
  LP6 lfoSmoother_;
  HP6 stringFilter_;
  HP6 outHp_[2];
  LP6 outLp_[2];
  Ensemble ensemble_;
  Phaser phaser_;
  Delay delay_;
  EngineSettings settings_;
  double lastSampleRate_ = 1.0;

  // Shell state.
  MidiQueue midiQueue_;
  HeldKeys heldKeys_;
  double pitchBend_ = 0.0;  // -1 .. 8191/8192
  double wheel_ = 0.0;      // 0..1
  bool sustain_ = false;

  // Render and control-rate state.
  double rate_ = 44100.0;  // last valid rate, for the shell reset
  int32_t controlBlockLength_ = 44;
  int32_t samplesToControlUpdate_ = 0;
  int32_t eventBase_ = 0;  // the sub-block's first sample within its control block
  bool soundActive_ = true;
  bool phaserInUse_ = false;
  // The phaser holds nothing and is fed nothing: its output is taken as exact silence.
  bool phaserIdle_ = true;
  bool tailCutting_ = true;
  double lfoValue_ = 0.0;
  int32_t modDelayCountdown_ = 0;
  double modulationDepth_ = 0.0;
  bool waveToggle_ = false;
  uint32_t idleAdvance_ = 0;  // counter steps owed while nothing sounds
  // Pitches the increments were last loaded for; NaN forces a load.
  static constexpr double kNoPitch = std::numeric_limits<double>::quiet_NaN();
  double loadedPitch1_ = kNoPitch;
  double loadedPitch2_ = kNoPitch;

  double vibeSpeedDefault_ = 0.02;
  double vibeDepthDefault_ = 0.2;
  EngineHost* host_ = nullptr;

  // Key taps, rebuilt by PlanKeyTaps when any stamp differs.
  std::array<KeyTaps, KeyStateMap::kNotes> keyTaps_{};
  int tapsCount_ = 0;  // keys that read anything but zeros, in key order
  // Both banks of every planned key read the same rows with the same shift: their
  // tables are built for one rate, so they differ only while one octave switch is on.
  bool tapsShared_ = false;
  uint64_t tapsKeyList_ = ~0ull, tapsOsc1_ = ~0ull, tapsOsc2_ = ~0ull;
  bool tapsDrop1_ = false, tapsDrop2_ = false;
};

}  // namespace tessaron
