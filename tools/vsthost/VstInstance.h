#pragma once
// Typed steps of the host's side of an instance's life: open, set-up, processing on and
// off, close. Each takes the record the entry point returned.
#include "host/VstAbi.h"
#include "tools/vsthost/VstModule.h"

namespace tessaron::vsthost {

inline vst::VstIntPtr Dispatch(vst::AEffect* effect, vst::VstInt32 opcode, vst::VstInt32 index = 0,
                               vst::VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f) {
  return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

// Builds an instance whose callbacks belong to `host`, which the record's `user` field then
// carries. A module may call back from inside its entry point, before it has handed out
// its record; HostOf finds `host` for those calls too.
vst::AEffect* Create(EntryPoint entry, vst::AudioMasterCallback callback, void* host);
// The host a callback belongs to, or null.
void* HostOf(const vst::AEffect* effect);

// effOpen, sample rate, block size.
void Open(vst::AEffect* effect, double sampleRate, int blockSize);
void SetProcessing(vst::AEffect* effect, bool on);
// effClose frees the instance, opened or not; the record is gone afterwards.
void Close(vst::AEffect* effect);
bool CanProcessDouble(const vst::AEffect* effect);

}  // namespace tessaron::vsthost
