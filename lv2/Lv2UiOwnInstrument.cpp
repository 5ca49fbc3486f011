#include "lv2/Lv2UiOwnInstrument.h"

#include <algorithm>
#include <mutex>

#include "host/IPluginVst.h"
#include "host/PluginFactory.h"

namespace tessaron::lv2 {

using namespace vst;

Lv2UiOwnInstrument* Lv2UiOwnInstrument::Create() {
  // Instances may be built on several host threads at once, as through the VST 2 entry.
  static std::mutex constructionLock;
  try {
    std::lock_guard<std::mutex> lock(constructionLock);
    IPluginVst* plug = CreateInstrument(&HostCallback);
    if (!plug) return nullptr;
    plug->FillEmptyPrograms(plug->NPrograms());
    AEffect* effect = plug->GetAEffect();
    effect->numPrograms = std::max(effect->numPrograms, 1);
    auto* own = new Lv2UiOwnInstrument(effect);
    effect->resvd1 = reinterpret_cast<VstIntPtr>(own);
    effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
    return own;
  } catch (...) {
    return nullptr;
  }
}

Lv2UiOwnInstrument::Lv2UiOwnInstrument(AEffect* effect) : effect_(effect) {}

Lv2UiOwnInstrument::~Lv2UiOwnInstrument() {
  effect_->resvd1 = 0;
  effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f);  // frees the instrument
}

VstIntPtr TESSARON_VSTCALL Lv2UiOwnInstrument::HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr,
                                                            void*, float opt) {
  if (opcode == audioMasterVersion) return kVstVersion;
  // Calls made while the instrument is being built reach no UI yet.
  auto* own = effect ? reinterpret_cast<Lv2UiOwnInstrument*>(effect->resvd1) : nullptr;
  if (!own) return 0;
  PendingEdits& edits = own->edits_;
  switch (opcode) {
    case audioMasterAutomate:
      if (index >= 0 && index < kParameterCount) {
        edits.value[static_cast<std::size_t>(index)].store(opt);
        edits.changed[static_cast<std::size_t>(index)].store(true, std::memory_order_release);
      }
      return 0;
    case audioMasterUpdateDisplay: edits.programChanged.store(true, std::memory_order_release); return 0;
    default: return 0;
  }
}

}  // namespace tessaron::lv2
