#include "editor/IGLSwitchMidiLearn.h"

#include "editor/BitmapCache.h"
#include "editor/IEditor.h"
#include "editor/PanelInstrument.h"

namespace tessaron {

IGLSwitchMidiLearn::IGLSwitchMidiLearn(IEditor* editor, PanelInstrument* panel, int x, int y,
                                       const IBitmap& learnFace)
    : ISwitchControl(editor, x, y, -1, learnFace), panel_(panel) {}

void IGLSwitchMidiLearn::MouseDown(int, int, const IMouseMod& mod) {
  if (mod.L) {
    bool armed;
    {
      // Learn may end on the audio side and darken the switch meanwhile. The instrument's
      // lock is taken only after the editor's is released, keeping the one lock order.
      std::lock_guard<std::recursive_mutex> lock(editor_->Mutex());
      Step();
      armed = value_ > 0.0;
    }
    if (panel_) panel_->ArmLearn(armed, !learnFace_);
    return;
  }
  // Swapping the face while armed would leave the running mode and the face at odds.
  if (mod.R && value_ == 0.0) {
    learnFace_ = !learnFace_;
    bitmap_ = IBitmap(LoadCachedBitmap(learnFace_ ? kLearnFace : kUnlearnFace), 2);
    MarkDirty(true);
  }
}

void IGLSwitchMidiLearn::MouseDoubleClick(int x, int y, const IMouseMod& mod) { MouseDown(x, y, mod); }

}  // namespace tessaron
