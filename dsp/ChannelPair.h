#pragma once
// The stereo delay's filter and history states, left and right side by side, so
// that both channels can run as the two lanes of an SSE2 register. A lane
// computes exactly what BiquadLowPass and History4 compute, operation for
// operation; one channel alone is served by the scalar functions.

#include <cmath>

#include "dsp/BiquadLowPass.h"
#include "dsp/CubicInterpolation.h"

#if defined(__SSE2__)
#include <emmintrin.h>

#include "dsp/LaneConstants.h"
#endif

namespace tessaron {

// Two low-pass sections with the same coefficients, stored once per lane so
// that a register loads them in one go.
struct BiquadLowPassPair {
  void Setup(double sampleRate, double q, double w) {
    BiquadLowPass f;
    f.Setup(sampleRate, q, w);
    omega = f.omega;
    for (int ch = 0; ch < 2; ++ch) {
      b0[ch] = f.b0;
      b1[ch] = f.b1;
      c1[ch] = f.c1;
      c2[ch] = f.c2;
    }
    Clear(0);
    Clear(1);
  }

  double Process(int ch, double x) {
    if (x != x) {
      x = 0.0;
    }
    double y = b0[ch] * (x + x2[ch]) + b1[ch] * x1[ch] + c1[ch] * y1[ch] + c2[ch] * y2[ch];
    if (y != y) {
      y = 0.0;
    }
    x2[ch] = x1[ch];
    x1[ch] = x;
    y2[ch] = y1[ch];
    y1[ch] = y;
    return y;
  }

  void Clear(int ch) { x1[ch] = x2[ch] = y1[ch] = y2[ch] = 0.0; }
  bool IsSilent(int ch) const { return x1[ch] == 0.0 && x2[ch] == 0.0 && y1[ch] == 0.0 && y2[ch] == 0.0; }
  bool Below(int ch, double level) const {
    return std::fabs(x1[ch]) < level && std::fabs(x2[ch]) < level && std::fabs(y1[ch]) < level &&
           std::fabs(y2[ch]) < level;
  }

  double omega = 0.0;
  double b0[2] = {0.0, 0.0};  // also b2
  double b1[2] = {0.0, 0.0};
  double c1[2] = {0.0, 0.0};
  double c2[2] = {0.0, 0.0};
  double x1[2] = {0.0, 0.0};
  double x2[2] = {0.0, 0.0};
  double y1[2] = {0.0, 0.0};
  double y2[2] = {0.0, 0.0};
};

// Two four-sample histories, oldest first.
struct History4Pair {
  double v[4][2] = {{0.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}};

  void Push(int ch, double x) {
    v[0][ch] = v[1][ch];
    v[1][ch] = v[2][ch];
    v[2][ch] = v[3][ch];
    v[3][ch] = x;
  }
  CatmullRomCurve Curve(int ch) const { return CatmullRomCurve(v[0][ch], v[1][ch], v[2][ch], v[3][ch]); }
  double At(int ch, double t) const { return Curve(ch).At(t); }
  bool IsZero(int ch) const { return v[0][ch] == 0.0 && v[1][ch] == 0.0 && v[2][ch] == 0.0 && v[3][ch] == 0.0; }
  bool Below(int ch, double level) const {
    return std::fabs(v[0][ch]) < level && std::fabs(v[1][ch]) < level && std::fabs(v[2][ch]) < level &&
           std::fabs(v[3][ch]) < level;
  }
  void Clear(int ch) { v[0][ch] = v[1][ch] = v[2][ch] = v[3][ch] = 0.0; }
};

#if defined(__SSE2__)
// Both lanes of a BiquadLowPassPair, held in registers while a loop runs.
struct BiquadLanes {
  explicit BiquadLanes(const BiquadLowPassPair& f)
      : b0(_mm_loadu_pd(f.b0)),
        b1(_mm_loadu_pd(f.b1)),
        c1(_mm_loadu_pd(f.c1)),
        c2(_mm_loadu_pd(f.c2)),
        x1(_mm_loadu_pd(f.x1)),
        x2(_mm_loadu_pd(f.x2)),
        y1(_mm_loadu_pd(f.y1)),
        y2(_mm_loadu_pd(f.y2)) {}

