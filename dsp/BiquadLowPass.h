#pragma once
// Second-order low-pass section (bilinear transform) at the inputs and outputs
// of the clocked delay lines, where it keeps the clock images out of the signal.

#include <cmath>

namespace tessaron {

class BiquadLowPass {
 public:
  static constexpr double kButterworthQ = 0.7071067811865476;

  // Stores fs and Q, sets the low-pass at omega = 2pi fc / fs and clears the state.
  void Setup(double sampleRate, double q, double w) {
    fs = sampleRate;
    Q = q;
    SetLowPass(w);
    Clear();
  }

  // Coefficients only; the owner clears the state when it needs to.
  void SetLowPass(double w);

  double Process(double x) {
    if (x != x) {
      x = 0.0;
    }
    double y = b0 * (x + x2) + b1 * x1 + c1 * y1 + c2 * y2;
    if (y != y) {
      y = 0.0;
    }
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return y;
  }

  void Clear() { x1 = x2 = y1 = y2 = 0.0; }
  bool IsSilent() const { return x1 == 0.0 && x2 == 0.0 && y1 == 0.0 && y2 == 0.0; }
  bool Below(double level) const {
    return std::fabs(x1) < level && std::fabs(x2) < level && std::fabs(y1) < level && std::fabs(y2) < level;
  }

  double omega = 0.0;  // 2pi fc / fs
  double Q = kButterworthQ;
  double fs = 44100.0;
  double c1 = 0.0;  // feedback coefficients with their signs folded in
  double c2 = 0.0;
  double b0 = 0.0;  // also b2
  double b1 = 0.0;
  double x1 = 0.0;
  double x2 = 0.0;
  double y1 = 0.0;
  double y2 = 0.0;
};

}  // namespace tessaron
