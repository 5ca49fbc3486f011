#pragma once
// Drives a SoundEngine the way the instrument does, without any host: parameters
// from a table of ranges and defaults, MIDI by kind, and a recording EngineHost.
#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/SoundEngine.h"

namespace tessaron::testing {

struct ParamRange {
  double min, max, def, shape;
  bool choice;
};

// Ranges and defaults of the 66 parameters, in index order.
inline const ParamRange kParams[kParameterCount] = {
    {-24, 24, 2, 1, false},  {0, 1, 0.1, 1, false},   {0, 1, 0.5, 1, false},  {0, 1, 0, 1, false},
    {0, 1, 0, 1, false},     {0, 1, 0.5, 1, false},   {0, 1, 0.5, 1, false},  {0, 1, 0.5, 1, false},
    {0, 1, 0, 1, false},     {0, 1, 0, 1, false},     {0, 1, 1, 1, false},    {0, 1, 0, 1, false},
    {-1, 1, 0, 1, false},    {0, 1, 0, 1, true},      {-7, 7, 0, 1, false},   {0, 1, 0, 1, true},
    {0, 1, 0, 1, true},      {0, 1, 0, 1, true},      {0, 1, 0, 1, false},    {0, 1, 0.18, 1, false},
    {0, 1, 0, 1, true},      {0, 3, 0, 1, true},      {0, 2, 0, 1, true},     {0, 1, 1, 1, true},
    {0, 1, 0, 1, true},      {0, 1, 0.8, 0.5, false}, {0, 1, 0, 1, false},    {-1, 1, 0, 1, false},
    {0, 1, 0, 1, false},     {0, 1, 0, 1, false},     {0, 1, 1, 1, false},    {0, 1, 0.1, 1, false},
    {0, 2, 0, 1, true},      {0, 1, 0, 1, true},      {0, 1, 0, 1, true},     {0, 25, 4.6, 2, false},
    {0, 1, 0, 1, false},     {0, 10, 0, 2, false},    {0, 1, 0, 2, false},    {0, 1, 0.5, 1, false},
    {0, 1, 0.5, 1, false},   {0, 1, 0.2, 1, false},   {0, 1, 0.3, 1, false},  {0, 25, 0.19, 2, false},
    {-1, 1, -0.3, 1, false}, {0, 1, 0, 1, true},      {0, 1, 0, 1, true},     {0, 1, 0, 1, true},
    {0, 1, 0.5, 1, false},   {0, 1, 0.3, 1, false},   {0, 1, 0, 1, false},    {0, 1, 0, 1, true},
    {0, 1, 0, 1, true},      {0, 1, 1, 1, true},      {0, 1, 0, 1, true},     {-1, 1, 0, 1, false},
    {0, 1, 0, 1, true},      {0, 360, 45, 1, false},  {0, 1, 0.3, 1, false},  {0, 25, 0.72, 2, false},
    {0, 25, 5, 2, false},    {0, 1, 0.12, 1, false},  {0, 1, 0.04, 1, false}, {0, 25, 0.02, 2, false},
    {0, 1, 0.2, 1, false},   {0, 1, 0.5, 1, false},
};

inline double Normalised(int index, double v) {
  const ParamRange& p = kParams[index];
  const double x = std::fmin(std::fmax(v, p.min), p.max);
  return std::pow((x - p.min) / (p.max - p.min), 1.0 / p.shape);
}

class RecordingHost : public EngineHost {
 public:
  void FillTimeInfo(TimeInfo& info) override {
    ++timeQueries;
    if (giveTempo) info.tempo = tempo;
  }
  void ApplyController(int32_t controller, int32_t value) override { controllers.push_back({controller, value}); }
  int timeQueries = 0;
  bool giveTempo = false;
  double tempo = 120.0;
  struct Cc {
    int32_t controller, value;
  };
  std::vector<Cc> controllers;
};

// An engine at 44100 Hz with every parameter at its default, as after the
// instrument's first reset.
class EngineRig {
 public:
  explicit EngineRig(double fs = 44100.0, int32_t block = 1024) {
    engine.SetHost(&host);
    values.resize(kParameterCount);
    for (int i = 0; i < kParameterCount; ++i) values[size_t(i)] = kParams[i].def;
    Reset(fs, block);
  }

  void Reset(double fs, int32_t block = 1024) {
    if (engine.Reset(fs, block)) {
      for (int i = 0; i < kParameterCount; ++i) Apply(i);
    }
  }

  void Set(int index, double v) {
    values[size_t(index)] = v;
    Apply(index);
  }
  void Apply(int index) {
    engine.ApplyParameter(index, values[size_t(index)], Normalised(index, values[size_t(index)]));
  }

  // Only the named sections sound, each at full level.
  void Sections(bool synth, bool organ, bool string) {
    Set(kSynthLevel, synth ? 1.0 : 0.0);
    Set(kOrganLevel, organ ? 1.0 : 0.0);
    Set(kStringLevel, string ? 1.0 : 0.0);
    Set(kMasterLevel, 1.0);
  }

  void Send(int32_t offset, uint8_t status, uint8_t d1, uint8_t d2) {
    engine.HandleMidiMessage(MidiMessage{offset, status, d1, d2});
  }
  void On(uint8_t note, int32_t offset = 0) { Send(offset, 0x90, note, 100); }
  void Off(uint8_t note, int32_t offset = 0) { Send(offset, 0x80, note, 0); }
  void Cc(uint8_t controller, uint8_t value, int32_t offset = 0) { Send(offset, 0xB0, controller, value); }

  // Renders n samples in host blocks of the given size; returns both channels.
  void Render(int32_t n, int32_t block = 256) {
    left.assign(size_t(n), 0.0);
    right.assign(size_t(n), 0.0);
    for (int32_t pos = 0; pos < n; pos += block) {
      const int32_t len = std::min(block, n - pos);
      engine.RenderBlock(left.data() + pos, right.data() + pos, len);
    }
  }

  SoundEngine engine;
  RecordingHost host;
  std::vector<double> values;
  std::vector<double> left, right;
};

inline double Rms(const std::vector<double>& x, size_t from = 0, size_t to = SIZE_MAX) {
  to = std::min(to, x.size());
  double sum = 0.0;
  for (size_t i = from; i < to; ++i) sum += x[i] * x[i];
  return to > from ? std::sqrt(sum / double(to - from)) : 0.0;
}

inline double PeakAbs(const std::vector<double>& x, size_t from = 0) {
  double m = 0.0;
  for (size_t i = from; i < x.size(); ++i) m = std::fmax(m, std::fabs(x[i]));
  return m;
}

// Magnitude of one frequency in x (Goertzel).
inline double ToneMagnitude(const std::vector<double>& x, double hz, double fs, size_t from = 0) {
  const double w = 2.0 * M_PI * hz / fs;
  const double c = 2.0 * std::cos(w);
  double s1 = 0.0, s2 = 0.0;
  for (size_t i = from; i < x.size(); ++i) {
    const double s0 = x[i] + c * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  return std::sqrt(s1 * s1 + s2 * s2 - c * s1 * s2);
}

// Strongest frequency between lo and hi, in steps of stepHz.
inline double PeakFrequency(const std::vector<double>& x, double fs, double lo, double hi, double stepHz,
                            size_t from = 0) {
  double best = lo, bestMag = -1.0;
  for (double f = lo; f <= hi; f += stepHz) {
    const double m = ToneMagnitude(x, f, fs, from);
    if (m > bestMag) {
      bestMag = m;
      best = f;
    }
  }
  return best;
}

}  // namespace tessaron::testing
