#include "engine/Envelope.h"

#include <cmath>

namespace tessaron {

double RateOf(double x) { return std::pow(5.0, 3.3 - 7.5 * x) + 0.05; }

double StepFraction(double rate, double scale) {
  const double c = rate * scale;
  return c < 1.0 ? c : 1.0;
}

Envelope::Envelope() = default;

void Envelope::Reset(double ticksPerSecond) {
  state_ = kIdle;
  level_ = 0.0;
  if (std::isfinite(ticksPerSecond) && ticksPerSecond > 0.0) scale_ = kLn10 / ticksPerSecond;
}

void Envelope::GateOn() {
  state_ = kAttack;
  target_ = kRiseTarget;
  // A setting of exactly 0 has always used this slightly slower law.
  const double rate = attack_ > 0.0 ? RateOf(attack_) : std::pow(10.0, 2.3 - 4.5 * attack_);
  coefficient_ = StepFraction(rate, scale_);
}

void Envelope::GateOff() {
  if (level_ > 0.0) {
    state_ = kRelease;
    target_ = kFallTarget;
    coefficient_ = StepFraction(RateOf(release_), scale_);
  } else {
    state_ = kIdle;
  }
}

void Envelope::EnterDecay() {
  level_ = 1.0;
  state_ = kDecay;
  target_ = sustain_;
  coefficient_ = StepFraction(RateOf(decay_), scale_);
}

void Envelope::SetAttack(double x) {
  attack_ = x;
  if (state_ == kAttack) coefficient_ = StepFraction(RateOf(x), scale_);
}

void Envelope::SetDecay(double x) {
  decay_ = x;
  if (state_ == kStill) state_ = kDecay;
  if (state_ == kDecay) coefficient_ = StepFraction(RateOf(x), scale_);
}

void Envelope::SetRelease(double x) {
  release_ = x;
  if (state_ == kRelease) coefficient_ = StepFraction(RateOf(x), scale_);
}

void Envelope::SetSustainLevel(double s) {
  sustain_ = s;
  if (state_ == kStill) state_ = kDecay;
  if (state_ == kDecay) target_ = s;
}

}  // namespace tessaron
