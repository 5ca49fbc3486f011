// The instrument's parameter table: every consumer (binding, editor, state) reads it from
// the records defined here.
#include "instrument/ParameterFormatters.h"
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

struct ParamRow {
  const char* name;
  double min, max, defaultValue, step, shape;
  DisplayFormatter formatter;  // continuous rows only
  const char* const* texts;    // choice rows only
  int count;
};

constexpr ParamRow Continuous(const char* name, double min, double max, double def, double step, double shape = 1.0,
                              DisplayFormatter formatter = nullptr) {
  return {name, min, max, def, step, shape, formatter, nullptr, 0};
}

template <int N>
constexpr ParamRow Choice(const char* name, int def, const char* const (&texts)[N]) {
  return {name, 0.0, N - 1.0, static_cast<double>(def), 1.0, 1.0, nullptr, texts, N};
}

const ParamRow kRows[kParameterCount] = {
    Continuous("Pitch Bend Amount", -24, 24, 2, 1),
    Continuous("Mod.Wheel Amount", 0, 1, 0.1, 0.01),
    Continuous("Synth: Volume", 0, 1, 0.5, 0.01, 1, &FormatLevelDb),
    Continuous("Organ: Volume", 0, 1, 0, 0.01, 1, &FormatLevelDb),
    Continuous("String: Volume", 0, 1, 0, 0.01, 1, &FormatLevelDb),
    Continuous("Synth: Panorama", 0, 1, 0.5, 0.01, 1, &FormatBalance),
    Continuous("Organ: Panorama", 0, 1, 0.5, 0.01, 1, &FormatBalance),
    Continuous("String: Panoram", 0, 1, 0.5, 0.01, 1, &FormatBalance),
    Continuous("Organ: 2'", 0, 1, 0, 0.01),
    Continuous("Organ: 4'", 0, 1, 0, 0.01),
    Continuous("Organ: 8'", 0, 1, 1, 0.01),
    Continuous("Organ: 16'", 0, 1, 0, 0.01),
    Continuous("Osc.1: Fine Tune", -1, 1, 0, 0.005),
    Choice("Osc.1: Octave", 0, kOffOn),
    Continuous("Osc.2: Coarse Tune", -7, 7, 0, 0.001),
    Choice("Osc.2: Octave", 0, kOffOn),
    Choice("Osc.: Sync", 0, kOffOn),
    Choice("Osc.: Octave Mod.", 0, kOffOn),
    Continuous("Glide: Amount", 0, 1, 0, 0.01),
    Continuous("Glide: Speed", 0, 1, 0.18, 0.01),
    Choice("Glide: Enable", 0, kMonoMulti),
    Choice("Glide: Direction", 0, kDirections),
    Choice("Waveform Selection: Waveform", 0, kWaveforms),
    Choice("Waveform Selection: Alternate", 1, kOnOff),
    Choice("Waveform Selection: Enable", 0, kMonoMulti),
    Continuous("VCF: Cutoff", 0, 1, 0.8, 0.01, 0.5, &FormatCutoff),
    Continuous("VCF: Resonance", 0, 1, 0, 0.01),
    Continuous("VCF: Envelope", -1, 1, 0, 0.005),
    Continuous("Envelope: Attack", 0, 1, 0, 0.01),
    Continuous("Envelope: Decay", 0, 1, 0, 0.01),
    Continuous("Envelope: Sustain", 0, 1, 1, 0.01),
    Continuous("Envelope: Release", 0, 1, 0.1, 0.01),
    Choice("LFO: Routing", 0, kRoutings),
    Choice("LFO: Reset", 0, kMonoMulti),
    Choice("LFO: Waveshape", 0, kLfoShapes),
    Continuous("Modulation: Speed", 0, 25, 4.6, 0.01, 2),
    Continuous("Modulation: Slope", 0, 1, 0, 0.01),
    Continuous("Modulation: Delay", 0, 10, 0, 0.1, 2),
    Continuous("Modulation: Depth", 0, 1, 0, 0.01, 2),
    Continuous("String: Footages", 0, 1, 0.5, 0.01, 1, &FormatBalance),
    Continuous("String: Timbre", 0, 1, 0.5, 0.01),
    Continuous("String: Attack", 0, 1, 0.2, 0.01),
    Continuous("String: Release", 0, 1, 0.3, 0.01),
    Continuous("Phaser: Speed", 0, 25, 0.19, 0.01, 2),
    Continuous("Phaser: Feedback", -1, 1, -0.3, 0.005),
    Choice("Phaser: String", 0, kOffOn),
    Choice("Phaser: Synth", 0, kOffOn),
    Choice("Phaser: Organ", 0, kOffOn),
    Continuous("Delay: Time", 0, 1, 0.5, 0.01),
    Continuous("Delay: Feedback", 0, 1, 0.3, 0.01),
    Continuous("Delay: Mix", 0, 1, 0, 0.01, 1, &FormatBalance),
    Choice("Delay: Double", 0, kOffOn),
    Choice("Delay: Sync", 0, kOffOn),
    Choice("Delay: Vibe", 1, kOffOn),
    Choice("Delay: Ping-Pong", 0, kOffOn),
    Continuous("Tweak: Master Tune", -1, 1, 0, 0.05),
    Choice("Tweak: Sync Reset", 0, kOffOn),
    Continuous("Tweak: Sync Reset Phase", 0, 360, 45, 1),
    Continuous("Tweak: Key Release", 0, 1, 0.3, 0.01),
    Continuous("Tweak: Ensemble LFO 1 Speed", 0, 25, 0.72, 0.01, 2),
    Continuous("Tweak: Ensemble LFO 2 Speed", 0, 25, 5, 0.01, 2),
    Continuous("Tweak: Ensemble LFO 1 Depth", 0, 1, 0.12, 0.01),
    Continuous("Tweak: Ensemble LFO 2 Depth", 0, 1, 0.04, 0.01),
    Continuous("Tweak: Delay Vibe Speed", 0, 25, 0.02, 0.01, 2),
    Continuous("Tweak: Delay Vibe Depth", 0, 1, 0.2, 0.01),
    // Index 65 is the overall output level; it shares its name with the Synth section's.
    Continuous("Synth: Volume", 0, 1, 0.5, 0.01, 1, &FormatLevelDb),
};

// The order in which the records are defined; it has no effect on the result.
constexpr int kDefinitionOrder[kParameterCount] = {
    0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
    22, 23, 24, 25, 26, 27, 39, 40, 41, 42, 32, 33, 34, 35, 36, 37, 38, 28, 29, 30, 31, 43,
    44, 46, 47, 45, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63, 64, 65,
};

}  // namespace

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
