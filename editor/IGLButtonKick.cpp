#include "editor/IGLButtonKick.h"

#include "editor/IEditor.h"
#include "host/IParameter.h"

namespace tessaron {

IGLButtonKick::IGLButtonKick(IEditor* editor, int x, int y, int paramIdx, const IBitmap& offFace, const IBitmap& onFace)
    : IContactControl(editor, x, y, paramIdx, offFace), onFace_(onFace) {}

bool IGLButtonKick::ShowsOn() const {
  if (forced_) return forcedState_;
  const IParameter* param = editor_ ? editor_->Param(paramIdx_) : nullptr;
  return param ? param->Value() >= 0.5 : value_ >= 0.5;
}

void IGLButtonKick::MouseDown(int, int, const IMouseMod&) {
  pressed_ = true;
  Step();
}

void IGLButtonKick::MouseDoubleClick(int x, int y, const IMouseMod& mod) { MouseDown(x, y, mod); }

void IGLButtonKick::MouseUp(int, int, const IMouseMod&) {
  pressed_ = false;
  // The parameter passes through its old value and back, so the host records the press
  // as a whole gesture; it ends at the value chosen on press.
  if (const IParameter* param = editor_ ? editor_->Param(paramIdx_) : nullptr) {
    editor_->SetParamFromEditor(paramIdx_, param->Value() >= 0.5 ? 0.0 : 1.0);
  }
  MarkDirty(true);
}

bool IGLButtonKick::Draw(IEditor& graphics) {
  graphics.DrawBitmap(ShowsOn() ? onFace_ : bitmap_, pressed_ ? 2 : 1, rect_, blend_, BlendWeight());
  return true;
}

void IGLButtonKick::ForceDisplay(bool forced, bool state) {
  forced_ = forced;
  forcedState_ = state;
  MarkDirty(false);
}

}  // namespace tessaron
