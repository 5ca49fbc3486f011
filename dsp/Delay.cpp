#include "dsp/Delay.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tessaron {

namespace {
constexpr double kFilterOmegaTimesFs = 37699.11184307752;  // 2pi x 6000 Hz
constexpr double kFeedbackLimit = 3.0;
constexpr double kMinTempo = 1e-3;  // keeps the synced time finite, so its folding ends
constexpr double kFreeBase = 0.125;
constexpr double kSyncBase = 0.0625;

double ClampFeedbackSample(double o) {
  return o < -kFeedbackLimit ? -kFeedbackLimit : (o > kFeedbackLimit ? kFeedbackLimit : o);
}

double BoundedStep(double s) {
  return s >= Delay::kMinStep ? s : Delay::kMinStep;  // NaN lands on the bound as well
}
}  // namespace

Delay::Delay() {
  SetSampleRate(44100.0);
  clock = 1000.0;
  vibeSpeed = 0.02;
  vibeIncrement = 4e-5;
}

void Delay::SetSampleRate(double fs) {
  // A rate that is not a positive number keeps the last set-up.
  if (!(fs > 0.0) || !std::isfinite(fs)) {
    return;
  }
  length = static_cast<int>(fs * kLineMilliseconds / 1000.0);
  if (!(length > 0)) {
    length = 0;
  }
  for (auto& line : buffer) {
    line.assign(static_cast<size_t>(length), 0.0);
  }
  for (int ch = 0; ch < 2; ++ch) {
    writeIndex[ch] = 0;
    clockPhase[ch] = 0.0;
    // One tick per sample until the first Tick sets the real clock: a zero step
    // would never advance the clock loop.
    step[ch] = 1.0;
    invStep[ch] = 1.0;
    inFilter[ch].Setup(fs, BiquadLowPass::kButterworthQ, kFilterOmegaTimesFs / fs);
    outFilter[ch].Setup(fs, BiquadLowPass::kButterworthQ, kFilterOmegaTimesFs / fs);
    inHist[ch].Clear();
    outHist[ch].Clear();
    zeroRun[ch] = length;
    quietRun[ch] = length;
    idle[ch] = true;
  }
}

void Delay::SetMix(double v) {
  dry = std::sqrt(1.0 - v);
  wet = std::sqrt(v);
}

void Delay::SetPingPong(bool on) {
  if (on != pingPong) {
    // The lines change clocks, so a run of zero writes no longer spans whole lines.
    for (int ch = 0; ch < 2; ++ch) {
      zeroRun[ch] = 0;
      idle[ch] = false;
    }
  }
  pingPong = on;
}

void Delay::SetVibeSpeed(double v) {
  vibeSpeed = v;
  vibeIncrement = 2.0 * v / clock;
}

void Delay::Tick(double a, double tempo) {
  double base = kFreeBase;
  if (sync) {
    if (!(tempo > 0.0) || !std::isfinite(tempo)) {
      tempo = kDefaultTempo;
    } else if (tempo < kMinTempo) {
      tempo = kMinTempo;
    }
    const double r = std::round((1.0 - a) * 19.0);
    // The sentinel (0 beats) would make the doubling below endless.
    const int i = r > 0.0 ? (r < 19.0 ? static_cast<int>(r) : 19) : 0;
    double f = 60000.0 / tempo * kBeats[i];
    while (f > kLineMilliseconds) {
      f *= 0.5;
    }
    readOffset = 0;
    double lo = 75.0;
    double hi = kLineMilliseconds;
    if (f < 75.0) {
      readOffset = length / 2;
      while (f < 37.5) {
        f *= 2.0;
      }
      lo = 37.5;
      hi = 600.0;
    }
    a = (f - lo) / (hi - lo);
    base = kSyncBase;
  } else {
    readOffset = doubleLine ? 0 : length / 2;
  }

  vibePhase += vibeIncrement;
  if (vibePhase >= 1.0) {
    vibePhase -= 2.0;
  }
  const double e = vibe ? std::sin(std::numbers::pi * vibePhase) * vibeDepth : 0.0;

  step[0] = BoundedStep((a + e) * (1.0 - base) + base);
  invStep[0] = 1.0 / step[0];
  if (pingPong) {
    clockPhase[1] = clockPhase[0];
    step[1] = step[0];
    invStep[1] = invStep[0];
  } else {
    // The vibe bends the right clock the other way.
    step[1] = BoundedStep((a - e) * (1.0 - base) + base);
    invStep[1] = 1.0 / step[1];
  }
}

