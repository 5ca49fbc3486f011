#pragma once
// Three-line ensemble of the String section. Each line behaves like a
// charge-transfer delay: a fixed number of cells clocked at a varying rate, with
// the input resampled onto the clock and the output back to the audio rate.
// All members are touched by the audio thread, or under the instrument's lock.
#include <vector>

#include "dsp/BiquadLowPass.h"
#include "dsp/ChannelPair.h"
#include "dsp/CubicInterpolation.h"

namespace tessaron {

class Ensemble {
 public:
  static constexpr int kLines = 3;

  struct Oscillator {
    double clock = 1000.0;  // ticks per second
    double speed = 0.13;    // Hz
    double phase = 0.0;     // in [-1, 1)
    double increment = 0.26 / 1000.0;
  };

  Ensemble();

  // Allocates only when fs changes; always clears the lines and re-derives the steps.
  void SetSampleRate(double fs);
  void Clear();

  // osc: 0 for the first modulation oscillator, 1 for the second.
  void SetSpeed(int osc, double v);
  void SetDepth(int osc, double v);
  void SetCentre(int line, double v) {
    SettlePendingSteps();
    centre[line] = v;
  }

  void Tick();  // once per control tick
  // Tick, but the clock steps (six sines) wait until Process first needs
  // them: while nothing sounds the engine keeps the oscillators turning for
  // free. The steps come out exactly as Tick would have left them.
  void TickDeferred();
  double Process(double x);

  Oscillator osc1;
  Oscillator osc2;
  // Every line hears the same input through the same filter, so one filter
  // and one history serve all three.
  BiquadLowPass inFilter;
  // Lines 0 and 1 side by side, so that they can tick as the lanes of one register.
  BiquadLowPassPair outFilterPair;
  BiquadLowPass outFilterLast;
  History4 inHist;
  History4Pair outHistPair;
  History4 outHistLast;
  std::vector<double> buffer[kLines];
  int length = 0;
  int writeIndex[kLines] = {0, 0, 0};
  double clockPhase[kLines] = {0.0, 0.0, 0.0};
  double step[kLines] = {1.0, 1.0, 1.0};
  double invStep[kLines] = {1.0, 1.0, 1.0};
  double rate = 0.0;
  double centre[kLines] = {0.5, 0.5, 0.5};
  double depth1 = 0.03;
  double depth2 = 0.01;

 private:
  struct LineRun;
  void UpdateSteps();
  void SettlePendingSteps() {
    if (stepsPending) {
      UpdateSteps();
    }
  }

  bool stepsPending = false;
};

}  // namespace tessaron
