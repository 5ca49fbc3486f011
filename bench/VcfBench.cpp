#include <benchmark/benchmark.h>

#include <cmath>

#include "dsp/Vcf.h"

namespace tessaron {
namespace {

// Steady cutoff: coefficients stay cached.
void BM_VcfSteadyCutoff(benchmark::State& state) {
  Vcf vcf;
  vcf.SetResonance(0.8);
  double x = 0.3;
  for (auto _ : state) {
    x = -x;
    benchmark::DoNotOptimize(vcf.Process(x, 0.55));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_VcfSteadyCutoff);

// An envelope sweep moves the table index on every sample.
void BM_VcfSweptCutoff(benchmark::State& state) {
  Vcf vcf;
  vcf.SetResonance(0.8);
  double x = 0.3, c = 0.2;
  for (auto _ : state) {
    x = -x;
    c += 1e-4;
    if (c > 0.9) c = 0.2;
    benchmark::DoNotOptimize(vcf.Process(x, c));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_VcfSweptCutoff);

// The Synth section runs six independent channels per sample, which the
// processor can overlap.
void BM_VcfSixChannels(benchmark::State& state) {
  Vcf vcf[6];
  for (Vcf& v : vcf) v.SetResonance(0.8);
  double x = 0.3;
  for (auto _ : state) {
    x = -x;
    double sum = 0.0;
    for (int c = 0; c < 6; ++c) sum += vcf[c].Process(x, 0.5 + 0.01 * c);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_VcfSixChannels);

#if defined(__SSE2__)
// The same six channels as the render loop runs them: three pairs, each
// sharing one set of lanes.
void BM_VcfSixChannelsInPairs(benchmark::State& state) {
  VcfTables tables;
  VcfLanes lanes[3];
  Vcf vcf[6] = {Vcf(tables, lanes[0], 0), Vcf(tables, lanes[0], 1), Vcf(tables, lanes[1], 0),
                Vcf(tables, lanes[1], 1), Vcf(tables, lanes[2], 0), Vcf(tables, lanes[2], 1)};
  for (Vcf& v : vcf) v.SetResonance(0.8);
  __m128d x = _mm_set1_pd(0.3);
  for (auto _ : state) {
    x = _mm_xor_pd(x, _mm_set1_pd(-0.0));
    __m128d sum = _mm_setzero_pd();
    for (int c = 0; c < 6; c += 2) {
      sum = _mm_add_pd(sum, Vcf::ProcessLanes(vcf[c], vcf[c + 1], x, _mm_set_pd(0.51 + 0.01 * c, 0.5 + 0.01 * c)));
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_VcfSixChannelsInPairs);
#endif

void BM_VcfRateSetupNewRate(benchmark::State& state) {
  Vcf vcf;
  bool flip = false;
  for (auto _ : state) {
    vcf.SetSampleRate(flip ? 48000.0 : 96000.0);  // the last holder lets go: a rebuild
    flip = !flip;
  }
}
BENCHMARK(BM_VcfRateSetupNewRate)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tessaron
