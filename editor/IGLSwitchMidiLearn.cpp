#include "editor/IGLSwitchMidiLearn.h"

#include "editor/BitmapCache.h"
#include "editor/PanelInstrument.h"

namespace tessaron {

IGLSwitchMidiLearn::IGLSwitchMidiLearn(IEditor* editor, PanelInstrument* panel, int x, int y,
                                       const IBitmap& learnFace)
    : ISwitchControl(editor, x, y, -1, learnFace), panel_(panel) {}

void IGLSwitchMidiLearn::MouseDown(int, int, const IMouseMod& mod) {
  if (mod.L) {
    Step();
    if (panel_) panel_->ArmLearn(value_ > 0.0, !learnFace_);
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
