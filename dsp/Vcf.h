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

#include "dsp/LaneConstants.h"
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

// What a filter reads and writes every sample, for two filters lane by lane:
// a pair of filters that share one set runs as the two lanes of a register
// with single loads and stores (unaligned ones, so that nothing depends on
// how a host's allocator aligns the instrument). A filter alone uses lane 0
// of its own set.
struct VcfLanes {
  double g4[2] = {0.0, 0.0};
  double G[2] = {0.0, 0.0};
  double B[2] = {0.0, 0.0};
  double k[2] = {0.0, 0.0};
  double makeUp[2] = {0.0, 0.0};
  double solve[2] = {0.0, 0.0};
  double s1[2] = {0.0, 0.0}, s2[2] = {0.0, 0.0}, s3[2] = {0.0, 0.0}, s4[2] = {0.0, 0.0};
  double dither[2] = {1e-13, 1e-13};
  double lastControl[2] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()};
};

class Vcf {
 public:
  // Built for 44100 Hz with a cleared state and tables of its own.
  Vcf();
  // Reads tables its owner keeps built for the rate in use.
  explicit Vcf(const VcfTables& shared);
  // Also keeps its per-sample values in lane `lane` (0 or 1) of a set its
  // owner keeps, so that the two filters of that set can run as a pair.
  Vcf(const VcfTables& shared, VcfLanes& lanes, int lane);

  // Clears the state. A filter with tables of its own rebuilds them in place
  // when fs differs from their rate; shared tables are their owner's to build.
  void SetSampleRate(double fs);

  // Forces new coefficients; full resonance on a silent filter seeds the
  // ladder so that it starts ringing by itself.
  void SetResonance(double v);

  // c is the cutoff control: 0..1 spans the pitch table.
  double Process(double x, double c) {
    Control(c);
    VcfLanes& l = *lanes_;
    const int i = lane_;
    const double G = l.G[i], B = l.B[i], dither = l.dither[i];

    const double s1 = std::isnan(l.s1[i]) ? 0.0 : l.s1[i] + dither;
    const double s2 = std::isnan(l.s2[i]) ? 0.0 : l.s2[i] + dither;
    const double s3 = std::isnan(l.s3[i]) ? 0.0 : l.s3[i] + dither;
    const double s4 = std::isnan(l.s4[i]) ? 0.0 : l.s4[i] + dither;
    l.dither[i] = -dither;

    const double s = ((s1 * G + s2) * G + s3) * G + s4;
    const double o = (s + x * l.g4[i]) * l.solve[i];
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
    const double a = G * (x - l.k[i] * t);
    const double y1 = s1 + a;
    l.s1[i] = a - B * y1;
    const double u2 = G * y1;
    const double y2 = s2 + u2;
    l.s2[i] = u2 - B * y2;
    const double u3 = G * y2;
    const double y3 = s3 + u3;
    l.s3[i] = u3 - B * y3;
    const double u4 = G * y3;
    const double y4 = s4 + u4;
    l.s4[i] = u4 - B * y4;
    return o * l.makeUp[i];
  }

  // Process for two filters at once, each lane exactly as Process computes it:
  // the ladder is one long dependency chain, and two channels side by side
  // take barely longer than one.
  static void ProcessPair(Vcf& a, double xa, double ca, Vcf& b, double xb, double cb, double& ya, double& yb);

#if defined(__SSE2__)
  // ProcessPair for the two filters of one set of lanes (a in lane 0, b in
  // lane 1), with inputs, controls and outputs as register lanes.
  static __m128d ProcessLanes(Vcf& a, Vcf& b, __m128d x, __m128d c);
#endif

  double TableRate() const { return tables_->sampleRate; }
  double Resonance() const { return resonance_; }
  double StageGain() const { return lanes_->G[lane_]; }
  double PoleTerm() const { return lanes_->B[lane_]; }
  double FeedbackGain() const { return lanes_->k[lane_]; }
  double MakeUp() const { return lanes_->makeUp[lane_]; }
  double LastIndex() const { return lastIndex_; }
  double State(int32_t stage) const;
  const VcfTables& Tables() const { return *tables_; }

 private:
#if defined(__SSE2__)
  // One sample of both lanes, from states already restarted; writes the new
  // states back to s and returns the outputs.
  static __m128d Ladder(__m128d (&s)[4], __m128d x, __m128d G, __m128d B, __m128d k, __m128d g4, __m128d solve,
                        __m128d makeUp);
#endif
  void UpdateCoefficients(double index);
  void Control(double c) {
    // Held notes keep one control value for long stretches.
    if (c == lanes_->lastControl[lane_]) return;
    lanes_->lastControl[lane_] = c;
    const double index = RoundHalfAway(c * static_cast<double>(kVcfTableSize));
    if (index != lastIndex_) UpdateCoefficients(index);
  }

  double resonance_ = 0.0;
  double lastIndex_ = -1.0;
  std::unique_ptr<VcfLanes> ownLanes_;
  VcfLanes* lanes_;
  int lane_ = 0;
  std::unique_ptr<VcfTables> own_;
  const VcfTables* tables_;
};

