#include "engine/SynthChannel.h"

namespace tessaron {

void SynthChannel::Reset(double fs) {
  gate = false;
  vcf.RateSetup(fs);
  envelope.Reset(fs);
  envelope.SetAttack(0.01);
  envelope.SetDecay(0.0);
  envelope.SetSustainLevel(1.0);
  envelope.SetRelease(0.1);
}

void SynthChannel::SetParam(int32_t index, double v) {
  switch (index) {
    case kParamVcfCutoff: cutoff = v; break;
    case kParamVcfResonance: vcf.SetResonance(v); break;
    case kParamVcfEnvelope: envAmount = v; break;
    case kParamEnvelopeAttack: envelope.SetAttack(v); break;
    case kParamEnvelopeDecay: envelope.SetDecay(v); break;
    case kParamEnvelopeSustain: envelope.SetSustainLevel(v); break;
    case kParamEnvelopeRelease: envelope.SetRelease(v); break;
    default: break;
  }
}

}  // namespace tessaron
