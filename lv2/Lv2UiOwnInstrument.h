#pragma once
// The instrument a UI builds for itself when the host keeps the plug-in instance out of its
// reach (UIs in another process, or no instance-access): a panel-only instance, never
// rendering, whose parameters mirror the host's ports both ways.
#include "lv2/Lv2Instance.h"

namespace tessaron::lv2 {

class Lv2UiOwnInstrument final : public Lv2Instance {
 public:
  // nullptr when the instrument could not be built.
  static Lv2UiOwnInstrument* Create();
  ~Lv2UiOwnInstrument() override;

  vst::AEffect* Effect() override { return effect_; }
  PendingEdits& EditsForUi() override { return edits_; }

 private:
  explicit Lv2UiOwnInstrument(vst::AEffect* effect);
  // The instrument's calls to its host, on the UI thread (it never renders).
  static vst::VstIntPtr TESSARON_VSTCALL HostCallback(vst::AEffect* effect, vst::VstInt32 opcode, vst::VstInt32 index,
                                                      vst::VstIntPtr value, void* ptr, float opt);

  vst::AEffect* effect_;
  PendingEdits edits_;
};

}  // namespace tessaron::lv2
