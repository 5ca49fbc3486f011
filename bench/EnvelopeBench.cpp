#include <benchmark/benchmark.h>

#include "engine/Envelope.h"
#include "engine/SectionRamp.h"

namespace tessaron {
namespace {

// Per-sample cost of the six channel envelopes plus the String envelope, kept
// cycling through attack, decay and release.
void BM_EnvelopeSevenTicks(benchmark::State& state) {
  Envelope env[7];
  for (Envelope& e : env) {
    e.Reset(44100.0);
    e.SetAttack(0.05);
    e.SetDecay(0.1);
    e.SetSustainLevel(0.5);
    e.SetRelease(0.08);
  }
  int64_t n = 0;
  for (auto _ : state) {
    if ((n & 8191) == 0) {
      for (Envelope& e : env) ((n >> 13) & 1) ? e.GateOff() : e.GateOn();
    }
    ++n;
    double sum = 0.0;
    for (Envelope& e : env) {
      e.Tick();
      sum += e.Level();
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EnvelopeSevenTicks);

void BM_SectionRampThreeSteps(benchmark::State& state) {
  SectionRamp ramp[3];
  int64_t n = 0;
  for (auto _ : state) {
    if ((n & 511) == 0)
      for (SectionRamp& r : ramp) r.SetGate(!r.Gate());
    ++n;
    double sum = 0.0;
    for (SectionRamp& r : ramp) {
      r.Step();
      sum += r.Level();
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SectionRampThreeSteps);

}  // namespace
}  // namespace tessaron