  __m128d Process(__m128d x) {
    x = _mm_andnot_pd(_mm_cmpunord_pd(x, x), x);  // a NaN enters as 0
    __m128d y = _mm_add_pd(
        _mm_add_pd(_mm_add_pd(_mm_mul_pd(b0, _mm_add_pd(x, x2)), _mm_mul_pd(b1, x1)), _mm_mul_pd(c1, y1)),
        _mm_mul_pd(c2, y2));
    y = _mm_andnot_pd(_mm_cmpunord_pd(y, y), y);
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return y;
  }

  void Store(BiquadLowPassPair& f) const {
    _mm_storeu_pd(f.x1, x1);
    _mm_storeu_pd(f.x2, x2);
    _mm_storeu_pd(f.y1, y1);
    _mm_storeu_pd(f.y2, y2);
  }

  const __m128d b0, b1, c1, c2;
  __m128d x1, x2, y1, y2;
};

// CatmullRomCurve for two lanes (the delay's two channels, or two ensemble lines).
struct CatmullRomLanes {
  explicit CatmullRomLanes(const History4Pair& h)
      : CatmullRomLanes(_mm_loadu_pd(h.v[0]), _mm_loadu_pd(h.v[1]), _mm_loadu_pd(h.v[2]), _mm_loadu_pd(h.v[3])) {}
  // From a history already in registers, oldest first.
  CatmullRomLanes(__m128d p0, __m128d p1, __m128d p2, __m128d p3) {
    const Constants* const k = HiddenFromOptimiser(&kConstants);
    const __m128d half = _mm_load_pd(k->half);
    c0 = p1;
    c1 = _mm_mul_pd(half, _mm_sub_pd(p2, p0));
    c2 = _mm_sub_pd(_mm_add_pd(_mm_sub_pd(p0, _mm_mul_pd(_mm_load_pd(k->twoAndHalf), p1)),
                               _mm_mul_pd(_mm_load_pd(k->two), p2)),
                    _mm_mul_pd(half, p3));
    c3 = _mm_add_pd(_mm_mul_pd(half, _mm_sub_pd(p3, p0)), _mm_mul_pd(_mm_load_pd(k->oneAndHalf), _mm_sub_pd(p1, p2)));
  }
  // c0 + c1 t + c2 t t + c3 t t t, left to right.
  [[gnu::always_inline]] __m128d At(__m128d t) const {
    return _mm_add_pd(_mm_add_pd(_mm_add_pd(c0, _mm_mul_pd(c1, t)), _mm_mul_pd(_mm_mul_pd(c2, t), t)),
                      _mm_mul_pd(_mm_mul_pd(_mm_mul_pd(c3, t), t), t));
  }

  __m128d c0, c1, c2, c3;

 private:
  struct Constants {
    alignas(16) double half[2];
    alignas(16) double twoAndHalf[2];
    alignas(16) double two[2];
    alignas(16) double oneAndHalf[2];
  };
  alignas(16) static constexpr Constants kConstants = {{0.5, 0.5}, {2.5, 2.5}, {2.0, 2.0}, {1.5, 1.5}};
};

inline void PushLanes(History4Pair& h, __m128d x) {
  _mm_storeu_pd(h.v[0], _mm_loadu_pd(h.v[1]));
  _mm_storeu_pd(h.v[1], _mm_loadu_pd(h.v[2]));
  _mm_storeu_pd(h.v[2], _mm_loadu_pd(h.v[3]));
  _mm_storeu_pd(h.v[3], x);
}
#endif

}  // namespace tessaron
