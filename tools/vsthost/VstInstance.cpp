#include "tools/vsthost/VstInstance.h"

namespace tessaron::vsthost {
namespace {
thread_local void* constructing = nullptr;  // the host whose entry-point call is running
}  // namespace

vst::AEffect* Create(EntryPoint entry, vst::AudioMasterCallback callback, void* host) {
  constructing = host;
  vst::AEffect* effect = entry(callback);
  constructing = nullptr;
  if (effect) effect->user = host;
  return effect;
}

void* HostOf(const vst::AEffect* effect) { return effect && effect->user ? effect->user : constructing; }

void Open(vst::AEffect* effect, double sampleRate, int blockSize) {
  Dispatch(effect, vst::effOpen);
  Dispatch(effect, vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
  Dispatch(effect, vst::effSetBlockSize, 0, blockSize);
}

void SetProcessing(vst::AEffect* effect, bool on) { Dispatch(effect, vst::effMainsChanged, 0, on ? 1 : 0); }

void Close(vst::AEffect* effect) { Dispatch(effect, vst::effClose); }

bool CanProcessDouble(const vst::AEffect* effect) {
  return effect && (effect->flags & vst::effFlagsCanDoubleReplacing) && effect->processDoubleReplacing;
}

}  // namespace tessaron::vsthost
