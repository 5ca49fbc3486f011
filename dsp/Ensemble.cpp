#include "dsp/Ensemble.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>

#include "dsp/ChannelPair.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    for (int lane = 0; lane < 2; ++lane) {
      laneCoef[0][lane] = inFilter.b0;
      laneCoef[1][lane] = inFilter.b1;
      laneCoef[2][lane] = inFilter.c1;
      laneCoef[3][lane] = inFilter.c2;
    }
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
  for (int n = 0; n < kLines; ++n) {
    std::fill(buffer[n].begin(), buffer[n].end(), 0.0);
  }
  pairLanes = Lanes();
  lastLanes = Lanes();
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

namespace {

#if defined(__SSE2__)
// A NaN becomes 0, in each lane.
[[gnu::always_inline]] inline __m128d Flush(__m128d v) { return _mm_andnot_pd(_mm_cmpunord_pd(v, v), v); }

// Two lanes of Ensemble::Lanes in SSE2 registers for the ticks of one sample.
// Each lane does TickLane's operations in its order, so the results are the
// same to the bit.
struct LaneRun {
  explicit LaneRun(const Ensemble::Lanes& l)
      : x1(_mm_loadu_pd(l.x1)),
        x2(_mm_loadu_pd(l.x2)),
        y1(_mm_loadu_pd(l.y1)),
        y2(_mm_loadu_pd(l.y2)),
        y3(_mm_loadu_pd(l.y3)),
        y4(_mm_loadu_pd(l.y4)) {}

  // kLanes: 3 both lanes, 1 only the first, 2 only the second. A lane that
  // does not tick computes along on its own state and keeps its old values.
  template <int kLanes>
  [[gnu::always_inline]] void Tick(const __m128d (&f)[4], __m128d x) {
    x = Flush(x);
    const __m128d y = Flush(_mm_add_pd(
        _mm_add_pd(_mm_add_pd(_mm_mul_pd(f[0], _mm_add_pd(x, x2)), _mm_mul_pd(f[1], x1)), _mm_mul_pd(f[2], y1)),
        _mm_mul_pd(f[3], y2)));
    if constexpr (kLanes == 3) {
      x2 = x1;
      x1 = x;
      y4 = y3;
      y3 = y2;
      y2 = y1;
      y1 = y;
    } else if constexpr (kLanes == 1) {
      x2 = _mm_move_sd(x2, x1);
      x1 = _mm_move_sd(x1, x);
      y4 = _mm_move_sd(y4, y3);
      y3 = _mm_move_sd(y3, y2);
      y2 = _mm_move_sd(y2, y1);
      y1 = _mm_move_sd(y1, y);
    } else {
      x2 = _mm_move_sd(x1, x2);
      x1 = _mm_move_sd(x, x1);
      y4 = _mm_move_sd(y3, y4);
      y3 = _mm_move_sd(y2, y3);
      y2 = _mm_move_sd(y1, y2);
      y1 = _mm_move_sd(y, y1);
    }
  }

  void Store(Ensemble::Lanes& l) const {
    _mm_storeu_pd(l.x1, x1);
    _mm_storeu_pd(l.x2, x2);
    _mm_storeu_pd(l.y1, y1);
    _mm_storeu_pd(l.y2, y2);
    _mm_storeu_pd(l.y3, y3);
    _mm_storeu_pd(l.y4, y4);
  }

  __m128d x1, x2, y1, y2, y3, y4;
};

// CatmullRomCurve of each lane's history.
struct CurveLanes : CatmullRomLanes {
  explicit CurveLanes(const LaneRun& r) : CatmullRomLanes(r.y4, r.y3, r.y2, r.y1) {}
  // The second lane's curve in both lanes.
  void SecondToBoth() {
    c0 = _mm_unpackhi_pd(c0, c0);
    c1 = _mm_unpackhi_pd(c1, c1);
    c2 = _mm_unpackhi_pd(c2, c2);
    c3 = _mm_unpackhi_pd(c3, c3);
  }
};
#else
// One tick of lane k's filter, as BiquadLowPass::Process computes it, and
// the shift of that lane's history.
void TickLane(const BiquadLowPass& f, Ensemble::Lanes& l, int k, double x) {
  if (x != x) {
    x = 0.0;
  }
  double y = f.b0 * (x + l.x2[k]) + f.b1 * l.x1[k] + f.c1 * l.y1[k] + f.c2 * l.y2[k];
  if (y != y) {
    y = 0.0;
  }
  l.x2[k] = l.x1[k];
  l.x1[k] = x;
  l.y4[k] = l.y3[k];
  l.y3[k] = l.y2[k];
  l.y2[k] = l.y1[k];
  l.y1[k] = y;
}

CatmullRomCurve LaneCurve(const Ensemble::Lanes& l, int k) { return CatmullRomCurve(l.y4[k], l.y3[k], l.y2[k], l.y1[k]); }
#endif

}  // namespace

