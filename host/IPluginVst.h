#pragma once
// The VST 2.4 binding: fills the plug-in record, answers the dispatcher, runs the audio
// and parameter callbacks, and calls the host back.
#include <string>
#include <vector>

#include "host/IPluginBase.h"
#include "host/VstAbi.h"

namespace tessaron {

constexpr int kMaxBlockSize = 1 << 20;            // larger block sizes are refused, not allocated
constexpr int kMaxChunkBytes = 16 * 1024 * 1024;  // larger host chunks are refused
// Delay lines grow with the rate: an absurd rate would ask for gigabytes and overflow
// their integer lengths, so rates above 16 x 192 kHz are refused like invalid ones.
constexpr double kMaxSampleRate = 3072000.0;
constexpr int32_t kVstVersion = 2400;
constexpr vst::VstIntPtr kVendorSpecificAnswer = 0xBEEF;
constexpr vst::VstIntPtr kCockosCanDoAnswer = 0xBEEF0000;

class IPluginVst : public IPluginBase {
 public:
  IPluginVst(vst::AudioMasterCallback host, const PluginConfig& config);
  ~IPluginVst() override;

  vst::AEffect* GetAEffect() { return &effect_; }

  // Calls to the host (any thread; callers hold the plug-in lock where the host needs it).
  void BeginInformHostOfParamChange(int index) override;
  void InformHostOfParamChange(int index, double normalized) override;
  void EndInformHostOfParamChange(int index) override;
  void InformHostOfProgramChange() override;
  bool IsRenderingOffline() override;
  int GetSamplePos() override;
  double GetTempo() override;
  void GetTimeSig(int* numerator, int* denominator) override;
  void GetTime(TimeInfo* info) override;
  int IdentifyHost() override;
  int GetBindingKind() override { return 0; }
  void EditorSizeChanged() override;
  void AdaptToHost() override;
  void AttachEditor(IPluginEditor* editor) override;
  void SetLatency(int samples) override;
  bool SendMidiOut(const MidiMessage& msg) override;
  bool SendSysEx(const SysExMessage& msg) override;
  // A rate that is not a positive finite number, or above kMaxSampleRate, is ignored.
  void SetSampleRate(double sampleRate) override;
  // Sizes <= 0 are ignored and sizes above kMaxBlockSize refused.
  void SetBlockSize(int blockSize) override;

  bool WantsProgramChunks();
  int HostKindCached() const { return hostKind_; }

  // The plug-in record's callbacks.
  static vst::VstIntPtr TESSARON_VSTCALL VSTDispatcher(vst::AEffect* effect, vst::VstInt32 opcode, vst::VstInt32 index,
                                                       vst::VstIntPtr value, void* ptr, float opt);
  static void TESSARON_VSTCALL VSTProcess(vst::AEffect* effect, float** inputs, float** outputs, vst::VstInt32 frames);
  static void TESSARON_VSTCALL VSTProcessReplacing(vst::AEffect* effect, float** inputs, float** outputs,
                                                   vst::VstInt32 frames);
  static void TESSARON_VSTCALL VSTProcessDoubleReplacing(vst::AEffect* effect, double** inputs, double** outputs,
                                                         vst::VstInt32 frames);
  static float TESSARON_VSTCALL VSTGetParameter(vst::AEffect* effect, vst::VstInt32 index);
  static void TESSARON_VSTCALL VSTSetParameter(vst::AEffect* effect, vst::VstInt32 index, float value);

 private:
  // One audio channel: the render call reads or writes through `buffer`.
  struct Channel {
    bool connected = true;
    double* buffer = nullptr;
    std::vector<double> scratch;
    char label[kHostTextSize] = {};
    float* hostOutput = nullptr;  // outputs only, for the current call
  };

  vst::VstIntPtr CallHost(vst::VstInt32 opcode, vst::VstInt32 index = 0, vst::VstIntPtr value = 0, void* ptr = nullptr,
                          float opt = 0.0f);
  // Everything but effClose, under the lock.
  vst::VstIntPtr Dispatch(vst::VstInt32 opcode, vst::VstInt32 index, vst::VstIntPtr value, void* ptr, float opt);
  vst::VstIntPtr GetChunk(bool isBank, void** data);
  vst::VstIntPtr SetChunk(bool isBank, const void* data, vst::VstIntPtr size);
  vst::VstIntPtr StringToParameter(int index, const char* text);
  vst::VstIntPtr PinProperties(bool isInput, int index, vst::VstPinProperties* pin);
  vst::VstIntPtr VendorSpecific(int index, vst::VstIntPtr value, void* ptr, float opt);
  vst::VstIntPtr CanDo(const char* text) const;
  void ProcessEvents(const vst::VstEvents* events);
  void SetArrangement(std::vector<Channel>& channels, const vst::VstSpeakerArrangement* arrangement);
  void SetParameterFromHost(int index, float value);

  enum class FloatMode { kReplace, kAccumulate };
  void ProcessFloat(float** inputs, float** outputs, int frames, FloatMode mode);
  void ProcessDouble(double** inputs, double** outputs, int frames);
  // The one block-slicing loop of both: wire(done, n) points the render at slice
  // [done, done + n), deliver(done, n) hands its output to the host.
  template <typename Wire, typename Deliver>
  void RenderInSlices(int frames, Wire&& wire, Deliver&& deliver);

  vst::AudioMasterCallback host_;
  vst::AEffect effect_{};
  ChunkBuffer programChunk_{4096};
  ChunkBuffer bankChunk_{4096};
  vst::ERect editorRect_{};
  vst::VstSpeakerArrangement inputArrangement_{};
  vst::VstSpeakerArrangement outputArrangement_{};
  std::vector<Channel> inputs_;
  std::vector<Channel> outputs_;
  std::vector<double*> inputPointers_;  // what the render call receives
  std::vector<double*> outputPointers_;
  int hostKind_ = -1;
  bool wantsProgramChunksAsked_ = false;
  bool wantsProgramChunks_ = false;
  bool adaptedToHost_ = false;
};

}  // namespace tessaron
