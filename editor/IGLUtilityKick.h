#pragma once
// The previous and next program buttons: the press shows, the release steps.
#include "editor/ISwitchControl.h"

namespace tessaron {

class PanelInstrument;

class IGLUtilityKick : public IContactControl {
 public:
  static constexpr int kPreviousProgram = -69;
  static constexpr int kNextProgram = -70;

  // pseudoIdx: kPreviousProgram or kNextProgram.
  IGLUtilityKick(IEditor* editor, PanelInstrument* panel, int x, int y, int pseudoIdx, const IBitmap& bitmap);
  void MouseDown(int x, int y, const IMouseMod& mod) override;
  void MouseUp(int x, int y, const IMouseMod& mod) override;
  void MouseDoubleClick(int x, int y, const IMouseMod& mod) override;
  bool Draw(IEditor& graphics) override;
  bool IsPressed() const { return pressed_; }

 private:
  PanelInstrument* panel_;
  bool pressed_ = false;
};

}  // namespace tessaron
