#include <gtest/gtest.h>

#include <cstring>

#include "engine/ParameterIds.h"
#include "tests/abi/FilesHomeSupport.h"
#include "tests/support/TestHost.h"

namespace tessaron::test {
namespace {

using namespace vst;

// Slot 0 of the factory bank, real values by parameter index.
constexpr double kStarTone[66] = {2,
                                  0.1,
                                  0.5390625,
                                  0.3984375,
                                  0.3584375,
                                  0.5,
                                  0.5,
                                  0.5,
                                  0.338,
                                  0.216,
                                  0,
                                  0.027,
                                  0.1,
                                  0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  0.0859375,
                                  0.4221875,
                                  0,
                                  1,
                                  1,
                                  1,
                                  0,
                                  0.3635759893,
                                  0.625,
                                  0.376875,
                                  0,
                                  0.6640625,
                                  0.5078125,
                                  0.646875,
                                  1,
                                  0,
                                  0,
                                  4.6,
                                  0.53125,
                                  0,
                                  0.07340712891,
                                  0.5,
                                  0.5,
                                  0.6140625,
                                  0.534375,
                                  0.19,
                                  -0.3,
                                  0,
                                  1,
                                  1,
                                  0.7578125,
                                  0.5734375,
                                  0.3984375,
                                  0,
                                  0,
                                  1,
                                  0,
                                  0,
                                  0,
                                  45,
                                  0.3,
                                  0.72,
                                  5,
                                  0.12,
                                  0.04,
                                  0.02,
                                  0.2,
                                  0.5};

// The live values, read from the program chunk: header, tag, index, name, doubles.
std::vector<double> LiveValues(TestHost& host) {
  const std::vector<uint8_t> chunk = host.GetChunk(false);
  int32_t nameLength = 0;
  std::memcpy(&nameLength, chunk.data() + 8 + 18, 4);
  std::vector<double> values(kParameterCount);
  std::memcpy(values.data(), chunk.data() + 8 + 22 + nameLength, kParameterCount * 8);
  return values;
}

TEST(FilesStartup, NewInstanceHoldsTheFactoryBank) {
  ConfiguredHome home;
  TestHost host;
  ASSERT_TRUE(host.Load());
  host.Dispatch(effOpen);
  EXPECT_EQ(host.Dispatch(effGetProgram), 0);
  EXPECT_EQ(host.DispatchText(effGetProgramName), "PAD: Star Tone");
  const char* expected[][2] = {{"1", "BRS: Slow Brass"},
                               {"16", "PAD: Classic Inverted Rezo"},
                               {"44", "LED: Try To Get It Straight"},
                               {"62", "BAS: Wobbler"},
                               {"63", "Init"}};
  for (const auto& [slot, name] : expected) {
    EXPECT_EQ(host.DispatchText(effGetProgramNameIndexed, std::atoi(slot)), name);
  }
  const std::vector<double> values = LiveValues(host);
  for (int i = 0; i < 66; ++i) EXPECT_EQ(values[i], kStarTone[i]) << i;

  // A factory bank is 64 tagged programs of 564 bytes behind their names.
  EXPECT_EQ(host.GetChunk(true).size(), 37509u);
}

TEST(FilesStartup, MissingStartupBankFallsBackToTheFactoryBank) {
  ConfiguredHome home("[Startup Bank]\nFile=/nonexistent/folder/startup.fxb\n");
  TestHost host;
  ASSERT_TRUE(host.Load());
  EXPECT_EQ(host.DispatchText(effGetProgramName), "PAD: Star Tone");
  EXPECT_EQ(host.DispatchText(effGetProgramNameIndexed, 63), "Init");
}

}  // namespace
}  // namespace tessaron::test
