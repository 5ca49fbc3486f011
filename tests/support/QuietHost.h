#pragma once
// A host that records nothing: it may be called from two threads at once and never
// allocates on the audio path, so what a check sees there is the plug-in's own doing.
#include <array>
#include <atomic>
#include <cstdint>

#include "host/VstAbi.h"

namespace tessaron::test {

class QuietHost {
 public:
  QuietHost();
  ~QuietHost();  // closes the instance if it is still open
  QuietHost(const QuietHost&) = delete;
  QuietHost& operator=(const QuietHost&) = delete;

  // Builds and opens an instance at the given rate and block size, processing on.
  bool Open(double sampleRate = 44100.0, int blockSize = 512);
  void Close();
  vst::AEffect* effect() const { return effect_; }

  intptr_t Dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f);
  void SetParameter(int32_t index, float value) { effect_->setParameter(effect_, index, value); }
  float GetParameter(int32_t index) { return effect_->getParameter(effect_, index); }
  // One short MIDI message through effProcessEvents.
  intptr_t Midi(uint8_t status, uint8_t data1, uint8_t data2, int32_t deltaFrames = 0);
  // Several messages (at most kMaxBurst) in one event list, longer than the declared one.
  static constexpr int kMaxBurst = 16;
  intptr_t MidiBurst(const uint8_t (*messages)[3], int count, int32_t deltaFrames = 0);

  // Output buffers are the caller's; nothing here allocates.
  void ProcessFloat(float* left, float* right, int frames, bool accumulate = false);
  void ProcessDouble(double* left, double* right, int frames);

  vst::VstTimeInfo timeInfo{};  // read by the plug-in, never written while it runs
  std::atomic<long> hostCalls{0};

 private:
  static vst::VstIntPtr TESSARON_VSTCALL Callback(vst::AEffect* effect, vst::VstInt32 opcode, vst::VstInt32 index,
                                                  vst::VstIntPtr value, void* ptr, float opt);
  vst::AEffect* effect_ = nullptr;
};

}  // namespace tessaron::test
