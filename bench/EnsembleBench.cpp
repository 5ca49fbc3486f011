// Ensemble cost per sample at the default modulation, control ticks included.
#include <benchmark/benchmark.h>

#include <cmath>

#include "dsp/Ensemble.h"

namespace {

void BM_Ensemble(benchmark::State& state) {
  tessaron::Ensemble e;
  e.SetSpeed(0, 0.72);
  e.SetSpeed(1, 5.0);
  e.SetDepth(0, 0.12);
  e.SetDepth(1, 0.04);
  constexpr int kBlock = 44 * 100;
  int n = 0;
  for (auto _ : state) {
    for (int i = 0; i < kBlock; ++i, ++n) {
      if (i % 44 == 0) {
        e.Tick();
      }
      benchmark::DoNotOptimize(e.Process(std::sin(n * 0.0371)));
    }
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_Ensemble);

}  // namespace
