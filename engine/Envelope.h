#pragma once
// Attack/decay/sustain/release generator shared by the String section, the six
// Synth channels and the control-rate glide and modulation shapers. Setters run
// in the parameter-change operation, Tick in the render loop; both under the
// instrument's lock.
#include <cstdint>

namespace tessaron {

constexpr double kLn10 = 2.302585092994046;
// Segments aim past their end point so that the remaining distance shrinks by
// exactly a factor of ten over a full move: a full move then lasts 1 / rate s.
constexpr double kRiseTarget = 1.1111111111111112;
constexpr double kFallTarget = -0.1111111111111111;

// Full-range moves per second for a time setting x in 0..1.
double RateOf(double x);

// Fraction of the remaining distance covered per step. Capped at 1 so that
// very low tick rates jump to the target instead of overshooting and growing
// without bound.
double StepFraction(double rate, double scale);

class Envelope {
 public:
  enum Stage : int32_t { kIdle = 0, kAttack = 1, kDecay = 2, kRelease = 3 };

  // Idle at level 0, all settings 0, clocked at 1000 ticks per second.
  Envelope();

  // Idle, level 0, clocked at ticksPerSecond. A rate that is not a positive
  // finite number leaves the clock as it was.
  void Reset(double ticksPerSecond);

  void GateOn();
  void GateOff();
  void Tick() {
    if (state_ <= kIdle) return;  // idle or still
    level_ += (target_ - level_) * coefficient_;
    if (state_ == kAttack) {
      if (level_ >= 1.0) EnterDecay();
    } else if (level_ <= 0.0) {
      level_ = 0.0;
      state_ = kIdle;
    }
  }
  // A decay whose next step would not move its level computes that very level on
  // every later tick, so Tick leaves it be until a gate or setting changes. Cheap
  // enough for every control tick; a test per Tick would cost moving envelopes.
  void HoldIfStill() {
    if (state_ == kDecay && level_ > 0.0 && level_ + (target_ - level_) * coefficient_ == level_) state_ = kStill;
  }

  void SetAttack(double x);
  void SetDecay(double x);
  void SetRelease(double x);
  void SetSustainLevel(double s);

  double Level() const { return level_; }
  Stage State() const { return state_ == kStill ? kDecay : static_cast<Stage>(state_); }
  double Attack() const { return attack_; }
  double Decay() const { return decay_; }
  double Sustain() const { return sustain_; }
  double Release() const { return release_; }
  double Scale() const { return scale_; }
  double Coefficient() const { return coefficient_; }

 private:
  // A decay held where rounding stops it (HoldIfStill); reported as kDecay.
  static constexpr int32_t kStill = -1;
  void EnterDecay();

  double level_ = 0.0;
  double attack_ = 0.0;
  double decay_ = 0.0;
  double sustain_ = 0.0;
  double release_ = 0.0;
  int32_t state_ = kIdle;
  double scale_ = kLn10 / 1000.0;
  double target_ = 0.0;
  double coefficient_ = 0.0;
};

}  // namespace tessaron
