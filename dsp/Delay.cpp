#include "dsp/Delay.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

#include "dsp/LaneConstants.h"


namespace tessaron {

namespace {
constexpr double kFilterOmegaTimesFs = 37699.11184307752;  // 2pi x 6000 Hz
constexpr double kFeedbackLimit = 3.0;
constexpr double kMinTempo = 1e-3;  // keeps the synced time finite, so its folding ends
constexpr double kFreeBase = 0.125;
constexpr double kSyncBase = 0.0625;

// Written as two selections of the shape minsd and maxsd compute, so the line
// tick clamps without branches; the result is the same for every input.
double ClampFeedbackSample(double o) {
  const double low = o < -kFeedbackLimit ? -kFeedbackLimit : o;
  return low > kFeedbackLimit ? kFeedbackLimit : low;
}

#if defined(__SSE2__)
struct LaneConstants {
  alignas(16) double one[2];
  alignas(16) double high[2];
  alignas(16) double low[2];
  alignas(16) double magnitude[2];
};
alignas(16) const LaneConstants kLaneConstants = {
    {1.0, 1.0},
    {kFeedbackLimit, kFeedbackLimit},
    {-kFeedbackLimit, -kFeedbackLimit},
    {std::bit_cast<double>(0x7fffffffffffffffULL), std::bit_cast<double>(0x7fffffffffffffffULL)}};

const LaneConstants* LaneConstantsInMemory() { return HiddenFromOptimiser(&kLaneConstants); }
#endif

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
  // The offset a Tick set for the old length could reach past the new line; it
  // becomes what the next Tick sets for the new one.
  if (readOffset > 0) {
    readOffset = length / 2;
  }
  inFilter.Setup(fs, BiquadLowPass::kButterworthQ, kFilterOmegaTimesFs / fs);
  outFilter.Setup(fs, BiquadLowPass::kButterworthQ, kFilterOmegaTimesFs / fs);
  for (int ch = 0; ch < 2; ++ch) {
    writeIndex[ch] = 0;
    clockPhase[ch] = 0.0;
    // One tick per sample until the first Tick sets the real clock: a zero step
    // would never advance the clock loop.
    step[ch] = 1.0;
    invStep[ch] = 1.0;
    inHist.Clear(ch);
    outHist.Clear(ch);
    runs.zero[ch] = length;
    runs.quiet[ch] = length;
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
      runs.zero[ch] = 0;
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
    runs.quiet[0] = runs.quiet[1] = 0;
    return false;
  }
  for (int ch = 0; ch < 2; ++ch) {
    if (runs.quiet[ch] < length || !inFilter.Below(ch, quietLevel) || !outFilter.Below(ch, quietLevel) ||
        !inHist.Below(ch, quietLevel) || !outHist.Below(ch, quietLevel)) {
      return false;
    }
  }
  for (int ch = 0; ch < 2; ++ch) {
    std::fill(buffer[ch].begin(), buffer[ch].end(), 0.0);
    inFilter.Clear(ch);
    outFilter.Clear(ch);
    inHist.Clear(ch);
    outHist.Clear(ch);
    runs.zero[ch] = length;
    idle[ch] = true;
  }
  return true;
}

inline bool Delay::ChannelSilent(int ch) const {
  return runs.zero[ch] >= length && inFilter.IsSilent(ch) && outFilter.IsSilent(ch) && inHist.IsZero(ch) &&
         outHist.IsZero(ch);
}

// One channel's line clock for the ticks a sample owes.
struct Delay::LineRun {
  LineRun(Delay& d, int channel)
      : ch(channel),
        cells(d.buffer[channel].data()),
        wi(d.writeIndex[channel]),
        run(d.runs.zero[channel]),
        quiet(d.runs.quiet[channel]),
        cp(d.clockPhase[channel]),
        s(d.step[channel]) {}

  // One line tick; call while cp < 1.
  void Tick(Delay& d, const CatmullRomCurve& input) {
    if (--wi < 0) {
      wi = d.length - 1;
    }
    const double w = input.At(cp);
    int r = wi + d.readOffset;
    if (r >= d.length) {
      r -= d.length;
    }
    const double o = d.outFilter.Process(ch, cells[r]);
    d.outHist.Push(ch, o);
    const double v = w + d.feedback * ClampFeedbackSample(o);
    cells[wi] = v;
    Count(d, v);
    cp += s;
  }

