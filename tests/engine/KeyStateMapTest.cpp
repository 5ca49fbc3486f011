#include <gtest/gtest.h>

#include <cmath>

#include "engine/Envelope.h"
#include "engine/KeyStateMap.h"

namespace tessaron {
namespace {

int StepsUntil(KeyStateMap& keys, uint8_t note, bool (*done)(const KeyStateMap&, uint8_t)) {
  int steps = 0;
  while (!done(keys, note) && steps < 1000000) {
    keys.StepRamps();
    ++steps;
  }
  return steps;
}

TEST(KeyStateMap, AttackAndReleaseFollowTheRateLaw) {
  KeyStateMap keys;
  keys.Reset(44100.0);
  EXPECT_DOUBLE_EQ(keys.Scale(), 2.302585092994046 / 44100.0);
  EXPECT_NEAR(keys.AttackCoefficient(), RateOf(0.01) * keys.Scale(), 1e-18);
  EXPECT_NEAR(keys.ReleaseCoefficient(), RateOf(0.3) * keys.Scale(), 1e-18);

  keys.Start(60);
  const int attack = StepsUntil(keys, 60, [](const KeyStateMap& k, uint8_t n) { return k.At(n).level >= 1.0; });
  EXPECT_NEAR(attack, 44100.0 / RateOf(0.01), 2.0);  // about 5.6 ms

  keys[60].gate = false;
  const int release = StepsUntil(keys, 60, [](const KeyStateMap& k, uint8_t n) { return k.At(n).level <= 0.0; });
  EXPECT_NEAR(release, 44100.0 / RateOf(0.3), 2.0);  // about 183 ms
  EXPECT_TRUE(keys.Contains(60));
  keys.StepRamps();  // erased on the step after it reached 0
  EXPECT_FALSE(keys.Contains(60));

  keys.SetRelease(0.5);
  EXPECT_NEAR(keys.ReleaseCoefficient(), RateOf(0.5) * keys.Scale(), 1e-18);
  keys.Reset(48000.0);  // back to the default release for the new rate
  EXPECT_NEAR(keys.ReleaseCoefficient(), RateOf(0.3) * 2.302585092994046 / 48000.0, 1e-18);
}

TEST(KeyStateMap, AscendingOrderRestartAndHold) {
  KeyStateMap keys;
  for (uint8_t n : {uint8_t(72), uint8_t(12), uint8_t(60), uint8_t(127), uint8_t(0)}) keys.Start(n);
  ASSERT_EQ(keys.Size(), 5);
  const uint8_t expected[] = {0, 12, 60, 72, 127};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(keys.NoteAt(i), expected[i]);

  for (int i = 0; i < 100; ++i) keys.StepRamps();
  keys.Start(60);  // a key struck again restarts from 0 without a second entry
  EXPECT_EQ(keys.Size(), 5);
  EXPECT_EQ(keys.At(60).level, 0.0);

  keys[72].gate = false;
  keys.hold = true;
  const double frozen = keys.At(72).level;
  for (int i = 0; i < 1000; ++i) keys.StepRamps();
  EXPECT_EQ(keys.At(72).level, frozen);
  keys.hold = false;
  keys.StepRamps();
  EXPECT_LT(keys.At(72).level, frozen);
}

// Once every key holds at full level the ramps rest; whatever starts,
// restarts or releases a key must wake them.
TEST(KeyStateMap, RestingChordWakesForNewRestartedAndReleasedKeys) {
  KeyStateMap keys;
  keys.Start(48);
  keys.Start(52);
  for (int i = 0; i < 2000; ++i) keys.StepRamps();
  ASSERT_EQ(keys.At(48).level, 1.0);
  ASSERT_EQ(keys.At(52).level, 1.0);

  keys.Start(55);
  keys.StepRamps();
  EXPECT_GT(keys.At(55).level, 0.0);
  for (int i = 0; i < 2000; ++i) keys.StepRamps();

  keys.Start(48);
  keys.StepRamps();
  EXPECT_GT(keys.At(48).level, 0.0);
  EXPECT_LT(keys.At(48).level, 1.0);
  for (int i = 0; i < 2000; ++i) keys.StepRamps();

  keys[52].gate = false;
  keys.StepRamps();
  EXPECT_LT(keys.At(52).level, 1.0);

  keys.Clear();
  keys.Start(60);
  keys.StepRamps();
  EXPECT_GT(keys.At(60).level, 0.0);
}

}  // namespace
}  // namespace tessaron
