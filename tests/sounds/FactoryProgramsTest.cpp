// Every factory program, played through the module as a host plays it: each one is
// heard, stays within a sane level, never produces a non-number, and none is a copy
// of another.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tests/abi/FilesHomeSupport.h"
#include "tests/support/TestHost.h"

namespace tessaron::test {
namespace {

constexpr int kPrograms = 64;
constexpr int kBlock = 512;
constexpr int kHeldBlocks = 86;  // about a second of playing
constexpr int kBlocks = 130;     // then about half a second of release

struct Render {
  std::string name;
  std::vector<double> left, right;
};

// A fresh instance per program, so no tail of one program reaches the next.
Render Play(int program) {
  TestHost host;
  Render r;
  if (!host.Load()) return r;
  host.Dispatch(vst::effOpen);
  host.Dispatch(vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
  host.Dispatch(vst::effSetBlockSize, 0, kBlock);
  host.Dispatch(vst::effMainsChanged, 0, 1);
  host.Dispatch(vst::effSetProgram, 0, program);
  r.name = host.DispatchText(vst::effGetProgramName);

  // A low key and a chord over it, so basses, leads and pads all have something to play.
  host.SendMidi({{0x90, 36, 100}, {0x90, 48, 100}, {0x90, 55, 100}, {0x90, 64, 100}});
  for (int block = 0; block < kBlocks; ++block) {
    if (block == kHeldBlocks) host.SendMidi({{0x80, 36, 0}, {0x80, 48, 0}, {0x80, 55, 0}, {0x80, 64, 0}});
    std::vector<std::vector<double>> out(2, std::vector<double>(kBlock));
    host.ProcessDouble(out, kBlock);
    r.left.insert(r.left.end(), out[0].begin(), out[0].end());
    r.right.insert(r.right.end(), out[1].begin(), out[1].end());
  }
  return r;
}

double Rms(const std::vector<double>& x) {
  double sum = 0.0;
  for (double v : x) sum += v * v;
  return std::sqrt(sum / double(x.size()));
}

// Renders the whole bank once for both tests.
const std::vector<Render>& Bank() {
  static const std::vector<Render> bank = [] {
    ConfiguredHome home;  // no startup bank: the built-in factory bank
    std::vector<Render> all;
    for (int p = 0; p < kPrograms; ++p) all.push_back(Play(p));
    return all;
  }();
  return bank;
}

TEST(FactoryPrograms, EverySlotSoundsWithinLevelAndFinite) {
  const auto& bank = Bank();
  ASSERT_EQ(bank.size(), size_t(kPrograms));
  for (int p = 0; p < kPrograms; ++p) {
    const Render& r = bank[p];
    SCOPED_TRACE(std::to_string(p) + " " + r.name);
    ASSERT_EQ(r.left.size(), size_t(kBlocks) * kBlock);
    double peak = 0.0;
    bool finite = true;
    for (size_t i = 0; i < r.left.size(); ++i) {
      finite = finite && std::isfinite(r.left[i]) && std::isfinite(r.right[i]);
      peak = std::max({peak, std::abs(r.left[i]), std::abs(r.right[i])});
    }
    EXPECT_TRUE(finite);
    // Above about -46 dBFS even for the slowest swell; below +1 dBFS at the loudest.
    EXPECT_GT(std::max(Rms(r.left), Rms(r.right)), 0.005);
    EXPECT_LT(peak, 1.122);
  }
}

TEST(FactoryPrograms, NoTwoSlotsSoundAlike) {
  const auto& bank = Bank();
  for (int a = 0; a < kPrograms; ++a) {
    for (int b = a + 1; b < kPrograms; ++b) {
      // The difference must be a clear share of the louder program, not a rounding trace.
      double diff = 0.0, level = 0.0;
      for (size_t i = 0; i < bank[a].left.size(); ++i) {
        const double dl = bank[a].left[i] - bank[b].left[i], dr = bank[a].right[i] - bank[b].right[i];
        diff += dl * dl + dr * dr;
        level += std::max(bank[a].left[i] * bank[a].left[i] + bank[a].right[i] * bank[a].right[i],
                          bank[b].left[i] * bank[b].left[i] + bank[b].right[i] * bank[b].right[i]);
      }
      EXPECT_GT(diff, 0.01 * level) << a << " " << bank[a].name << " and " << b << " " << bank[b].name;
    }
  }
}

}  // namespace
}  // namespace tessaron::test
