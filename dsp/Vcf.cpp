#include "dsp/Vcf.h"

#include <map>
#include <mutex>

#include "dsp/PitchToHz.h"

namespace tessaron {

double ResonanceGainAt(double hz) {
  if (hz < 500.0) return 4.1;
  if (hz > 2000.0) return 4.005;
  return 4.1 - (hz - 500.0) * 0.09499999999999975 / 1500.0;
}

std::shared_ptr<const VcfTables> VcfTables::ForRate(double fs) {
  static std::mutex mutex;
  static std::map<double, std::weak_ptr<const VcfTables>> cache;
  std::lock_guard<std::mutex> lock(mutex);
  std::weak_ptr<const VcfTables>& slot = cache[fs];
  if (std::shared_ptr<const VcfTables> shared = slot.lock()) return shared;
  // Forget rates nobody uses any more, so hosts that hop between rates do not
  // accumulate tables.
  for (auto it = cache.begin(); it != cache.end();) {
    if (it->first != fs && it->second.expired()) {
      it = cache.erase(it);
    } else {
      ++it;
    }
  }
  auto tables = std::make_shared<VcfTables>();
  tables->sampleRate = fs;
  constexpr double kTwoPi = 6.283185307179586;
  for (int32_t i = 0; i < kVcfTableSize; ++i) {
    const double hz = PitchToHz(i);
    tables->omega[i] = kTwoPi * hz / fs;
    tables->resGain[i] = ResonanceGainAt(hz);
  }
  cache[fs] = tables;
  return tables;
}

Vcf::Vcf() { RateSetup(44100.0); }

void Vcf::RateSetup(double fs) {
  if (std::isfinite(fs) && fs > 0.0 && (fs != tableRate_ || !tables_)) {
    tableRate_ = fs;
    tables_ = VcfTables::ForRate(fs);
  }
  s1_ = s2_ = s3_ = s4_ = 0.0;
  lastIndex_ = -1.0;
  dither_ = 1e-13;
  g4_ = G_ = B_ = solve_ = makeUp_ = 0.0;
}

void Vcf::SetResonance(double v) {
  lastIndex_ = -1.0;
  resonance_ = v;
  constexpr double kSilent = 1e-13;
  if (v >= 1.0 && std::fabs(s1_) <= kSilent && std::fabs(s2_) <= kSilent &&
      std::fabs(s3_) <= kSilent && std::fabs(s4_) <= kSilent) {
    s2_ = 0.1;
    s4_ = -0.1;
  }
}

void Vcf::UpdateCoefficients(double index) {
  lastIndex_ = index;
  // The negated test also sends a NaN control to the bottom entry.
  const int32_t entry = !(index >= 0.0) ? 0
                        : index >= kVcfTableSize ? kVcfTableSize - 1
                                                 : static_cast<int32_t>(index);
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

double Vcf::State(int32_t stage) const {
  switch (stage) {
    case 0: return s1_;
    case 1: return s2_;
    case 2: return s3_;
    default: return s4_;
  }
}

}  // namespace tessaron
