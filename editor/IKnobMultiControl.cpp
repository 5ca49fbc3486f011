#include "editor/IKnobMultiControl.h"

#include <algorithm>

#include "editor/IEditor.h"

namespace tessaron {

IKnobControl::IKnobControl(IEditor* editor, const GfxRect& rect, int paramIdx, EDirection direction, double gearing)
    : IControl(editor, rect, paramIdx), direction_(direction), gearing_(gearing) {}

void IKnobControl::MouseDrag(int, int, int dx, int dy, const IMouseMod& mod) {
  double g = gearing_;
  if (mod.S || mod.C) g *= kFineFactor;
  if (direction_ == EDirection::kVertical) {
    value_ += -static_cast<double>(dy) / std::max(1, rect_.Height()) / g;
  } else {
    value_ += static_cast<double>(dx) / std::max(1, rect_.Width()) / g;
  }
  MarkDirty(true);
}

void IKnobControl::MouseWheel(int, int, const IMouseMod& mod, int steps) {
  value_ += steps * (mod.S || mod.C ? kFineWheelStep : kWheelStep);
  MarkDirty(true);
}

IKnobMultiControl::IKnobMultiControl(IEditor* editor, int x, int y, int paramIdx, const IBitmap& bitmap,
                                     EDirection direction, double gearing)
    : IKnobControl(editor, {x, y, x + bitmap.FrameWidth(), y + bitmap.FrameHeight()}, paramIdx, direction, gearing),
      bitmap_(bitmap) {}

int IKnobMultiControl::FrameForValue() const {
  const int n = bitmap_.N;
  const int frame = std::min(n, static_cast<int>((n - 1) * value_ + 0.5) + 1);
  return frame < 1 ? 1 : frame;
}

bool IKnobMultiControl::Draw(IEditor& graphics) {
  graphics.DrawBitmap(bitmap_, FrameForValue(), rect_, GfxBlendChoice::None, BlendWeight());
  return true;
}

}  // namespace tessaron
