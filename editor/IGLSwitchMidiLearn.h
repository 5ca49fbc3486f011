#pragma once
// The MIDI learn switch. A left click arms or disarms learn in the mode its face shows;
// a right click while dark swaps the face between learn and unlearn.
#include "editor/ISwitchControl.h"

namespace tessaron {

class PanelInstrument;

class IGLSwitchMidiLearn : public ISwitchControl {
 public:
  static constexpr const char* kLearnFace = "img/learn.png";
  static constexpr const char* kUnlearnFace = "img/unlearn.png";

  IGLSwitchMidiLearn(IEditor* editor, PanelInstrument* panel, int x, int y, const IBitmap& learnFace);
  void MouseDown(int x, int y, const IMouseMod& mod) override;
  void MouseDoubleClick(int x, int y, const IMouseMod& mod) override;
  bool ShowsLearnFace() const { return learnFace_; }

 private:
  PanelInstrument* panel_;
  bool learnFace_ = true;
};

}  // namespace tessaron
