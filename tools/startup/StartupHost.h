#pragma once
// The least a host does to bring an instance up: load the module, call its entry point,
// open it, give it a rate and block size and resume it. Shared by the start-up benchmark
// and the fresh-process probe so that both time exactly the same steps.
#include <dlfcn.h>

#include <cstring>
#include <string>

#include "host/VstAbi.h"

namespace tessaron::startup {

using EntryPoint = vst::AEffect*(TESSARON_VSTCALL*)(vst::AudioMasterCallback);

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

// The module's entry point, or null with the reason in `error`.
inline EntryPoint LoadModule(const char* path, std::string& error) {
  void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    error = why ? why : "cannot load the module";
    return nullptr;
  }
  auto entry = reinterpret_cast<EntryPoint>(dlsym(handle, "VSTPluginMain"));
  if (!entry) error = "the module has no VSTPluginMain";
  return entry;
}

inline vst::AEffect* OpenInstance(EntryPoint entry, float sampleRate = 44100.0f, int blockSize = 512) {
  vst::AEffect* effect = entry(&HostCallback);
  if (!effect) return nullptr;
  effect->dispatcher(effect, vst::effOpen, 0, 0, nullptr, 0.0f);
  effect->dispatcher(effect, vst::effSetSampleRate, 0, 0, nullptr, sampleRate);
  effect->dispatcher(effect, vst::effSetBlockSize, 0, blockSize, nullptr, 0.0f);
  effect->dispatcher(effect, vst::effMainsChanged, 0, 1, nullptr, 0.0f);
  return effect;
}

inline void CloseInstance(vst::AEffect* effect) {
  effect->dispatcher(effect, vst::effMainsChanged, 0, 0, nullptr, 0.0f);
  effect->dispatcher(effect, vst::effClose, 0, 0, nullptr, 0.0f);
}

}  // namespace tessaron::startup
