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

#if defined(__SSE2__)
namespace {

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
    x = _mm_andnot_pd(_mm_cmpunord_pd(x, x), x);  // a NaN enters as 0
    __m128d y = _mm_add_pd(
        _mm_add_pd(_mm_add_pd(_mm_mul_pd(b0, _mm_add_pd(x, x2)), _mm_mul_pd(b1, x1)), _mm_mul_pd(c1, y1)),
        _mm_mul_pd(c2, y2));
    y = _mm_andnot_pd(_mm_cmpunord_pd(y, y), y);
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
  const int last = length - 1;
  double y = 0.0;  // 0 + (-0) is +0: the sum keeps its sign of zero
  {
    const __m128d c0 = _mm_set1_pd(input.c0), c1 = _mm_set1_pd(input.c1);
    const __m128d c2 = _mm_set1_pd(input.c2), c3 = _mm_set1_pd(input.c3);
    const __m128d one = _mm_set1_pd(1.0);
    const __m128d s = _mm_loadu_pd(step);
    __m128d cp = _mm_loadu_pd(clockPhase);
    PairRun run(outFilterPair, outHistPair);
    double* const cellsA = buffer[0].data();
    double* const cellsB = buffer[1].data();
    int wa = writeIndex[0];
    int wb = writeIndex[1];
    // input.At(cp): c0 + c1 t + c2 t t + c3 t t t, left to right.
    auto at = [&] {
      return _mm_add_pd(_mm_add_pd(_mm_add_pd(c0, _mm_mul_pd(c1, cp)), _mm_mul_pd(_mm_mul_pd(c2, cp), cp)),
                        _mm_mul_pd(_mm_mul_pd(_mm_mul_pd(c3, cp), cp), cp));
    };
    for (;;) {
      const int lanes = _mm_movemask_pd(_mm_cmplt_pd(cp, one));
      if (lanes == 3) {
        if (--wa < 0) wa = last;
        if (--wb < 0) wb = last;
        const __m128d w = at();
        run.Tick<3>(_mm_loadh_pd(_mm_load_sd(cellsA + wa), cellsB + wb));
        _mm_storel_pd(cellsA + wa, w);
        _mm_storeh_pd(cellsB + wb, w);
        cp = _mm_add_pd(cp, s);
      } else if (lanes == 1) {
        if (--wa < 0) wa = last;
        const __m128d w = at();
        run.Tick<1>(_mm_load_sd(cellsA + wa));
        _mm_storel_pd(cellsA + wa, w);
        cp = _mm_add_sd(cp, s);
      } else if (lanes == 2) {
        if (--wb < 0) wb = last;
        const __m128d w = at();
        run.Tick<2>(_mm_loadh_pd(one, cellsB + wb));
        _mm_storeh_pd(cellsB + wb, w);
        cp = _mm_move_sd(_mm_add_pd(cp, s), cp);
      } else {
        break;
      }
    }
    cp = _mm_sub_pd(cp, one);
    writeIndex[0] = wa;
    writeIndex[1] = wb;
    _mm_storeu_pd(clockPhase, cp);
    run.Store(outFilterPair, outHistPair);
    const __m128d tau = _mm_sub_pd(one, _mm_mul_pd(cp, _mm_loadu_pd(invStep)));
    const __m128d ab = CatmullRomLanes(outHistPair).At(tau);
    y += _mm_cvtsd_f64(ab);
    y += _mm_cvtsd_f64(_mm_unpackhi_pd(ab, ab));
  }
  {
    // Line 2 alone, its state in locals so that the stores into its cells
    // need not reload it.
    double* const cells = buffer[2].data();
    int wi = writeIndex[2];
    double cp = clockPhase[2];
    const double s = step[2];
    const double b0 = outFilterLast.b0, b1 = outFilterLast.b1, c1 = outFilterLast.c1, c2 = outFilterLast.c2;
    double x1 = outFilterLast.x1, x2 = outFilterLast.x2, y1 = outFilterLast.y1, y2 = outFilterLast.y2;
    double y3 = outHistLast.v[1], y4 = outHistLast.v[0];
    while (cp < 1.0) {
      if (--wi < 0) wi = last;
      const double w = input.At(cp);
      double v = cells[wi];
      if (v != v) {
        v = 0.0;
      }
      double o = b0 * (v + x2) + b1 * x1 + c1 * y1 + c2 * y2;
      if (o != o) {
        o = 0.0;
      }
      y4 = y3;
      y3 = y2;
      y2 = y1;
      y1 = o;
      x2 = x1;
      x1 = v;
      cells[wi] = w;
      cp += s;
    }
    cp -= 1.0;
    writeIndex[2] = wi;
    clockPhase[2] = cp;
    outFilterLast.x1 = x1;
    outFilterLast.x2 = x2;
    outFilterLast.y1 = y1;
    outFilterLast.y2 = y2;
    outHistLast.v[0] = y4;
    outHistLast.v[1] = y3;
    outHistLast.v[2] = y2;
    outHistLast.v[3] = y1;
    y += outHistLast.At(1.0 - cp * invStep[2]);
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
