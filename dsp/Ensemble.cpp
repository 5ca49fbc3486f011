#include "dsp/Ensemble.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
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

#if defined(__SSE2__)
namespace {

// A NaN becomes 0, in each lane.
[[gnu::always_inline]] inline __m128d Flush(__m128d v) { return _mm_andnot_pd(_mm_cmpunord_pd(v, v), v); }

// Lines 0 and 1 as the two lanes of SSE2 registers, held there for all the
// ticks of one sample. Each lane does LineRun::Tick's operations in its order,
// so the results are the same to the bit. The last two outputs are the
// filter's y1 and y2; y3 and y4 are the older half of the history.
struct PairRun {
  PairRun(const BiquadLowPassPair& f, const History4Pair& h)
      : b0(_mm_loadu_pd(f.b0)),
        b1(_mm_loadu_pd(f.b1)),
        c1(_mm_loadu_pd(f.c1)),
        c2(_mm_loadu_pd(f.c2)),
        x1(_mm_loadu_pd(f.x1)),
        x2(_mm_loadu_pd(f.x2)),
        y1(_mm_loadu_pd(f.y1)),
        y2(_mm_loadu_pd(f.y2)),
        y3(_mm_loadu_pd(h.v[1])),
        y4(_mm_loadu_pd(h.v[0])) {}

  // kLanes: 3 both lanes, 1 only the first, 2 only the second. A lane that
  // does not tick computes along on its own state and keeps the old values.
  template <int kLanes>
  [[gnu::always_inline]] void Tick(__m128d x) {
    x = Flush(x);
    const __m128d y = Flush(_mm_add_pd(
        _mm_add_pd(_mm_add_pd(_mm_mul_pd(b0, _mm_add_pd(x, x2)), _mm_mul_pd(b1, x1)), _mm_mul_pd(c1, y1)),
        _mm_mul_pd(c2, y2)));
    if constexpr (kLanes == 3) {
      y4 = y3;
      y3 = y2;
      y2 = y1;
      y1 = y;
      x2 = x1;
      x1 = x;
    } else if constexpr (kLanes == 1) {
      y4 = _mm_move_sd(y4, y3);
      y3 = _mm_move_sd(y3, y2);
      y2 = _mm_move_sd(y2, y1);
      y1 = _mm_move_sd(y1, y);
      x2 = _mm_move_sd(x2, x1);
      x1 = _mm_move_sd(x1, x);
    } else {
      y4 = _mm_move_sd(y3, y4);
      y3 = _mm_move_sd(y2, y3);
      y2 = _mm_move_sd(y1, y2);
      y1 = _mm_move_sd(y, y1);
      x2 = _mm_move_sd(x1, x2);
      x1 = _mm_move_sd(x, x1);
    }
  }

  void Store(BiquadLowPassPair& f, History4Pair& h) const {
    _mm_storeu_pd(f.x1, x1);
    _mm_storeu_pd(f.x2, x2);
    _mm_storeu_pd(f.y1, y1);
    _mm_storeu_pd(f.y2, y2);
    _mm_storeu_pd(h.v[0], y4);
    _mm_storeu_pd(h.v[1], y3);
    _mm_storeu_pd(h.v[2], y2);
    _mm_storeu_pd(h.v[3], y1);
  }

  const __m128d b0, b1, c1, c2;
  __m128d x1, x2, y1, y2, y3, y4;
};

}  // namespace
#endif

