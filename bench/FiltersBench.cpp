// Per-sample cost of the small filters; items are samples, so the report reads
// directly as time per sample.
#include <benchmark/benchmark.h>

#include <numbers>

#include "dsp/BiquadLowPass.h"
#include "dsp/OnePole.h"

namespace {

constexpr int kBlock = 4096;

void BM_LP6(benchmark::State& state) {
  tessaron::LP6 lp;
  lp.SetSampleRate(44100.0);
  lp.SetCutoff(1254.0);
  double x = 0.25;
  for (auto _ : state) {
    for (int n = 0; n < kBlock; ++n) {
      x = -x;
      benchmark::DoNotOptimize(lp.Process(x));
    }
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_LP6);

void BM_HP6ThenLP6(benchmark::State& state) {
  tessaron::HP6 hp;
  tessaron::LP6 lp;
  hp.SetSampleRate(44100.0);
  hp.SetCutoff(3.3);
  lp.SetSampleRate(44100.0);
  lp.SetCutoff(12000.0);
  double x = 0.25;
  for (auto _ : state) {
    for (int n = 0; n < kBlock; ++n) {
      x = -x;
      benchmark::DoNotOptimize(lp.Process(hp.Process(x)));
    }
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_HP6ThenLP6);

void BM_BiquadLowPass(benchmark::State& state) {
  tessaron::BiquadLowPass bq;
  bq.Setup(44100.0, tessaron::BiquadLowPass::kButterworthQ, 2.0 * std::numbers::pi * 6000.0 / 44100.0);
  double x = 0.25;
  for (auto _ : state) {
    for (int n = 0; n < kBlock; ++n) {
      x = -x;
      benchmark::DoNotOptimize(bq.Process(x));
    }
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_BiquadLowPass);

}  // namespace
