#pragma once
// What the panel's own controls (program selector, previous/next, options menu, learn
// switch, tweak opener) ask of the instrument beyond its parameters. The editor library
// cannot see the shell; the instrument hands the controls an implementation.
//
// Every call comes on the editor thread with no lock held; an implementation takes the
// instrument's lock wherever it touches the instrument.
#include <string>

namespace tessaron {

class IEditor;

class PanelInstrument {
 public:
  virtual ~PanelInstrument() = default;
  virtual int ProgramCount() = 0;
  virtual std::string ProgramName(int index) = 0;
  // Stores the current values into the current program, then makes index current.
  virtual void ChooseProgram(int index) = 0;
  virtual void RenameCurrentProgram(const char* name) = 0;
  virtual void OpenOptionsMenu(IEditor& editor, int x, int y) = 0;
  virtual void ArmLearn(bool active, bool unlearnFace) = 0;
  virtual void ToggleTweakRow() = 0;
  // The current program's number, for the previous and next buttons.
  virtual int CurrentProgramNumber() = 0;
};

}  // namespace tessaron
