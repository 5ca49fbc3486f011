#pragma once
// The panel's horizontal sliders. Layout coordinates and length come in half pixels; the
// control reaches up over the track to a strip where the value shows while hovered.
#include "editor/IFaderControl.h"

namespace tessaron {

class IGLSliderControl : public IFaderControl {
 public:
  IGLSliderControl(IEditor* editor, int layoutX, int layoutY, int layoutLength, int paramIdx, const IBitmap& handle);
  void MouseOver(int x, int y, const IMouseMod& mod) override;
  void MouseOut() override;
  bool Draw(IEditor& graphics) override;
  bool Hovered() const { return hover_; }
  const GfxRect& ValueRect() const { return valueRect_; }

 private:
  bool hover_ = false;
  GfxRect valueRect_;
  GfxTextStyle valueStyle_;
};

}  // namespace tessaron
