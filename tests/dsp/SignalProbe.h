#pragma once
// Measuring helpers for the dsp tests: steady-state gain of a tone and simple
// sources, so the tests assert what a listener would hear.
#include <cmath>
#include <cstdint>
#include <numbers>

namespace tessaron::test {

// Steady-state amplitude ratio of process() for a sine at f Hz.
template <typename Process>
double ToneGain(Process&& process, double f, double fs, int settle = 8192, int measure = 16384) {
  const double w = 2.0 * std::numbers::pi * f / fs;
  double inPower = 0.0;
  double outPower = 0.0;
  for (int n = 0; n < settle + measure; ++n) {
    const double x = std::sin(w * n);
    const double y = process(x);
    if (n >= settle) {
      inPower += x * x;
      outPower += y * y;
    }
  }
  return std::sqrt(outPower / inPower);
}

// Deterministic white noise in [-1, 1).
class Noise {
 public:
  double Next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) * (2.0 / 9007199254740992.0) - 1.0;
  }

 private:
  uint64_t state = 0x853c49e6748fea9bULL;
};

}  // namespace tessaron::test
