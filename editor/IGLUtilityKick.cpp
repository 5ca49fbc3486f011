#include "editor/IGLUtilityKick.h"

#include "editor/IEditor.h"
#include "editor/PanelInstrument.h"

namespace tessaron {

IGLUtilityKick::IGLUtilityKick(IEditor* editor, PanelInstrument* panel, int x, int y, int pseudoIdx,
                               const IBitmap& bitmap)
    : IContactControl(editor, x, y, pseudoIdx, bitmap), panel_(panel) {}

void IGLUtilityKick::MouseDown(int, int, const IMouseMod&) {
  pressed_ = true;
  MarkDirty(false);
}

void IGLUtilityKick::MouseDoubleClick(int x, int y, const IMouseMod& mod) { MouseDown(x, y, mod); }

void IGLUtilityKick::MouseUp(int, int, const IMouseMod&) {
  pressed_ = false;
  MarkDirty(false);
  if (!panel_) return;
  const int count = panel_->ProgramCount();
  if (count <= 0) return;
  const int current = panel_->CurrentProgramNumber();
  if (paramIdx_ == kPreviousProgram) {
    panel_->ChooseProgram(current - 1 < 0 ? count - 1 : current - 1);
  } else if (paramIdx_ == kNextProgram) {
    panel_->ChooseProgram(current + 1 >= count ? 0 : current + 1);
  }
}

bool IGLUtilityKick::Draw(IEditor& graphics) {
  graphics.DrawBitmap(bitmap_, pressed_ ? 2 : 1, rect_, blend_, BlendWeight());
  return true;
}

}  // namespace tessaron
