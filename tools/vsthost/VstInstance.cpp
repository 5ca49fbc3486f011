#include "tools/vsthost/VstInstance.h"

namespace tessaron::vsthost {

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