  void Count(const Delay& d, double v) {
    run = v == 0.0 ? (run < d.length ? run + 1 : run) : 0;
    quiet = std::fabs(v) < d.quietLevel ? (quiet < d.length ? quiet + 1 : quiet) : 0;
  }

  // Stores the loop state, the phase taken past the sample.
  void Store(Delay& d) {
    cp -= 1.0;
    d.writeIndex[ch] = wi;
    d.clockPhase[ch] = cp;
    d.runs.zero[ch] = run;
    d.runs.quiet[ch] = quiet;
  }

  const int ch;
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
  inHist.Push(ch, inFilter.Process(ch, in));
  const CatmullRomCurve input = inHist.Curve(ch);
  LineRun line(*this, ch);
  while (line.cp < 1.0) {
    line.Tick(*this, input);
  }
  line.Store(*this);
  x = outHist.At(ch, 1.0 - line.cp * invStep[ch]) * wet + in * dry;
  idle[ch] = ChannelSilent(ch);
}

#if defined(__SSE2__)
// Both lines' clocks as the lanes of SSE2 registers, left in the low lane: each
// lane does the very operations of the scalar code in the same order, so the
// results are the same to the bit. The state stays in registers through the
// ticks of a sample, or of a run of samples.
//
// Every filter output is pushed to its history as it is made, so a history's
// newest two entries are always its filter's y1 and y2; only the oldest two are
// held apart.
struct Delay::LineLanes {
  explicit LineLanes(Delay& d)
      : cellsL(d.buffer[0].data()),
        cellsR(d.buffer[1].data()),
        length(d.length),
        offset(d.readOffset),
        wl(d.writeIndex[0]),
        wr(d.writeIndex[1]),
        rl(ReadIndex(d.writeIndex[0])),
        rr(ReadIndex(d.writeIndex[1])),
        out(d.outFilter),
        h0(_mm_loadu_pd(d.outHist.v[0])),
        h1(_mm_loadu_pd(d.outHist.v[1])),
        cp(_mm_loadu_pd(d.clockPhase)),
        s(_mm_loadu_pd(d.step)),
        fb(_mm_set1_pd(d.feedback)),
        quiet(_mm_set1_pd(d.quietLevel)),
        k(LaneConstantsInMemory()) {}

  // The cell a write index reads, kept alongside it rather than worked out per tick.
  std::ptrdiff_t ReadIndex(std::ptrdiff_t wi) const {
    return wi + offset >= length ? wi + offset - length : wi + offset;
  }

  // Stores all but the run counts.
  void Store(Delay& d) const {
    d.writeIndex[0] = static_cast<int>(wl);
    d.writeIndex[1] = static_cast<int>(wr);
    out.Store(d.outFilter);
    _mm_storeu_pd(d.outHist.v[0], h0);
    _mm_storeu_pd(d.outHist.v[1], h1);
    _mm_storeu_pd(d.outHist.v[2], out.y2);
    _mm_storeu_pd(d.outHist.v[3], out.y1);
    _mm_storeu_pd(d.clockPhase, cp);
  }

  // The lanes that owe a tick, as bits 1 (left) and 2 (right).
  int Owed() const { return _mm_movemask_pd(_mm_cmplt_pd(cp, _mm_load_pd(k->one))); }

