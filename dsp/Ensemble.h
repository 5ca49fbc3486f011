#pragma once
// Three-line ensemble of the String section. Each line behaves like a
// charge-transfer delay: a fixed number of cells clocked at a varying rate, with
// the input resampled onto the clock and the output back to the audio rate.
// All members are touched by the audio thread, or under the instrument's lock.
#include <vector>

#include "dsp/BiquadLowPass.h"
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
  // The states of two second-order sections side by side, lane by lane, with
  // the two outputs before the latest two (y1, y2): the four latest outputs
  // are the history that a line's read-out interpolates.
  struct Lanes {
    double x1[2] = {0.0, 0.0};
    double x2[2] = {0.0, 0.0};
    double y1[2] = {0.0, 0.0};
    double y2[2] = {0.0, 0.0};
    double y3[2] = {0.0, 0.0};
    double y4[2] = {0.0, 0.0};
  };
  // Every filter of the ensemble, at the input and at each line's output, has
  // these coefficients; the states are in the lanes below. One input filter
  // and history serve all three lines, which hear the same input.
  BiquadLowPass inFilter;
  Lanes pairLanes;  // the output filters of lines 0 and 1
  Lanes lastLanes;  // line 2's output filter and the input filter
  double laneCoef[4][2] = {};  // inFilter's b0, b1, c1, c2, each once per lane
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
  void UpdateSteps();
  void SettlePendingSteps() {
    if (stepsPending) {
      UpdateSteps();
    }
  }

  bool stepsPending = false;
};

}  // namespace tessaron
