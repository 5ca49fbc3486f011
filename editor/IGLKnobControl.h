#pragma once
// The panel's knobs and selectors. Layout coordinates come in half pixels. Knobs geared
// finer than one knob height per range show their value while the pointer rests on them.
#include "editor/IKnobMultiControl.h"

namespace tessaron {

// Value text of hovered knobs and sliders.
GfxTextStyle HoverValueTextStyle();
constexpr GfxPixel kHoverShade = 0xA0404040;  // alpha 160 over grey 64
constexpr double kHoverShadeWeight = 0.6;

class IGLKnobControl : public IKnobMultiControl {
 public:
  static constexpr int kValueTextDrop = 9;  // the text sits this far below the knob's top

  IGLKnobControl(IEditor* editor, int layoutX, int layoutY, int paramIdx, const IBitmap& bitmap, double gearing);
  void MouseOver(int x, int y, const IMouseMod& mod) override;
  void MouseOut() override;
  bool Draw(IEditor& graphics) override;
  bool Hovered() const { return hover_; }
  bool ShowsValueText() const { return gearing_ > 1.0 && hover_; }

 private:
  bool hover_ = false;
  GfxRect valueRect_;
  GfxTextStyle valueStyle_;
};

// The parameter's display text for its current value; empty without a parameter.
std::string CurrentValueText(IEditor& editor, int paramIdx);

}  // namespace tessaron