  // The ticks a sample owes, written from the input curve; answers the run
  // counts (RunCounts) that follow from runs.
  [[gnu::always_inline]] __m128i Run(int owed, const CatmullRomLanes& curve, __m128i runs) {
    input = curve;
    ticks = broken = _mm_setzero_si128();
    if (owed == 3) {
      do {
        owed = Tick<3>();
      } while (owed == 3);
    }
    // The ticks one channel owes beyond the other's.
    if (owed == 1) {
      RunOne<1>();
    } else if (owed == 2) {
      RunOne<2>();
    }
    // A run that no tick broke counts on from where it stood, one that was
    // broken counts the ticks since; either way no further than the length.
    const __m128i unbroken = _mm_cmpeq_epi32(broken, _mm_setzero_si128());
    const __m128i run = _mm_sub_epi32(_mm_add_epi32(_mm_and_si128(unbroken, runs), ticks), broken);
    const __m128i len = _mm_set1_epi32(static_cast<int>(length));
    const __m128i over = _mm_cmpgt_epi32(run, len);
    return _mm_or_si128(_mm_and_si128(over, len), _mm_andnot_si128(over, run));
  }

  // Takes the phase past the sample and reads the output between the line's
  // last ticks, mixed with the input x.
  __m128d Output(__m128d x, __m128d invStep, __m128d wet, __m128d dry) {
    cp = _mm_sub_pd(cp, _mm_load_pd(k->one));
    const __m128d tau = _mm_sub_pd(_mm_load_pd(k->one), _mm_mul_pd(cp, invStep));
    return _mm_add_pd(_mm_mul_pd(CatmullRomLanes(h0, h1, out.y2, out.y1).At(tau), wet), _mm_mul_pd(x, dry));
  }

  // Ticks the one lane (1 left, 2 right) that owes more; the other lane computes
  // along, and its results are thrown away afterwards.
  template <int kLane>
  void RunOne() {
    const __m128d x1 = out.x1, x2 = out.x2, y1 = out.y1, y2 = out.y2, g0 = h0, g1 = h1, phase = cp;
    while (Tick<kLane>() & kLane) {
    }
    out.x1 = Keep<kLane>(x1, out.x1);
    out.x2 = Keep<kLane>(x2, out.x2);
    out.y1 = Keep<kLane>(y1, out.y1);
    out.y2 = Keep<kLane>(y2, out.y2);
    h0 = Keep<kLane>(g0, h0);
    h1 = Keep<kLane>(g1, h1);
    cp = Keep<kLane>(phase, cp);
  }

  // Lane kLane of ticked, the other from kept.
  template <int kLane>
  static __m128d Keep(__m128d kept, __m128d ticked) {
    return kLane == 1 ? _mm_move_sd(kept, ticked) : _mm_move_sd(ticked, kept);
  }

  // One line tick of the lanes in kLanes (1 left, 2 right, 3 both); answers
  // which lanes owe another.
  template <int kLanes>
  int Tick() {
    if (kLanes & 1) {
      if (--wl < 0) wl = length - 1;
      if (--rl < 0) rl = length - 1;
    }
    if (kLanes & 2) {
      if (--wr < 0) wr = length - 1;
      if (--rr < 0) rr = length - 1;
    }
    const __m128d w = input.At(cp);
    h0 = h1;
    h1 = out.y2;
    const __m128d o = out.Process(_mm_loadh_pd(_mm_load_sd(cellsL + rl), cellsR + rr));
    // ClampFeedbackSample: maxpd and minpd make exactly its two selections.
    const __m128d v =
        _mm_add_pd(w, _mm_mul_pd(fb, _mm_min_pd(_mm_load_pd(k->high), _mm_max_pd(_mm_load_pd(k->low), o))));
    if (kLanes & 1) _mm_storel_pd(cellsL + wl, v);
    if (kLanes & 2) _mm_storeh_pd(cellsR + wr, v);
    CountTick<kLanes>(v);
    cp = _mm_add_pd(cp, s);
    return Owed();
  }

