// The plug-in's C entry points: the descriptor, and the state interface's two calls.
#include <cmath>
#include <cstring>

#include "lv2/Lv2Plugin.h"

namespace tessaron::lv2 {

namespace {

Lv2Plugin* Self(LV2_Handle handle) { return static_cast<Lv2Plugin*>(static_cast<Lv2Instance*>(handle)); }

LV2_Handle Instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
  try {
    if (!(rate > 0.0) || !std::isfinite(rate)) return nullptr;
    Lv2Plugin* plugin = Lv2Plugin::Create(rate, features);
    // The handle is the instance as its UI sees it through instance access.
    return plugin ? static_cast<LV2_Handle>(static_cast<Lv2Instance*>(plugin)) : nullptr;
  } catch (...) {
    return nullptr;
  }
}

void ConnectPort(LV2_Handle handle, uint32_t port, void* data) { Self(handle)->ConnectPort(port, data); }
void Activate(LV2_Handle handle) { Self(handle)->Activate(); }
void Run(LV2_Handle handle, uint32_t frames) { Self(handle)->Run(frames); }
void Deactivate(LV2_Handle handle) { Self(handle)->Deactivate(); }
void Cleanup(LV2_Handle handle) { delete Self(handle); }

LV2_State_Status Save(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state, uint32_t,
                      const LV2_Feature* const*) {
  try {
    return Self(handle)->Save(store, state);
  } catch (...) {
    return LV2_STATE_ERR_UNKNOWN;
  }
}

LV2_State_Status Restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve, LV2_State_Handle state, uint32_t,
                         const LV2_Feature* const*) {
  try {
    return Self(handle)->Restore(retrieve, state);
  } catch (...) {
    return LV2_STATE_ERR_UNKNOWN;
  }
}

const void* ExtensionData(const char* uri) {
  static const LV2_State_Interface state = {Save, Restore};
  if (uri && std::strcmp(uri, LV2_STATE__interface) == 0) return &state;
  return nullptr;
}

const LV2_Descriptor kDescriptor = {kPluginUri, Instantiate, ConnectPort, Activate,
                                    Run,        Deactivate,  Cleanup,     ExtensionData};

}  // namespace

}  // namespace tessaron::lv2

// LV2_SYMBOL_EXPORT is extern "C" with default visibility.
LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  return index == 0 ? &tessaron::lv2::kDescriptor : nullptr;
}
