#include "dsp/OnePole.h"

#include <cmath>
#include <numbers>

namespace tessaron {

void LP6::SetCutoff(double fc) {
  b = std::exp(-2.0 * std::numbers::pi * fc * T);
  a = 1.0 - b;
}

void HP6::SetCutoff(double fc) {
  // Above fs/2 the pole would leave the unit circle (a 340 Hz stage at a very
  // low host rate); hold it at 1 so the stage stays bounded.
  double x = 0.5 - fc * T;
  if (!(x >= 0.0)) {
    x = 0.0;
  }
  b = std::exp(-2.0 * std::numbers::pi * x);
  a = 1.0 - b;
}

}  // namespace tessaron
