#pragma once
// The opener of the tweak row: invisible over the knob drawn on the tweak cover.
#include "editor/IControl.h"

namespace tessaron {

class PanelInstrument;

class IGLTweakControl : public IControl {
 public:
  IGLTweakControl(IEditor* editor, PanelInstrument* panel, const GfxRect& rect);
  // Any button opens or closes the row, while the window is open.
  void MouseDown(int x, int y, const IMouseMod& mod) override;

 private:
  PanelInstrument* panel_;
};

}  // namespace tessaron
