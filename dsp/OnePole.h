#pragma once
// One-pole filters of the organ footages, the modulation smoother, the String
// path and the output stage. LP6 and HP6 share the recursion and differ only in
// how a cutoff becomes the pole.

namespace tessaron {

class OnePole {
 public:
  // Owner's duty before SetCutoff: the period follows the rate and the old
  // output must not leak into the new set-up.
  void SetSampleRate(double fs) {
    T = 1.0 / fs;
    y = 0.0;
  }

  double Process(double x) {
    y = a * x + b * y;
    // A NaN would otherwise stay in the state forever and silence the path.
    if (y != y) {
      y = 0.0;
    }
    return y;
  }

  void Clear() { y = 0.0; }

  double T = 1.0;  // period 1/fs
  double a = 0.0;
  double b = 0.0;
  double y = 0.0;  // output state
};

class LP6 : public OnePole {
 public:
  void SetCutoff(double fc);
};

// The pole sits at exp(-2pi (0.5 - fc/fs)), close to zero: the stage passes DC
// and only slightly softens the top octave. That colour is part of the sound.
class HP6 : public OnePole {
 public:
  void SetCutoff(double fc);
};

}  // namespace tessaron
