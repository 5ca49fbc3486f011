#include "editor/IFaderControl.h"

#include <algorithm>

#include "editor/IEditor.h"

namespace tessaron {

IFaderControl::IFaderControl(IEditor* editor, int x, int y, int length, int paramIdx, const IBitmap& handle,
                             EDirection direction, bool onlyHandle)
    : IControl(editor,
               direction == EDirection::kHorizontal ? GfxRect{x, y, x + length, y + handle.FrameHeight()}
                                                    : GfxRect{x, y, x + handle.FrameWidth(), y + length},
               paramIdx),
      handle_(handle),
      trackX_(x),
      trackY_(y),
      length_(length),
      handleLength_(direction == EDirection::kHorizontal ? handle.FrameWidth() : handle.FrameHeight()),
      direction_(direction),
      onlyHandle_(onlyHandle) {}

GfxRect IFaderControl::HandleRect() const {
  const int travel = length_ - handleLength_;
  if (direction_ == EDirection::kHorizontal) {
    const int left = trackX_ + static_cast<int>(travel * value_);
    return {left, trackY_, left + handleLength_, trackY_ + handle_.FrameHeight()};
  }
  // Vertical: the top of the track is the top of the range.
  const int top = trackY_ + static_cast<int>(travel * (1.0 - value_));
  return {trackX_, top, trackX_ + handle_.FrameWidth(), top + handleLength_};
}

void IFaderControl::SnapToMouse(int x, int y) {
  const int travel = std::max(1, length_ - handleLength_);
  const int half = handleLength_ / 2;  // truncated, as the handle is grabbed at its middle
  if (direction_ == EDirection::kHorizontal) {
    value_ = static_cast<double>(x - trackX_ - half) / travel;
  } else {
    value_ = 1.0 - static_cast<double>(y - trackY_ - half) / travel;
  }
  MarkDirty(true);
}

void IFaderControl::MouseDown(int x, int y, const IMouseMod& mod) {
  // The right button would open the parameter prompt, which this panel keeps disabled.
  if (mod.L) SnapToMouse(x, y);
}

void IFaderControl::MouseDrag(int x, int y, int, int, const IMouseMod&) { SnapToMouse(x, y); }

void IFaderControl::MouseWheel(int, int, const IMouseMod& mod, int steps) {
  value_ += steps * (mod.S || mod.C ? IKnobControl::kFineWheelStep : IKnobControl::kWheelStep);
  MarkDirty(true);
}

bool IFaderControl::HitTest(int x, int y) {
  if (onlyHandle_) return Contains(HandleRect(), x, y);
  return Contains(rect_, x, y);
}

bool IFaderControl::Draw(IEditor& graphics) {
  graphics.DrawBitmap(handle_, 1, HandleRect(), GfxBlendChoice::None, BlendWeight());
  return true;
}

}  // namespace tessaron
