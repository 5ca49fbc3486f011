#pragma once
// Four-pole ladder low-pass with resonance, one per Synth channel. Four
// bilinear one-pole stages; the saturated feedback from a linear estimate of
// the last stage is solved without a one-sample delay.
//
// Threading: SetSampleRate and SetResonance run in the reset and the
// parameter-change operation, Process in the render loop; all under the
// instrument's lock.
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessaron {

constexpr int32_t kVcfTableSize = 17281;  // pitch 0..135 semitones in 1/128 steps

// Same result as std::round, without the library call that std::round costs
// on baseline x86-64 in the per-sample path.
inline double RoundHalfAway(double v) {
  if (!(std::fabs(v) < 4.0e15)) return v;  // NaN, or already an integer
  const double t = static_cast<double>(static_cast<int64_t>(v));
  const double frac = v - t;  // exact at this magnitude
  if (frac >= 0.5) return t + 1.0;
  if (frac <= -0.5) return t - 1.0;
  return t;
}

// Stage frequency per pitch for one sample rate, and the resonance gain per
// pitch, which no rate changes. Each instrument owns one set for its channels,
// so instances at different rates never disturb each other.
struct VcfTables {
  double sampleRate = 0.0;
  double omega[kVcfTableSize];
  const double* resGain;  // process-wide, immutable

  // Built for 44100 Hz.
  VcfTables();
  // Fills the table for fs in place: no allocation and no lock, so a reset may
  // run it on any thread. A rate that is not a positive finite number keeps
  // the table as it is.
  void SetSampleRate(double fs);
};

// Feedback gain that just sustains oscillation, falling from 4.1 below 500 Hz
// to 4.005 above 2000 Hz.
double ResonanceGainAt(double hz);

class Vcf {
 public:
  // Built for 44100 Hz with a cleared state and tables of its own.
  Vcf();
  // Reads tables its owner keeps built for the rate in use.
  explicit Vcf(const VcfTables& shared);

  // Clears the state. A filter with tables of its own rebuilds them in place
  // when fs differs from their rate; shared tables are their owner's to build.
  void SetSampleRate(double fs);

  // Forces new coefficients; full resonance on a silent filter seeds the
  // ladder so that it starts ringing by itself.
  void SetResonance(double v);

  // c is the cutoff control: 0..1 spans the pitch table.
  double Process(double x, double c) {
    Control(c);

    s1_ = std::isnan(s1_) ? 0.0 : s1_ + dither_;
    s2_ = std::isnan(s2_) ? 0.0 : s2_ + dither_;
    s3_ = std::isnan(s3_) ? 0.0 : s3_ + dither_;
    s4_ = std::isnan(s4_) ? 0.0 : s4_ + dither_;
    dither_ = -dither_;

    const double s = ((s1_ * G_ + s2_) * G_ + s3_) * G_ + s4_;
    const double o = (s + x * g4_) * solve_;
    const double r = o * 0.2;
    double t;
    if (r < -3.0) {
      t = -5.0;
    } else if (r > 3.0) {
      t = 5.0;
    } else {
      const double r2 = r * r;
      t = 5.0 * r * (r2 + 27.0) / (9.0 * r2 + 27.0);
    }
    const double a = G_ * (x - k_ * t);
    const double y1 = s1_ + a;
    s1_ = a - B_ * y1;
    const double u2 = G_ * y1;
    const double y2 = s2_ + u2;
    s2_ = u2 - B_ * y2;
    const double u3 = G_ * y2;
    const double y3 = s3_ + u3;
    s3_ = u3 - B_ * y3;
    const double u4 = G_ * y3;
    const double y4 = s4_ + u4;
    s4_ = u4 - B_ * y4;
    return o * makeUp_;
  }

  // Process for two filters at once, each lane exactly as Process computes it:
  // the ladder is one long dependency chain, and two channels side by side
  // take barely longer than one.
  static void ProcessPair(Vcf& a, double xa, double ca, Vcf& b, double xb, double cb, double& ya, double& yb);

#if defined(__SSE2__)
  // ProcessPair with inputs, controls and outputs as register lanes (lane 0
  // is a, lane 1 is b), for callers that keep fixed pairs of filters. Only
  // the filters whose bit is set in live (1 for a, 2 for b) run; the other
  // is left exactly as it was and its output lane means nothing.
  static __m128d ProcessLanes(Vcf& a, Vcf& b, __m128d x, __m128d c, int live);
#endif

  double TableRate() const { return tables_->sampleRate; }
  double Resonance() const { return resonance_; }
  double StageGain() const { return G_; }
  double PoleTerm() const { return B_; }
  double FeedbackGain() const { return k_; }
  double MakeUp() const { return makeUp_; }
  double LastIndex() const { return lastIndex_; }
  double State(int32_t stage) const;
  const VcfTables& Tables() const { return *tables_; }

 private:
  void UpdateCoefficients(double index);
  void Control(double c) {
    // Held notes keep one control value for long stretches.
    if (c == lastControl_) return;
    lastControl_ = c;
    const double index = RoundHalfAway(c * static_cast<double>(kVcfTableSize));
    if (index != lastIndex_) UpdateCoefficients(index);
  }

  double resonance_ = 0.0;
  double g4_ = 0.0;
  double G_ = 0.0;
  double B_ = 0.0;
  double k_ = 0.0;
  double makeUp_ = 0.0;
  double solve_ = 0.0;
  double lastIndex_ = -1.0;
  double lastControl_ = std::numeric_limits<double>::quiet_NaN();  // NaN: none yet
  double s1_ = 0.0, s2_ = 0.0, s3_ = 0.0, s4_ = 0.0;
  double dither_ = 1e-13;
  std::unique_ptr<VcfTables> own_;
  const VcfTables* tables_;
};

#if defined(__SSE2__)
// Inline: the render loop runs it for every pair of channels each sample.
inline __m128d Vcf::ProcessLanes(Vcf& a, Vcf& b, __m128d x, __m128d c, int live) {
  // Both controls are checked at once; Control repeats its own test when it
  // runs, so a NaN or a change reaches it exactly as in Process.
  const int changed = _mm_movemask_pd(_mm_cmpneq_pd(c, _mm_set_pd(b.lastControl_, a.lastControl_))) & live;
  if (changed != 0) {
    if (changed & 1) a.Control(_mm_cvtsd_f64(c));
    if (changed & 2) b.Control(_mm_cvtsd_f64(_mm_unpackhi_pd(c, c)));
  }
  // Every operation below is one IEEE operation per lane in the order Process
  // uses, so each lane's result is bit for bit the scalar one.
  const __m128d dither = _mm_set_pd(b.dither_, a.dither_);
  // NaN states restart at 0; the others take the dither.
  auto restart = [&](double sa, double sb) {
    const __m128d v = _mm_set_pd(sb, sa);
    return _mm_and_pd(_mm_cmpord_pd(v, v), _mm_add_pd(v, dither));
  };
  __m128d s1 = restart(a.s1_, b.s1_);
  __m128d s2 = restart(a.s2_, b.s2_);
  __m128d s3 = restart(a.s3_, b.s3_);
  __m128d s4 = restart(a.s4_, b.s4_);

  const __m128d G = _mm_set_pd(b.G_, a.G_);
  const __m128d B = _mm_set_pd(b.B_, a.B_);
  const __m128d k = _mm_set_pd(b.k_, a.k_);
  const __m128d g4 = _mm_set_pd(b.g4_, a.g4_);
  const __m128d solve = _mm_set_pd(b.solve_, a.solve_);
  const __m128d makeUp = _mm_set_pd(b.makeUp_, a.makeUp_);

  const __m128d s = _mm_add_pd(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(s1, G), s2), G), s3), G), s4);
  const __m128d o = _mm_mul_pd(_mm_add_pd(s, _mm_mul_pd(x, g4)), solve);
  const __m128d r = _mm_mul_pd(o, _mm_set1_pd(0.2));
  const __m128d r2 = _mm_mul_pd(r, r);
  const __m128d curve = _mm_div_pd(_mm_mul_pd(_mm_mul_pd(_mm_set1_pd(5.0), r), _mm_add_pd(r2, _mm_set1_pd(27.0))),
                                   _mm_add_pd(_mm_mul_pd(_mm_set1_pd(9.0), r2), _mm_set1_pd(27.0)));
  // The clipped lanes discard whatever the curve gave them; a NaN r takes the curve.
  const __m128d low = _mm_cmplt_pd(r, _mm_set1_pd(-3.0));
  const __m128d high = _mm_cmpgt_pd(r, _mm_set1_pd(3.0));
  const __m128d upper = _mm_or_pd(_mm_and_pd(high, _mm_set1_pd(5.0)), _mm_andnot_pd(high, curve));
  const __m128d t = _mm_or_pd(_mm_and_pd(low, _mm_set1_pd(-5.0)), _mm_andnot_pd(low, upper));

  const __m128d u1 = _mm_mul_pd(G, _mm_sub_pd(x, _mm_mul_pd(k, t)));
  const __m128d y1 = _mm_add_pd(s1, u1);
  s1 = _mm_sub_pd(u1, _mm_mul_pd(B, y1));
  const __m128d u2 = _mm_mul_pd(G, y1);
  const __m128d y2 = _mm_add_pd(s2, u2);
  s2 = _mm_sub_pd(u2, _mm_mul_pd(B, y2));
  const __m128d u3 = _mm_mul_pd(G, y2);
  const __m128d y3 = _mm_add_pd(s3, u3);
  s3 = _mm_sub_pd(u3, _mm_mul_pd(B, y3));
  const __m128d u4 = _mm_mul_pd(G, y3);
  const __m128d y4 = _mm_add_pd(s4, u4);
  s4 = _mm_sub_pd(u4, _mm_mul_pd(B, y4));

  const __m128d nextDither = _mm_xor_pd(dither, _mm_set1_pd(-0.0));
  if (live & 1) {
    _mm_storel_pd(&a.s1_, s1);
    _mm_storel_pd(&a.s2_, s2);
    _mm_storel_pd(&a.s3_, s3);
    _mm_storel_pd(&a.s4_, s4);
    _mm_storel_pd(&a.dither_, nextDither);
  }
  if (live & 2) {
    _mm_storeh_pd(&b.s1_, s1);
    _mm_storeh_pd(&b.s2_, s2);
    _mm_storeh_pd(&b.s3_, s3);
    _mm_storeh_pd(&b.s4_, s4);
    _mm_storeh_pd(&b.dither_, nextDither);
  }
  return _mm_mul_pd(o, makeUp);
}
#endif

}  // namespace tessaron
