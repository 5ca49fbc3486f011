#pragma once
// The Organ section's four footage low-passes (16' to 2'), each a one-pole LP6,
// stored field by field so that two footages run as the two lanes of a register.
// Every lane computes what LP6::Process computes, operation for operation.
//
// Threading: Setup runs in the reset, Mix in the render loop; both under the
// instrument's lock.
#include <array>

#include "dsp/OnePole.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessaron {

struct OrganFilters {
  double a[4] = {};
  double b[4] = {};
  double y[4] = {};

  // Coefficients for sample rate fs and the four cutoffs; clears the states.
  void Setup(double fs, const double (&cutoffs)[4]) {
    for (int j = 0; j < 4; ++j) {
      LP6 f;
      f.SetSampleRate(fs);
      f.SetCutoff(cutoffs[j]);
      a[j] = f.a;
      b[j] = f.b;
      y[j] = 0.0;
    }
  }

  // Filters the four footage sums x and adds them up, each times its level, in
  // footage order from 0.0.
  double Mix(const double (&x)[4], const std::array<double, 4>& level) {
    double p[4];
#if defined(__SSE2__)
    for (int j = 0; j < 4; j += 2) {
      __m128d v = _mm_add_pd(_mm_mul_pd(_mm_loadu_pd(a + j), _mm_loadu_pd(x + j)),
                             _mm_mul_pd(_mm_loadu_pd(b + j), _mm_loadu_pd(y + j)));
      v = _mm_and_pd(v, _mm_cmpeq_pd(v, v));  // a NaN state becomes 0.0, as in OnePole
      _mm_storeu_pd(y + j, v);
      _mm_storeu_pd(p + j, _mm_mul_pd(v, _mm_loadu_pd(level.data() + j)));
    }
#else
    for (int j = 0; j < 4; ++j) {
      double v = a[j] * x[j] + b[j] * y[j];
      if (v != v) v = 0.0;
      y[j] = v;
      p[j] = v * level[j];
    }
#endif
    double sum = 0.0;
    for (double v : p) sum += v;
    return sum;
  }
};

}  // namespace tessaron
