#include "tools/render/PluginModule.h"

#include <dlfcn.h>

namespace tessaron {
namespace {

using EntryPoint = vst::AEffect*(TESSARON_VSTCALL*)(vst::AudioMasterCallback);

std::string LastLoaderError() {
  const char* text = dlerror();
  return text ? text : "unknown reason";
}

}  // namespace

PluginModule::~PluginModule() { Shutdown(); }

bool PluginModule::Load(const std::string& path, vst::AudioMasterCallback callback, std::string& error) {
  Shutdown();
  // A bare file name would make the loader search the library path, not the current folder.
  const std::string target = path.find('/') == std::string::npos ? "./" + path : path;
  dlerror();
  library = dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    error = "cannot load module '" + path + "': " + LastLoaderError();
    return false;
  }
  void* symbol = dlsym(library, "VSTPluginMain");
  if (!symbol) {
    symbol = dlsym(library, "main");
  }
  if (!symbol) {
    error = "'" + path + "' is not a VST 2 module (no VSTPluginMain or main entry point)";
    Shutdown();
    return false;
  }
  vst::AEffect* candidate = reinterpret_cast<EntryPoint>(symbol)(callback);
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
  effect = candidate;
  if (!effect->dispatcher) {
    error = "module '" + path + "' has no dispatcher";
    effect = nullptr;
    Shutdown();
    return false;
  }
  return true;
}

void PluginModule::Open(double sampleRate, int blockSize) {
  Dispatch(vst::effOpen);
  Dispatch(vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
  Dispatch(vst::effSetBlockSize, 0, blockSize);
}

void PluginModule::SetProcessing(bool on) {
  if (effect && on != processing) {
    Dispatch(vst::effMainsChanged, 0, on ? 1 : 0);
    processing = on;
  }
}

void PluginModule::Shutdown() {
  if (effect) {
    SetProcessing(false);
    // effClose is what frees the instance, opened or not.
    Dispatch(vst::effClose);
    effect = nullptr;
  }
  if (library) {
    dlclose(library);
    library = nullptr;
  }
}

vst::VstIntPtr PluginModule::Dispatch(vst::VstInt32 opcode, vst::VstInt32 index, vst::VstIntPtr value, void* ptr,
                                      float opt) const {
  return effect ? effect->dispatcher(effect, opcode, index, value, ptr, opt) : 0;
}

bool PluginModule::CanProcessDouble() const {
  return effect && (effect->flags & vst::effFlagsCanDoubleReplacing) && effect->processDoubleReplacing;
}

}  // namespace tessaron
