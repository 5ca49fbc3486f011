// Delay cost per stereo sample. The clock step sets the work: time 0 runs up to
// 8 line ticks per sample (16 when synced at the shortest step); the idle case
// shows what a silent line costs once the shortcut has taken over.
#include <benchmark/benchmark.h>

#include <cmath>

#include "dsp/Delay.h"

namespace {

constexpr int kBlock = 44 * 100;

// Sync and ping-pong from the arguments, vibe, feedback and mix on.
void SetUp(tessaron::Delay& d, const benchmark::State& state) {
  d.SetSync(state.range(1) != 0);
  d.SetPingPong(state.range(2) != 0);
  d.SetVibe(true);
  d.SetVibeSpeed(0.02);
  d.SetVibeDepth(0.2);
  d.SetFeedback(0.3);
  d.SetMix(0.5);
}

// args: time in 1/100, sync, ping-pong
void BM_Delay(benchmark::State& state) {
  tessaron::Delay d;
  const double time = state.range(0) / 100.0;
  SetUp(d, state);
  int n = 0;
  for (auto _ : state) {
    for (int i = 0; i < kBlock; ++i, ++n) {
      if (i % 44 == 0) {
        d.Tick(time, 120.0);
      }
      double l = std::sin(n * 0.0371);
      double r = -l;
      d.Process(l, r);
      benchmark::DoNotOptimize(l);
      benchmark::DoNotOptimize(r);
    }
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_Delay)->Args({50, 0, 0})->Args({0, 0, 0})->Args({50, 0, 1})->Args({100, 1, 0});

// The same through the block Process, a control block at a time. args: time in
// 1/100, sync, ping-pong
void BM_DelayBlock(benchmark::State& state) {
  tessaron::Delay d;
  const double time = state.range(0) / 100.0;
  SetUp(d, state);
  int n = 0;
  double l[44], r[44];
  for (auto _ : state) {
    for (int i = 0; i < kBlock; i += 44) {
      d.Tick(time, 120.0);
      for (int k = 0; k < 44; ++k, ++n) {
        l[k] = std::sin(n * 0.0371);
        r[k] = -l[k];
      }
      d.Process(l, r, 44);
      benchmark::DoNotOptimize(l);
      benchmark::DoNotOptimize(r);
    }
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_DelayBlock)->Args({50, 0, 0})->Args({0, 0, 0})->Args({100, 1, 0});

// arg: time in 1/100
void BM_DelayIdle(benchmark::State& state) {
  tessaron::Delay d;
  const double time = state.range(0) / 100.0;
  d.SetFeedback(0.3);
  d.SetMix(0.5);
  d.SetVibe(true);
  for (auto _ : state) {
    for (int i = 0; i < kBlock; ++i) {
      if (i % 44 == 0) {
        d.Tick(time, 120.0);
      }
      double l = 0.0;
      double r = 0.0;
      d.Process(l, r);
      benchmark::DoNotOptimize(l);
      benchmark::DoNotOptimize(r);
    }
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
  state.counters["idle"] = d.IsIdle() ? 1 : 0;
}
BENCHMARK(BM_DelayIdle)->Arg(0)->Arg(50);

}  // namespace
