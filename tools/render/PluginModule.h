#pragma once
// One VST 2 module loaded from a file and one instance of it, driven through
// the host's side of the life cycle: open, set-up, processing on, processing
// off, close, unload.
#include <string>

#include "host/VstAbi.h"
#include "tools/vsthost/VstModule.h"

namespace tessaron {

class PluginModule {
 public:
  PluginModule() = default;
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;
  ~PluginModule();

  // Loads the library, calls its entry point and checks the record it returns.
  bool Load(const std::string& path, vst::AudioMasterCallback callback, std::string& error);
  // effOpen, sample rate, block size.
  void Open(double sampleRate, int blockSize);
  void SetProcessing(bool on);
  // Processing off, effClose, unload; safe to call twice.
  void Shutdown();

  vst::AEffect* Effect() const { return effect; }
  vst::VstIntPtr Dispatch(vst::VstInt32 opcode, vst::VstInt32 index = 0, vst::VstIntPtr value = 0, void* ptr = nullptr,
                          float opt = 0.0f) const;

  bool CanProcessDouble() const;

 private:
  vsthost::VstModule library;
  vst::AEffect* effect = nullptr;
  bool processing = false;
};

}  // namespace tessaron
