#include "editor/IGLSliderControl.h"

#include "editor/IEditor.h"
#include "editor/IGLKnobControl.h"

namespace tessaron {

IGLSliderControl::IGLSliderControl(IEditor* editor, int layoutX, int layoutY, int layoutLength, int paramIdx,
                                   const IBitmap& handle)
    : IFaderControl(editor, layoutX / 2, layoutY / 2, layoutLength / 2, paramIdx, handle, EDirection::kHorizontal,
                    true),
      valueStyle_(HoverValueTextStyle()) {
  valueRect_ = {rect_.left, rect_.top - handle.FrameHeight(), rect_.right, rect_.top};
  rect_.top = valueRect_.top;
}

void IGLSliderControl::MouseOver(int, int, const IMouseMod&) {
  hover_ = true;
  MarkDirty(false);
}

void IGLSliderControl::MouseOut() {
  hover_ = false;
  MarkDirty(false);
}

bool IGLSliderControl::Draw(IEditor& graphics) {
  if (hover_) {
    const std::string text = CurrentValueText(graphics, paramIdx_);
    graphics.FillRect(valueRect_, kHoverShade, kHoverShadeWeight, kGfxModeCopy | kGfxFlagSourceAlpha);
    GfxRect r = valueRect_;
    graphics.DrawText(valueStyle_, text.c_str(), r);
  }
  return IFaderControl::Draw(graphics);
}

}  // namespace tessaron
