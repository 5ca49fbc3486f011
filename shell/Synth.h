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
  // Every message the shell does not keep (thru, learn, program change) goes to the
  // engine, which classifies the rest once: notes, pitch bend and controllers into its
  // timed queue, channel modes 120 and 123 at once, everything else nowhere.
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
  // Thru, then what the shell keeps: learn swallows controllers 0..119 while armed,
  // program changes select a slot unless configured away. The rest goes to the engine.
  void HandleMidiMessage(const MidiMessage& msg);
  // The path of an assigned controller, the one place it is written down:
  //   1. HandleMidiMessage (dispatcher thread) passes the control change to the engine
  //      through QueueEngineMidi, so that it takes effect at its time in the block;
  //   2. the engine's control-block drain (audio thread) keeps controllers 1 (wheel)
  //      and 64 (sustain) and hands every other back through EngineHost::ApplyController;
  //   3. here, under the lock: the configuration's controller table names the
  //      parameter, which is set as the editor would set it (automation to the host,
  //      the control told), and the parameter-change operation turns it into engine
  //      settings.
  // Unassigned controllers and unchanged values end here.
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
