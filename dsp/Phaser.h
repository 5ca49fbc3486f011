#pragma once
// Stereo phaser: four first-order all-pass stages per channel with feedback from
// the cascade output to its input, solved in the same sample (no unit delay in
// the loop). A triangle swept at the control rate moves all stages together.
// All members are touched by the audio thread, or under the instrument's lock.

namespace tessaron {

class Phaser {
 public:
  static constexpr int kStages = 4;

  Phaser();

  void SetSampleRate(double fs);
  void SetSpeed(double v);
  void SetFeedback(double v) { feedback = v; }

  void Tick();  // once per control tick
  void Process(double& left, double& right);
  // n samples in place, exactly as n calls of Process make them.
  void Process(double* left, double* right, int n);
  // Fed silence, every stage so far below level that the phaser's whole remaining
  // answer stays below it.
  bool QuietBelow(double level) const;
  void ClearState();

  // Read-outs for tests; the sweep position may be set to check the stages at a point.
  double Phase() const { return phase; }
  void SetPhase(double p) { phase = p; }
  double Increment() const { return increment; }
  double OmegaMax() const { return omegaMax; }
  double Coefficient(int /*stage*/) const { return d[0]; }
  double CoefficientProduct() const { return d4[0]; }
  double LoopGain() const { return loopGain[0]; }
  double Solve() const { return solve[0]; }
  double State(int ch, int stage) const { return state[stage][ch]; }
  void SetState(int ch, int stage, double v) { state[stage][ch] = v; }

 private:
  double clock = 1000.0;  // sweep ticks per second
  double speed = 0.0;     // Hz
  double phase = 0.0;     // in [-1, 1)
  double increment = 0.0;
  double sweepMin = 0.02;
  double feedback = 0.0;
  double sweepRange = 0.22;
  double omegaMax = 0.0;
  // What the sweep sets for the audio, each value twice, for the left and the
  // right channel: Process loads them as the lanes of SSE2 registers.
  // Every stage has the same coefficient d.
  double d[2] = {0.0, 0.0};
  double d4[2] = {0.0, 0.0};  // product of the stage coefficients
  double loopGain[2] = {0.0, 0.0};
  double solve[2] = {0.0, 0.0};
  double mix[2] = {0.5, 0.5};  // share of the phased signal
  double state[kStages][2] = {{0.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}};  // [stage][channel]
  double dither[2] = {1e-13, 1e-13};

  double ProcessChannel(int ch, double x);
};

}  // namespace tessaron
