#include "engine/SynthChannel.h"

namespace tessaron {

void SynthChannel::Reset(double fs) {
  gate = false;
  vcf.SetSampleRate(fs);
  envelope.Reset(fs);
  envelope.SetAttack(0.01);
  envelope.SetDecay(0.0);
  envelope.SetSustainLevel(1.0);
  envelope.SetRelease(0.1);
}

void SynthChannel::SetParam(int32_t index, double v) {
  switch (index) {
    case kVcfCutoff: cutoff = v; break;
    case kVcfResonance: vcf.SetResonance(v); break;
    case kVcfEnvelope: envAmount = v; break;
    case kEnvAttack: envelope.SetAttack(v); break;
    case kEnvDecay: envelope.SetDecay(v); break;
    case kEnvSustain: envelope.SetSustainLevel(v); break;
    case kEnvRelease: envelope.SetRelease(v); break;
    default: break;
  }
}

}  // namespace tessaron
