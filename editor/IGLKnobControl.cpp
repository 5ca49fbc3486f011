#include "editor/IGLKnobControl.h"

#include "editor/IEditor.h"
#include "host/IParameter.h"

namespace tessaron {

GfxTextStyle HoverValueTextStyle() {
  return GfxTextStyle("Arial", 14, {255, 64, 255, 64}, kGfxTextNormal, kGfxAlignCentre);
}

std::string CurrentValueText(IEditor& editor, int paramIdx) {
  const IParameter* param = editor.Param(paramIdx);
  if (!param) return {};
  char text[kParamTextSize];
  param->FormatForHost(param->Value(), false, text, true);
  return text;
}

IGLKnobControl::IGLKnobControl(IEditor* editor, int layoutX, int layoutY, int paramIdx, const IBitmap& bitmap,
                               double gearing)
    : IKnobMultiControl(editor, layoutX / 2, layoutY / 2, paramIdx, bitmap, EDirection::kVertical, gearing),
      valueStyle_(HoverValueTextStyle()) {
  valueRect_ = rect_;
  valueRect_.top += kValueTextDrop;
}

void IGLKnobControl::MouseOver(int, int, const IMouseMod&) {
  hover_ = true;
  MarkDirty(false);
}

void IGLKnobControl::MouseOut() {
  hover_ = false;
  MarkDirty(false);
}

bool IGLKnobControl::Draw(IEditor& graphics) {
  IKnobMultiControl::Draw(graphics);
  if (!ShowsValueText()) return true;
  const std::string text = CurrentValueText(graphics, paramIdx_);
  const int w = rect_.Width();
  graphics.FillCircle(rect_.left + w / 2, rect_.top + rect_.Height() / 2, w / 2, kHoverShade, kHoverShadeWeight,
                      kGfxModeCopy | kGfxFlagSourceAlpha);
  GfxRect r = valueRect_;
  graphics.DrawText(valueStyle_, text.c_str(), r);
  return true;
}

}  // namespace tessaron
