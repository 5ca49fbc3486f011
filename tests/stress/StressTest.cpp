// Two threads on one instance, as a host drives it: the audio thread plays notes and
// renders while the user-interface thread edits, switches programs and moves states.
// Meant to run under ThreadSanitizer; TESSARON_STRESS_SECONDS sets the length.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/ParameterIds.h"
#include "tests/support/QuietHost.h"
#include "tests/support/TestHost.h"

namespace tessaron::test {
namespace {

using namespace vst;

std::chrono::milliseconds Length() {
  const char* text = std::getenv("TESSARON_STRESS_SECONDS");
  const double seconds = text ? std::atof(text) : 3.0;
  return std::chrono::milliseconds(static_cast<long>(1000.0 * (seconds > 0.0 ? seconds : 3.0)));
}

TEST(Stress, AudioAndEditingThreadsShareOneInstance) {
  QuietHost host;
  ASSERT_TRUE(host.Open(48000.0, 256)) << LoadedModule::Get().Error();
  std::atomic<bool> done{false};
  std::atomic<long> blocks{0}, edits{0}, badSamples{0};

  std::thread audio([&] {
    std::mt19937 rng(1);
    std::vector<float> l(512), r(512);
    std::vector<double> dl(512), dr(512);
    for (long i = 0; !done; ++i) {
      const uint8_t key = uint8_t(36 + rng() % 48);
      host.Midi(rng() % 2 ? 0x90 : 0x80, key, uint8_t(rng() % 128), int32_t(rng() % 256));
      if (i % 64 == 0) host.Midi(0xB0, 64, uint8_t(rng() % 2 * 127));
      if (i % 97 == 0) host.Midi(0xE0, 0, uint8_t(rng() % 128));
      const int frames = 1 + int(rng() % 512);
      long bad = 0;
      if (i % 2) {
        host.ProcessFloat(l.data(), r.data(), frames);
        for (int n = 0; n < frames; ++n) bad += !std::isfinite(l[n]) || !std::isfinite(r[n]);
      } else {
        host.ProcessDouble(dl.data(), dr.data(), frames);
        for (int n = 0; n < frames; ++n) bad += !std::isfinite(dl[n]) || !std::isfinite(dr[n]);
      }
      badSamples += bad;
      ++blocks;
    }
  });

  std::mt19937 rng(2);
  char text[512];
  static const char* typed[] = {"0.5", "On", "Off", "-12", "1e9", "abc", ""};
  const auto end = std::chrono::steady_clock::now() + Length();
  while (std::chrono::steady_clock::now() < end) {
    const int index = int(rng() % kParameterCount);
    switch (rng() % 8) {
      case 0: host.SetParameter(index, float(rng() % 1001) / 1000.0f); break;
      case 1: host.Dispatch(effSetProgram, 0, intptr_t(rng() % 64)); break;
      case 2: {
        void* data = nullptr;
        const bool bank = rng() % 4 == 0;
        const intptr_t size = host.Dispatch(effGetChunk, bank ? 0 : 1, 0, &data);
        if (size <= 0) {
          ADD_FAILURE() << "no chunk";
          break;
        }
        std::vector<uint8_t> copy(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
        EXPECT_EQ(host.Dispatch(effSetChunk, bank ? 0 : 1, size, copy.data()), 1);
        break;
      }
      case 3: {
        std::string t = typed[rng() % std::size(typed)];
        host.Dispatch(effString2Parameter, index, 0, t.data());
        break;
      }
      case 4:
        host.Dispatch(effGetParamDisplay, index, 0, text);
        host.Dispatch(effGetProgramNameIndexed, int32_t(rng() % 64), 0, text);
        break;
      case 5: {
        std::string name = "stress " + std::to_string(rng() % 100);
        host.Dispatch(effSetProgramName, 0, 0, name.data());
        break;
      }
      case 6: host.Dispatch(effEditIdle); break;
      default: {
        const float v = host.GetParameter(index);
        EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << index << ": " << v;
        break;
      }
    }
    ++edits;
  }
  done = true;
  audio.join();
  EXPECT_EQ(badSamples, 0);
  // Both threads got through; how far depends on the machine and the sanitizer, not on us.
  EXPECT_GT(blocks, 0);
  EXPECT_GT(edits, 0);
}

}  // namespace
}  // namespace tessaron::test
