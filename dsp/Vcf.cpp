#include "dsp/Vcf.h"

#include <array>

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
  const __m128d y = ProcessLanes(a, b, _mm_set_pd(xb, xa), _mm_set_pd(cb, ca), 3);
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
