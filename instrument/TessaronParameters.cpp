// The instrument's parameter table: every consumer (binding, editor, state) reads it from
// the records defined here.
#include "instrument/ParameterFormatters.h"
#include "instrument/ParameterTable.h"
#include "instrument/Tessaron.h"

namespace tessaron {
namespace {

constexpr const char* kOffOn[] = {"Off", "On"};
constexpr const char* kMonoMulti[] = {"Mono", "Multi"};
constexpr const char* kDirections[] = {"A", "B", "C", "D"};
constexpr const char* kWaveforms[] = {"Sawtooth", "Square", "Mix"};
constexpr const char* kOnOff[] = {"On", "Off"};
constexpr const char* kRoutings[] = {"FM", "VCF", "VCA"};
constexpr const char* kLfoShapes[] = {"Triangle", "Square"};

constexpr ParamRow Continuous(EParam id, const char* name, double min, double max, double def, double step,
                              double shape = 1.0, DisplayFormatter formatter = nullptr) {
  return {id, name, min, max, def, step, shape, formatter, nullptr, 0};
}

template <int N>
constexpr ParamRow Choice(EParam id, const char* name, int def, const char* const (&texts)[N]) {
  return {id, name, 0.0, N - 1.0, static_cast<double>(def), 1.0, 1.0, nullptr, texts, N};
}

constexpr ParamRow kRows[kParameterCount] = {
    Continuous(kBendRange, "Pitch Bend Amount", -24, 24, 2, 1),
    Continuous(kWheelAmount, "Mod.Wheel Amount", 0, 1, 0.1, 0.01),
    Continuous(kSynthLevel, "Synth: Volume", 0, 1, 0.5, 0.01, 1, &FormatLevelDb),
    Continuous(kOrganLevel, "Organ: Volume", 0, 1, 0, 0.01, 1, &FormatLevelDb),
    Continuous(kStringLevel, "String: Volume", 0, 1, 0, 0.01, 1, &FormatLevelDb),
    Continuous(kSynthPan, "Synth: Panorama", 0, 1, 0.5, 0.01, 1, &FormatBalance),
    Continuous(kOrganPan, "Organ: Panorama", 0, 1, 0.5, 0.01, 1, &FormatBalance),
    Continuous(kStringPan, "String: Panoram", 0, 1, 0.5, 0.01, 1, &FormatBalance),
    Continuous(kOrgan2, "Organ: 2'", 0, 1, 0, 0.01),
    Continuous(kOrgan4, "Organ: 4'", 0, 1, 0, 0.01),
    Continuous(kOrgan8, "Organ: 8'", 0, 1, 1, 0.01),
    Continuous(kOrgan16, "Organ: 16'", 0, 1, 0, 0.01),
    Continuous(kOsc1Fine, "Osc.1: Fine Tune", -1, 1, 0, 0.005),
    Choice(kOsc1Octave, "Osc.1: Octave", 0, kOffOn),
    Continuous(kOsc2Coarse, "Osc.2: Coarse Tune", -7, 7, 0, 0.001),
    Choice(kOsc2Octave, "Osc.2: Octave", 0, kOffOn),
    Choice(kOscSync, "Osc.: Sync", 0, kOffOn),
    Choice(kOctaveMod, "Osc.: Octave Mod.", 0, kOffOn),
    Continuous(kGlideAmount, "Glide: Amount", 0, 1, 0, 0.01),
    Continuous(kGlideSpeed, "Glide: Speed", 0, 1, 0.18, 0.01),
    Choice(kGlideEnable, "Glide: Enable", 0, kMonoMulti),
    Choice(kGlideDirection, "Glide: Direction", 0, kDirections),
    Choice(kWaveform, "Waveform Selection: Waveform", 0, kWaveforms),
    Choice(kWaveAlternate, "Waveform Selection: Alternate", 1, kOnOff),
    Choice(kWaveSelectEnable, "Waveform Selection: Enable", 0, kMonoMulti),
    Continuous(kVcfCutoff, "VCF: Cutoff", 0, 1, 0.8, 0.01, 0.5, &FormatCutoff),
    Continuous(kVcfResonance, "VCF: Resonance", 0, 1, 0, 0.01),
    Continuous(kVcfEnvelope, "VCF: Envelope", -1, 1, 0, 0.005),
    Continuous(kEnvAttack, "Envelope: Attack", 0, 1, 0, 0.01),
    Continuous(kEnvDecay, "Envelope: Decay", 0, 1, 0, 0.01),
    Continuous(kEnvSustain, "Envelope: Sustain", 0, 1, 1, 0.01),
    Continuous(kEnvRelease, "Envelope: Release", 0, 1, 0.1, 0.01),
    Choice(kLfoRouting, "LFO: Routing", 0, kRoutings),
    Choice(kLfoReset, "LFO: Reset", 0, kMonoMulti),
    Choice(kLfoWaveshape, "LFO: Waveshape", 0, kLfoShapes),
    Continuous(kModSpeed, "Modulation: Speed", 0, 25, 4.6, 0.01, 2),
    Continuous(kModSlope, "Modulation: Slope", 0, 1, 0, 0.01),
    Continuous(kModDelay, "Modulation: Delay", 0, 10, 0, 0.1, 2),
    Continuous(kModDepth, "Modulation: Depth", 0, 1, 0, 0.01, 2),
    Continuous(kStringFootages, "String: Footages", 0, 1, 0.5, 0.01, 1, &FormatBalance),
    Continuous(kStringTimbre, "String: Timbre", 0, 1, 0.5, 0.01),
    Continuous(kStringAttack, "String: Attack", 0, 1, 0.2, 0.01),
    Continuous(kStringRelease, "String: Release", 0, 1, 0.3, 0.01),
    Continuous(kPhaserSpeed, "Phaser: Speed", 0, 25, 0.19, 0.01, 2),
    Continuous(kPhaserFeedback, "Phaser: Feedback", -1, 1, -0.3, 0.005),
    Choice(kPhaserString, "Phaser: String", 0, kOffOn),
    Choice(kPhaserSynth, "Phaser: Synth", 0, kOffOn),
    Choice(kPhaserOrgan, "Phaser: Organ", 0, kOffOn),
    Continuous(kDelayTime, "Delay: Time", 0, 1, 0.5, 0.01),
    Continuous(kDelayFeedback, "Delay: Feedback", 0, 1, 0.3, 0.01),
    Continuous(kDelayMix, "Delay: Mix", 0, 1, 0, 0.01, 1, &FormatBalance),
    Choice(kDelayDouble, "Delay: Double", 0, kOffOn),
    Choice(kDelaySync, "Delay: Sync", 0, kOffOn),
    Choice(kDelayVibe, "Delay: Vibe", 1, kOffOn),
    Choice(kDelayPingPong, "Delay: Ping-Pong", 0, kOffOn),
    Continuous(kMasterTune, "Tweak: Master Tune", -1, 1, 0, 0.05),
    Choice(kSyncReset, "Tweak: Sync Reset", 0, kOffOn),
    Continuous(kSyncResetPhase, "Tweak: Sync Reset Phase", 0, 360, 45, 1),
    Continuous(kKeyRelease, "Tweak: Key Release", 0, 1, 0.3, 0.01),
    Continuous(kEnsembleSpeed1, "Tweak: Ensemble LFO 1 Speed", 0, 25, 0.72, 0.01, 2),
    Continuous(kEnsembleSpeed2, "Tweak: Ensemble LFO 2 Speed", 0, 25, 5, 0.01, 2),
    Continuous(kEnsembleDepth1, "Tweak: Ensemble LFO 1 Depth", 0, 1, 0.12, 0.01),
    Continuous(kEnsembleDepth2, "Tweak: Ensemble LFO 2 Depth", 0, 1, 0.04, 0.01),
    Continuous(kDelayVibeSpeed, "Tweak: Delay Vibe Speed", 0, 25, 0.02, 0.01, 2),
    Continuous(kDelayVibeDepth, "Tweak: Delay Vibe Depth", 0, 1, 0.2, 0.01),
    // Index 65 is the overall output level; it shares its name with the Synth section's.
    Continuous(kMasterLevel, "Synth: Volume", 0, 1, 0.5, 0.01, 1, &FormatLevelDb),
};

// Each row sits at its id's index.
constexpr bool RowsInIdOrder() {
  for (int i = 0; i < kParameterCount; ++i) {
    if (kRows[i].id != i) return false;
  }
  return true;
}
static_assert(RowsInIdOrder());

// The order in which the records are defined; it has no effect on the result.
constexpr EParam kDefinitionOrder[kParameterCount] = {
    kBendRange,        kWheelAmount,    kSynthLevel,     kOrganLevel,     kStringLevel,    kSynthPan,
    kOrganPan,         kStringPan,      kOrgan2,         kOrgan4,         kOrgan8,         kOrgan16,
    kOsc1Fine,         kOsc1Octave,     kOsc2Coarse,     kOsc2Octave,     kOscSync,        kOctaveMod,
    kGlideAmount,      kGlideSpeed,     kGlideEnable,    kGlideDirection, kWaveform,       kWaveAlternate,
    kWaveSelectEnable, kVcfCutoff,      kVcfResonance,   kVcfEnvelope,    kStringFootages, kStringTimbre,
    kStringAttack,     kStringRelease,  kLfoRouting,     kLfoReset,       kLfoWaveshape,   kModSpeed,
    kModSlope,         kModDelay,       kModDepth,       kEnvAttack,      kEnvDecay,       kEnvSustain,
    kEnvRelease,       kPhaserSpeed,    kPhaserFeedback, kPhaserSynth,    kPhaserOrgan,    kPhaserString,
    kDelayTime,        kDelayFeedback,  kDelayMix,       kDelayDouble,    kDelaySync,      kDelayVibe,
    kDelayPingPong,    kMasterTune,     kSyncReset,      kSyncResetPhase, kKeyRelease,     kEnsembleSpeed1,
    kEnsembleSpeed2,   kEnsembleDepth1, kEnsembleDepth2, kDelayVibeSpeed, kDelayVibeDepth, kMasterLevel,
};

}  // namespace

const ParamRow& ParameterRow(int index) { return kRows[index]; }

void Tessaron::DefineParameters() {
  for (int index : kDefinitionOrder) {
    const ParamRow& row = kRows[index];
    if (row.texts) {
      InitChoice(index, row.name, static_cast<int>(row.defaultValue), row.count, row.texts);
    } else {
      IParameter* param = GetParam(index);
      param->InitContinuous(row.name, row.defaultValue, row.min, row.max, row.step, row.shape);
      if (row.formatter) param->SetFormatter(row.formatter);
    }
  }
}

}  // namespace tessaron
