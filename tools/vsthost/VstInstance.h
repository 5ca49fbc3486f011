#pragma once
// Typed steps of the host's side of an instance's life: open, set-up, processing on and
// off, close. Each takes the record the entry point returned.
#include "host/VstAbi.h"

namespace tessaron::vsthost {

inline vst::VstIntPtr Dispatch(vst::AEffect* effect, vst::VstInt32 opcode, vst::VstInt32 index = 0,
                               vst::VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f) {
  return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

// effOpen, sample rate, block size.
void Open(vst::AEffect* effect, double sampleRate, int blockSize);
void SetProcessing(vst::AEffect* effect, bool on);
// effClose frees the instance, opened or not; the record is gone afterwards.
void Close(vst::AEffect* effect);
bool CanProcessDouble(const vst::AEffect* effect);

}  // namespace tessaron::vsthost
