#include "engine/SectionRamp.h"

#include <cmath>

#include "engine/Envelope.h"

namespace tessaron {

SectionRamp::SectionRamp() { SetSampleRate(44100.0); }

void SectionRamp::SetSampleRate(double fs) {
  gate_ = false;
  level_ = 0.0;
  if (!(std::isfinite(fs) && fs > 0.0)) return;
  const double scale = kLn10 / fs;
  attackCoefficient_ = StepFraction(RateOf(0.001), scale);
  releaseCoefficient_ = StepFraction(RateOf(0.01), scale);
}

}  // namespace tessaron