double Ensemble::Process(double x) {
  if (length <= 0) {
    return 0.0;
  }
  SettlePendingSteps();
  static_assert(kLines == 3);
  const std::ptrdiff_t last = length - 1;
#if defined(__SSE2__)
  const __m128d one = _mm_set1_pd(1.0);
  const __m128d f[4] = {_mm_loadu_pd(laneCoef[0]), _mm_loadu_pd(laneCoef[1]), _mm_loadu_pd(laneCoef[2]),
                        _mm_loadu_pd(laneCoef[3])};
  // Line 2 in the first lanes, the input filter in the second. A line's phase
  // is below 1 when a sample starts (its step is at most 1), so every line
  // ticks at least once: line 2's first tick and the input filter run as one.
  // Lines 2, 0 and 1 are independent of each other, so their order changes no
  // result.
  CurveLanes input = [&] {
    LaneRun q(lastLanes);
    double* const cells = buffer[2].data();
    std::ptrdiff_t wi = writeIndex[2];
    if (--wi < 0) wi = last;
    q.Tick<3>(f, _mm_set_pd(x, cells[wi]));
    CurveLanes in(q);
    in.SecondToBoth();
    const __m128d s = _mm_load_sd(&step[2]);
    const __m128d cp0 = _mm_load_sd(&clockPhase[2]);
    __m128d cp = _mm_add_sd(cp0, s);
    // The cell values of the first two ticks in one go; most samples take both.
    const __m128d w01 = in.At(_mm_unpacklo_pd(cp0, cp));
    _mm_storel_pd(cells + wi, w01);
    if (_mm_comilt_sd(cp, one)) {
      if (--wi < 0) wi = last;
      q.Tick<1>(f, _mm_load_sd(cells + wi));
      _mm_storeh_pd(cells + wi, w01);
      cp = _mm_add_sd(cp, s);
      while (_mm_comilt_sd(cp, one)) {
        if (--wi < 0) wi = last;
        const __m128d w = in.At(cp);
        q.Tick<1>(f, _mm_load_sd(cells + wi));
        _mm_storel_pd(cells + wi, w);
        cp = _mm_add_sd(cp, s);
      }
    }
    cp = _mm_sub_sd(cp, one);
    writeIndex[2] = static_cast<int>(wi);
    _mm_storel_pd(&clockPhase[2], cp);
    q.Store(lastLanes);
    return in;
  }();

  // Lines 0 and 1 as the two lanes.
  LaneRun run(pairLanes);
  const __m128d s = _mm_loadu_pd(step);
  __m128d cp = _mm_loadu_pd(clockPhase);
  double* const cellsA = buffer[0].data();
  double* const cellsB = buffer[1].data();
  std::ptrdiff_t wa = writeIndex[0];
  std::ptrdiff_t wb = writeIndex[1];
  auto both = [&] {
    if (--wa < 0) wa = last;
    if (--wb < 0) wb = last;
    const __m128d w = input.At(cp);
    run.Tick<3>(f, _mm_loadh_pd(_mm_load_sd(cellsA + wa), cellsB + wb));
    _mm_storel_pd(cellsA + wa, w);
    _mm_storeh_pd(cellsB + wb, w);
    cp = _mm_add_pd(cp, s);
  };
  both();
  for (;;) {
    const int lanes = _mm_movemask_pd(_mm_cmplt_pd(cp, one));
    if (lanes == 0) {
      break;
    }
    if (lanes == 3) {
      both();
    } else if (lanes == 1) {
      if (--wa < 0) wa = last;
      const __m128d w = input.At(cp);
      run.Tick<1>(f, _mm_load_sd(cellsA + wa));
      _mm_storel_pd(cellsA + wa, w);
      cp = _mm_add_sd(cp, s);
    } else {
      if (--wb < 0) wb = last;
      const __m128d w = input.At(cp);
      run.Tick<2>(f, _mm_loadh_pd(one, cellsB + wb));
      _mm_storeh_pd(cellsB + wb, w);
      cp = _mm_move_sd(_mm_add_pd(cp, s), cp);
    }
  }
  cp = _mm_sub_pd(cp, one);
  writeIndex[0] = static_cast<int>(wa);
  writeIndex[1] = static_cast<int>(wb);
  _mm_storeu_pd(clockPhase, cp);
  run.Store(pairLanes);
  const __m128d ab = CurveLanes(run).At(_mm_sub_pd(one, _mm_mul_pd(cp, _mm_loadu_pd(invStep))));
  double y = 0.0;  // 0 + (-0) is +0: the sum keeps its sign of zero
  y += _mm_cvtsd_f64(ab);
  y += _mm_cvtsd_f64(_mm_unpackhi_pd(ab, ab));
  y += _mm_cvtsd_f64(CurveLanes(LaneRun(lastLanes))
                         .At(_mm_sub_sd(one, _mm_mul_sd(_mm_load_sd(&clockPhase[2]), _mm_load_sd(&invStep[2])))));
  return y;
#else
  TickLane(inFilter, lastLanes, 1, x);
  const CatmullRomCurve input = LaneCurve(lastLanes, 1);
  double tau[kLines];
  for (int n = 0; n < kLines; ++n) {
    Lanes& lanes = n < 2 ? pairLanes : lastLanes;
    const int k = n < 2 ? n : 0;
    double* const cells = buffer[n].data();
    int wi = writeIndex[n];
    double cp = clockPhase[n];
    while (cp < 1.0) {
      if (--wi < 0) {
        wi = static_cast<int>(last);
      }
      const double w = input.At(cp);
      TickLane(inFilter, lanes, k, cells[wi]);
      cells[wi] = w;
      cp += step[n];
    }
    cp -= 1.0;
    writeIndex[n] = wi;
    clockPhase[n] = cp;
    tau[n] = 1.0 - cp * invStep[n];
  }
  double y = 0.0;  // 0 + (-0) is +0: the sum keeps its sign of zero
  y += LaneCurve(pairLanes, 0).At(tau[0]);
  y += LaneCurve(pairLanes, 1).At(tau[1]);
  y += LaneCurve(lastLanes, 0).At(tau[2]);
  return y;
#endif
}

}  // namespace tessaron
