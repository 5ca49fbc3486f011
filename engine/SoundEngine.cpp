#include "engine/SoundEngine.h"

#include <algorithm>
#include <cmath>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessaron {

namespace {

constexpr double kOrganCutoffs[4] = {125.4, 282.2, 604.7, 1254.0};
constexpr double kSmootherCutoff = 1000.0;
constexpr double kStringFilterCutoff = 340.0;
constexpr double kOutputHighPass = 3.3;
constexpr double kOutputLowPass = 12000.0;
constexpr double kStringDecay = 0.1;
constexpr double kFallbackTempo = 120.0;

bool ValidRate(double fs) { return std::isfinite(fs) && fs > 0.0; }

int32_t BlockLengthFor(double fs) {
  // Truncated rate div 1000; at least one sample so that slow rates still progress.
  const double whole = std::min(std::trunc(fs), double(std::numeric_limits<int32_t>::max()));
  return std::max<int32_t>(1, int32_t(whole) / 1000);
}

bool On(double n) { return n >= 0.5; }

// Synth channel of each note, a division the key loop would otherwise repeat per key.
constexpr std::array<uint8_t, 128> kChannelOfNote = [] {
  std::array<uint8_t, 128> a{};
  for (int note = 0; note < 128; ++note) a[size_t(note)] = uint8_t(note % SoundEngine::kChannels);
  return a;
}();

}  // namespace

SoundEngine::SoundEngine() {
  stringEnv_.Reset(kControlRate);
  glideEnv_.Reset(kControlRate);
  modEnv_.Reset(kControlRate);
  lfoIncrement_ = 2.0 * lfoSpeed_ / controlRate_;
}

// ---------------------------------------------------------------------------
// Reset

void SoundEngine::ShellReset(double fs) {
  // The queues keep their fixed size whatever block size the host announces.
  heldKeys_.Clear();
  // The next control block now starts with the next host block: waiting
  // messages keep their place in time.
  midiQueue_.Rebase(-samplesToControlUpdate_);
  samplesToControlUpdate_ = 0;
  if (ValidRate(fs)) rate_ = fs;
  controlBlockLength_ = BlockLengthFor(rate_);
}

bool SoundEngine::Reset(double fs, int32_t maxBlockSize) {
  (void)maxBlockSize;
  ShellReset(fs);
  if (!ValidRate(fs) || fs == lastSampleRate_) return false;
  lastSampleRate_ = fs;
  controlBlockLength_ = BlockLengthFor(fs);

  osc1_.SetSampleRate(fs);
  osc2_.SetSampleRate(fs);
  loadedPitch1_ = loadedPitch2_ = kNoPitch;
  keys_.Reset(fs);

  organFilters_.Setup(fs, kOrganCutoffs);
  lfoSmoother_.SetSampleRate(fs);
  lfoSmoother_.SetCutoff(kSmootherCutoff);
  stringFilter_.SetSampleRate(fs);
  stringFilter_.SetCutoff(kStringFilterCutoff);
  for (int ch = 0; ch < 2; ++ch) {
    outLp_[ch].SetSampleRate(fs);
    outLp_[ch].SetCutoff(kOutputLowPass);
    outHp_[ch].SetSampleRate(fs);
    outHp_[ch].SetCutoff(kOutputHighPass);
  }

  stringEnv_.Reset(fs);
  stringEnv_.SetDecay(kStringDecay);
  stringEnv_.SetSustainLevel(1.0);

  organRamp_.SetSampleRate(fs);
  sawRamp_.SetSampleRate(fs);
  squareRamp_.SetSampleRate(fs);

  glideEnv_.Reset(controlRate_);
  modEnv_.Reset(controlRate_);
  modEnv_.SetSustainLevel(0.0);

  ensemble_.SetSampleRate(fs);
  for (int line = 0; line < Ensemble::kLines; ++line) ensemble_.SetCentre(line, 0.5);
  phaser_.SetSampleRate(fs);
  phaserIdle_ = tailCutting_;
  delay_.SetSampleRate(fs);
  delay_.SetVibeSpeed(vibeSpeedDefault_);
  delay_.SetVibeDepth(vibeDepthDefault_);

  vcfTables_->SetSampleRate(fs);
  for (SynthChannel& channel : channels_) channel.Reset(fs);
  return true;
}

// ---------------------------------------------------------------------------
// Parameters

void SoundEngine::UpdateMixGains() {
  EngineSettings& s = settings_;
  s.synthActive = s.synthLevel > 0.0;
  s.organActive = s.organLevel > 0.0;
  s.stringActive = s.stringLevel > 0.0;
  auto gains = [&](double pan, double level, double& l, double& r) {
    l = std::sqrt(1.0 - pan) * s.masterLevel * level;
    r = std::sqrt(pan) * s.masterLevel * level;
  };
  gains(s.synthPan, s.synthLevel, s.synthGainL, s.synthGainR);
  gains(s.organPan, s.organLevel, s.organGainL, s.organGainR);
  gains(s.stringPan, s.stringLevel, s.stringGainL, s.stringGainR);
}

