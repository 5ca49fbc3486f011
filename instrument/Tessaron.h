#pragma once
// The instrument: its parameter table, state layout and program handling on top of the
// shell and the VST 2 binding.
#include <cstdint>
#include <memory>

#include "engine/ParameterIds.h"
#include "engine/SoundEngine.h"
#include "shell/Synth.h"

namespace tessaron {

constexpr int kProgramCount = 64;
constexpr int32_t kTessaronUniqueId = vst::FourCC('T', 's', 'r', 'n');
constexpr int32_t kTessaronVersion = 0x00010001;  // 1.0.1
constexpr char kStateTag[] = "Tessaron_1.0.0";
constexpr int kStateTagLength = 14;
static_assert(sizeof(kStateTag) == kStateTagLength + 1);

class TessaronPanel;
// Defined beside the panel, so that this header needs no more than its name.
struct TessaronPanelDeleter {
  void operator()(TessaronPanel* panel) const;
};

// The instrument ties the shell to the sound engine: it turns parameters into engine
// settings, forwards render and MIDI calls, and answers the engine's questions about the
// host. Every member is touched under the plug-in lock.
class Tessaron : public Synth, private EngineHost {
 public:
  explicit Tessaron(vst::AudioMasterCallback host);
  ~Tessaron() override;

  void Reset() override;
  void OnParamChange(int index) override;
  void ProcessDoubleReplacing(double** inputs, double** outputs, int frames) override;
  void QueueEngineMidi(const MidiMessage& msg) override;
  void ReleaseAllKeys() override;
  bool WriteState(ChunkBuffer& buffer) override;
  int ReadState(const ChunkBuffer& buffer, int pos) override;
  void OnProgramsChanged() override;
  void DefineParameters() override;
  void LoadInitProgram() override;
  // The editor panel (TessaronLayout.cpp): built once in the constructor; the idle hook
  // drives the lamps and the octave buttons while the window is open.
  void BuildEditorLayout() override;
  void OnEditorIdle() override;
  bool TweakRowOpen() const;
  // Opens or closes the tweak row without a window, for off-screen snapshots.
  void SetTweakRowOpen(bool open);

  const SoundEngine& Engine() const { return engine_; }

 private:
  void FillTimeInfo(TimeInfo& info) override;
  // Drained controllers go through the shell's controller table.
  void ApplyController(int32_t controller, int32_t value) override { Synth::ApplyController(controller, value); }

  SoundEngine engine_;
  std::unique_ptr<TessaronPanel, TessaronPanelDeleter>
      panel_;  // the controls' references; editor thread or under the lock
};

}  // namespace tessaron
