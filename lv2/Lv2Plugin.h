#pragma once
// The LV2 plug-in instance: the instrument, created and driven exactly as a VST 2 host drives
// it, behind the LV2 ports, the atom event input, the state interface and the options.
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include "lv2/Lv2Instance.h"

namespace tessaron {
class IPluginVst;
}

namespace tessaron::lv2 {

struct Urids {
  LV2_URID atomChunk, atomInt, atomLong, atomFloat, atomDouble, atomObject, atomBlank, atomSequence;
  LV2_URID midiEvent;
  LV2_URID timePosition, timeBpm, timeSpeed, timeFrame, timeBar, timeBarBeat, timeBeatsPerBar, timeBeatUnit;
  LV2_URID maxBlockLength, nominalBlockLength;
  LV2_URID stateBank, stateProgram, stateProgramIndex;
};

class Lv2Plugin final : public Lv2Instance {
 public:
  // nullptr when the host lacks urid:map or the instrument cannot be built.
  static Lv2Plugin* Create(double sampleRate, const LV2_Feature* const* features);
  ~Lv2Plugin() override;

  vst::AEffect* Effect() override { return effect_; }
  PendingEdits& EditsForUi() override { return edits_; }

  // LV2 entry points (threading classes as the LV2 core defines them).
  void ConnectPort(uint32_t port, void* data);
  void Activate();
  void Deactivate();
  void Run(uint32_t frames);  // audio thread
  LV2_State_Status Save(LV2_State_Store_Function store, LV2_State_Handle handle);
  LV2_State_Status Restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

 private:
  Lv2Plugin(double sampleRate, const LV2_URID_Map* map, int blockSize);
  // An instrument whose host is this binding's callback, as the VST 2 entry point builds one.
  static IPluginVst* BuildInstrument();
  bool Open();
  bool OpenScratch();
  // Validates state in the scratch instrument; applies nothing.
  bool Parses(const void* bank, uint32_t bankSize, const void* program, uint32_t programSize);

  static vst::VstIntPtr TESSARON_VSTCALL HostCallback(vst::AEffect* effect, vst::VstInt32 opcode, vst::VstInt32 index,
                                                      vst::VstIntPtr value, void* ptr, float opt);
  vst::VstIntPtr AnswerInstrument(vst::VstInt32 opcode, vst::VstInt32 index, vst::VstIntPtr value, void* ptr, float opt);
  vst::VstIntPtr Dispatch(vst::VstInt32 opcode, vst::VstInt32 index = 0, vst::VstIntPtr value = 0,
                          void* ptr = nullptr, float opt = 0.0f);

  void ApplyControlPorts();
  // Every port value that matches what the instrument holds now (after a program change,
  // a restore or an edit on the panel), so that echoes of it are not applied again.
  void NoteInstrumentValues();
  void ReadPosition(const LV2_Atom_Object* object);
  void RenderSlice(uint32_t offset, uint32_t frames);
  void FlushEvents();

  const double sampleRate_;
  const int blockSize_;
  Urids urids_{};
  vst::AEffect* effect_ = nullptr;
  PendingEdits edits_;

  // Ports (connect_port may come at any time, from the host's setup thread).
  std::array<const float*, kParameterCount> controls_{};
  float* left_ = nullptr;
  float* right_ = nullptr;
  const LV2_Atom_Sequence* events_ = nullptr;

  // Audio thread: the port values last seen, and whether a restore asked to take the
  // ports' present values as seen rather than apply them over the restored sound.
  std::array<float, kParameterCount> lastPort_{};
  std::atomic<bool> adoptPorts_{false};
  // The port value matching the instrument's value, written wherever the instrument tells
  // its host of a change (any thread), read by the audio thread.
  std::array<std::atomic<float>, kParameterCount> instrumentPort_{};

  // Audio thread: transport from time:Position, answered to audioMasterGetTime.
  vst::VstTimeInfo time_{};
  double speed_ = 0.0;
  double beatsPerBar_ = 4.0;
  double beatUnit_ = 4.0;
  bool haveBeats_ = false;

  // Audio thread: MIDI of the slice being rendered, fixed capacity (a full list is
  // handed over and the next events start a new one).
  static constexpr int kEventCapacity = 256;
  std::array<vst::VstMidiEvent, kEventCapacity> midi_{};
  std::array<vst::VstMidiSysexEvent, kEventCapacity> sysex_{};
  struct EventList {
    vst::VstInt32 numEvents;
    vst::VstIntPtr reserved;
    vst::VstEvent* events[2 * kEventCapacity];
  } list_{};
  int midiCount_ = 0;
  int sysexCount_ = 0;

  // A second instrument that parses state before the live one is touched, and brings
  // saved banks into one canonical form. Save and restore only, under stateLock_.
  std::mutex stateLock_;
  IPluginVst* scratch_ = nullptr;
};

}  // namespace tessaron::lv2
