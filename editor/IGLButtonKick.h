#pragma once
// On/off buttons of choice parameters: the face follows the parameter, the pressed frame
// follows the mouse. The editor-idle hook may force what the face shows (the octave
// buttons show the octave modulation while it runs).
#include "editor/ISwitchControl.h"

namespace tessaron {

class IGLButtonKick : public IContactControl {
 public:
  IGLButtonKick(IEditor* editor, int x, int y, int paramIdx, const IBitmap& offFace, const IBitmap& onFace);
  void MouseDown(int x, int y, const IMouseMod& mod) override;
  void MouseUp(int x, int y, const IMouseMod& mod) override;
  void MouseDoubleClick(int x, int y, const IMouseMod& mod) override;
  bool Draw(IEditor& graphics) override;

  void ForceDisplay(bool forced, bool state);
  bool IsPressed() const { return pressed_; }
  // The face drawn now: true for the on face.
  bool ShowsOn() const;

 private:
  IBitmap onFace_;
  bool pressed_ = false;
  bool forced_ = false;
  bool forcedState_ = false;
};

}  // namespace tessaron
