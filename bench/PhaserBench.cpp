// Phaser cost per stereo sample, sweep ticks included.
#include <benchmark/benchmark.h>

#include "dsp/Phaser.h"

namespace {

void BM_Phaser(benchmark::State& state) {
  tessaron::Phaser ph;
  ph.SetSampleRate(44100.0);
  ph.SetSpeed(0.19);
  ph.SetFeedback(-0.3);
  constexpr int kBlock = 44 * 100;
  double x = 0.25;
  for (auto _ : state) {
    for (int i = 0; i < kBlock; ++i) {
      if (i % 44 == 0) {
        ph.Tick();
      }
      x = -x;
      double l = x;
      double r = 0.5 * x;
      ph.Process(l, r);
      benchmark::DoNotOptimize(l);
      benchmark::DoNotOptimize(r);
    }
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_Phaser);

}  // namespace
