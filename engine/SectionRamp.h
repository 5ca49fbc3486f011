#pragma once
// Gated rise and fall between 0 and 1 with fixed short times (about 5.0 ms up,
// 5.6 ms down): the organ ramp and the sawtooth/square crossfade. Gate changes
// and steps run under the instrument's lock.

namespace tessaron {

class SectionRamp {
 public:
  // Coefficients for 44100 Hz, gate clear, level 0.
  SectionRamp();

  // New coefficients for fs; clears gate and level. A rate that is not a
  // positive finite number keeps the coefficients but still clears.
  void SetSampleRate(double fs);

  void SetGate(bool on) { gate_ = on; }
  bool Gate() const { return gate_; }
  double Level() const { return level_; }
  double AttackCoefficient() const { return attackCoefficient_; }
  double ReleaseCoefficient() const { return releaseCoefficient_; }

  // Once per sample while sound is active.
  void Step() {
    if (gate_) {
      if (level_ < 1.0) {
        level_ += (1.1111111111111112 - level_) * attackCoefficient_;
        if (level_ > 1.0) level_ = 1.0;
      }
    } else if (level_ > 0.0) {
      level_ -= (level_ + 0.1111111111111111) * releaseCoefficient_;
      if (level_ < 0.0) level_ = 0.0;
    }
  }

 private:
  bool gate_ = false;
  double level_ = 0.0;
  double attackCoefficient_ = 0.0;
  double releaseCoefficient_ = 0.0;
};

}  // namespace tessaron