#if defined(__SSE2__)
struct VcfLaneConstants {
  alignas(16) double fifth[2];
  alignas(16) double three[2];
  alignas(16) double minusThree[2];
  alignas(16) double five[2];
  alignas(16) double minusFive[2];
  alignas(16) double nine[2];
  alignas(16) double twentySeven[2];
  alignas(16) double sign[2];
};
alignas(16) inline constexpr VcfLaneConstants kVcfLaneConstants = {
    {0.2, 0.2}, {3.0, 3.0}, {-3.0, -3.0}, {5.0, 5.0}, {-5.0, -5.0}, {9.0, 9.0}, {27.0, 27.0}, {-0.0, -0.0}};

inline __m128d Vcf::Ladder(__m128d (&s)[4], __m128d x, __m128d G, __m128d B, __m128d k, __m128d g4, __m128d solve,
                           __m128d makeUp) {
  // Every operation is one IEEE operation per lane in the order Process uses,
  // so each lane's result is bit for bit the scalar one.
  const __m128d sum =
      _mm_add_pd(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(_mm_add_pd(_mm_mul_pd(s[0], G), s[1]), G), s[2]), G), s[3]);
  const __m128d o = _mm_mul_pd(_mm_add_pd(sum, _mm_mul_pd(x, g4)), solve);
  const VcfLaneConstants* const c = HiddenFromOptimiser(&kVcfLaneConstants);
  const __m128d r = _mm_mul_pd(o, _mm_load_pd(c->fifth));
  const __m128d r2 = _mm_mul_pd(r, r);
  const __m128d twentySeven = _mm_load_pd(c->twentySeven);
  const __m128d curve = _mm_div_pd(_mm_mul_pd(_mm_mul_pd(_mm_load_pd(c->five), r), _mm_add_pd(r2, twentySeven)),
                                   _mm_add_pd(_mm_mul_pd(_mm_load_pd(c->nine), r2), twentySeven));
  // The clipped lanes discard whatever the curve gave them; a NaN r takes the curve.
  const __m128d low = _mm_cmplt_pd(r, _mm_load_pd(c->minusThree));
  const __m128d high = _mm_cmpgt_pd(r, _mm_load_pd(c->three));
  const __m128d upper = _mm_or_pd(_mm_and_pd(high, _mm_load_pd(c->five)), _mm_andnot_pd(high, curve));
  const __m128d t = _mm_or_pd(_mm_and_pd(low, _mm_load_pd(c->minusFive)), _mm_andnot_pd(low, upper));

  const __m128d u1 = _mm_mul_pd(G, _mm_sub_pd(x, _mm_mul_pd(k, t)));
  const __m128d y1 = _mm_add_pd(s[0], u1);
  s[0] = _mm_sub_pd(u1, _mm_mul_pd(B, y1));
  const __m128d u2 = _mm_mul_pd(G, y1);
  const __m128d y2 = _mm_add_pd(s[1], u2);
  s[1] = _mm_sub_pd(u2, _mm_mul_pd(B, y2));
  const __m128d u3 = _mm_mul_pd(G, y2);
  const __m128d y3 = _mm_add_pd(s[2], u3);
  s[2] = _mm_sub_pd(u3, _mm_mul_pd(B, y3));
  const __m128d u4 = _mm_mul_pd(G, y3);
  const __m128d y4 = _mm_add_pd(s[3], u4);
  s[3] = _mm_sub_pd(u4, _mm_mul_pd(B, y4));
  return _mm_mul_pd(o, makeUp);
}

// Inline: the render loop runs it for every pair of sounding channels.
inline __m128d Vcf::ProcessLanes(Vcf& a, Vcf& b, __m128d x, __m128d c) {
  VcfLanes& l = *a.lanes_;
  // Both controls are checked at once; Control repeats its own test when it
  // runs, so a NaN or a change reaches it exactly as in Process.
  const int changed = _mm_movemask_pd(_mm_cmpneq_pd(c, _mm_loadu_pd(l.lastControl)));
  if (changed != 0) {
    if (changed & 1) a.Control(_mm_cvtsd_f64(c));
    if (changed & 2) b.Control(_mm_cvtsd_f64(_mm_unpackhi_pd(c, c)));
  }
  const __m128d dither = _mm_loadu_pd(l.dither);
  _mm_storeu_pd(l.dither, _mm_xor_pd(dither, _mm_load_pd(HiddenFromOptimiser(&kVcfLaneConstants)->sign)));
  // NaN states restart at 0; the others take the dither.
  auto restart = [&](const double* v) {
    const __m128d s = _mm_loadu_pd(v);
    return _mm_and_pd(_mm_cmpord_pd(s, s), _mm_add_pd(s, dither));
  };
  __m128d s[4] = {restart(l.s1), restart(l.s2), restart(l.s3), restart(l.s4)};
  const __m128d y = Ladder(s, x, _mm_loadu_pd(l.G), _mm_loadu_pd(l.B), _mm_loadu_pd(l.k), _mm_loadu_pd(l.g4),
                           _mm_loadu_pd(l.solve), _mm_loadu_pd(l.makeUp));
  _mm_storeu_pd(l.s1, s[0]);
  _mm_storeu_pd(l.s2, s[1]);
  _mm_storeu_pd(l.s3, s[2]);
  _mm_storeu_pd(l.s4, s[3]);
  return y;
}
#endif

}  // namespace tessaron
