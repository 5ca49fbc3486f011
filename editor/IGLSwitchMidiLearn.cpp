#include "editor/IGLSwitchMidiLearn.h"

#include "editor/BitmapCache.h"
#include "editor/IEditor.h"
#include "editor/PanelInstrument.h"

namespace tessaron {

IGLSwitchMidiLearn::IGLSwitchMidiLearn(IEditor* editor, PanelInstrument* panel, int x, int y, const IBitmap& learnFace)
    : ISwitchControl(editor, x, y, -1, learnFace), panel_(panel) {}

void IGLSwitchMidiLearn::MouseDown(int, int, const IMouseMod& mod) {
  if (mod.L) {
    bool armed;
    {
      // Learn ending elsewhere darkens the switch when the editor takes it up, under the
      // editor's lock. The instrument's lock is taken only after the editor's is released,
      // keeping the one lock order.
      std::lock_guard<std::recursive_mutex> lock(editor_->Mutex());
      Step();
      armed = value_ > 0.0;
    }
    if (panel_) panel_->ArmLearn(armed, !learnFace_);
    return;
  }
  // Swapping the face while armed would leave the running mode and the face at odds.
  // Learn ending elsewhere reaches the value under the editor's lock, so the check and the
  // swap hold it too; the image is fetched before the lock is taken.
  if (!mod.R) return;
  const IBitmap otherFace(LoadCachedBitmap(learnFace_ ? kUnlearnFace : kLearnFace), 2);
  std::lock_guard<std::recursive_mutex> lock(editor_->Mutex());
  if (value_ != 0.0) return;
  learnFace_ = !learnFace_;
  bitmap_ = otherFace;
  MarkDirty(true);
}

void IGLSwitchMidiLearn::MouseDoubleClick(int x, int y, const IMouseMod& mod) { MouseDown(x, y, mod); }

}  // namespace tessaron
