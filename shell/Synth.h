#pragma once
// The maker's shell shared between instruments: choice parameters, the program clipboard
// and program commands, and the operations an instrument adds to the binding's table.
#include "host/ChunkBuffer.h"
#include "host/IPluginVst.h"

namespace tessaron {

class IPluginEditor;

class Synth : public IPluginVst {
 public:
  Synth(vst::AudioMasterCallback host, const PluginConfig& config);

  // Activation re-applies every parameter, so the engine starts from the live values.
  void Activate(bool active) override;

  // ---- Operations the shell adds, in slot order ----
  virtual void BuildEditorLayout() {}
  virtual IPluginEditor* GetEditor() { return nullptr; }
  virtual void ReleaseAllKeys() {}
  // Answers whether a bank was loaded; the shell alone has no built-in bank.
  virtual bool LoadFactoryBank() { return false; }
  virtual void DefineParameters() = 0;
  // Every parameter to its default, stored as the current program named "Init".
  virtual void LoadInitProgram();

  // A choice parameter: the whole values 0 .. count - 1, each shown by its text.
  void InitChoice(int index, const char* name, int defaultValue, int count, const char* const* texts);

  // Program commands of the menu and the editor's program selector (UI thread).
  void CopyProgram();
  void PasteProgram();
  void ChooseProgram(int index);

  bool ClipboardEmpty() const { return clipboard_.Empty(); }
  int ClipboardSource() const { return clipboardSource_; }

 private:
  ChunkBuffer clipboard_{4096};
  int clipboardSource_ = -1;
};

}  // namespace tessaron
