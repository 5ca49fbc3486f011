#include <gtest/gtest.h>

#include "dsp/PitchToHz.h"

namespace tessaron {
namespace {

TEST(PitchToHz, TableEntriesAndInterpolation) {
  EXPECT_DOUBLE_EQ(PitchToHz(128 * 69), 440.0);
  EXPECT_NEAR(PitchToHz(64), 8.419, 1e-12);
  EXPECT_DOUBLE_EQ(PitchToHz(0), 8.176);
  EXPECT_DOUBLE_EQ(PitchToHz(17280), 19912.127);
  EXPECT_DOUBLE_EQ(PitchToHz(20000), 19912.127);
  EXPECT_DOUBLE_EQ(PitchToHz(-17280), 0.0033570162);
  EXPECT_DOUBLE_EQ(PitchToHz(-30000), 0.0033570162);
  EXPECT_DOUBLE_EQ(PitchToHz(60 * 128), 261.626);
  EXPECT_DOUBLE_EQ(PitchToHz(-128), 7.7171163805);
  EXPECT_DOUBLE_EQ(PitchToHz(124 * 128), 10548.08);
}

}  // namespace
}  // namespace tessaron