// A channel's clock moved through silent samples with the same additions as
// the full loop, sample by sample, so that it comes out of the silence bit for
// bit where the full computation would have left it.
struct Delay::ClockRun {
  double cp;
  const double s;
  long long ticks = 0;

  void Sample() {
    while (cp < 1.0) {
      cp += s;
      ++ticks;
    }
    cp -= 1.0;
  }

  // Sample, for a step in [0.5, 1] and a phase below 1, where every sample owes
  // one tick or two: the first add always happens, and after a second one the
  // phase is at least 2s >= 1. Which of the two it is follows no pattern a
  // branch predictor learns, so the second is taken by selection.
  bool OneOrTwoTicks() const { return s >= 0.5 && s <= 1.0 && cp < 1.0; }
  void SampleOneOrTwo() {
    cp += s;
    const bool owed = cp < 1.0;
    const double next = cp + s;
    cp = owed ? next : cp;
    ticks += owed ? 2 : 1;
    cp -= 1.0;
  }

  void Run(int samples) {
    if (OneOrTwoTicks()) {
      for (int i = 0; i < samples; ++i) {
        SampleOneOrTwo();
      }
    } else {
      for (int i = 0; i < samples; ++i) {
        Sample();
      }
    }
  }
};

void Delay::StoreClock(int ch, const ClockRun& clock) {
  clockPhase[ch] = clock.cp;
  const long long wi = (writeIndex[ch] - clock.ticks) % length;
  writeIndex[ch] = static_cast<int>(wi < 0 ? wi + length : wi);
}

void Delay::AdvanceClock(int ch, int samples) {
  ClockRun clock{clockPhase[ch], step[ch]};
  clock.Run(samples);
  StoreClock(ch, clock);
}

void Delay::AdvanceBothClocks(int samples) {
  // The two chains of additions are independent: side by side they take
  // barely longer than one.
  ClockRun left{clockPhase[0], step[0]};
  ClockRun right{clockPhase[1], step[1]};
  if (left.OneOrTwoTicks() && right.OneOrTwoTicks()) {
    for (int i = 0; i < samples; ++i) {
      left.SampleOneOrTwo();
      right.SampleOneOrTwo();
    }
  } else {
    for (int i = 0; i < samples; ++i) {
      left.Sample();
      right.Sample();
    }
  }
  StoreClock(0, left);
  StoreClock(1, right);
}

bool Delay::SkipSilence(int n) {
  if (length <= 0 || buffer[0].empty()) {
    return true;  // Process leaves its input untouched as well
  }
  if (!idleSkip || !idle[0] || !idle[1]) {
    return false;
  }
  // Both lines hold only zeros, so where the write index stands does not matter, and
  // the clock's phase is taken in one step rather than tick by tick: per sample it
  // falls by 1 modulo the step. It comes out within rounding of the tick-by-tick sum,
  // far too little to be heard once sound resumes.
  for (int ch = 0; ch < (pingPong ? 1 : 2); ++ch) {
    const double s = step[ch];
    double cp = std::fmod(clockPhase[ch] - static_cast<double>(n), s);
    if (cp < 0.0) {
      cp += s;
    }
    const long long ticks = std::llround((static_cast<double>(n) + cp - clockPhase[ch]) / s);
    clockPhase[ch] = cp;
    const long long wi = (writeIndex[ch] - ticks) % length;
    writeIndex[ch] = static_cast<int>(wi < 0 ? wi + length : wi);
  }
  return true;
}

