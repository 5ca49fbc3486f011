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
  ClearState();
  for (int ch = 0; ch < 2; ++ch) {
    d[ch] = 0.0;
    d4[ch] = 0.0;
    solve[ch] = 0.0;
    mix[ch] = 0.5;
  }
  sweepMin = 0.02;
  feedback = 0.0;
  speed = 0.19;
  increment = 0.38 / clock;
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
  const double g = feedback * kLoopGainScale;
  const double p = dd * dd * dd * dd;
  const double sv = 1.0 / (g * p + 1.0);
  for (int ch = 0; ch < 2; ++ch) {
    d[ch] = dd;
    d4[ch] = p;
    loopGain[ch] = g;
    solve[ch] = sv;
  }
}

double Phaser::ProcessChannel(int ch, double x) {
  double s[kStages];
  for (int k = 0; k < kStages; ++k) {
    s[k] = state[k][ch];
    if (s[k] != s[k]) {
      s[k] = 0.0;
    } else {
      s[k] += dither[ch];
    }
  }
  const double dd = d[ch];
  const double sum = ((s[0] * dd + s[1]) * dd + s[2]) * dd + s[3];
  if (x != x) {
    x = 0.0;
  } else {
    x += dither[ch];
  }
  dither[ch] = -dither[ch];

  const double z = (x * d4[ch] + sum) * solve[ch];
  const double u = x - z * loopGain[ch];
  const double y1 = dd * u + s[0];
  state[0][ch] = u - dd * y1;
  const double y2 = dd * y1 + s[1];
  state[1][ch] = y1 - dd * y2;
  const double y3 = dd * y2 + s[2];
  state[2][ch] = y2 - dd * y3;
  const double y4 = dd * y3 + s[3];
  state[3][ch] = y3 - dd * y4;
  return x + mix[ch] * (z - x);
}

void Phaser::Process(double& left, double& right) { Process(&left, &right, 1); }

void Phaser::Process(double* left, double* right, int n) {
#if defined(__SSE2__)
  // Both channels side by side, lane 0 left and lane 1 right: each lane does
  // ProcessChannel's operations in its order, so the results are bit for bit
  // the same at half the instructions. The state stays in registers for the run.
  __m128d dith = _mm_loadu_pd(dither);
  __m128d t0 = _mm_loadu_pd(state[0]), t1 = _mm_loadu_pd(state[1]), t2 = _mm_loadu_pd(state[2]),
          t3 = _mm_loadu_pd(state[3]);
  const __m128d dd = _mm_loadu_pd(d), p4 = _mm_loadu_pd(d4), sv = _mm_loadu_pd(solve), g = _mm_loadu_pd(loopGain),
                m = _mm_loadu_pd(mix);
  for (int k = 0; k < n; ++k) {
    // A NaN restarts at 0; any other value takes the dither.
    auto restart = [&](__m128d v) { return _mm_and_pd(_mm_cmpord_pd(v, v), _mm_add_pd(v, dith)); };
    const __m128d s0 = restart(t0), s1 = restart(t1), s2 = restart(t2), s3 = restart(t3);
    const __m128d sum =
        _mm_add_pd(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(s0, dd), s1), dd), s2), dd), s3);
    const __m128d x = restart(_mm_loadh_pd(_mm_load_sd(left + k), right + k));
    dith = _mm_xor_pd(dith, _mm_set1_pd(-0.0));

    const __m128d z = _mm_mul_pd(_mm_add_pd(_mm_mul_pd(x, p4), sum), sv);
    const __m128d u = _mm_sub_pd(x, _mm_mul_pd(z, g));
    const __m128d y1 = _mm_add_pd(_mm_mul_pd(dd, u), s0);
    t0 = _mm_sub_pd(u, _mm_mul_pd(dd, y1));
    const __m128d y2 = _mm_add_pd(_mm_mul_pd(dd, y1), s1);
    t1 = _mm_sub_pd(y1, _mm_mul_pd(dd, y2));
    const __m128d y3 = _mm_add_pd(_mm_mul_pd(dd, y2), s2);
    t2 = _mm_sub_pd(y2, _mm_mul_pd(dd, y3));
    const __m128d y4 = _mm_add_pd(_mm_mul_pd(dd, y3), s3);
    t3 = _mm_sub_pd(y3, _mm_mul_pd(dd, y4));
    const __m128d out = _mm_add_pd(x, _mm_mul_pd(m, _mm_sub_pd(z, x)));
    _mm_storel_pd(left + k, out);
    _mm_storeh_pd(right + k, out);
  }
  _mm_storeu_pd(dither, dith);
  _mm_storeu_pd(state[0], t0);
  _mm_storeu_pd(state[1], t1);
  _mm_storeu_pd(state[2], t2);
  _mm_storeu_pd(state[3], t3);
#else
  for (int k = 0; k < n; ++k) {
    left[k] = ProcessChannel(0, left[k]);
    right[k] = ProcessChannel(1, right[k]);
  }
#endif
}

bool Phaser::QuietBelow(double level) const {
  // Four stages, each at most unity gain, and a feedback loop that at most doubles them.
  const double stage = level / 8.0;
  for (const auto& lanes : state) {
    for (double s : lanes) {
      if (!(std::fabs(s) < stage)) {
        return false;
      }
    }
  }
  return true;
}

void Phaser::ClearState() {
  for (auto& lanes : state) {
    for (double& s : lanes) {
      s = 0.0;
    }
  }
}

}  // namespace tessaron