  // The zero and quiet runs, as 32-bit lanes in the order of RunCounts, are
  // settled once after a sample's ticks: each lane counts its ticks and notes
  // the number of the last one that broke its run. The 16-bit maximum serves as
  // a sample owes far fewer than 2^15 ticks (the step has a lower bound).
  template <int kLanes>
  void CountTick(__m128d v) {
    const __m128d zero = _mm_cmpeq_pd(v, _mm_setzero_pd());
    const __m128d magnitude = _mm_load_pd(k->magnitude);
    const __m128d small = _mm_cmplt_pd(_mm_and_pd(v, magnitude), quiet);
    __m128i kept = _mm_castps_si128(_mm_shuffle_ps(_mm_castpd_ps(zero), _mm_castpd_ps(small), _MM_SHUFFLE(2, 0, 2, 0)));
    if (kLanes == 1) {
      kept = _mm_or_si128(kept, _mm_set_epi32(-1, 0, -1, 0));
    } else if (kLanes == 2) {
      kept = _mm_or_si128(kept, _mm_set_epi32(0, -1, 0, -1));
    }
    ticks = _mm_add_epi32(
        ticks, kLanes == 3 ? _mm_set1_epi32(1) : (kLanes == 1 ? _mm_set_epi32(0, 1, 0, 1) : _mm_set_epi32(1, 0, 1, 0)));
    broken = _mm_max_epi16(broken, _mm_andnot_si128(kept, ticks));
  }

