// Whole-engine render cost at 44.1 kHz in host blocks of 512 samples. The
// "realtime" counter is seconds of audio per second of CPU: the ten-key chord
// must stay far above 100, and idle must cost a tiny share of the chord.
#include <benchmark/benchmark.h>

#include <vector>

#if defined(__SSE2__)
#include <pmmintrin.h>
#include <xmmintrin.h>
#endif

#include "tests/engine/SoundEngineTestFixture.h"

namespace {

using tessaron::testing::EngineRig;

constexpr int32_t kBlock = 512;
constexpr double kFs = 44100.0;

// The audio callbacks run with flush-to-zero and denormals-are-zero; so does this.
void FlushDenormals() {
#if defined(__SSE2__)
  _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
  _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
#endif
}

void Run(benchmark::State& state, EngineRig& rig) {
  std::vector<double> left(kBlock), right(kBlock);
  for (auto _ : state) {
    rig.engine.RenderBlock(left.data(), right.data(), kBlock);
    benchmark::DoNotOptimize(left.data());
    benchmark::DoNotOptimize(right.data());
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
  state.counters["realtime"] =
      benchmark::Counter(double(state.iterations()) * kBlock / kFs, benchmark::Counter::kIsRate);
}

// Every section, the phaser on all three and the delay in the mix.
void FullPatch(EngineRig& rig) {
  rig.Sections(true, true, true);
  for (int footage = 8; footage <= 11; ++footage) rig.Set(footage, 0.5);
  rig.Set(22, 2);  // both waveforms
  for (int phaser = 45; phaser <= 47; ++phaser) rig.Set(phaser, 1.0);
  rig.Set(50, 0.3);
  rig.Set(26, 0.5);
}

void BM_TenKeyChord(benchmark::State& state) {
  FlushDenormals();
  EngineRig rig;
  FullPatch(rig);
  for (uint8_t note : {36, 43, 48, 52, 55, 60, 64, 67, 71, 74}) rig.On(note);
  rig.Render(kBlock * 8, kBlock);
  Run(state, rig);
}
BENCHMARK(BM_TenKeyChord);

void BM_OneKey(benchmark::State& state) {
  FlushDenormals();
  EngineRig rig;
  FullPatch(rig);
  rig.On(60);
  rig.Render(kBlock * 8, kBlock);
  Run(state, rig);
}
BENCHMARK(BM_OneKey);

// Sections, phaser and delay as in the chord, but every key has gone and
// every tail has died; the delay stays in the mix. Arg: delay feedback in %.
void BM_IdleAfterTails(benchmark::State& state) {
  FlushDenormals();
  EngineRig rig;
  FullPatch(rig);
  for (int phaser = 45; phaser <= 47; ++phaser) rig.Set(phaser, 0.0);
  rig.Set(49, state.range(0) / 100.0);
  for (uint8_t note : {48, 52, 55, 60}) rig.On(note);
  rig.Render(kBlock * 8, kBlock);
  for (uint8_t note : {48, 52, 55, 60}) rig.Off(note);
  // With flush-to-zero the echoes reach exact zero after some hundred passes.
  rig.Render(int32_t(kFs) * int32_t(state.range(1)), kBlock);
  if (rig.engine.SoundActive()) state.SkipWithError("sound still active");
  Run(state, rig);
}
BENCHMARK(BM_IdleAfterTails)->Args({0, 5})->Args({30, 300});

void BM_FullKeyboardCluster(benchmark::State& state) {
  FlushDenormals();
  EngineRig rig;
  FullPatch(rig);
  for (int note = 0; note < 128; ++note) rig.On(uint8_t(note));
  rig.Render(kBlock * 8, kBlock);
  Run(state, rig);
}
BENCHMARK(BM_FullKeyboardCluster);

}  // namespace
