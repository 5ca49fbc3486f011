#pragma once
// The maker's shell shared between instruments: choice parameters, the program clipboard
// and program commands, the per-user configuration, the MIDI message handler with
// controller mapping and learn, and the operations an instrument adds to the binding's
// table.
#include <memory>

#include "host/ChunkBuffer.h"
#include "host/IPluginVst.h"
#include "shell/Configuration.h"
#include "shell/MidiLearn.h"

namespace tessaron {

class IEditor;
class IPluginEditor;

class Synth : public IPluginVst {
 public:
  // Makes the editor object; tests and off-screen tools give it a window system of their own.
  using EditorFactory = std::unique_ptr<IEditor> (*)();

  // Locates and reads the configuration file and creates the editor object (its window
  // exists only while the host shows it).
  Synth(vst::AudioMasterCallback host, const PluginConfig& config);
  // The window closes before anything it could reach goes.
  ~Synth() override;

  // The shell's share of every reset, run before the instrument's: learn is disarmed, so
  // that the parameter pass of a reset is never taken for a knob the user moved.
  void Reset() override;
  // Activation re-applies every parameter, so the engine starts from the live values.
  void Activate(bool active) override;
  // The binding's MIDI hook (dispatcher thread, under the instrument's lock).
  void ProcessMidiMsg(const MidiMessage& msg) override { HandleMidiMessage(msg); }

  // ---- Operations the shell adds, in slot order ----
  virtual void BuildEditorLayout() {}
  virtual IPluginEditor* GetEditor();
  virtual void ReleaseAllKeys() {}
  // The startup bank, or else the bank built into the library. Answers whether a
  // bank was loaded.
  virtual bool LoadFactoryBank();
  virtual void DefineParameters() = 0;
  // Every parameter to its default, stored as the current program named "Init".
  virtual void LoadInitProgram();
  // Notes, pitch bend and controllers 0..119 for the engine's timed queue. The
  // instrument hands queued control changes back to ApplyController as it drains
  // them (controllers 1 and 64 are the engine's own; ApplyController skips them).
  virtual void QueueEngineMidi(const MidiMessage& msg) { (void)msg; }

  // A choice parameter: the whole values 0 .. count - 1, each shown by its text.
  void InitChoice(int index, const char* name, int defaultValue, int count, const char* const* texts);

  // Program commands of the menu and the editor's program selector (UI thread).
  void CopyProgram();
  void PasteProgram();
  void ChooseProgram(int index);

  bool ClipboardEmpty() const { return clipboard_.Empty(); }
  int ClipboardSource() const { return clipboardSource_; }

  // ---- Configuration ----
  Configuration& GetConfiguration() { return config_; }
  const Configuration& GetConfiguration() const { return config_; }
  int ReadConfiguration() { return config_.ReadConfiguration(); }
  // End of the instrument's construction: the startup bank file, or when that fails
  // (also without one) the name is forgotten in memory and the factory bank loads.
  void LoadStartupPrograms();

  // ---- MIDI ----
  // Thru, then the kinds in turn: notes, pitch bend and controllers go to the engine,
  // learn swallows controllers while armed, channel modes 120 and 123 release every
  // key at once, program changes select a slot unless configured away.
  void HandleMidiMessage(const MidiMessage& msg);
  // A drained control change (audio thread, under the lock): through the controller
  // table to the parameter, unless the value would not change.
  void ApplyController(int controller, int value);
  // First step of every parameter change, under the lock.
  void CaptureParameter(int index);
  // The learn switch's left click (editor thread).
  void ArmLearn(bool active, bool unlearnFace);
  void SetLearnSwitch(LearnSwitchHook* hook);
  const MidiLearn& Learn() const { return learn_; }

  // The editor object; the window system is this build's unless a factory is set.
  IEditor* Editor() const { return editorObject_.get(); }
  static void SetEditorFactory(EditorFactory factory);

 private:
  std::unique_ptr<IEditor> editorObject_;
  Configuration config_;
  MidiLearn learn_;
  ChunkBuffer clipboard_{4096};
  int clipboardSource_ = -1;
};

}  // namespace tessaron
