#include <benchmark/benchmark.h>

#include "engine/OscillatorBank.h"

namespace tessaron {
namespace {

// One sample of a ten-key chord read from both oscillators, as the key loop does.
void BM_OscillatorBankTenKeys(benchmark::State& state) {
  OscillatorBank osc1, osc2;
  osc1.SetSampleRate(44100.0);
  osc2.SetSampleRate(44100.0);
  osc1.LoadPitch(0.0);
  osc2.LoadPitch(0.02);
  const int keys[10] = {36, 43, 48, 52, 55, 60, 64, 67, 72, 76};
  double f1[4], f2[4];
  for (auto _ : state) {
    double sum = 0.0;
    for (int k : keys) {
      osc1.FootageValues(k, f1);
      osc2.FootageValues(k, f2);
      sum += f1[0] + f1[1] + f1[2] + f1[3] + f2[0] + f2[1] + f2[2] + f2[3];
    }
    osc1.Advance();
    osc2.Advance();
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OscillatorBankTenKeys);

void BM_OscillatorBankBuildTables(benchmark::State& state) {
  OscillatorBank bank;
  bool flip = false;
  for (auto _ : state) {
    bank.SetSampleRate(flip ? 48000.0 : 44100.0);
    flip = !flip;
  }
}
BENCHMARK(BM_OscillatorBankBuildTables)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tessaron
