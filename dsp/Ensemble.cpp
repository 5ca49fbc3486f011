#include "dsp/Ensemble.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tessaron {

namespace {
constexpr double kLineSeconds = 0.02;
constexpr double kFilterOmegaTimesFs = 28274.33388230814;  // 2pi x 4500 Hz
constexpr double kDepthScale = 0.25;
constexpr double kMinStep = 0.125;
// Deliberately not 2/3 and 4/3: the lines sit at these exact offsets.
constexpr double kLineOffset[Ensemble::kLines] = {0.0, 0.667, 1.333};

void Advance(Ensemble::Oscillator& o) {
  o.phase += o.increment;
  if (o.phase >= 1.0) {
    o.phase -= 2.0;
  }
}
}  // namespace

Ensemble::Ensemble() { SetSampleRate(44100.0); }

void Ensemble::SetSampleRate(double fs) {
  // A rate that is not a positive number keeps the last set-up.
  if (fs > 0.0 && std::isfinite(fs) && fs != rate) {
    rate = fs;
    length = static_cast<int>(fs * kLineSeconds);
    if (length < 0) {
      length = 0;
    }
    inFilter.Setup(fs, BiquadLowPass::kButterworthQ, kFilterOmegaTimesFs / fs);
    outFilterPair.Setup(fs, BiquadLowPass::kButterworthQ, kFilterOmegaTimesFs / fs);
    outFilterLast.Setup(fs, BiquadLowPass::kButterworthQ, kFilterOmegaTimesFs / fs);
    for (int n = 0; n < kLines; ++n) {
      buffer[n].assign(static_cast<size_t>(length), 0.0);
      clockPhase[n] = 0.0;
      step[n] = 1.0;
      invStep[n] = 1.0;
      writeIndex[n] = 0;
    }
  }
  Clear();
  Tick();
}

void Ensemble::Clear() {
  inFilter.Clear();
  inHist.Clear();
  for (int n = 0; n < kLines; ++n) {
    std::fill(buffer[n].begin(), buffer[n].end(), 0.0);
  }
  outFilterPair.Clear(0);
  outFilterPair.Clear(1);
  outHistPair.Clear(0);
  outHistPair.Clear(1);
  outFilterLast.Clear();
  outHistLast.Clear();
}

void Ensemble::SetSpeed(int osc, double v) {
  Oscillator& o = osc == 0 ? osc1 : osc2;
  o.speed = v;
  o.increment = 2.0 * v / o.clock;
}

void Ensemble::SetDepth(int osc, double v) {
  SettlePendingSteps();  // a pending step belongs to the depth it was ticked with
  (osc == 0 ? depth1 : depth2) = v * kDepthScale;
}

void Ensemble::Tick() {
  TickDeferred();
  UpdateSteps();
}

void Ensemble::TickDeferred() {
  Advance(osc1);
  Advance(osc2);
  stepsPending = true;
}

void Ensemble::UpdateSteps() {
  stepsPending = false;
  for (int n = 0; n < kLines; ++n) {
    const double h = centre[n] - (std::sin(std::numbers::pi * (kLineOffset[n] + osc1.phase)) + 0.5) * depth1 -
                     (std::sin(std::numbers::pi * (kLineOffset[n] + osc2.phase)) + 0.5) * depth2;
    // Written so that a NaN lands on the shortest step: the clock loop must always end.
    const double c = h > 0.0 ? (h < 1.0 ? h : 1.0) : 0.0;
    step[n] = c * (1.0 - kMinStep) + kMinStep;
    invStep[n] = 1.0 / step[n];
  }
}

// One line's clock loop state for the ticks a sample owes. Lines 0 and 1 keep
// their output filters and histories as the lanes of a pair, line 2 its own.
struct Ensemble::LineRun {
  LineRun(Ensemble& e, int line)
      : n(line), cells(e.buffer[line].data()), wi(e.writeIndex[line]), cp(e.clockPhase[line]), s(e.step[line]) {}

  // One line tick; call while cp < 1.
  [[gnu::always_inline]] void Tick(Ensemble& e, const CatmullRomCurve& input) {
    if (--wi < 0) {
      wi = e.length - 1;
    }
    const double w = input.At(cp);
    if (n < 2) {
      e.outHistPair.Push(n, e.outFilterPair.Process(n, cells[wi]));
    } else {
      e.outHistLast.Push(e.outFilterLast.Process(cells[wi]));
    }
    cells[wi] = w;
    cp += s;
  }

  // Stores the loop state, the phase taken past the sample.
  void Store(Ensemble& e) {
    cp -= 1.0;
    e.writeIndex[n] = wi;
    e.clockPhase[n] = cp;
  }

