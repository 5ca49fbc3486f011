#pragma once
// The least a host does to bring an instance up: load the module, call its entry point,
// open it, give it a rate and block size and resume it. Shared by the start-up benchmark
// and the fresh-process probe so that both time exactly the same steps.
#include <cstring>
#include <string>

#include "host/VstAbi.h"
#include "tools/vsthost/VstInstance.h"
#include "tools/vsthost/VstModule.h"

namespace tessaron::startup {

using EntryPoint = vsthost::EntryPoint;

// Answers what an instance asks while it starts; nothing else is needed to start it.
inline vst::VstIntPtr TESSARON_VSTCALL HostCallback(vst::AEffect*, vst::VstInt32 opcode, vst::VstInt32, vst::VstIntPtr,
                                                    void* ptr, float) {
  switch (opcode) {
    case vst::audioMasterVersion: return 2400;
    case vst::audioMasterGetVendorString:
    case vst::audioMasterGetProductString:
      if (ptr) std::strcpy(static_cast<char*>(ptr), "Startup Host");
      return 1;
    default: return 0;
  }
}

// The module's entry point, or null with the reason in `error`. The module stays loaded
// for the life of the process, as the timed instances come and go.
inline EntryPoint LoadModule(const char* path, std::string& error) {
  auto* module = new vsthost::VstModule;
  if (module->Load(path, error)) return module->Entry();
  delete module;
  return nullptr;
}

inline vst::AEffect* OpenInstance(EntryPoint entry, float sampleRate = 44100.0f, int blockSize = 512) {
  vst::AEffect* effect = entry(&HostCallback);
  if (!effect) return nullptr;
  vsthost::Open(effect, sampleRate, blockSize);
  vsthost::SetProcessing(effect, true);
  return effect;
}

inline void CloseInstance(vst::AEffect* effect) {
  vsthost::SetProcessing(effect, false);
  vsthost::Close(effect);
}

}  // namespace tessaron::startup
