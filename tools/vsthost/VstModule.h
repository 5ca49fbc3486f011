#pragma once
// A VST 2 module loaded from a file: the library handle and its entry point. Unloaded on
// destruction, so every instance built from it must be closed first.
#include <string>

#include "host/VstAbi.h"

namespace tessaron::vsthost {

using EntryPoint = vst::AEffect*(TESSARON_VSTCALL*)(vst::AudioMasterCallback);

class VstModule {
 public:
  VstModule() = default;
  ~VstModule();
  VstModule(const VstModule&) = delete;
  VstModule& operator=(const VstModule&) = delete;

  // Loads the library and finds `VSTPluginMain` (or the older `main`); false with the
  // reason in `error`, the module left unloaded.
  bool Load(const std::string& path, std::string& error);
  void Unload();  // safe to call twice

  EntryPoint Entry() const { return entry_; }
  // Any other exported symbol, as an entry point; null if absent.
  EntryPoint Symbol(const char* name) const;

 private:
  void* handle_ = nullptr;
  EntryPoint entry_ = nullptr;
};

}  // namespace tessaron::vsthost
