// The UI's entry point beside the plug-in's in the bundle's one binary.
#include <cstdio>
#include <cstring>
#include <string>

#include <lv2/instance-access/instance-access.h>
#include <lv2/ui/ui.h>

#include "lv2/Lv2Ui.h"

namespace tessaron::lv2 {
namespace {

const void* FeatureData(const LV2_Feature* const* features, const char* uri) {
  for (; features && *features; ++features)
    if ((*features)->URI && std::strcmp((*features)->URI, uri) == 0) return (*features)->data;
  return nullptr;
}

bool HasFeature(const LV2_Feature* const* features, const char* uri) {
  for (; features && *features; ++features)
    if ((*features)->URI && std::strcmp((*features)->URI, uri) == 0) return true;
  return false;
}

LV2UI_Handle Instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget, const LV2_Feature* const* features) {
  if (!widget || !pluginUri || std::strcmp(pluginUri, kPluginUri) != 0) return nullptr;
  Lv2Ui::HostSide host;
  host.write = write;
  host.controller = controller;
  host.resize = static_cast<const LV2UI_Resize*>(FeatureData(features, LV2_UI__resize));
  host.parent = reinterpret_cast<std::uintptr_t>(FeatureData(features, LV2_UI__parent));
  // The handle is the plug-in's own Lv2Instance (same binary, same plug-in URI).
  if (HasFeature(features, LV2_INSTANCE_ACCESS_URI))
    host.instance = static_cast<Lv2Instance*>(const_cast<void*>(FeatureData(features, LV2_INSTANCE_ACCESS_URI)));
  std::string error;
  std::unique_ptr<Lv2Ui> ui;
  try {
    ui = Lv2Ui::Create(host, error);
  } catch (...) {
    error = "out of memory";
  }
  if (!ui) {
    std::fprintf(stderr, "Tessaron UI: %s\n", error.c_str());
    return nullptr;
  }
  *widget = reinterpret_cast<LV2UI_Widget>(ui->Widget());
  return ui.release();
}

void Cleanup(LV2UI_Handle handle) { delete static_cast<Lv2Ui*>(handle); }

void PortEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
  static_cast<Lv2Ui*>(handle)->PortEvent(port, size, format, buffer);
}

int Idle(LV2UI_Handle handle) { return static_cast<Lv2Ui*>(handle)->Idle(); }

const void* ExtensionData(const char* uri) {
  static const LV2UI_Idle_Interface idle{&Idle};
  if (uri && std::strcmp(uri, LV2_UI__idleInterface) == 0) return &idle;
  return nullptr;
}

const LV2UI_Descriptor kDescriptor{kUiUri, &Instantiate, &Cleanup, &PortEvent, &ExtensionData};

}  // namespace
}  // namespace tessaron::lv2

LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
  return index == 0 ? &tessaron::lv2::kDescriptor : nullptr;
}
