#pragma once
// The options menu button: invisible over its drawn face in the background.
#include "editor/IControl.h"

namespace tessaron {

class PanelInstrument;

class IGLOptionMenu : public IControl {
 public:
  IGLOptionMenu(IEditor* editor, PanelInstrument* panel, const GfxRect& rect);
  // Any button opens the menu at the pressed point.
  void MouseDown(int x, int y, const IMouseMod& mod) override;

 private:
  PanelInstrument* panel_;
};

}  // namespace tessaron
