#include "tools/render/PluginModule.h"

#include "tools/vsthost/VstInstance.h"

namespace tessaron {

PluginModule::~PluginModule() { Shutdown(); }

bool PluginModule::Load(const std::string& path, vst::AudioMasterCallback callback, std::string& error) {
  Shutdown();
  if (!library.Load(path, error)) return false;
  vst::AEffect* candidate = library.Entry()(callback);
  if (!candidate) {
    error = "module '" + path + "' refused to create an instance (its entry point answered null)";
    Shutdown();
    return false;
  }
  if (candidate->magic != vst::kEffectMagic) {
    // Not a record we understand: never call into it, just unload.
    error = "'" + path + "' is not a VST 2 module (wrong magic number in its record)";
    Shutdown();
    return false;
  }
  if (!candidate->dispatcher) {
    error = "module '" + path + "' has no dispatcher";
    Shutdown();
    return false;
  }
  effect = candidate;
  return true;
}

void PluginModule::Open(double sampleRate, int blockSize) {
  if (effect) vsthost::Open(effect, sampleRate, blockSize);
}

void PluginModule::SetProcessing(bool on) {
  if (effect && on != processing) {
    vsthost::SetProcessing(effect, on);
    processing = on;
  }
}

void PluginModule::Shutdown() {
  if (effect) {
    SetProcessing(false);
    vsthost::Close(effect);
    effect = nullptr;
  }
  library.Unload();
}

vst::VstIntPtr PluginModule::Dispatch(vst::VstInt32 opcode, vst::VstInt32 index, vst::VstIntPtr value, void* ptr,
                                      float opt) const {
  return effect ? vsthost::Dispatch(effect, opcode, index, value, ptr, opt) : 0;
}

bool PluginModule::CanProcessDouble() const { return vsthost::CanProcessDouble(effect); }

}  // namespace tessaron
