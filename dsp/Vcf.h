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

}  // namespace tessaron
