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

Vcf::Vcf()
    : ownLanes_(std::make_unique<VcfLanes>()),
      lanes_(ownLanes_.get()),
      own_(std::make_unique<VcfTables>()),
      tables_(own_.get()) {
  SetSampleRate(44100.0);
}

Vcf::Vcf(const VcfTables& shared) : ownLanes_(std::make_unique<VcfLanes>()), lanes_(ownLanes_.get()), tables_(&shared) {
  SetSampleRate(shared.sampleRate);
}

Vcf::Vcf(const VcfTables& shared, VcfLanes& lanes, int lane)
    : lanes_(&lanes), lane_(lane == 0 ? 0 : 1), tables_(&shared) {
  SetSampleRate(shared.sampleRate);
}

void Vcf::SetSampleRate(double fs) {
  if (own_) own_->SetSampleRate(fs);
  VcfLanes& l = *lanes_;
  const int i = lane_;
  l.s1[i] = l.s2[i] = l.s3[i] = l.s4[i] = 0.0;
  lastIndex_ = -1.0;
  l.lastControl[i] = std::numeric_limits<double>::quiet_NaN();
  l.dither[i] = 1e-13;
  l.g4[i] = l.G[i] = l.B[i] = l.solve[i] = l.makeUp[i] = 0.0;
}

void Vcf::SetResonance(double v) {
  VcfLanes& l = *lanes_;
  const int i = lane_;
  lastIndex_ = -1.0;
  l.lastControl[i] = std::numeric_limits<double>::quiet_NaN();
  resonance_ = v;
  constexpr double kSilent = 1e-13;
  if (v >= 1.0 && std::fabs(l.s1[i]) <= kSilent && std::fabs(l.s2[i]) <= kSilent && std::fabs(l.s3[i]) <= kSilent &&
      std::fabs(l.s4[i]) <= kSilent) {
    l.s2[i] = 0.1;
    l.s4[i] = -0.1;
  }
}

void Vcf::UpdateCoefficients(double index) {
  VcfLanes& l = *lanes_;
  const int i = lane_;
  lastIndex_ = index;
  // The negated test also sends a NaN control to the bottom entry.
  const int32_t entry = !(index >= 0.0) ? 0 : index >= kVcfTableSize ? kVcfTableSize - 1 : static_cast<int32_t>(index);
  const double f = tables_->omega[entry];
  const double r = tables_->resGain[entry];
  const double k = resonance_ * r;
  l.k[i] = k;
  const double d = 2.0 * std::fabs(resonance_ - 0.5);
  l.makeUp[i] = 2.0 - d * d;
  const double m = 1.0 / (f + 2.0);
  l.B[i] = (f - 2.0) * m;
  const double G = f * m;
  l.G[i] = G;
  const double g2 = G * G;
  const double g4 = g2 * g2;
  l.g4[i] = g4;
  l.solve[i] = 1.0 / (1.0 + k * g4);
}

void Vcf::ProcessPair(Vcf& a, double xa, double ca, Vcf& b, double xb, double cb, double& ya, double& yb) {
#if defined(__SSE2__)
  a.Control(ca);
  b.Control(cb);
  VcfLanes& la = *a.lanes_;
  VcfLanes& lb = *b.lanes_;
  const int ia = a.lane_, ib = b.lane_;
  // Lane 0 is a, lane 1 is b, gathered from wherever each keeps its values.
  const __m128d dither = _mm_set_pd(lb.dither[ib], la.dither[ia]);
  la.dither[ia] = -la.dither[ia];
  lb.dither[ib] = -lb.dither[ib];
  // NaN states restart at 0; the others take the dither.
  auto restart = [&](const double* sa, const double* sb) {
    const __m128d v = _mm_set_pd(sb[ib], sa[ia]);
    return _mm_and_pd(_mm_cmpord_pd(v, v), _mm_add_pd(v, dither));
  };
  __m128d s[4] = {restart(la.s1, lb.s1), restart(la.s2, lb.s2), restart(la.s3, lb.s3), restart(la.s4, lb.s4)};
  auto gather = [&](const double* va, const double* vb) { return _mm_set_pd(vb[ib], va[ia]); };
  const __m128d y = Ladder(s, _mm_set_pd(xb, xa), gather(la.G, lb.G), gather(la.B, lb.B), gather(la.k, lb.k),
                           gather(la.g4, lb.g4), gather(la.solve, lb.solve), gather(la.makeUp, lb.makeUp));
  _mm_storel_pd(&la.s1[ia], s[0]);
  _mm_storeh_pd(&lb.s1[ib], s[0]);
  _mm_storel_pd(&la.s2[ia], s[1]);
  _mm_storeh_pd(&lb.s2[ib], s[1]);
  _mm_storel_pd(&la.s3[ia], s[2]);
  _mm_storeh_pd(&lb.s3[ib], s[2]);
  _mm_storel_pd(&la.s4[ia], s[3]);
  _mm_storeh_pd(&lb.s4[ib], s[3]);
  _mm_storel_pd(&ya, y);
  _mm_storeh_pd(&yb, y);
#else
  ya = a.Process(xa, ca);
  yb = b.Process(xb, cb);
#endif
}

double Vcf::State(int32_t stage) const {
  const VcfLanes& l = *lanes_;
  switch (stage) {
    case 0: return l.s1[lane_];
    case 1: return l.s2[lane_];
    case 2: return l.s3[lane_];
    default: return l.s4[lane_];
  }
}

}  // namespace tessaron
