#pragma once
// Knobs: a vertical drag or the wheel turns the value; the multi-frame knob shows the
// frame nearest its value.
#include "editor/IControl.h"

namespace tessaron {

enum class EDirection { kHorizontal, kVertical };

class IKnobControl : public IControl {
 public:
  static constexpr double kFineFactor = 10.0;  // shift or control: ten times finer
  static constexpr double kWheelStep = 0.01;
  static constexpr double kFineWheelStep = 0.001;

  // gearing: how many control lengths a drag takes to cover the whole range.
  IKnobControl(IEditor* editor, const GfxRect& rect, int paramIdx, EDirection direction, double gearing);
  void MouseDrag(int x, int y, int dx, int dy, const IMouseMod& mod) override;
  void MouseWheel(int x, int y, const IMouseMod& mod, int steps) override;
  double Gearing() const { return gearing_; }

 protected:
  EDirection direction_;
  double gearing_;
};

class IKnobMultiControl : public IKnobControl {
 public:
  // Covers (x, y) to (x + frame width, y + frame height).
  IKnobMultiControl(IEditor* editor, int x, int y, int paramIdx, const IBitmap& bitmap,
                    EDirection direction = EDirection::kVertical, double gearing = 4.0);
  bool Draw(IEditor& graphics) override;
  const IBitmap& Bitmap() const { return bitmap_; }
  // The frame shown for the current value, counted from 1.
  int FrameForValue() const;

 protected:
  IBitmap bitmap_;
};

}  // namespace tessaron
