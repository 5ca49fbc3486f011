// Whole-engine renders over the grid of what a player can ask for: idle, one,
// ten and all 128 keys; each section alone and everything together with the
// phaser and the delay; 44.1, 48 and 96 kHz. The "realtime" counter is
// seconds of audio per second of CPU.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#if defined(__SSE2__)
#include <pmmintrin.h>
#include <xmmintrin.h>
#endif

#include "tests/engine/SoundEngineTestFixture.h"

namespace {

using tessaron::testing::EngineRig;

constexpr int32_t kBlock = 512;

void FlushDenormals() {
#if defined(__SSE2__)
  _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
  _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
#endif
}

enum Patch { kSynthOnly, kOrganOnly, kStringOnly, kEverything };
const char* const kPatchNames[] = {"synth", "organ", "string", "all"};

void ApplyPatch(EngineRig& rig, Patch patch) {
  rig.Sections(patch == kSynthOnly || patch == kEverything, patch == kOrganOnly || patch == kEverything,
               patch == kStringOnly || patch == kEverything);
  for (int footage = 8; footage <= 11; ++footage) rig.Set(footage, 0.5);
  rig.Set(22, 2);  // both waveforms
  rig.Set(26, 0.5);
  const bool effects = patch == kEverything;
  for (int phaser = 45; phaser <= 47; ++phaser) rig.Set(phaser, effects ? 1.0 : 0.0);
  rig.Set(50, effects ? 0.3 : 0.0);  // delay mix
}

std::vector<uint8_t> Keys(int count) {
  if (count == 1) return {60};
  if (count == 10) return {36, 43, 48, 52, 55, 60, 64, 67, 71, 74};
  std::vector<uint8_t> all;
  for (int note = 0; note < count; ++note) all.push_back(uint8_t(note));
  return all;
}

void Measure(benchmark::State& state, EngineRig& rig, double fs) {
  std::vector<double> left(kBlock), right(kBlock);
  for (auto _ : state) {
    rig.engine.RenderBlock(left.data(), right.data(), kBlock);
    benchmark::DoNotOptimize(left.data());
    benchmark::DoNotOptimize(right.data());
  }
  state.counters["realtime"] =
      benchmark::Counter(double(state.iterations()) * kBlock / fs, benchmark::Counter::kIsRate);
}

void Playing(benchmark::State& state, double fs, Patch patch, int keyCount) {
  FlushDenormals();
  EngineRig rig(fs, kBlock);
  ApplyPatch(rig, patch);
  for (uint8_t note : Keys(keyCount)) rig.On(note);
  rig.Render(kBlock * 16, kBlock);
  Measure(state, rig, fs);
}

// Everything on as in the full patch but the phaser, every key released and
// every tail died away; the delay stays in the mix.
void Idle(benchmark::State& state, double fs) {
  FlushDenormals();
  EngineRig rig(fs, kBlock);
  ApplyPatch(rig, kEverything);
  for (int phaser = 45; phaser <= 47; ++phaser) rig.Set(phaser, 0.0);
  rig.Set(49, 0.0);
  for (uint8_t note : Keys(10)) rig.On(note);
  rig.Render(kBlock * 16, kBlock);
  for (uint8_t note : Keys(10)) rig.Off(note);
  rig.Render(int32_t(fs) * 10, kBlock);
  if (rig.engine.SoundActive() || !rig.engine.DelayLine().IsIdle()) state.SkipWithError("tails still sounding");
  Measure(state, rig, fs);
}

int Register() {
  for (double fs : {44100.0, 48000.0, 96000.0}) {
    const std::string rate = std::to_string(int(fs / 1000.0)) + "k";
    benchmark::RegisterBenchmark(("Render/" + rate + "/all/idle").c_str(), Idle, fs);
    for (Patch patch : {kEverything, kSynthOnly, kOrganOnly, kStringOnly}) {
      for (int keys : {1, 10, 128}) {
        const std::string name =
            "Render/" + rate + "/" + kPatchNames[patch] + "/" + std::to_string(keys) + (keys == 1 ? "key" : "keys");
        benchmark::RegisterBenchmark(name.c_str(), Playing, fs, patch, keys);
      }
    }
  }
  return 0;
}
const int kRegistered = Register();

}  // namespace