bool Delay::EndTailBelow(double level) {
  if (length <= 0 || buffer[0].empty() || (idle[0] && idle[1])) {
    return true;
  }
  // What the line gives is scaled by the wet share; what it feeds back shrinks by the
  // feedback each round, so all rounds together are bounded by 1 / (1 - feedback).
  const double loop = 1.0 - std::min(std::fabs(feedback), 0.999);
  const double quiet = level * loop / std::max(wet, level);
  if (quiet != quietLevel) {
    // Runs counted against another level prove nothing.
    quietLevel = quiet;
    quietRun[0] = quietRun[1] = 0;
    return false;
  }
  for (int ch = 0; ch < 2; ++ch) {
    if (quietRun[ch] < length || !inFilter[ch].Below(quietLevel) || !outFilter[ch].Below(quietLevel) ||
        !inHist[ch].Below(quietLevel) || !outHist[ch].Below(quietLevel)) {
      return false;
    }
  }
  for (int ch = 0; ch < 2; ++ch) {
    std::fill(buffer[ch].begin(), buffer[ch].end(), 0.0);
    inFilter[ch].Clear();
    outFilter[ch].Clear();
    inHist[ch].Clear();
    outHist[ch].Clear();
    zeroRun[ch] = length;
    idle[ch] = true;
  }
  return true;
}

inline bool Delay::ChannelSilent(int ch) const {
  return zeroRun[ch] >= length && inFilter[ch].IsSilent() && outFilter[ch].IsSilent() && inHist[ch].IsZero() &&
         outHist[ch].IsZero();
}

// One channel's share of a sample: the line ticks its clock still owes, then
// the output read back at the audio rate. Kept apart from the channel loop so
// that two channels can run their ticks side by side.
struct Delay::LineRun {
  LineRun(Delay& d, int channel, double in)
      : ch(channel),
        input((d.inHist[channel].Push(d.inFilter[channel].Process(in)), d.inHist[channel].Curve())),
        cells(d.buffer[channel].data()),
        wi(d.writeIndex[channel]),
        run(d.zeroRun[channel]),
        quiet(d.quietRun[channel]),
        cp(d.clockPhase[channel]),
        s(d.step[channel]) {}

  // One line tick; call while cp < 1.
  void Tick(Delay& d) {
    if (--wi < 0) {
      wi = d.length - 1;
    }
    const double w = input.At(cp);
    int r = wi + d.readOffset;
    if (r >= d.length) {
      r -= d.length;
    }
    const double o = d.outFilter[ch].Process(cells[r]);
    d.outHist[ch].Push(o);
    const double v = w + d.feedback * ClampFeedbackSample(o);
    cells[wi] = v;
    run = v == 0.0 ? (run < d.length ? run + 1 : run) : 0;
    quiet = std::fabs(v) < d.quietLevel ? (quiet < d.length ? quiet + 1 : quiet) : 0;
    cp += s;
  }

  // Stores the loop state and returns the wet and dry mix of this sample.
  double Finish(Delay& d, double in) {
    cp -= 1.0;
    d.writeIndex[ch] = wi;
    d.clockPhase[ch] = cp;
    d.zeroRun[ch] = run;
    d.quietRun[ch] = quiet;
    const double x = d.outHist[ch].At(1.0 - cp * d.invStep[ch]) * d.wet + in * d.dry;
    d.idle[ch] = d.ChannelSilent(ch);
    return x;
  }

  const int ch;
  const CatmullRomCurve input;
  double* const cells;
  int wi;
  int run;
  int quiet;
  double cp;
  const double s;
};

bool Delay::SkipsIdleChannel(int ch, double in) const { return idle[ch] && in == 0.0 && idleSkip; }

void Delay::ProcessChannel(int ch, double& x) {
  const double in = x;
  if (SkipsIdleChannel(ch, in)) {
    AdvanceClock(ch);
    x = 0.0;
    return;
  }
  idle[ch] = false;
  LineRun line(*this, ch, in);
  while (line.cp < 1.0) {
    line.Tick(*this);
  }
  x = line.Finish(*this, in);
}

