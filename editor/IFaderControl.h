#pragma once
// A slider: a handle bitmap moving along a track. The handle follows the pointer; only
// the handle answers the mouse when only-handle is set.
#include "editor/IControl.h"
#include "editor/IKnobMultiControl.h"

namespace tessaron {

class IFaderControl : public IControl {
 public:
  // Track from (x, y), length pixels long; the handle's frame sets the height.
  IFaderControl(IEditor* editor, int x, int y, int length, int paramIdx, const IBitmap& handle,
                EDirection direction = EDirection::kHorizontal, bool onlyHandle = true);
  void MouseDown(int x, int y, const IMouseMod& mod) override;
  void MouseDrag(int x, int y, int dx, int dy, const IMouseMod& mod) override;
  void MouseWheel(int x, int y, const IMouseMod& mod, int steps) override;
  bool HitTest(int x, int y) override;
  bool Draw(IEditor& graphics) override;

  // Where the handle lies for the current value.
  GfxRect HandleRect() const;

 protected:
  void SnapToMouse(int x, int y);

  IBitmap handle_;
  int trackX_, trackY_;
  int length_;
  int handleLength_;
  EDirection direction_;
  bool onlyHandle_;
};

}  // namespace tessaron
