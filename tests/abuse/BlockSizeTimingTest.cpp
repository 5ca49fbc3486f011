// Notes through the ABI while the host changes its block size from call to call.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "tests/support/NoteTiming.h"
#include "tests/support/QuietHost.h"

namespace tessaron::test {
namespace {

TEST(BlockSizeTiming, EveryNoteSoundsWithinOneControlBlockWhateverTheBlockSizes) {
  QuietHost host;
  ASSERT_TRUE(host.Open(44100.0, 8192));
  NoteTimingPlayer player(host.effect());
  player.PreparePatch();

  // A note late in a long block, then blocks too short to reach it.
  std::vector<TimedNote> notes{{500, 60}, {500 + NoteTimingPlayer::kSpacing, 64}};
  std::vector<int32_t> sizes{512};
  for (int i = 0; i < 2000; ++i) sizes.push_back(32);
  EXPECT_EQ(player.Play(notes, sizes), "");

  for (uint32_t seed = 1; seed <= 6; ++seed) {
    std::mt19937 rng(seed);
    // Sizes spread evenly over their logarithm, so that short and long blocks both occur.
    std::vector<int32_t> randomSizes(4000);
    for (int32_t& s : randomSizes)
      s = int32_t(std::exp(std::uniform_real_distribution<double>(0.0, std::log(8192.5))(rng)));
    std::vector<TimedNote> randomNotes;
    int64_t at = 0;
    for (int k = 0; k < 8; ++k) {
      at += NoteTimingPlayer::kSpacing + int64_t(rng() % 9000);
      randomNotes.push_back({at, uint8_t(48 + rng() % 36)});
    }
    EXPECT_EQ(player.Play(randomNotes, randomSizes), "") << "seed " << seed;
  }
}

}  // namespace
}  // namespace tessaron::test
