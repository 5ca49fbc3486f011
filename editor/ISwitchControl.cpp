#include "editor/ISwitchControl.h"

namespace tessaron {

namespace {
// Past the last frame, with room for the rounding of repeated thirds.
constexpr double kWrapAbove = 1.001;
}  // namespace

ISwitchControl::ISwitchControl(IEditor* editor, int x, int y, int paramIdx, const IBitmap& bitmap)
    : IBitmapControl(editor, x, y, bitmap, paramIdx) {}

void ISwitchControl::Step() {
  value_ += bitmap_.N < 2 ? 1.0 : 1.0 / (bitmap_.N - 1);
  if (value_ > kWrapAbove) value_ = 0.0;
  MarkDirty(true);
}

void ISwitchControl::MouseDown(int, int, const IMouseMod&) { Step(); }
void ISwitchControl::MouseDoubleClick(int, int, const IMouseMod&) { Step(); }

void IContactControl::MouseUp(int, int, const IMouseMod&) {
  value_ = 0.0;
  MarkDirty(true);
}

}  // namespace tessaron