void SoundEngine::ApplyParameter(int32_t index, double v, double n) {
  // Callers clamp and filter; a NaN that slips through must not reach the sound.
  if (std::isnan(v) || std::isnan(n)) return;
  EngineSettings& s = settings_;
  switch (index) {
    case kBendRange: s.bendRange = v; break;
    case kWheelAmount: s.wheelAmount = v; break;
    case kSynthLevel:
      s.synthLevel = v;
      UpdateMixGains();
      break;
    case kOrganLevel:
      s.organLevel = v;
      UpdateMixGains();
      break;
    case kStringLevel:
      s.stringLevel = v;
      UpdateMixGains();
      break;
    case kSynthPan:
      s.synthPan = v;
      UpdateMixGains();
      break;
    case kOrganPan:
      s.organPan = v;
      UpdateMixGains();
      break;
    case kStringPan:
      s.stringPan = v;
      UpdateMixGains();
      break;
    case kOrgan2: s.footageLevel[3] = v; break;
    case kOrgan4: s.footageLevel[2] = v; break;
    case kOrgan8: s.footageLevel[1] = v; break;
    case kOrgan16: s.footageLevel[0] = v; break;
    case kOsc1Fine: s.osc1Fine = v; break;
    case kOsc1Octave: s.osc1Octave = On(n); break;
    case kOsc2Coarse: s.osc2Coarse = v + 0.02; break;
    case kOsc2Octave: s.osc2Octave = On(n); break;
    case kOscSync:
      s.oscSync = On(n);
      // Realigns on every application, also during the pass after a reset.
      if (s.oscSync && s.syncReset) ResetSyncPhase(osc1_, osc2_, s.syncResetPhase);
      break;
    case kOctaveMod: s.octaveMod = On(n); break;
    case kGlideAmount: s.glideAmount = v * 12.0; break;
    case kGlideSpeed:
      glideEnv_.SetDecay(v);
      glideEnv_.SetRelease(v);
      break;
    case kGlideEnable: s.glideMulti = On(n); break;
    case kGlideDirection: s.glideDirection = int32_t(v); break;
    case kWaveform: {
      const int32_t w = int32_t(v);
      s.sawOn = w != 1;
      s.squareOn = w > 0;
      SelectWaveforms();
      break;
    }
    case kWaveAlternate: s.alternate = n < 0.5; break;
    case kWaveSelectEnable: s.waveSelectMulti = On(n); break;
    case kVcfCutoff:
    case kVcfResonance:
    case kVcfEnvelope:
    case kEnvAttack:
    case kEnvDecay:
    case kEnvSustain:
    case kEnvRelease:
      for (SynthChannel& channel : channels_) channel.SetParam(index, v);
      break;
    case kLfoRouting: s.lfoRouting = int32_t(v); break;
    case kLfoReset: s.lfoResetMulti = On(n); break;
    case kLfoWaveshape: s.lfoSquare = On(n); break;
    case kModSpeed:
      lfoSpeed_ = v;
      lfoIncrement_ = 2.0 * lfoSpeed_ / controlRate_;
      break;
    case kModSlope:
      modEnv_.SetDecay(v);
      modEnv_.SetRelease(v);
      break;
    case kModDelay: s.modDelay = v; break;
    case kModDepth: s.modDepth = v; break;
    case kStringFootages: s.stringFootages = n; break;
    case kStringTimbre: s.stringTimbre = n; break;
    case kStringAttack: stringEnv_.SetAttack(v); break;
    case kStringRelease: stringEnv_.SetRelease(v); break;
    case kPhaserSpeed: phaser_.SetSpeed(v); break;
    case kPhaserFeedback: phaser_.SetFeedback(v); break;
    case kPhaserString: s.phaserOnString = On(n); break;
    case kPhaserSynth: s.phaserOnSynth = On(n); break;
    case kPhaserOrgan: s.phaserOnOrgan = On(n); break;
    case kDelayTime: s.delayTime = v; break;
    case kDelayFeedback: delay_.SetFeedback(v); break;
    case kDelayMix: delay_.SetMix(v); break;
    case kDelayDouble: delay_.SetDouble(On(n)); break;
    case kDelaySync: delay_.SetSync(On(n)); break;
    case kDelayVibe: delay_.SetVibe(On(n)); break;
    case kDelayPingPong: delay_.SetPingPong(On(n)); break;
    case kMasterTune: s.masterTune = v; break;
    case kSyncReset: s.syncReset = On(n); break;
    case kSyncResetPhase: s.syncResetPhase = n * 0.5; break;
    case kKeyRelease: keys_.SetRelease(v); break;
    case kEnsembleSpeed1: ensemble_.SetSpeed(0, v); break;
    case kEnsembleSpeed2: ensemble_.SetSpeed(1, v); break;
    case kEnsembleDepth1: ensemble_.SetDepth(0, v); break;
    case kEnsembleDepth2: ensemble_.SetDepth(1, v); break;
    case kDelayVibeSpeed: delay_.SetVibeSpeed(v); break;
    case kDelayVibeDepth: delay_.SetVibeDepth(v); break;
    case kMasterLevel:
      s.masterLevel = v;
      UpdateMixGains();
      break;
    default: break;
  }
}

// ---------------------------------------------------------------------------
// MIDI intake and note handling

void SoundEngine::HandleMidiMessage(MidiMessage m) {
  const int kind = MessageKind(m);
  if (kind < 8 || kind > 14) return;
  // Data bytes are seven bits; a stray high bit must not index past the key tables.
  m.data1 &= 0x7F;
  m.data2 &= 0x7F;
  if (kind == kKindNoteOn && m.data2 == 0) m.status = uint8_t(kKindNoteOff << 4 | (m.status & 0x0F));

  bool sustainPedal = false;
  switch (kind) {
    case kKindNoteOff:
    case kKindNoteOn:
    case kKindPitchBend: break;
    case kKindControlChange:
      if (m.data1 == kControllerAllSoundOff || m.data1 == kControllerAllNotesOff) {
        AllNotesOff();
        return;
      }
      if (m.data1 >= kFirstChannelMode) return;
      sustainPedal = m.data1 == kControllerSustain;
      break;
    default: return;
  }
  // A negative offset is late already: it fires at the first chance.
  int64_t at = std::max<int32_t>(m.offset, 0);
  // Late events are pushed half a control block further; the pedal keeps its time.
  if (!sustainPedal && at > controlBlockLength_) at += controlBlockLength_ / 2;
  // The queue counts from the start of the next control block, which lies
  // samplesToControlUpdate_ into the coming host block. Events before it
  // belong to the control block already begun and come out overdue at the
  // next drain, within one control block of their sample.
  at -= samplesToControlUpdate_;
  m.offset = int32_t(std::min<int64_t>(at, std::numeric_limits<int32_t>::max() / 2));
  midiQueue_.Add(m);
}

