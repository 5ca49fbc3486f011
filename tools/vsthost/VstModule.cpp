#include "tools/vsthost/VstModule.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace tessaron::vsthost {

VstModule::~VstModule() { Unload(); }

bool VstModule::Load(const std::string& path, std::string& error) {
  Unload();
#if defined(_WIN32)
  handle_ = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
  if (!handle_) {
    error = "cannot load module '" + path + "'";
    return false;
  }
#else
  // A bare file name would make the loader search the library path, not the current folder.
  const std::string target = path.find('/') == std::string::npos ? "./" + path : path;
  dlerror();
  handle_ = dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* why = dlerror();
    error = "cannot load module '" + path + "': " + (why ? why : "unknown reason");
    return false;
  }
#endif
  entry_ = Symbol("VSTPluginMain");
  if (!entry_) entry_ = Symbol("main");
  if (!entry_) {
    error = "'" + path + "' is not a VST 2 module (no VSTPluginMain or main entry point)";
    Unload();
    return false;
  }
  return true;
}

void VstModule::Unload() {
  entry_ = nullptr;
  if (!handle_) return;
#if defined(_WIN32)
  FreeLibrary(reinterpret_cast<HMODULE>(handle_));
#else
  dlclose(handle_);
#endif
  handle_ = nullptr;
}

EntryPoint VstModule::Symbol(const char* name) const {
  if (!handle_) return nullptr;
#if defined(_WIN32)
  // Through the generic function type, which converts to any other without a warning.
  return reinterpret_cast<EntryPoint>(
      reinterpret_cast<void (*)()>(GetProcAddress(reinterpret_cast<HMODULE>(handle_), name)));
#else
  return reinterpret_cast<EntryPoint>(dlsym(handle_, name));
#endif
}

}  // namespace tessaron::vsthost
