#pragma once
// Four-point cubic (Catmull-Rom) interpolation, shared by the clocked delay
// lines that resample between the audio rate and their own clock.

#include <cmath>

namespace tessaron {

// The cubic between p1 (t = 0) and p2 (t = 1), with p0 and p3 shaping the
// slopes. Its coefficients do not depend on t, so a line clock that reads the
// same four samples several times works them out once.
struct CatmullRomCurve {
  double c0, c1, c2, c3;  // of 1, t, t^2, t^3

  CatmullRomCurve(double p0, double p1, double p2, double p3)
      : c0(p1), c1(0.5 * (p2 - p0)), c2(p0 - 2.5 * p1 + 2.0 * p2 - 0.5 * p3), c3(0.5 * (p3 - p0) + 1.5 * (p1 - p2)) {}
  double At(double t) const { return c0 + c1 * t + c2 * t * t + c3 * t * t * t; }
};

// Interpolates between p1 (t = 0) and p2 (t = 1); p0 and p3 shape the slopes.
inline double CatmullRom(double p0, double p1, double p2, double p3, double t) {
  return CatmullRomCurve(p0, p1, p2, p3).At(t);
}

// Four samples, oldest first; Push drops the oldest.
struct History4 {
  double v[4] = {0.0, 0.0, 0.0, 0.0};

  void Push(double x) {
    v[0] = v[1];
    v[1] = v[2];
    v[2] = v[3];
    v[3] = x;
  }
  double At(double t) const { return CatmullRom(v[0], v[1], v[2], v[3], t); }
  CatmullRomCurve Curve() const { return CatmullRomCurve(v[0], v[1], v[2], v[3]); }
  bool IsZero() const { return v[0] == 0.0 && v[1] == 0.0 && v[2] == 0.0 && v[3] == 0.0; }
  bool Below(double level) const {
    return std::fabs(v[0]) < level && std::fabs(v[1]) < level && std::fabs(v[2]) < level && std::fabs(v[3]) < level;
  }
  void Clear() { v[0] = v[1] = v[2] = v[3] = 0.0; }
};

}  // namespace tessaron