void SoundEngine::DrainMidiQueue() {
  // Anything left from a control block a reset cut short is overdue: it goes
  // first, so nothing drained now waits behind it.
  noteEvents_.MarkOverdue();
  while (midiQueue_.HasDue(controlBlockLength_)) {
    // What the list cannot take now waits, overdue, for the next control block.
    if (noteEvents_.Full() && FiresAtItsSample(midiQueue_.Next())) break;
    const MidiMessage m = midiQueue_.Take();
    switch (MessageKind(m)) {
      case kKindNoteOff:
      case kKindNoteOn: noteEvents_.Push(m); break;
      case kKindPitchBend: pitchBend_ = ((int32_t(m.data2) - 64) * 128 + int32_t(m.data1)) * (1.0 / 8192.0); break;
      case kKindControlChange:
        if (m.data1 == kControllerModWheel) {
          wheel_ = m.data2 / 127.0;
        } else if (m.data1 == kControllerSustain) {
          noteEvents_.Push(m);
        } else if (host_ != nullptr) {
          host_->ApplyController(m.data1, m.data2);
        }
        break;
      default: break;
    }
  }
  midiQueue_.Rebase(controlBlockLength_);
}

bool SoundEngine::FiresAtItsSample(const MidiMessage& m) {
  const int kind = MessageKind(m);
  return kind == kKindNoteOn || kind == kKindNoteOff || (kind == kKindControlChange && m.data1 == kControllerSustain);
}

void SoundEngine::RestartModulationDelay() {
  modDelayCountdown_ = int32_t(std::lround(std::clamp(settings_.modDelay, -1.0e6, 1.0e6) * 1000.0));
}

void SoundEngine::NoteOn(uint8_t note) {
  note &= 0x7F;
  heldKeys_.Add(note);
  if (heldKeys_.Size() <= 1) {
    // A new phrase drops whatever still fades from the last one.
    keys_.Clear();
    keys_.hold = false;
    SelectWaveforms();
    stringEnv_.GateOn();
    glideEnv_.GateOn();
    RestartModulationDelay();
  } else {
    if (settings_.waveSelectMulti) SelectWaveforms();
    if (settings_.glideMulti) glideEnv_.GateOn();
    if (settings_.lfoResetMulti) RestartModulationDelay();
  }
  keys_.Start(note);
  SynthChannel& channel = channels_[note % kChannels];
  channel.gate = true;
  channel.envelope.GateOn();
  organRamp_.SetGate(true);
}

void SoundEngine::NoteOff(uint8_t note) {
  note &= 0x7F;
  heldKeys_.Remove(note);
  if (sustain_) return;
  if (keys_.Contains(note)) keys_[note].gate = false;
  const int c = note % kChannels;
  bool shared = false;
  for (int i = 0; i < keys_.Size() && !shared; ++i) {
    shared = keys_.NoteAt(i) % kChannels == c && keys_.StateAt(i).gate;
  }
  if (!shared) channels_[c].envelope.GateOff();
  if (heldKeys_.Empty()) {
    keys_.hold = true;
    organRamp_.SetGate(false);
    stringEnv_.GateOff();
  }
}

void SoundEngine::SetSustain(bool down) {
  sustain_ = down;
  if (down) return;
  for (int note = 0; note < KeyStateMap::kNotes; ++note) {
    const uint8_t k = uint8_t(note);
    if (keys_.Contains(k) && keys_.At(k).gate && !heldKeys_.Contains(k)) NoteOff(k);
  }
  if (!sustain_ && heldKeys_.Empty()) {
    stringEnv_.GateOff();
    organRamp_.SetGate(false);
  }
}

void SoundEngine::AllNotesOff() {
  heldKeys_.Clear();
  noteEvents_.Clear();
  keys_.Clear();
  keys_.hold = false;
  SetSustain(false);
  for (int note = 0; note < KeyStateMap::kNotes; ++note) NoteOff(uint8_t(note));
}

void SoundEngine::SelectWaveforms() {
  if (settings_.alternate) {
    sawRamp_.SetGate(!waveToggle_);
    squareRamp_.SetGate(waveToggle_);
    waveToggle_ = !waveToggle_;
  } else {
    sawRamp_.SetGate(settings_.sawOn);
    squareRamp_.SetGate(settings_.squareOn);
  }
}

// ---------------------------------------------------------------------------
// Control rate

