#pragma once
// What the module sees of its host: the callback answers and the transport,
// which follows the rendered position through the file's tempo map.
#include <cstdint>

#include "host/VstAbi.h"
#include "tools/render/TempoMap.h"

namespace tessaron {

inline constexpr const char* kRenderHostName = "Tessaron";
inline constexpr vst::VstIntPtr kRenderHostVstVersion = 2400;

class RenderHost {
 public:
  RenderHost(const TempoMap& tempoMap, double sampleRate, int blockSize);
  ~RenderHost();
  RenderHost(const RenderHost&) = delete;
  RenderHost& operator=(const RenderHost&) = delete;

  // Start of the block about to be processed; time requests answer for it.
  void SetPosition(int64_t samplePosition);

  vst::VstIntPtr Answer(vst::AEffect* effect, vst::VstInt32 opcode, vst::VstInt32 index, vst::VstIntPtr value,
                        void* ptr, float opt);

  // The callback handed to the module. A module may call it from its entry
  // point, before it has an AEffect of its own, so it reaches the one host of
  // this process rather than looking the effect up.
  static vst::VstIntPtr TESSARON_VSTCALL Callback(vst::AEffect* effect, vst::VstInt32 opcode, vst::VstInt32 index,
                                                  vst::VstIntPtr value, void* ptr, float opt);

 private:
  const TempoMap& tempo;
  double rate;
  int block;
  int64_t position = 0;
  vst::VstTimeInfo timeInfo{};
};

}  // namespace tessaron