void Delay::ProcessChannels(double& left, double& right) {
  // The two lines are independent; ticking them in step lets the processor
  // overlap their filter recursions, and changes no result.
  const double inL = left;
  const double inR = right;
  idle[0] = idle[1] = false;
  LineRun l(*this, 0, inL);
  LineRun r(*this, 1, inR);
  while (l.cp < 1.0 && r.cp < 1.0) {
    l.Tick(*this);
    r.Tick(*this);
  }
  while (l.cp < 1.0) {
    l.Tick(*this);
  }
  while (r.cp < 1.0) {
    r.Tick(*this);
  }
  left = l.Finish(*this, inL);
  right = r.Finish(*this, inR);
}

void Delay::ProcessPingPong(double& left, double& right) {
  const double inL = left;
  const double inR = right;
  if (idle[0] && idle[1]) {
    if (inL == 0.0 && inR == 0.0 && idleSkip) {
      AdvanceClock(0);
      left = 0.0;
      right = 0.0;
      return;
    }
  }
  idle[0] = idle[1] = false;
  inHist[0].Push(inFilter[0].Process(inL));
  inHist[1].Push(inFilter[1].Process(inR));
  const CatmullRomCurve inputL = inHist[0].Curve();
  const CatmullRomCurve inputR = inHist[1].Curve();

  double* cellsL = buffer[0].data();
  double* cellsR = buffer[1].data();
  int wi = writeIndex[0];
  int runL = zeroRun[0];
  int runR = zeroRun[1];
  int quietL = quietRun[0];
  int quietR = quietRun[1];
  double cp = clockPhase[0];
  const double s = step[0];
  while (cp < 1.0) {
    if (--wi < 0) {
      wi = length - 1;
    }
    const double wL = inputL.At(cp);
    const double wR = inputR.At(cp);
    int r = wi + readOffset;
    if (r >= length) {
      r -= length;
    }
    const double oL = outFilter[0].Process(cellsL[r]);
    const double oR = outFilter[1].Process(cellsR[r]);
    outHist[0].Push(oL);
    outHist[1].Push(oR);
    // Each line is fed by the other's output.
    const double vL = wL + feedback * ClampFeedbackSample(oR);
    const double vR = wR + feedback * ClampFeedbackSample(oL);
    cellsL[wi] = vL;
    cellsR[wi] = vR;
    runL = vL == 0.0 ? (runL < length ? runL + 1 : runL) : 0;
    runR = vR == 0.0 ? (runR < length ? runR + 1 : runR) : 0;
    quietL = std::fabs(vL) < quietLevel ? (quietL < length ? quietL + 1 : quietL) : 0;
    quietR = std::fabs(vR) < quietLevel ? (quietR < length ? quietR + 1 : quietR) : 0;
    cp += s;
  }
  cp -= 1.0;
  writeIndex[0] = wi;
  clockPhase[0] = cp;
  zeroRun[0] = runL;
  zeroRun[1] = runR;
  quietRun[0] = quietL;
  quietRun[1] = quietR;

  const double tau = 1.0 - cp * invStep[0];
  left = outHist[0].At(tau) * wet + inL * dry;
  right = outHist[1].At(tau) * wet + inR * dry;
  const bool silent = ChannelSilent(0) && ChannelSilent(1);
  idle[0] = idle[1] = silent;
}

void Delay::Process(double& left, double& right) {
  if (length <= 0 || buffer[0].empty()) {
    return;
  }
  if (pingPong) {
    ProcessPingPong(left, right);
  } else {
    if (SkipsIdleChannel(0, left) || SkipsIdleChannel(1, right)) {
      ProcessChannel(0, left);
      ProcessChannel(1, right);
    } else {
      ProcessChannels(left, right);
    }
  }
}

}  // namespace tessaron
