#pragma once
// The framework base: parameter records, program slots, state serialisation and the
// instrument's lock. Every later class reaches the host only through the virtual
// operations below, declared in the order the whole chain keeps.
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/ChunkBuffer.h"
#include "host/IParameter.h"
#include "common/MidiMessage.h"
#include "host/PluginConfig.h"
#include "host/ProgramSlot.h"
#include "common/TimeInfo.h"

namespace tessaron {

class IPluginEditor;

constexpr int32_t kChunkMagic = 0x70666674;  // "tffp" stored little-endian
constexpr int32_t kChunkVersion = 0x00010000;
constexpr std::size_t kHostTextSize = 64;     // bound of every copy into a host buffer
constexpr std::size_t kConfigTextSize = 128;  // effect, product and vendor name fields

class IPluginBase {
 public:
  using Mutex = std::recursive_mutex;
  using Lock = std::lock_guard<std::recursive_mutex>;

  explicit IPluginBase(const PluginConfig& config);
  IPluginBase(const IPluginBase&) = delete;
  IPluginBase& operator=(const IPluginBase&) = delete;

  // ---- Virtual operations, in slot order ----
  virtual ~IPluginBase();
  virtual void Reset() {}
  virtual void OnParamChange(int index) { (void)index; }
  // Base: copies inputs to outputs, zeroes outputs without an input.
  virtual void ProcessDoubleReplacing(double** inputs, double** outputs, int frames);
  virtual void OnEditorOpened() {}
  virtual void OnEditorClose() {}
  virtual void OnEditorIdle() {}
  virtual void Activate(bool active) { (void)active; }
  virtual void ProcessMidiMsg(const MidiMessage& msg) { (void)msg; }
  virtual void ProcessSysEx(const SysExMessage& msg) { (void)msg; }
  // text holds at least kHostTextSize bytes.
  virtual bool MidiNoteName(int key, char* text);
  virtual bool WriteState(ChunkBuffer& buffer) { return SerializeParams(buffer); }
  virtual int ReadState(const ChunkBuffer& buffer, int pos) { return UnserializeParams(buffer, pos); }
  virtual bool CompareState(const unsigned char* data, int size);
  virtual void OnEditorResized() {}
  virtual bool Query(int what) {
    (void)what;
    return false;
  }
  virtual void OnHostIdentified() {}
  virtual void OnHostRequestedEdit() {}
  virtual void SetParamFromEditor(int index, double normalized);
  // Calls to the host.
  virtual void BeginInformHostOfParamChange(int index) = 0;
  virtual void InformHostOfParamChange(int index, double normalized) = 0;
  virtual void EndInformHostOfParamChange(int index) = 0;
  virtual void InformHostOfProgramChange() = 0;
  virtual bool IsRenderingOffline() = 0;
  virtual int GetSamplePos() = 0;
  virtual double GetTempo() = 0;
  virtual void GetTimeSig(int* numerator, int* denominator) = 0;
  virtual void GetTime(TimeInfo* info) = 0;
  virtual int IdentifyHost() = 0;
  virtual int GetBindingKind() = 0;
  virtual void EditorSizeChanged() = 0;
  virtual void AdaptToHost() = 0;
  virtual void AttachEditor(IPluginEditor* editor);
  virtual void SetLatency(int samples) { latency_ = samples; }
  virtual bool SendMidiOut(const MidiMessage& msg) = 0;
  virtual bool SendSysEx(const SysExMessage& msg) = 0;
  // Program store.
  virtual void RefreshEditorFromParams();
  virtual int UnserializePresets(const ChunkBuffer& buffer, int pos);
  virtual void ModifyCurrentPreset(const char* name = nullptr);
  virtual void OnPresetsModified() {}
  virtual void OnProgramsChanged() {}
  virtual void SetSampleRate(double sampleRate) { sampleRate_ = sampleRate; }
  virtual void SetBlockSize(int blockSize) { blockSize_ = blockSize; }

  // ---- Parameters ----
  int NParams() const { return static_cast<int>(params_.size()); }
  bool IsValidParam(int index) const { return index >= 0 && index < NParams(); }
  // nullptr for an index outside the table.
  IParameter* GetParam(int index) { return IsValidParam(index) ? &params_[index] : nullptr; }
  const IParameter* GetParam(int index) const { return IsValidParam(index) ? &params_[index] : nullptr; }
  void ApplyAllParams();  // parameter changed for every index in order

  // ---- State ----
  bool SerializeParams(ChunkBuffer& buffer);
  int UnserializeParams(const ChunkBuffer& buffer, int pos);
  bool SerializePresets(ChunkBuffer& buffer);
  static void BeginChunk(ChunkBuffer& buffer);
  // Answers the chunk version and advances pos past the header, or answers 0 and leaves
  // pos alone when there is no header (-1 when the header is cut short).
  static int32_t ReadChunkHeader(const ChunkBuffer& buffer, int& pos);

  // ---- Programs ----
  int NPrograms() const { return static_cast<int>(slots_.size()); }
  int CurrentProgram() const { return currentProgram_; }
  std::string ProgramName(int index) const;
  const ProgramSlot* GetSlot(int index) const;
  bool SelectProgram(int index);
  void FillEmptyPrograms(int count);
  void ReportAllParamsToHost();

  // ---- Fixed settings ----
  const char* EffectName() const { return effectName_; }
  const char* ProductName() const { return productName_; }
  const char* VendorName() const { return vendorName_; }
  int32_t PackedVersion() const { return version_; }
  int32_t UniqueId() const { return uniqueId_; }
  double SampleRate() const { return sampleRate_; }
  int BlockSize() const { return blockSize_; }
  int Latency() const { return latency_; }
  int TailSize() const { return tailSize_; }
  bool DoesStateChunks() const { return doesChunks_; }
  bool IsInstrument() const { return isInstrument_; }
  bool DoesMidi() const { return doesMidi_; }
  int NInChannels() const { return maxInputs_; }
  int NOutChannels() const { return maxOutputs_; }
  // Some channel-pair of the description has exactly nIn inputs and nOut outputs
  // (-1 matches any count).
  bool LegalIO(int nIn, int nOut) const;

  IPluginEditor* GetEditorAttached() const { return editor_; }
  Mutex& GetMutex() { return mutex_; }

 protected:
  int32_t latency_ = 0;
  int32_t tailSize_ = 0;
  double sampleRate_ = 44100.0;
  int blockSize_ = 0;
  int currentProgram_ = 0;
  IPluginEditor* editor_ = nullptr;

 private:
  char effectName_[kConfigTextSize] = {};
  char productName_[kConfigTextSize] = {};
  char vendorName_[kConfigTextSize] = {};
  int32_t version_;
  int32_t uniqueId_;
  std::vector<std::pair<int, int>> channelIO_;
  int maxInputs_ = 0;
  int maxOutputs_ = 0;
  bool doesChunks_;
  bool isInstrument_;
  bool doesMidi_;
  std::vector<IParameter> params_;
  std::vector<ProgramSlot> slots_;
  Mutex mutex_;
};

}  // namespace tessaron
