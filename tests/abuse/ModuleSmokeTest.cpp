// The short life of one instance, small enough to run under valgrind: load, open,
// play a note for a second, move the states, close.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/support/QuietHost.h"
#include "tests/support/TestHost.h"

namespace tessaron::test {
namespace {

using namespace vst;

TEST(ModuleSmoke, LoadsPlaysSavesAndCloses) {
  QuietHost host;
  ASSERT_TRUE(host.Open(44100.0, 512)) << LoadedModule::Get().Error();
  host.Dispatch(effSetProgram, 0, 0);
  host.Midi(0x90, 60, 100);
  std::vector<float> l(512), r(512);
  double energy = 0.0;
  for (int block = 0; block < 44100 / 512; ++block) {
    host.ProcessFloat(l.data(), r.data(), 512);
    for (int i = 0; i < 512; ++i) {
      ASSERT_TRUE(std::isfinite(l[i]) && std::isfinite(r[i]));
      energy += double(l[i]) * l[i];
    }
  }
  host.Midi(0x80, 60, 0);
  EXPECT_GT(energy, 0.0);
  for (bool bank : {true, false}) {
    void* data = nullptr;
    const intptr_t size = host.Dispatch(effGetChunk, bank ? 0 : 1, 0, &data);
    ASSERT_GT(size, 0);
    std::vector<uint8_t> copy(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
    EXPECT_EQ(host.Dispatch(effSetChunk, bank ? 0 : 1, size, copy.data()), 1);
  }
  char name[256] = {};
  EXPECT_EQ(host.Dispatch(effGetEffectName, 0, 0, name), 1);
  EXPECT_STREQ(name, "Tessaron");
  host.Close();
}

}  // namespace
}  // namespace tessaron::test