  double* const cellsL;
  double* const cellsR;
  const std::ptrdiff_t length;
  const std::ptrdiff_t offset;  // of the read cell from the write cell
  std::ptrdiff_t wl, wr;        // write cells
  std::ptrdiff_t rl, rr;        // read cells
  BiquadLanes out;
  __m128d h0, h1;  // the oldest two of the output history
  __m128d cp;
  const __m128d s;
  const __m128d fb;
  const __m128d quiet;
  const LaneConstants* const k;
  CatmullRomLanes input{_mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd()};
  __m128i ticks = _mm_setzero_si128();
  __m128i broken = _mm_setzero_si128();
};
#endif

void Delay::ProcessChannels(double& left, double& right) {
#if defined(__SSE2__)
  const __m128d in = _mm_set_pd(right, left);
  BiquadLanes inLanes(inFilter);
  const __m128d p0 = _mm_loadu_pd(inHist.v[1]), p1 = _mm_loadu_pd(inHist.v[2]), p2 = _mm_loadu_pd(inHist.v[3]);
  const __m128d p3 = inLanes.Process(in);
  inLanes.Store(inFilter);
  _mm_storeu_pd(inHist.v[0], p0);
  _mm_storeu_pd(inHist.v[1], p1);
  _mm_storeu_pd(inHist.v[2], p2);
  _mm_storeu_pd(inHist.v[3], p3);
  LineLanes lines(*this);
  const int owed = lines.Owed();
  if (owed != 0) {
    __m128i* const counts = reinterpret_cast<__m128i*>(&runs);
    _mm_storeu_si128(counts, lines.Run(owed, CatmullRomLanes(p0, p1, p2, p3), _mm_loadu_si128(counts)));
  }
  const __m128d x = lines.Output(in, _mm_loadu_pd(invStep), _mm_set1_pd(wet), _mm_set1_pd(dry));
  lines.Store(*this);
  left = _mm_cvtsd_f64(x);
  right = _mm_cvtsd_f64(_mm_unpackhi_pd(x, x));
#else
  const double inL = left;
  const double inR = right;
  LineRun l(*this, 0);
  LineRun r(*this, 1);
  // The two lines are independent; ticking them in step lets the processor
  // overlap their filter recursions, and changes no result.
  inHist.Push(0, inFilter.Process(0, inL));
  inHist.Push(1, inFilter.Process(1, inR));
  const CatmullRomCurve inputL = inHist.Curve(0);
  const CatmullRomCurve inputR = inHist.Curve(1);
  while (l.cp < 1.0 && r.cp < 1.0) {
    l.Tick(*this, inputL);
    r.Tick(*this, inputR);
  }
  while (l.cp < 1.0) {
    l.Tick(*this, inputL);
  }
  while (r.cp < 1.0) {
    r.Tick(*this, inputR);
  }
  l.Store(*this);
  r.Store(*this);
  left = outHist.At(0, 1.0 - l.cp * invStep[0]) * wet + inL * dry;
  right = outHist.At(1, 1.0 - r.cp * invStep[1]) * wet + inR * dry;
#endif
  idle[0] = ChannelSilent(0);
  idle[1] = ChannelSilent(1);
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
  inHist.Push(0, inFilter.Process(0, inL));
  inHist.Push(1, inFilter.Process(1, inR));
  const CatmullRomCurve inputL = inHist.Curve(0);
  const CatmullRomCurve inputR = inHist.Curve(1);

  double* cellsL = buffer[0].data();
  double* cellsR = buffer[1].data();
  int wi = writeIndex[0];
  int runL = runs.zero[0];
  int runR = runs.zero[1];
  int quietL = runs.quiet[0];
  int quietR = runs.quiet[1];
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
    const double oL = outFilter.Process(0, cellsL[r]);
    const double oR = outFilter.Process(1, cellsR[r]);
    outHist.Push(0, oL);
    outHist.Push(1, oR);
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
  runs.zero[0] = runL;
  runs.zero[1] = runR;
  runs.quiet[0] = quietL;
  runs.quiet[1] = quietR;

  const double tau = 1.0 - cp * invStep[0];
  left = outHist.At(0, tau) * wet + inL * dry;
  right = outHist.At(1, tau) * wet + inR * dry;
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

void Delay::Process(double* left, double* right, int n) {
  for (int i = 0; i < n;) {
    i += ProcessUntilIdle(left + i, right + i, n - i);
  }
}

int Delay::ProcessUntilIdle(double* left, double* right, int n) {
  int i = 0;
  while (i < n) {
#if defined(__SSE2__)
    if (length > 0 && !buffer[0].empty() && !pingPong && !SkipsIdleChannel(0, left[i]) &&
        !SkipsIdleChannel(1, right[i])) {
      i += ProcessChannelsRun(left + i, right + i, n - i);
    } else
#endif
    {
      Process(left[i], right[i]);
      ++i;
    }
    if (IsIdle()) {
      break;
    }
  }
  return i;
}

#if defined(__SSE2__)
// ProcessChannels sample after sample, the whole state in registers, until a
// channel goes idle (when the next sample may take another path).
int Delay::ProcessChannelsRun(double* left, double* right, int n) {
  BiquadLanes in(inFilter);
  __m128d i0 = _mm_loadu_pd(inHist.v[0]), i1 = _mm_loadu_pd(inHist.v[1]);  // as LineLanes' h0, h1
  LineLanes lines(*this);
  __m128i counts = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&runs));
  const __m128d invSteps = _mm_loadu_pd(invStep), wets = _mm_set1_pd(wet), drys = _mm_set1_pd(dry);
  const __m128i lengths = _mm_set1_epi32(length);
  int done = 0;
  int silent = 0;
  while (done < n && silent == 0) {
    const __m128d x = _mm_loadh_pd(_mm_load_sd(left + done), right + done);
    i0 = i1;
    i1 = in.y2;
    in.Process(x);
    const int owed = lines.Owed();
    if (owed != 0) {
      counts = lines.Run(owed, CatmullRomLanes(i0, i1, in.y2, in.y1), counts);
    }
    const __m128d y = lines.Output(x, invSteps, wets, drys);
    _mm_storel_pd(left + done, y);
    _mm_storeh_pd(right + done, y);
    ++done;
    // ChannelSilent for both lanes; the zero runs are the first two 32-bit lanes.
    const int lined = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmplt_epi32(counts, lengths))) & 3;
    if (lined != 3) {
      const __m128d zero = _mm_setzero_pd();
      __m128d all = _mm_cmpeq_pd(in.x1, zero);
      for (const __m128d v :
           {in.x2, in.y1, in.y2, i0, i1, lines.out.x1, lines.out.x2, lines.out.y1, lines.out.y2, lines.h0, lines.h1}) {
        all = _mm_and_pd(all, _mm_cmpeq_pd(v, zero));
      }
      silent = _mm_movemask_pd(all) & ~lined;
    }
  }
  in.Store(inFilter);
  _mm_storeu_pd(inHist.v[0], i0);
  _mm_storeu_pd(inHist.v[1], i1);
  _mm_storeu_pd(inHist.v[2], in.y2);
  _mm_storeu_pd(inHist.v[3], in.y1);
  lines.Store(*this);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&runs), counts);
  idle[0] = (silent & 1) != 0;
  idle[1] = (silent & 2) != 0;
  return done;
}
#endif

}  // namespace tessaron
