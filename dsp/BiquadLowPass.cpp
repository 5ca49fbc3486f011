#include "dsp/BiquadLowPass.h"

#include <cmath>
#include <numbers>

namespace tessaron {

namespace {
// At or beyond Nyquist the section's poles leave the unit circle (cutoffs of
// 4500 and 6000 Hz at a host rate under 12 kHz); keep the cutoff just below it.
constexpr double kMaxOmega = 0.9 * std::numbers::pi;
}  // namespace

void BiquadLowPass::SetLowPass(double w) {
  if (!(w <= kMaxOmega)) {
    w = kMaxOmega;
  }
  omega = w;
  const double cosW = std::cos(w);
  const double alpha = std::sin(w) / (2.0 * Q);
  const double g = 1.0 / (1.0 + alpha);
  c1 = 2.0 * cosW * g;
  c2 = (alpha - 1.0) * g;
  b1 = (1.0 - cosW) * g;
  b0 = b1 * 0.5;
}

}  // namespace tessaron
