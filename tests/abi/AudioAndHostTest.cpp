#include <cmath>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

#include "tests/abi/AbiTestSupport.h"

namespace tessaron::test {
namespace {

using namespace vst;

using Audio = OpenedInstance;

// Without notes the output is silent but for the filters' anti-denormal dither.
constexpr double kSilence = 1e-9;

TEST_F(Audio, CallbacksWriteSilenceAndAskForMidi) {
  host.ClearCalls();
  std::vector<std::vector<float>> out(2, std::vector<float>(512, 1.0f));
  host.ProcessReplacing(out, 512);
  for (auto& ch : out) {
    for (float s : ch) ASSERT_NEAR(s, 0.0f, kSilence);
  }
  std::vector<std::vector<float>> acc(2, std::vector<float>(512, 0.25f));
  host.ProcessAccumulating(acc, 512);
  for (auto& ch : acc) {
    for (float s : ch) ASSERT_NEAR(s, 0.25f, kSilence);
  }
  std::vector<std::vector<double>> dbl(2, std::vector<double>(512, 1.0));
  host.ProcessDouble(dbl, 512);
  for (auto& ch : dbl) {
    for (double s : ch) ASSERT_NEAR(s, 0.0, kSilence);
  }
  EXPECT_EQ(host.CountCalls(audioMasterWantMidi), 3);
}

TEST_F(Audio, MoreFramesThanTheBlockSizeAreRenderedInSlices) {
  host.Dispatch(effSetBlockSize, 0, 64);
  host.Dispatch(effSetBlockSize, 0, -8);       // ignored
  host.Dispatch(effSetBlockSize, 0, 1 << 30);  // refused
  host.Dispatch(effSetSampleRate, 0, 0, nullptr, -1.0f);
  host.Dispatch(effSetSampleRate, 0, 0, nullptr, INFINITY);
  std::vector<std::vector<float>> out(2, std::vector<float>(5000, 7.0f));
  host.ProcessReplacing(out, 5000);
  for (auto& ch : out) {
    for (float s : ch) ASSERT_NEAR(s, 0.0f, kSilence);
  }
  std::vector<std::vector<double>> dbl(2, std::vector<double>(777, 7.0));
  host.ProcessDouble(dbl, 777);
  for (auto& ch : dbl) {
    for (double s : ch) ASSERT_NEAR(s, 0.0, kSilence);
  }
  host.ProcessReplacing(out, 0);
  host.ProcessReplacing(out, -3);
}

TEST_F(Audio, SpeakerArrangementDisconnectsOutputs) {
  VstSpeakerArrangement mono{};
  mono.numChannels = 1;
  EXPECT_EQ(host.Dispatch(effSetSpeakerArrangement, 0, 0, &mono), 1);
  std::vector<std::vector<float>> out(2, std::vector<float>(256, 3.0f));
  host.ProcessReplacing(out, 256);
  EXPECT_NEAR(out[0][10], 0.0f, kSilence);
  EXPECT_EQ(out[1][10], 3.0f);  // disconnected: the host buffer is left alone
  mono.numChannels = 1000;
  EXPECT_EQ(host.Dispatch(effSetSpeakerArrangement, 0, 0, &mono), 1);
  host.ProcessReplacing(out, 256);
  EXPECT_NEAR(out[1][10], 0.0f, kSilence);
}

#if defined(__SSE2__) || defined(_M_X64)
TEST_F(Audio, HostFloatingPointModeIsRestored) {
  const unsigned saved = _mm_getcsr();
  _mm_setcsr(saved & ~0x8040u);
  const unsigned before = _mm_getcsr();
  std::vector<std::vector<float>> out(2, std::vector<float>(64));
  host.ProcessReplacing(out, 64);
  std::vector<std::vector<double>> dbl(2, std::vector<double>(64));
  host.ProcessDouble(dbl, 64);
  EXPECT_EQ(_mm_getcsr(), before);
  _mm_setcsr(saved);
}
#endif

class ProductStrings : public ::testing::TestWithParam<const char*> {};

TEST_P(ProductStrings, HostIsAskedOnceAtOpen) {
  TestHost host;
  host.productString = GetParam();
  ASSERT_TRUE(host.Load());
  EXPECT_EQ(host.CountCalls(audioMasterGetProductString), 0);
  host.Dispatch(effOpen);
  host.Dispatch(effOpen);
  EXPECT_EQ(host.CountCalls(audioMasterGetProductString), 1);
}

INSTANTIATE_TEST_SUITE_P(Hosts, ProductStrings, ::testing::Values("Cubase Pro", "REAPER64", "", "MyHost"));

}  // namespace
}  // namespace tessaron::test