void SoundEngine::UpdatePitch() {
  const EngineSettings& s = settings_;
  const double base = s.bendRange * pitchBend_ + s.masterTune;
  double p1 = base + s.osc1Fine;
  double p2 = base + s.osc2Coarse;
  if (s.lfoRouting == kLfoFm) {
    const double fm = modulationDepth_ * 14.0 * lfoValue_;
    p1 += fm;
    p2 += fm;
  }
  const double g = s.glideAmount * glideEnv_.Level();
  switch (s.glideDirection) {
    case 0:
      p1 -= g;
      p2 -= g;
      break;
    case 1: p2 -= g; break;
    case 2: p2 += g; break;
    case 3:
      p1 += g;
      p2 += g;
      break;
    default: break;
  }
  if (s.oscSync) p2 = p1;
  // Loading is a pure function of the pitch; most control blocks repeat the last one.
  if (!(p1 == loadedPitch1_)) {
    osc1_.LoadPitch(p1);
    loadedPitch1_ = p1;
  }
  if (!(p2 == loadedPitch2_)) {
    osc2_.LoadPitch(p2);
    loadedPitch2_ = p2;
  }
}

bool SoundEngine::UpdateControls() {
  const EngineSettings& s = settings_;
  phaserInUse_ = s.phaserOnString || s.phaserOnSynth || s.phaserOnOrgan;
  for (SynthChannel& channel : channels_) channel.envelope.HoldIfStill();
  stringEnv_.HoldIfStill();

  lfoPhase_ += lfoIncrement_;
  if (lfoPhase_ >= 1.0) lfoPhase_ -= 2.0;
  if (s.lfoSquare) {
    lfoValue_ = lfoPhase_ < 0.0 ? 1.0 : -1.0;
  } else {
    lfoValue_ = lfoPhase_ < 0.0 ? -2.0 * lfoPhase_ - 1.0 : 2.0 * lfoPhase_ - 1.0;
  }

  if (modDelayCountdown_ >= 0) {
    --modDelayCountdown_;
    if (modDelayCountdown_ < 0) modEnv_.GateOn();
  }
  double d = 0.0;
  if (modDelayCountdown_ < 0) {
    modEnv_.Tick();
    d = 1.0 - modEnv_.Level();
  }
  const double w = s.wheelAmount * wheel_;
  modulationDepth_ = ((d - w) * s.modDepth + w) * 0.5;

  if (s.octaveMod) {
    osc1_.SetOctaveDown(lfoPhase_ < 0.0);
    osc2_.SetOctaveDown(lfoPhase_ < 0.0);
  } else {
    osc1_.SetOctaveDown(s.osc1Octave);
    osc2_.SetOctaveDown(s.osc2Octave);
  }

  glideEnv_.Tick();
  UpdatePitch();

  if (s.stringActive) ensemble_.TickDeferred();
  if (phaserInUse_) phaser_.Tick();

  TimeInfo time;
  if (host_ != nullptr) host_->FillTimeInfo(time);
  const double tempo = std::isfinite(time.tempo) && time.tempo > 0.0 ? time.tempo : kFallbackTempo;
  delay_.Tick(s.delayTime, tempo);

  if (organRamp_.Level() > 0.0 || stringEnv_.Level() > 0.0) return true;
  for (const SynthChannel& channel : channels_) {
    if (channel.gate) return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Render

void SoundEngine::FireEvents(int32_t i) {
  // Offsets below i fire too: a message that missed its sample (an overdue
  // one) must not block all others.
  while (EventDueBy(i)) {
    const MidiMessage m = noteEvents_.Front();
    noteEvents_.PopFront();
    switch (MessageKind(m)) {
      case kKindControlChange: SetSustain(m.data2 > 0); break;
      case kKindNoteOff: NoteOff(m.data1); break;
      case kKindNoteOn:
        NoteOn(m.data1);
        soundActive_ = true;
        break;
      default: break;
    }
  }
}

void SoundEngine::FlushIdleAdvance() {
  if (idleAdvance_ == 0) return;
  for (int32_t p = 0; p < 12; ++p) {
    osc1_.SetCounter(p, osc1_.Counter(p) + idleAdvance_ * osc1_.Increment(p));
    osc2_.SetCounter(p, osc2_.Counter(p) + idleAdvance_ * osc2_.Increment(p));
  }
  idleAdvance_ = 0;
}

void SoundEngine::PlanKeyTaps() {
  tapsKeyList_ = keys_.ListVersion();
  tapsOsc1_ = osc1_.TapsVersion();
  tapsOsc2_ = osc2_.TapsVersion();
  tapsDrop1_ = osc1_.OctaveDown();
  tapsDrop2_ = osc2_.OctaveDown();
  const OscillatorBank* banks[2] = {&osc1_, &osc2_};
  const int32_t drop[2] = {tapsDrop1_ ? 12 : 0, tapsDrop2_ ? 12 : 0};
  // A key whose every footage reads the row of zeros adds exactly +0.0 to every sum, which
  // changes no sum (a sum that starts at +0.0 never becomes -0.0), so it is left out.
  // Below 12 both oscillators are silent.
  int planned = 0;
  bool shared = true;
  for (int i = 0; i < keys_.Size(); ++i) {
    const uint8_t k = keys_.NoteAt(i);
    if (k < 12) continue;
    KeyTaps& taps = keyTaps_[size_t(planned)];
    bool sounds = false;
    for (int b = 0; b < 2; ++b) {
      const OscillatorBank::Taps t = banks[b]->TapsOf(k - drop[b]);
      taps.counter[b] = t.counter;
      taps.shift2[b] = t.shift2;
      for (int j = 0; j < 4; ++j) {
        taps.row[b][j] = t.row[j];
        sounds = sounds || t.row[j] != OscillatorBank::SilentRow();
      }
    }
    if (!sounds) continue;
    shared = shared && taps.shift2[0] == taps.shift2[1] &&
             std::equal(std::begin(taps.row[0]), std::end(taps.row[0]), std::begin(taps.row[1]));
    taps.level = &keys_.StateAt(i).level;
    taps.pq = 2 * intptr_t(kChannelOfNote[k]);
    ++planned;
  }
  tapsCount_ = planned;
  tapsShared_ = shared;
}

template <bool kOrgan, bool kSynth, bool kString, bool kScaled, bool kShared>
void SoundEngine::SumKeys(KeySums& sums) {
  const KeyTaps* const plan = keyTaps_.data();
#if defined(__SSE2__)
  // Pairs of lanes, each lane one IEEE operation in the order of the scalar
  // sums below, so the results are the same bits. The 16' to 2' chains of the
  // two oscillators share one pair, the saw and square inputs of a channel
  // another.
  __m128d Xlo = _mm_setzero_pd(), Xhi = _mm_setzero_pd(), SLH = _mm_setzero_pd();
  const __m128d w1 = _mm_set1_pd(kW1), w2 = _mm_set1_pd(kW2), w3 = _mm_set1_pd(kW3);
  const __m128d squareSaw = _mm_set_pd(1.0, kW2);  // x 1.0 is exact
  // The String alone hears only the second oscillator: the first one's readings
  // would go nowhere (its lanes stay zero).
  constexpr bool kFirstBank = kOrgan || kSynth;
  const int count = tapsCount_;
  for (int i = 0; i < count; ++i) {
    const KeyTaps& taps = plan[i];
    double F1[4] = {0.0, 0.0, 0.0, 0.0}, F2[4];
    if constexpr (kFirstBank) OscillatorBank::ReadFootages(*taps.counter[0], taps.shift2[0], taps.row[0], F1);
    OscillatorBank::ReadFootages(*taps.counter[1], taps.shift2[kShared ? 0 : 1], taps.row[kShared ? 0 : 1], F2);
    __m128d B1lo = _mm_loadu_pd(F1), B1hi = _mm_loadu_pd(F1 + 2);
    __m128d B2lo = _mm_loadu_pd(F2), B2hi = _mm_loadu_pd(F2 + 2);
    if constexpr (kScaled) {
      const __m128d a = _mm_set1_pd(*taps.level);
      B1lo = _mm_mul_pd(B1lo, a);
      B1hi = _mm_mul_pd(B1hi, a);
      B2lo = _mm_mul_pd(B2lo, a);
      B2hi = _mm_mul_pd(B2hi, a);
    }
    const __m128d lo = _mm_add_pd(B1lo, B2lo);  // B1[0] + B2[0], B1[1] + B2[1]
    if constexpr (kOrgan) {
      Xlo = _mm_add_pd(Xlo, lo);
      Xhi = _mm_add_pd(Xhi, _mm_add_pd(B1hi, B2hi));
    }
    if constexpr (kSynth || kString) {
      const __m128d v0 = _mm_unpacklo_pd(B1lo, B2lo), v1 = _mm_unpackhi_pd(B1lo, B2lo);
      const __m128d v2 = _mm_unpacklo_pd(B1hi, B2hi), v3 = _mm_unpackhi_pd(B1hi, B2hi);
      // Lane 0 the first oscillator's weighted stack, lane 1 the second's (S2).
      const __m128d chain =
          _mm_add_pd(_mm_add_pd(_mm_add_pd(v0, _mm_mul_pd(w1, v1)), _mm_mul_pd(w2, v2)), _mm_mul_pd(w3, v3));
      if constexpr (kString) {
        // Lane 1: the second oscillator's stack an octave up.
        const __m128d high = _mm_add_pd(_mm_add_pd(v1, _mm_mul_pd(w1, v2)), _mm_mul_pd(w2, v3));
        SLH = _mm_add_pd(SLH, _mm_unpackhi_pd(chain, high));
      }
      if constexpr (kSynth) {
        double* pq = sums.PQ + taps.pq;
        const __m128d term = _mm_add_pd(_mm_unpacklo_pd(lo, chain), _mm_mul_pd(squareSaw, _mm_unpackhi_pd(lo, chain)));
        _mm_storeu_pd(pq, _mm_add_pd(_mm_loadu_pd(pq), term));
      }
    }
  }
  _mm_storeu_pd(sums.X, Xlo);
  _mm_storeu_pd(sums.X + 2, Xhi);
  _mm_storel_pd(&sums.SL, SLH);
  _mm_storeh_pd(&sums.SH, SLH);
#else
  // Accumulators in locals stay in registers; stores through sums could not.
  double X0 = 0.0, X1 = 0.0, X2 = 0.0, X3 = 0.0, SL = 0.0, SH = 0.0;
  const int count = tapsCount_;
  for (int i = 0; i < count; ++i) {
    const KeyTaps& taps = plan[i];
    double B1[4], B2[4];
    OscillatorBank::ReadFootages(*taps.counter[0], taps.shift2[0], taps.row[0], B1);
    OscillatorBank::ReadFootages(*taps.counter[1], taps.shift2[kShared ? 0 : 1], taps.row[kShared ? 0 : 1], B2);
    if constexpr (kScaled) {
      const double a = *taps.level;
      for (int j = 0; j < 4; ++j) {
        B1[j] *= a;
        B2[j] *= a;
      }
    }
    if constexpr (kOrgan) {
      X0 += B1[0] + B2[0];
      X1 += B1[1] + B2[1];
      X2 += B1[2] + B2[2];
      X3 += B1[3] + B2[3];
    }
    if constexpr (kSynth || kString) {
      const double S2 = B2[0] + kW1 * B2[1] + kW2 * B2[2] + kW3 * B2[3];
      if constexpr (kString) {
        SL += S2;
        SH += B2[1] + kW1 * B2[2] + kW2 * B2[3];
      }
      if constexpr (kSynth) {
        double* pq = sums.PQ + taps.pq;
        pq[0] += (B1[0] + B2[0]) + kW2 * (B1[1] + B2[1]);
        pq[1] += B1[0] + kW1 * B1[1] + kW2 * B1[2] + kW3 * B1[3] + S2;
      }
    }
  }
  sums.X[0] = X0;
  sums.X[1] = X1;
  sums.X[2] = X2;
  sums.X[3] = X3;
  sums.SL = SL;
  sums.SH = SH;
#endif
}

inline void SoundEngine::KeySums::Clear() {
#if defined(__SSE2__)
  const __m128d zero = _mm_setzero_pd();
  _mm_storeu_pd(X, zero);
  _mm_storeu_pd(X + 2, zero);
  // Written out: as a loop, the compiler turns the stores back into a string instruction.
  static_assert(kChannels == 6);
  _mm_storeu_pd(PQ + 0, zero);
  _mm_storeu_pd(PQ + 2, zero);
  _mm_storeu_pd(PQ + 4, zero);
  _mm_storeu_pd(PQ + 6, zero);
  _mm_storeu_pd(PQ + 8, zero);
  _mm_storeu_pd(PQ + 10, zero);
  _mm_storel_pd(&SL, zero);
  _mm_storel_pd(&SH, zero);
#else
  for (double& x : X) x = 0.0;
  for (double& pq : PQ) pq = 0.0;
  SL = SH = 0.0;
#endif
}

void SoundEngine::SynthesiseSample(double& dryL, double& dryR, double& busL, double& busR) {
  const EngineSettings& s = settings_;
  keys_.StepRamps();

  KeySums sums;
  sums.Clear();
  const bool organOn = s.organActive, synthOn = s.synthActive, stringOn = s.stringActive;
  // One loop per combination of listening sections keeps the section tests
  // out of the per-key work; with none listening the readings would go nowhere.
  switch ((organOn ? 1 : 0) | (synthOn ? 2 : 0) | (stringOn ? 4 : 0)) {
    case 1: SumKeysFor<true, false, false>(sums); break;
    case 2: SumKeysFor<false, true, false>(sums); break;
    case 3: SumKeysFor<true, true, false>(sums); break;
    case 4: SumKeysFor<false, false, true>(sums); break;
    case 5: SumKeysFor<true, false, true>(sums); break;
    case 6: SumKeysFor<false, true, true>(sums); break;
    case 7: SumKeysFor<true, true, true>(sums); break;
    default: break;
  }
  const double SL = sums.SL, SH = sums.SH;

  if (s.lfoSquare) lfoValue_ = lfoSmoother_.Process(lfoValue_);

  organRamp_.Step();
  stringEnv_.Tick();
  sawRamp_.Step();
  squareRamp_.Step();

  for (SynthChannel& channel : channels_) {
    if (!channel.gate) continue;
    channel.envelope.Tick();
    if (channel.envelope.State() == Envelope::kIdle) channel.gate = false;
  }

  double synth = 0.0;
  if (synthOn) {
    const double saw = sawRamp_.Level();
    const double square = squareRamp_.Level();
    const double vcfMod = s.lfoRouting == kLfoVcf ? modulationDepth_ * lfoValue_ : 0.0;
#if defined(__SSE2__)
    // Fixed pairs of channels: two sounding ones as the two lanes of one
    // register, a lone one through the scalar filter. The sum stays in channel
    // order.
    static_assert(kChannels % 2 == 0);
    const __m128d saw2 = _mm_set1_pd(saw), square2 = _mm_set1_pd(square), vcfMod2 = _mm_set1_pd(vcfMod);
    auto lone = [&](SynthChannel& channel, const double* pq) __attribute__((always_inline)) {
      const double in = pq[1] * saw + pq[0] * square;
      const double env = channel.envelope.Level();
      return channel.Process(in, env * channel.envAmount + channel.cutoff + vcfMod) * env;
    };
#pragma GCC unroll 3
    for (int c = 0; c < kChannels; c += 2) {
      SynthChannel& a = channels_[c];
      SynthChannel& b = channels_[c + 1];
      if (a.gate && b.gate) {
        const __m128d pqA = _mm_loadu_pd(sums.PQ + 2 * c), pqB = _mm_loadu_pd(sums.PQ + 2 * c + 2);
        const __m128d in =
            _mm_add_pd(_mm_mul_pd(_mm_unpackhi_pd(pqA, pqB), saw2), _mm_mul_pd(_mm_unpacklo_pd(pqA, pqB), square2));
        const __m128d env = _mm_set_pd(b.envelope.Level(), a.envelope.Level());
        const __m128d control = _mm_add_pd(
            _mm_add_pd(_mm_mul_pd(env, _mm_set_pd(b.envAmount, a.envAmount)), _mm_set_pd(b.cutoff, a.cutoff)), vcfMod2);
        const __m128d out = _mm_mul_pd(Vcf::ProcessLanes(a.vcf, b.vcf, in, control), env);
        synth += _mm_cvtsd_f64(out);
        synth += _mm_cvtsd_f64(_mm_unpackhi_pd(out, out));
      } else if (a.gate) {
        synth += lone(a, sums.PQ + 2 * c);
      } else if (b.gate) {
        synth += lone(b, sums.PQ + 2 * c + 2);
      }
    }
#else
    for (SynthChannel& channel : channels_) {
      if (!channel.gate) continue;
      const int c = int(&channel - channels_.data());
      const double in = sums.PQ[2 * c + 1] * saw + sums.PQ[2 * c] * square;
      const double env = channel.envelope.Level();
      synth += channel.Process(in, env * channel.envAmount + channel.cutoff + vcfMod) * env;
    }
#endif
    if (s.lfoRouting == kLfoVca) synth *= 1.0 - (lfoValue_ + 1.0) * modulationDepth_;
  }

  double organ = 0.0;
  if (organOn) {
    organ = organFilters_.Mix(sums.X, s.footageLevel);
    organ *= organRamp_.Level();
  }

  double string = 0.0;
  if (stringOn) {
    const double in = SL + (SH - SL) * s.stringFootages;
    const double e = ensemble_.Process(in);
    string = stringFilter_.Process(in * s.stringTimbre + 0.5 * e) * stringEnv_.Level();
  }

  const double synthL = synth * s.synthGainL, synthR = synth * s.synthGainR;
  const double organL = organ * s.organGainL, organR = organ * s.organGainR;
  const double stringL = string * s.stringGainL, stringR = string * s.stringGainR;
  if (phaserInUse_) {
    auto route = [&](bool toBus, double l, double r) {
      if (toBus) {
        busL += l;
        busR += r;
      } else {
        dryL += l;
        dryR += r;
      }
    };
    route(s.phaserOnString, stringL, stringR);
    route(s.phaserOnSynth, synthL, synthR);
    route(s.phaserOnOrgan, organL, organR);
  } else {
    dryL = stringL + synthL + organL;
    dryR = stringR + synthR + organR;
  }
}

void SoundEngine::EndQuietTails() {
  if (!phaserIdle_ && phaser_.QuietBelow(kTailLevel)) {
    phaser_.ClearState();
    phaserIdle_ = true;
  }
  // The delay's input is silent only once the phaser is.
  if (phaserInUse_ && !phaserIdle_) return;
  if (!delay_.EndTailBelow(kTailLevel)) return;
  // The output stage decays within a few samples; what is left of it goes too.
  for (int ch = 0; ch < 2; ++ch) {
    if (std::fabs(outHp_[ch].y) < kTailLevel && std::fabs(outLp_[ch].y) < kTailLevel) {
      outHp_[ch].y = 0.0;
      outLp_[ch].y = 0.0;
    }
  }
}

bool SoundEngine::SkipSilence(int32_t n) {
  if (!tailCutting_) return false;
  // Outputs stay at the zeros RenderBlock filled in only while the output
  // stage is at rest and the delay has nothing left to say.
  if (outHp_[0].y != 0.0 || outLp_[0].y != 0.0 || outHp_[1].y != 0.0 || outLp_[1].y != 0.0) return false;
  if (!delay_.SkipSilence(n)) return false;
  idleAdvance_ += uint32_t(n);
  return true;
}

void SoundEngine::RenderSamples(double* left, double* right, int32_t len) {
  for (int32_t i = 0; i < len;) {
    if (EventDueBy(i)) FireEvents(i);
    if (soundActive_) {
      i = RenderSoundingRun(left, right, i, std::min(len, i + kRunLength));
      continue;
    }
    // Silence up to the next event: one step when nothing holds a tail; the delay's
    // tail over runs while the phaser rests (its bus is silent too).
    if (!phaserInUse_ || phaserIdle_) {
      const int32_t end = noteEvents_.Empty() ? len : std::min(len, noteEvents_.Front().offset - eventBase_);
      if (SkipSilence(end - i)) {
        i = end;
        continue;
      }
      if (!delay_.IsIdle()) {
        i += RenderDelayTail(left + i, right + i, std::min(end, i + kRunLength) - i);
        continue;
      }
    }
    // Nothing reads the counters until sound resumes: advance them in bulk.
    ++idleAdvance_;
    double dryL = 0.0, dryR = 0.0, busL = 0.0, busR = 0.0;
    ProcessEffects(busL, busR, dryL, dryR);
    WriteOutput(dryL, dryR, left[i], right[i]);
    ++i;
  }
  FlushIdleAdvance();
}

int32_t SoundEngine::RenderSoundingRun(double* left, double* right, int32_t begin, int32_t end) {
  // Stage by stage over the run rather than sample by sample: each stage's
  // recursion then overlaps with its own next samples instead of waiting on the
  // whole chain before it. Every stage sees the same samples in the same order.
  FlushIdleAdvance();
  double dryL[kRunLength], dryR[kRunLength], busL[kRunLength], busR[kRunLength];
  const int32_t n = end - begin;
  for (int32_t k = 0; k < n; ++k) {
    if (k > 0 && EventDueBy(begin + k)) FireEvents(begin + k);
    dryL[k] = dryR[k] = busL[k] = busR[k] = 0.0;
    SynthesiseSample(dryL[k], dryR[k], busL[k], busR[k]);
    osc1_.Advance();
    osc2_.Advance();
  }
  // The phaser over the run, then the delay over the run: neither reads the other's state,
  // so this is ProcessEffects sample by sample, and the delay keeps its state in registers.
  if (phaserInUse_) {
    // A resting phaser wakes at the first sound on its bus and stays awake for the run.
    int32_t k = 0;
    if (phaserIdle_) {
      while (k < n && busL[k] == 0.0 && busR[k] == 0.0) ++k;
    }
    if (k < n) {
      phaserIdle_ = false;
      phaser_.Process(busL + k, busR + k, n - k);
      for (; k < n; ++k) {
        dryL[k] += busL[k];
        dryR[k] += busR[k];
      }
    }
  }
  delay_.Process(dryL, dryR, n);
  WriteOutputRun(dryL, dryR, left + begin, right + begin, n);
  return end;
}

int32_t SoundEngine::RenderDelayTail(double* left, double* right, int32_t n) {
  double dryL[kRunLength], dryR[kRunLength];
  for (int32_t k = 0; k < n; ++k) dryL[k] = dryR[k] = 0.0;
  // Stops where the delay goes idle, so that the caller's next SkipSilence comes at the
  // very sample it would when going sample by sample.
  const int32_t done = delay_.ProcessUntilIdle(dryL, dryR, n);
  WriteOutputRun(dryL, dryR, left, right, done);
  idleAdvance_ += uint32_t(done);
  return done;
}

void SoundEngine::WriteOutputRun(const double* dryL, const double* dryR, double* left, double* right, int32_t n) {
#if defined(__SSE2__)
  // Left and right as the two lanes. The silent-stage shortcut of WriteOutput is left out:
  // with every coefficient in [0, 1] and the poles above 0 (an output pole underflows only
  // below about 100 Hz), silence through a resting stage computes +0.0, the very value the
  // shortcut leaves in place, and no state becomes -0.0.
  if (!(outLp_[0].b > 0.0 && outLp_[1].b > 0.0 && outHp_[0].b > 0.0 && outHp_[1].b > 0.0)) {
    for (int32_t k = 0; k < n; ++k) WriteOutput(dryL[k], dryR[k], left[k], right[k]);
    return;
  }
  const __m128d hpA = _mm_set_pd(outHp_[1].a, outHp_[0].a), hpB = _mm_set_pd(outHp_[1].b, outHp_[0].b);
  const __m128d lpA = _mm_set_pd(outLp_[1].a, outLp_[0].a), lpB = _mm_set_pd(outLp_[1].b, outLp_[0].b);
  __m128d hp = _mm_set_pd(outHp_[1].y, outHp_[0].y), lp = _mm_set_pd(outLp_[1].y, outLp_[0].y);
  for (int32_t k = 0; k < n; ++k) {
    const __m128d x = _mm_set_pd(dryR[k], dryL[k]);
    hp = _mm_add_pd(_mm_mul_pd(hpA, x), _mm_mul_pd(hpB, hp));
    hp = _mm_and_pd(hp, _mm_cmpeq_pd(hp, hp));  // a NaN becomes 0.0, as OnePole::Process does
    lp = _mm_add_pd(_mm_mul_pd(lpA, hp), _mm_mul_pd(lpB, lp));
    lp = _mm_and_pd(lp, _mm_cmpeq_pd(lp, lp));
    _mm_storel_pd(left + k, lp);
    _mm_storeh_pd(right + k, lp);
  }
  _mm_storel_pd(&outHp_[0].y, hp);
  _mm_storeh_pd(&outHp_[1].y, hp);
  _mm_storel_pd(&outLp_[0].y, lp);
  _mm_storeh_pd(&outLp_[1].y, lp);
#else
  for (int32_t k = 0; k < n; ++k) WriteOutput(dryL[k], dryR[k], left[k], right[k]);
#endif
}

inline void SoundEngine::ProcessEffects(double& busL, double& busR, double& dryL, double& dryR) {
  if (phaserInUse_ && (!phaserIdle_ || busL != 0.0 || busR != 0.0)) {
    phaserIdle_ = false;
    phaser_.Process(busL, busR);
    dryL += busL;
    dryR += busR;
  }
  delay_.Process(dryL, dryR);
}

inline void SoundEngine::WriteOutput(double dryL, double dryR, double& left, double& right) {
  // A silent output stage fed silence stays exactly silent; skip its arithmetic.
  if (dryL != 0.0 || outHp_[0].y != 0.0 || outLp_[0].y != 0.0) {
    left = outLp_[0].Process(outHp_[0].Process(dryL));
  }
  if (dryR != 0.0 || outHp_[1].y != 0.0 || outLp_[1].y != 0.0) {
    right = outLp_[1].Process(outHp_[1].Process(dryR));
  }
}

// Plain stores: GCC would turn this loop into a call to memset, whose string instruction
// the instruction counts used to tune idle cost see as one instruction per byte.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("no-tree-loop-distribute-patterns")))
#endif
void SoundEngine::ClearBlock(double* out, int32_t n) {
  int32_t i = 0;
#if defined(__SSE2__)
  const __m128d zero = _mm_setzero_pd();
  for (; i + 2 <= n; i += 2) _mm_storeu_pd(out + i, zero);
#endif
  for (; i < n; ++i) out[i] = 0.0;
}

void SoundEngine::RenderBlock(double* left, double* right, int32_t n) {
  if (n <= 0 || left == nullptr || right == nullptr) return;
  ClearBlock(left, n);
  ClearBlock(right, n);
  int32_t remaining = n;
  int32_t position = 0;
  while (remaining > 0) {
    int32_t len;
    // Event offsets count from the start of the control block, which a
    // previous host block may have begun.
    eventBase_ = samplesToControlUpdate_ > 0 ? controlBlockLength_ - samplesToControlUpdate_ : 0;
    if (samplesToControlUpdate_ <= 0) {
      DrainMidiQueue();
      const bool active = UpdateControls();
      if (!active && soundActive_) ensemble_.Clear();
      soundActive_ = active;
      if (!soundActive_ && tailCutting_) EndQuietTails();
      len = controlBlockLength_;
      if (remaining < len) {
        samplesToControlUpdate_ = len - remaining;
        len = remaining;
      }
    } else if (samplesToControlUpdate_ < remaining) {
      len = samplesToControlUpdate_;
      samplesToControlUpdate_ = 0;
    } else {
      len = remaining;
      samplesToControlUpdate_ -= remaining;
    }
    remaining -= len;
    RenderSamples(left + position, right + position, len);
    position += len;
  }
}

}  // namespace tessaron
