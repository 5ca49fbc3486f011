// Sixteen instances in one process, as a host with two audio threads runs them: each on
// its own factory program (0 to 15) with a four-note chord, eight per thread, block by
// block. Measures each instance alone first (CPU time per second of audio, least of
// three), then all sixteen together, and compares the wall time with what the two cores
// should take for the sixteen alone-costs; and each thread's CPU time with the sum of its
// instances' alone-costs. Instances that shared mutable state, or process-wide tables on
// the cache lines of something written per sample, would slow each other beyond that.
// Usage: tessaron-many-instances [module] [seconds of audio, default 10]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/VstAbi.h"
#include "tools/vsthost/VstInstance.h"
#include "tools/vsthost/VstModule.h"

namespace {

using namespace tessaron;

constexpr int kInstances = 16;
constexpr int kThreads = 2;
constexpr int kBlock = 512;
constexpr double kRate = 44100.0;

vst::VstIntPtr TESSARON_VSTCALL HostCallback(vst::AEffect*, vst::VstInt32 opcode, vst::VstInt32, vst::VstIntPtr,
                                             void*, float) {
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// One instance with its chord held from the first block.
class Player {
 public:
  Player(vsthost::EntryPoint entry, int program) : effect_(vsthost::Create(entry, &HostCallback, nullptr)) {
    if (!effect_) return;
    vsthost::Open(effect_, kRate, kBlock);
    vsthost::Dispatch(effect_, vst::effSetProgram, 0, program);
    vsthost::SetProcessing(effect_, true);
    // A chord from the program's own register: C3 E3 G3 C4.
    const unsigned char keys[4] = {48, 52, 55, 60};
    for (int i = 0; i < 4; ++i) {
      midi_[i] = vst::VstMidiEvent{};
      midi_[i].type = vst::kVstMidiType;
      midi_[i].byteSize = sizeof(vst::VstMidiEvent);
      midi_[i].midiData[0] = char(0x90);
      midi_[i].midiData[1] = char(keys[i]);
      midi_[i].midiData[2] = 100;
    }
    events_.numEvents = 4;
    for (int i = 0; i < 4; ++i) events_.events[i] = reinterpret_cast<vst::VstEvent*>(&midi_[i]);
    vsthost::Dispatch(effect_, vst::effProcessEvents, 0, 0, &events_);
  }
  ~Player() {
    if (effect_) vsthost::Close(effect_);
  }
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  bool Ok() const { return effect_ != nullptr; }
  void Block() {
    double* out[2] = {left_.data(), right_.data()};
    double* in[2] = {left_.data(), right_.data()};
    effect_->processDoubleReplacing(effect_, in, out, kBlock);
  }

 private:
  vst::AEffect* effect_;
  vst::VstMidiEvent midi_[4];
  // The published VstEvents record with room for four pointers.
  struct {
    vst::VstInt32 numEvents = 0;
    vst::VstIntPtr reserved = 0;
    vst::VstEvent* events[4] = {};
  } events_;
  std::vector<double> left_ = std::vector<double>(kBlock), right_ = std::vector<double>(kBlock);
};

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : TESSARON_MODULE_PATH;
  const double seconds = argc > 2 ? std::atof(argv[2]) : 10.0;
  const int blocks = std::max(1, int(seconds * kRate / kBlock));
  const double audio = double(blocks) * kBlock / kRate;
  vsthost::VstModule module;
  std::string error;
  if (!module.Load(path, error)) {
    std::fprintf(stderr, "cannot load %s: %s\n", path.c_str(), error.c_str());
    return 1;
  }

  std::vector<std::unique_ptr<Player>> players;
  for (int p = 0; p < kInstances; ++p) {
    players.push_back(std::make_unique<Player>(module.Entry(), p));
    if (!players.back()->Ok()) {
      std::fprintf(stderr, "instance %d could not be built\n", p);
      return 1;
    }
  }

  // Each alone, on this thread: CPU seconds per second of audio, least of three runs.
  std::vector<double> alone(kInstances, 1e9);
  for (int run = 0; run < 3; ++run) {
    for (int p = 0; p < kInstances; ++p) {
      const double start = ThreadCpuSeconds();
      for (int b = 0; b < blocks; ++b) players[p]->Block();
      alone[p] = std::min(alone[p], (ThreadCpuSeconds() - start) / audio);
    }
  }

  // All together: thread t runs instances t, t + 2, ...; best of three runs.
  static_assert(kThreads == 2);
  double bestWall = 1e9, bestCpuRatio = 1e9, coresAtBest = 0.0;
  for (int run = 0; run < 3; ++run) {
    double cpu[kThreads] = {};
    const auto wallStart = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        const double start = ThreadCpuSeconds();
        for (int b = 0; b < blocks; ++b) {
          for (int p = t; p < kInstances; p += kThreads) players[p]->Block();
        }
        cpu[t] = ThreadCpuSeconds() - start;
      });
    }
    for (auto& thread : threads) thread.join();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    if (wall < bestWall) {
      bestWall = wall;
      coresAtBest = (cpu[0] + cpu[1]) / wall;
    }
    double ratio = 0.0;
    for (int t = 0; t < kThreads; ++t) {
      double expected = 0.0;
      for (int p = t; p < kInstances; p += kThreads) expected += alone[p] * audio;
      ratio = std::max(ratio, cpu[t] / expected);
    }
    bestCpuRatio = std::min(bestCpuRatio, ratio);
  }

  double sumAlone = 0.0;
  for (int p = 0; p < kInstances; ++p) {
    std::printf("program %2d alone: %.2f ms CPU per second of audio (%.0fx real time)\n", p, alone[p] * 1e3,
                1.0 / alone[p]);
    sumAlone += alone[p];
  }
  const double expectedWall = sumAlone * audio / kThreads;
  std::printf("16 instances alone, summed: %.1f ms CPU per second of audio; on %d cores %.1fx real time\n",
              sumAlone * 1e3, kThreads, kThreads / sumAlone);
  std::printf("16 instances on %d threads: %.1fx real time in all (wall %.3f s for %.2f s of audio, best of 3)\n",
              kThreads, audio / bestWall, bestWall, audio);
  // On a shared machine the threads may not get both cores all the time; their CPU time
  // over the wall time says how much they got.
  std::printf("together against alone: wall %.2fx the two cores' share (the threads got %.2f cores), busiest "
              "thread's CPU %.2fx its instances' alone-costs\n",
              bestWall / expectedWall, coresAtBest, bestCpuRatio);
  return 0;
}
