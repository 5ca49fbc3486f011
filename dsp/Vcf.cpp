#include "dsp/Vcf.h"

#include <array>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "dsp/PitchToHz.h"

namespace tessaron {

double ResonanceGainAt(double hz) {
  if (hz < 500.0) return 4.1;
  if (hz > 2000.0) return 4.005;
  return 4.1 - (hz - 500.0) * 0.09499999999999975 / 1500.0;
}

namespace {

// Rate-independent columns, built once (thread-safely, at the first filter's
// construction) and read by every instance.
struct PitchColumns {
  std::array<double, kVcfTableSize> hz;
  std::array<double, kVcfTableSize> resGain;
};

const PitchColumns& Columns() {
  static const std::unique_ptr<const PitchColumns> columns = [] {
    auto c = std::make_unique<PitchColumns>();
    for (int32_t i = 0; i < kVcfTableSize; ++i) {
      c->hz[size_t(i)] = PitchToHz(i);
      c->resGain[size_t(i)] = ResonanceGainAt(c->hz[size_t(i)]);
    }
    return c;
  }();
  return *columns;
}

}  // namespace

VcfTables::VcfTables() : resGain(Columns().resGain.data()) { SetSampleRate(44100.0); }

void VcfTables::SetSampleRate(double fs) {
  if (!std::isfinite(fs) || !(fs > 0.0) || fs == sampleRate) return;
  sampleRate = fs;
  constexpr double kTwoPi = 6.283185307179586;
  const PitchColumns& c = Columns();
  for (int32_t i = 0; i < kVcfTableSize; ++i) omega[i] = kTwoPi * c.hz[size_t(i)] / fs;
}

Vcf::Vcf() : own_(std::make_unique<VcfTables>()), tables_(own_.get()) { SetSampleRate(44100.0); }

Vcf::Vcf(const VcfTables& shared) : tables_(&shared) { SetSampleRate(shared.sampleRate); }

void Vcf::SetSampleRate(double fs) {
  if (own_) own_->SetSampleRate(fs);
  s1_ = s2_ = s3_ = s4_ = 0.0;
  lastIndex_ = -1.0;
  lastControl_ = std::numeric_limits<double>::quiet_NaN();
  dither_ = 1e-13;
  g4_ = G_ = B_ = solve_ = makeUp_ = 0.0;
}

void Vcf::SetResonance(double v) {
  lastIndex_ = -1.0;
  lastControl_ = std::numeric_limits<double>::quiet_NaN();
  resonance_ = v;
  constexpr double kSilent = 1e-13;
  if (v >= 1.0 && std::fabs(s1_) <= kSilent && std::fabs(s2_) <= kSilent && std::fabs(s3_) <= kSilent &&
      std::fabs(s4_) <= kSilent) {
    s2_ = 0.1;
    s4_ = -0.1;
  }
}

void Vcf::UpdateCoefficients(double index) {
  lastIndex_ = index;
  // The negated test also sends a NaN control to the bottom entry.
  const int32_t entry = !(index >= 0.0) ? 0 : index >= kVcfTableSize ? kVcfTableSize - 1 : static_cast<int32_t>(index);
  const double f = tables_->omega[entry];
  const double r = tables_->resGain[entry];
  k_ = resonance_ * r;
  const double d = 2.0 * std::fabs(resonance_ - 0.5);
  makeUp_ = 2.0 - d * d;
  const double m = 1.0 / (f + 2.0);
  B_ = (f - 2.0) * m;
  G_ = f * m;
  const double g2 = G_ * G_;
  g4_ = g2 * g2;
  solve_ = 1.0 / (1.0 + k_ * g4_);
}

void Vcf::ProcessPair(Vcf& a, double xa, double ca, Vcf& b, double xb, double cb, double& ya, double& yb) {
#if defined(__SSE2__)
  a.Control(ca);
  b.Control(cb);
  // Lane 0 is a, lane 1 is b. Every operation below is one IEEE operation per
  // lane in the order Process uses, so each lane's result is bit for bit
  // the scalar one.
  const __m128d dither = _mm_set_pd(b.dither_, a.dither_);
  a.dither_ = -a.dither_;
  b.dither_ = -b.dither_;
  // NaN states restart at 0; the others take the dither.
  auto restart = [&](double sa, double sb) {
    const __m128d v = _mm_set_pd(sb, sa);
    return _mm_and_pd(_mm_cmpord_pd(v, v), _mm_add_pd(v, dither));
  };
  __m128d s1 = restart(a.s1_, b.s1_);
  __m128d s2 = restart(a.s2_, b.s2_);
  __m128d s3 = restart(a.s3_, b.s3_);
  __m128d s4 = restart(a.s4_, b.s4_);

  const __m128d x = _mm_set_pd(xb, xa);
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

  const __m128d y = _mm_mul_pd(o, makeUp);
  _mm_storel_pd(&a.s1_, s1);
  _mm_storeh_pd(&b.s1_, s1);
  _mm_storel_pd(&a.s2_, s2);
  _mm_storeh_pd(&b.s2_, s2);
  _mm_storel_pd(&a.s3_, s3);
  _mm_storeh_pd(&b.s3_, s3);
  _mm_storel_pd(&a.s4_, s4);
  _mm_storeh_pd(&b.s4_, s4);
  _mm_storel_pd(&ya, y);
  _mm_storeh_pd(&yb, y);
#else
  ya = a.Process(xa, ca);
  yb = b.Process(xb, cb);
#endif
}

double Vcf::State(int32_t stage) const {
  switch (stage) {
    case 0: return s1_;
    case 1: return s2_;
    case 2: return s3_;
    default: return s4_;
  }
}

}  // namespace tessaron
