// Resources compiled into the module by windres (resources/tessaron.rc). They belong to
// the module holding this code, not to the host's program, so the module's own handle is
// asked for by an address inside it.
#include "platform/Resources.h"

#include <windows.h>

namespace tessaron::platform {

namespace {

HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&ThisModule), &module);
  return module;
}

}  // namespace

ResourceData FindResourceData(const char* type, const char* name) {
  if (!type || !name || !*type || !*name) return {};
  const HMODULE module = ThisModule();
  if (!module) return {};
  HRSRC found = FindResourceA(module, name, type);
  if (!found) return {};
  const DWORD size = SizeofResource(module, found);
  HGLOBAL loaded = LoadResource(module, found);
  // Resource memory is mapped with the module and needs no release.
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data || size == 0) return {};
  return {static_cast<const unsigned char*>(data), size};
}

}  // namespace tessaron::platform
