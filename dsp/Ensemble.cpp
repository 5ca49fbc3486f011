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
    for (int n = 0; n < kLines; ++n) {
      buffer[n].assign(static_cast<size_t>(length), 0.0);
      outFilter[n].Setup(fs, BiquadLowPass::kButterworthQ, kFilterOmegaTimesFs / fs);
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
    outFilter[n].Clear();
    outHist[n].Clear();
  }
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

// One line's clock loop state for the ticks a sample owes.
struct Ensemble::LineRun {
  LineRun(Ensemble& e, int line)
      : n(line), cells(e.buffer[line].data()), wi(e.writeIndex[line]), cp(e.clockPhase[line]), s(e.step[line]) {}

  // One line tick; call while cp < 1.
  [[gnu::always_inline]] void Tick(Ensemble& e, const CatmullRomCurve& input) {
    if (--wi < 0) {
      wi = e.length - 1;
    }
    const double w = input.At(cp);
    e.outHist[n].Push(e.outFilter[n].Process(cells[wi]));
    cells[wi] = w;
    cp += s;
  }

  // Stores the loop state and returns the line's output at the audio rate.
  double Finish(Ensemble& e) {
    cp -= 1.0;
    e.writeIndex[n] = wi;
    e.clockPhase[n] = cp;
    return e.outHist[n].At(1.0 - cp * e.invStep[n]);
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
  while (a.cp < 1.0 && b.cp < 1.0 && c.cp < 1.0) {
    a.Tick(*this, input);
    b.Tick(*this, input);
    c.Tick(*this, input);
  }
  while (a.cp < 1.0) {
    a.Tick(*this, input);
  }
  while (b.cp < 1.0) {
    b.Tick(*this, input);
  }
  while (c.cp < 1.0) {
    c.Tick(*this, input);
  }
  double y = 0.0;  // 0 + (-0) is +0: the sum keeps its sign of zero
  y += a.Finish(*this);
  y += b.Finish(*this);
  y += c.Finish(*this);
  return y;
}

}  // namespace tessaron
