#include "tools/render/RenderHost.h"

#include <cstring>

namespace tessaron {
namespace {

RenderHost* activeHost = nullptr;  // the tool runs one host and one module per process

void CopyName(void* ptr, const char* text) {
  if (ptr) {
    // Hosts promise 64 bytes for vendor and product names.
    std::strncpy(static_cast<char*>(ptr), text, vst::kVstMaxNameLen - 1);
    static_cast<char*>(ptr)[vst::kVstMaxNameLen - 1] = '\0';
  }
}

}  // namespace

RenderHost::RenderHost(const TempoMap& tempoMap, double sampleRate, int blockSize)
    : tempo(tempoMap), rate(sampleRate), block(blockSize) {
  activeHost = this;
}

RenderHost::~RenderHost() {
  if (activeHost == this) {
    activeHost = nullptr;
  }
}

void RenderHost::SetPosition(int64_t samplePosition) { position = samplePosition; }

vst::VstIntPtr RenderHost::Answer(vst::AEffect*, vst::VstInt32 opcode, vst::VstInt32, vst::VstIntPtr, void* ptr,
                                  float) {
  switch (opcode) {
    case vst::audioMasterVersion: return kRenderHostVstVersion;
    case vst::audioMasterWantMidi: return 1;
    case vst::audioMasterGetTime: {
      const auto p = tempo.PositionAtSeconds(static_cast<double>(position) / rate);
      timeInfo = vst::VstTimeInfo{};
      timeInfo.samplePos = static_cast<double>(position);
      timeInfo.sampleRate = rate;
      timeInfo.ppqPos = p.ppq;
      timeInfo.tempo = p.tempo;
      timeInfo.barStartPos = p.barStartPpq;
      timeInfo.timeSigNumerator = p.numerator;
      timeInfo.timeSigDenominator = p.denominator;
      timeInfo.flags = vst::kVstTransportPlaying | vst::kVstPpqPosValid | vst::kVstTempoValid | vst::kVstBarsValid |
                       vst::kVstTimeSigValid;
      return reinterpret_cast<vst::VstIntPtr>(&timeInfo);
    }
    // A module that asks these divides by the answer; zero would be a trap.
    case vst::audioMasterGetSampleRate: return static_cast<vst::VstIntPtr>(rate);
    case vst::audioMasterGetBlockSize: return block;
    case vst::audioMasterGetCurrentProcessLevel: return vst::kVstProcessLevelOffline;
    case vst::audioMasterGetVendorString:
    case vst::audioMasterGetProductString: CopyName(ptr, kRenderHostName); return 1;
    default: return 0;
  }
}

vst::VstIntPtr TESSARON_VSTCALL RenderHost::Callback(vst::AEffect* effect, vst::VstInt32 opcode, vst::VstInt32 index,
                                                     vst::VstIntPtr value, void* ptr, float opt) {
  if (opcode == vst::audioMasterVersion) {
    return kRenderHostVstVersion;  // asked before anything else, possibly before the host exists
  }
  return activeHost ? activeHost->Answer(effect, opcode, index, value, ptr, opt) : 0;
}

}  // namespace tessaron