  const int n;
  double* const cells;
  int wi;
  double cp;
  const double s;
};

double Ensemble::Process(double x) {
  if (length <= 0) {
    return 0.0;
  }
  SettlePendingSteps();
  inHist.Push(inFilter.Process(x));
  const CatmullRomCurve input = inHist.Curve();
  static_assert(kLines == 3);
  // The lines are independent: ticking them in step lets the processor
  // overlap their filter recursions, and changes no result.
  LineRun a(*this, 0), b(*this, 1), c(*this, 2);
#if defined(__SSE2__)
  // Lines 0 and 1 as the two lanes of SSE2 registers: each lane does the very
  // operations of LineRun::Tick in the same order, so the results are the same
  // to the bit.
  if (a.cp < 1.0 && b.cp < 1.0 && c.cp < 1.0) {
    const __m128d c0 = _mm_set1_pd(input.c0), c1 = _mm_set1_pd(input.c1);
    const __m128d c2 = _mm_set1_pd(input.c2), c3 = _mm_set1_pd(input.c3);
    BiquadLanes out(outFilterPair);
    __m128d h0 = _mm_loadu_pd(outHistPair.v[0]), h1 = _mm_loadu_pd(outHistPair.v[1]);
    __m128d h2 = _mm_loadu_pd(outHistPair.v[2]), h3 = _mm_loadu_pd(outHistPair.v[3]);
    __m128d cp = _mm_set_pd(b.cp, a.cp);
    const __m128d s = _mm_set_pd(b.s, a.s);
    const __m128d one = _mm_set1_pd(1.0);
    const int len = length;
    do {
      if (--a.wi < 0) a.wi = len - 1;
      if (--b.wi < 0) b.wi = len - 1;
      // input.At(cp): c0 + c1 t + c2 t t + c3 t t t, left to right.
      const __m128d w = _mm_add_pd(_mm_add_pd(_mm_add_pd(c0, _mm_mul_pd(c1, cp)), _mm_mul_pd(_mm_mul_pd(c2, cp), cp)),
                                   _mm_mul_pd(_mm_mul_pd(_mm_mul_pd(c3, cp), cp), cp));
      const __m128d o = out.Process(_mm_loadh_pd(_mm_load_sd(a.cells + a.wi), b.cells + b.wi));
      h0 = h1;
      h1 = h2;
      h2 = h3;
      h3 = o;
      _mm_storel_pd(a.cells + a.wi, w);
      _mm_storeh_pd(b.cells + b.wi, w);
      cp = _mm_add_pd(cp, s);
      c.Tick(*this, input);
    } while (_mm_movemask_pd(_mm_cmplt_pd(cp, one)) == 3 && c.cp < 1.0);
    a.cp = _mm_cvtsd_f64(cp);
    b.cp = _mm_cvtsd_f64(_mm_unpackhi_pd(cp, cp));
    out.Store(outFilterPair);
    _mm_storeu_pd(outHistPair.v[0], h0);
    _mm_storeu_pd(outHistPair.v[1], h1);
    _mm_storeu_pd(outHistPair.v[2], h2);
    _mm_storeu_pd(outHistPair.v[3], h3);
  }
#else
  while (a.cp < 1.0 && b.cp < 1.0 && c.cp < 1.0) {
    a.Tick(*this, input);
    b.Tick(*this, input);
    c.Tick(*this, input);
  }
#endif
  while (a.cp < 1.0) {
    a.Tick(*this, input);
  }
  while (b.cp < 1.0) {
    b.Tick(*this, input);
  }
  while (c.cp < 1.0) {
    c.Tick(*this, input);
  }
  a.Store(*this);
  b.Store(*this);
  c.Store(*this);
  double y = 0.0;  // 0 + (-0) is +0: the sum keeps its sign of zero
#if defined(__SSE2__)
  const __m128d tau = _mm_sub_pd(_mm_set1_pd(1.0), _mm_mul_pd(_mm_set_pd(b.cp, a.cp), _mm_loadu_pd(invStep)));
  const __m128d ab = CatmullRomLanes(outHistPair).At(tau);
  y += _mm_cvtsd_f64(ab);
  y += _mm_cvtsd_f64(_mm_unpackhi_pd(ab, ab));
#else
  y += outHistPair.At(0, 1.0 - a.cp * invStep[0]);
  y += outHistPair.At(1, 1.0 - b.cp * invStep[1]);
#endif
  y += outHistLast.At(1.0 - c.cp * invStep[2]);
  return y;
}

}  // namespace tessaron