double Ensemble::Process(double x) {
  if (length <= 0) {
    return 0.0;
  }
  SettlePendingSteps();
  inHist.Push(inFilter.Process(x));
  const CatmullRomCurve input = inHist.Curve();
  static_assert(kLines == 3);
#if defined(__SSE2__)
  // A line's phase is below 1 when a sample starts (its step is at most 1),
  // so every line ticks at least once.
  const std::ptrdiff_t last = length - 1;
  const __m128d c0 = _mm_set1_pd(input.c0), c1 = _mm_set1_pd(input.c1);
  const __m128d c2 = _mm_set1_pd(input.c2), c3 = _mm_set1_pd(input.c3);
  const __m128d one = _mm_set1_pd(1.0);
  // input.At(t): c0 + c1 t + c2 t t + c3 t t t, left to right.
  auto at = [&](__m128d t) {
    return _mm_add_pd(_mm_add_pd(_mm_add_pd(c0, _mm_mul_pd(c1, t)), _mm_mul_pd(_mm_mul_pd(c2, t), t)),
                      _mm_mul_pd(_mm_mul_pd(_mm_mul_pd(c3, t), t), t));
  };
  double y = 0.0;  // 0 + (-0) is +0: the sum keeps its sign of zero
  __m128d coef[4];
  {
    const __m128d s = _mm_loadu_pd(step);
    __m128d cp = _mm_loadu_pd(clockPhase);
    PairRun run(outFilterPair, outHistPair);
    double* const cellsA = buffer[0].data();
    double* const cellsB = buffer[1].data();
    std::ptrdiff_t wa = writeIndex[0];
    std::ptrdiff_t wb = writeIndex[1];
    int lanes = 3;
    do {
      if (lanes == 3) {
        if (--wa < 0) wa = last;
        if (--wb < 0) wb = last;
        const __m128d w = at(cp);
        run.Tick<3>(_mm_loadh_pd(_mm_load_sd(cellsA + wa), cellsB + wb));
        _mm_storel_pd(cellsA + wa, w);
        _mm_storeh_pd(cellsB + wb, w);
        cp = _mm_add_pd(cp, s);
      } else if (lanes == 1) {
        if (--wa < 0) wa = last;
        const __m128d w = at(cp);
        run.Tick<1>(_mm_load_sd(cellsA + wa));
        _mm_storel_pd(cellsA + wa, w);
        cp = _mm_add_sd(cp, s);
      } else {
        if (--wb < 0) wb = last;
        const __m128d w = at(cp);
        run.Tick<2>(_mm_loadh_pd(one, cellsB + wb));
        _mm_storeh_pd(cellsB + wb, w);
        cp = _mm_move_sd(_mm_add_pd(cp, s), cp);
      }
      lanes = _mm_movemask_pd(_mm_cmplt_pd(cp, one));
    } while (lanes != 0);
    cp = _mm_sub_pd(cp, one);
    writeIndex[0] = static_cast<int>(wa);
    writeIndex[1] = static_cast<int>(wb);
    _mm_storeu_pd(clockPhase, cp);
    run.Store(outFilterPair, outHistPair);
    const __m128d tau = _mm_sub_pd(one, _mm_mul_pd(cp, _mm_loadu_pd(invStep)));
    const __m128d ab = CatmullRomLanes(outHistPair).At(tau);
    y += _mm_cvtsd_f64(ab);
    y += _mm_cvtsd_f64(_mm_unpackhi_pd(ab, ab));
    coef[0] = run.b0;
    coef[1] = run.b1;
    coef[2] = run.c1;
    coef[3] = run.c2;
  }
  {
    // Line 2 alone, in the first lanes; every output filter has the same
    // coefficients.
    double* const cells = buffer[2].data();
    std::ptrdiff_t wi = writeIndex[2];
    __m128d cp = _mm_load_sd(&clockPhase[2]);
    const __m128d s = _mm_load_sd(&step[2]);
    __m128d x1 = _mm_load_sd(&outFilterLast.x1), x2 = _mm_load_sd(&outFilterLast.x2);
    __m128d y1 = _mm_load_sd(&outFilterLast.y1), y2 = _mm_load_sd(&outFilterLast.y2);
    __m128d y3 = _mm_load_sd(&outHistLast.v[1]), y4 = _mm_load_sd(&outHistLast.v[0]);
    do {
      if (--wi < 0) wi = last;
      const __m128d w = at(cp);
      const __m128d v = Flush(_mm_load_sd(cells + wi));
      const __m128d o = Flush(_mm_add_pd(
          _mm_add_pd(_mm_add_pd(_mm_mul_pd(coef[0], _mm_add_pd(v, x2)), _mm_mul_pd(coef[1], x1)),
                     _mm_mul_pd(coef[2], y1)),
          _mm_mul_pd(coef[3], y2)));
      y4 = y3;
      y3 = y2;
      y2 = y1;
      y1 = o;
      x2 = x1;
      x1 = v;
      _mm_storel_pd(cells + wi, w);
      cp = _mm_add_sd(cp, s);
    } while (_mm_comilt_sd(cp, one));
    cp = _mm_sub_sd(cp, one);
    writeIndex[2] = static_cast<int>(wi);
    _mm_storel_pd(&clockPhase[2], cp);
    _mm_storel_pd(&outFilterLast.x1, x1);
    _mm_storel_pd(&outFilterLast.x2, x2);
    _mm_storel_pd(&outFilterLast.y1, y1);
    _mm_storel_pd(&outFilterLast.y2, y2);
    _mm_storel_pd(&outHistLast.v[0], y4);
    _mm_storel_pd(&outHistLast.v[1], y3);
    _mm_storel_pd(&outHistLast.v[2], y2);
    _mm_storel_pd(&outHistLast.v[3], y1);
    y += outHistLast.At(1.0 - _mm_cvtsd_f64(cp) * invStep[2]);
  }
  return y;
#else
  LineRun a(*this, 0), b(*this, 1), c(*this, 2);
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
  y += outHistPair.At(0, 1.0 - a.cp * invStep[0]);
  y += outHistPair.At(1, 1.0 - b.cp * invStep[1]);
  y += outHistLast.At(1.0 - c.cp * invStep[2]);
  return y;
#endif
}

}  // namespace tessaron
