#pragma once
// Bitmap switches: each press steps to the next frame and wraps to the first.
#include "editor/IControl.h"

namespace tessaron {

class ISwitchControl : public IBitmapControl {
 public:
  ISwitchControl(IEditor* editor, int x, int y, int paramIdx, const IBitmap& bitmap);
  // Any button: one frame further, back to the first after the last; pushed.
  void MouseDown(int x, int y, const IMouseMod& mod) override;
  void MouseDoubleClick(int x, int y, const IMouseMod& mod) override;

 protected:
  void Step();
};

// A momentary switch: on while pressed, off again on release.
class IContactControl : public ISwitchControl {
 public:
  using ISwitchControl::ISwitchControl;
  void MouseUp(int x, int y, const IMouseMod& mod) override;
};

}  // namespace tessaron
