#include "dsp/Phaser.h"

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessaron {

namespace {
constexpr double kOmegaMaxTimesFs = 75398.22368615503;  // 2pi x 12000 Hz
constexpr double kLoopGainScale = 0.999;                // keeps the loop below unity at |feedback| = 1
}  // namespace

Phaser::Phaser() { omegaMax = kOmegaMaxTimesFs / 44100.0; }

void Phaser::SetSampleRate(double fs) {
  // A rate that is not a positive number keeps the last sweep range.
  if (fs > 0.0 && std::isfinite(fs)) {
    omegaMax = kOmegaMaxTimesFs / fs;
  }
  for (auto& channel : state) {
    for (double& s : channel) {
      s = 0.0;
    }
  }
  for (double& c : d) {
    c = 0.0;
  }
  d4 = 0.0;
  solve = 0.0;
  sweepMin = 0.02;
  feedback = 0.0;
  speed = 0.19;
  increment = 0.38 / clock;
  mix = 0.5;
  sweepRange = 0.22;
}

void Phaser::SetSpeed(double v) {
  speed = v;
  increment = 2.0 * v / clock;
}

void Phaser::Tick() {
  phase += increment;
  if (phase >= 1.0) {
    phase -= 2.0;
  }
  const double u = phase < 0.0 ? -2.0 * phase : 2.0 * phase;
  const double c = sweepMin + sweepRange * u * u;
  double w;
  if (c < 0.0) {
    w = 0.0;
  } else if (c >= 1.0) {
    w = omegaMax;
  } else {
    w = c * omegaMax;
  }
  const double dd = (w - 2.0) / (w + 2.0);
  for (double& coefficient : d) {
    coefficient = dd;
  }
  d4 = dd * dd * dd * dd;
  loopGain = feedback * kLoopGainScale;
  solve = 1.0 / (loopGain * d4 + 1.0);
}

double Phaser::ProcessChannel(int ch, double x) {
  double* s = state[ch];
  for (int k = 0; k < kStages; ++k) {
    if (s[k] != s[k]) {
      s[k] = 0.0;
    } else {
      s[k] += dither[ch];
    }
  }
  const double sum = ((s[0] * d[1] + s[1]) * d[2] + s[2]) * d[3] + s[3];
  if (x != x) {
    x = 0.0;
  } else {
    x += dither[ch];
  }
  dither[ch] = -dither[ch];

  const double z = (x * d4 + sum) * solve;
  const double u = x - z * loopGain;
  const double y1 = d[0] * u + s[0];
  s[0] = u - d[0] * y1;
  const double y2 = d[1] * y1 + s[1];
  s[1] = y1 - d[1] * y2;
  const double y3 = d[2] * y2 + s[2];
  s[2] = y2 - d[2] * y3;
  const double y4 = d[3] * y3 + s[3];
  s[3] = y3 - d[3] * y4;
  return x + mix * (z - x);
}

void Phaser::Process(double& left, double& right) {
#if defined(__SSE2__)
  // Both channels side by side, lane 0 left and lane 1 right: each lane does
  // ProcessChannel's operations in its order, so the results are bit for bit
  // the same at half the instructions.
  const __m128d dith = _mm_set_pd(dither[1], dither[0]);
  dither[0] = -dither[0];
  dither[1] = -dither[1];
  // A NaN state restarts at 0; the others take the dither.
  auto restart = [&](double l, double r) {
    const __m128d v = _mm_set_pd(r, l);
    return _mm_and_pd(_mm_cmpord_pd(v, v), _mm_add_pd(v, dith));
  };
  __m128d s0 = restart(state[0][0], state[1][0]);
  __m128d s1 = restart(state[0][1], state[1][1]);
  __m128d s2 = restart(state[0][2], state[1][2]);
  __m128d s3 = restart(state[0][3], state[1][3]);
  const __m128d d0 = _mm_set1_pd(d[0]);
  const __m128d d1 = _mm_set1_pd(d[1]);
  const __m128d d2 = _mm_set1_pd(d[2]);
  const __m128d d3 = _mm_set1_pd(d[3]);
  const __m128d sum =
      _mm_add_pd(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(s0, d1), s1), d2), s2), d3), s3);
  const __m128d x = restart(left, right);

  const __m128d z = _mm_mul_pd(_mm_add_pd(_mm_mul_pd(x, _mm_set1_pd(d4)), sum), _mm_set1_pd(solve));
  const __m128d u = _mm_sub_pd(x, _mm_mul_pd(z, _mm_set1_pd(loopGain)));
  const __m128d y1 = _mm_add_pd(_mm_mul_pd(d0, u), s0);
  s0 = _mm_sub_pd(u, _mm_mul_pd(d0, y1));
  const __m128d y2 = _mm_add_pd(_mm_mul_pd(d1, y1), s1);
  s1 = _mm_sub_pd(y1, _mm_mul_pd(d1, y2));
  const __m128d y3 = _mm_add_pd(_mm_mul_pd(d2, y2), s2);
  s2 = _mm_sub_pd(y2, _mm_mul_pd(d2, y3));
  const __m128d y4 = _mm_add_pd(_mm_mul_pd(d3, y3), s3);
  s3 = _mm_sub_pd(y3, _mm_mul_pd(d3, y4));
  const __m128d out = _mm_add_pd(x, _mm_mul_pd(_mm_set1_pd(mix), _mm_sub_pd(z, x)));

  _mm_storel_pd(&state[0][0], s0);
  _mm_storeh_pd(&state[1][0], s0);
  _mm_storel_pd(&state[0][1], s1);
  _mm_storeh_pd(&state[1][1], s1);
  _mm_storel_pd(&state[0][2], s2);
  _mm_storeh_pd(&state[1][2], s2);
  _mm_storel_pd(&state[0][3], s3);
  _mm_storeh_pd(&state[1][3], s3);
  _mm_storel_pd(&left, out);
  _mm_storeh_pd(&right, out);
#else
  left = ProcessChannel(0, left);
  right = ProcessChannel(1, right);
#endif
}

bool Phaser::QuietBelow(double level) const {
  // Four stages, each at most unity gain, and a feedback loop that at most doubles them.
  const double stage = level / 8.0;
  for (const auto& channel : state) {
    for (double s : channel) {
      if (!(std::fabs(s) < stage)) {
        return false;
      }
    }
  }
  return true;
}

void Phaser::ClearState() {
  for (auto& channel : state) {
    for (double& s : channel) {
      s = 0.0;
    }
  }
}

}  // namespace tessaron
