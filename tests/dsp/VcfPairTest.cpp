// Two filters through the paired path must come out bit for bit as each
// would through its own Process: hard clipping on both sides, a NaN that
// lands in the state, cutoff moves, self-oscillation and dither phases that
// differ between the two.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "dsp/Vcf.h"

namespace tessaron {
namespace {

// Equal bits; any NaN matches any NaN, since compilers may swap the operands
// of a scalar add and with them which NaN payload survives.
bool Same(double x, double y) {
  if (std::isnan(x) || std::isnan(y)) return std::isnan(x) && std::isnan(y);
  uint64_t bx, by;
  std::memcpy(&bx, &x, sizeof bx);
  std::memcpy(&by, &y, sizeof by);
  return bx == by;
}

void ExpectSameState(const Vcf& paired, const Vcf& single, int n) {
  for (int32_t stage = 0; stage < 4; ++stage) {
    ASSERT_TRUE(Same(paired.State(stage), single.State(stage))) << "sample " << n << " stage " << stage;
  }
}

TEST(VcfPairTest, EachLaneMatchesItsOwnFilter) {
  for (double rate : {44100.0, 96000.0}) {
    Vcf a, b, refA, refB;
    for (Vcf* f : {&a, &b, &refA, &refB}) f->SetSampleRate(rate);
    a.SetResonance(1.0);  // seeded, rings by itself
    refA.SetResonance(1.0);
    b.SetResonance(0.3);
    refB.SetResonance(0.3);
    // b runs one sample ahead, so the two dithers have opposite signs.
    const double first = b.Process(0.2, 0.5);
    ASSERT_TRUE(Same(first, refB.Process(0.2, 0.5)));

    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int n = 0; n < 4000; ++n) {
      // Loud bursts drive the saturation past both clip points.
      const double loud = (n / 500) % 2 == 1 ? 40.0 : 0.3;
      double xa = loud * std::sin(n * 0.05);
      double xb = -loud * std::cos(n * 0.031);
      if (n == 1234) xa = nan;  // reaches the state of a alone
      if (n == 2345) xb = nan;
      const double ca = 0.3 + 0.4 * std::sin(n * 0.002);
      const double cb = n < 2000 ? 0.8 : 0.1 + n * 1e-5;
      double ya = 0.0, yb = 0.0;
      Vcf::ProcessPair(a, xa, ca, b, xb, cb, ya, yb);
      ASSERT_TRUE(Same(ya, refA.Process(xa, ca))) << "sample " << n;
      ASSERT_TRUE(Same(yb, refB.Process(xb, cb))) << "sample " << n;
      ExpectSameState(a, refA, n);
      ExpectSameState(b, refB, n);
    }
    EXPECT_TRUE(std::isfinite(a.State(0)) && std::isfinite(b.State(0)));
  }
}

// Two filters sharing one set of lanes, as the render loop pairs its channels:
// whether they run together or alone, each stays bit for bit its own filter,
// and a reset or a seed of one leaves the other alone.
TEST(VcfPairTest, FiltersSharingLanesStayTheirOwn) {
  VcfTables tables;
  VcfLanes lanes;
  Vcf a(tables, lanes, 0), b(tables, lanes, 1), refA, refB;
  a.SetResonance(1.0);  // seeded, rings by itself
  refA.SetResonance(1.0);
  b.SetResonance(0.4);
  refB.SetResonance(0.4);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (int n = 0; n < 3000; ++n) {
    const double loud = (n / 400) % 2 == 1 ? 40.0 : 0.3;
    const double xa = n == 777 ? nan : loud * std::sin(n * 0.05);
    const double xb = -loud * std::cos(n * 0.031);
    const double ca = 0.3 + 0.4 * std::sin(n * 0.002);
    const double cb = n < 1500 ? 0.8 : 0.1 + n * 1e-5;
    if (n == 2000) {
      b.SetSampleRate(44100.0);
      refB.SetSampleRate(44100.0);
    }
    const int mode = (n / 97) % 3;  // both, a alone, b alone
    if (mode == 0) {
#if defined(__SSE2__)
      const __m128d y = Vcf::ProcessLanes(a, b, _mm_set_pd(xb, xa), _mm_set_pd(cb, ca));
      double ys[2];
      _mm_storeu_pd(ys, y);
      ASSERT_TRUE(Same(ys[0], refA.Process(xa, ca))) << "sample " << n;
      ASSERT_TRUE(Same(ys[1], refB.Process(xb, cb))) << "sample " << n;
#endif
    } else if (mode == 1) {
      ASSERT_TRUE(Same(a.Process(xa, ca), refA.Process(xa, ca))) << "sample " << n;
    } else {
      ASSERT_TRUE(Same(b.Process(xb, cb), refB.Process(xb, cb))) << "sample " << n;
    }
    ExpectSameState(a, refA, n);
    ExpectSameState(b, refB, n);
  }
}

}  // namespace
}  // namespace tessaron
