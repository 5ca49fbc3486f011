#include "host/IPluginVst.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "host/FloatModeGuard.h"
#include "host/HostIdentification.h"
#include "host/IPluginEditor.h"
#include "host/Text.h"

namespace tessaron {

using namespace vst;

namespace {

IPluginVst* PlugOf(AEffect* effect) {
  return effect && effect->object ? static_cast<IPluginVst*>(effect->object) : nullptr;
}

VstInt32 ArrangementType(int channels) {
  switch (channels) {
    case 0: return kSpeakerArrEmpty;
    case 1: return kSpeakerArrMono;
    case 2: return kSpeakerArrStereo;
    default: return kSpeakerArrUserDefined;
  }
}

VstIntPtr CopyToHost(void* ptr, const char* text) {
  if (!ptr) return 0;
  CopyText(static_cast<char*>(ptr), kHostTextSize, text);
  return 1;
}

int ToInt(VstIntPtr value) {
  if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) return -1;
  return static_cast<int>(value);
}

}  // namespace

IPluginVst::IPluginVst(AudioMasterCallback host, const PluginConfig& config) : IPluginBase(config), host_(host) {
  std::memset(&effect_, 0, sizeof(effect_));
  effect_.magic = kEffectMagic;
  effect_.dispatcher = &VSTDispatcher;
  effect_.process = &VSTProcess;
  effect_.setParameter = &VSTSetParameter;
  effect_.getParameter = &VSTGetParameter;
  effect_.numPrograms = NPrograms();
  effect_.numParams = NParams();
  effect_.numInputs = NInChannels();
  effect_.numOutputs = NOutChannels();
  effect_.flags = effFlagsCanReplacing | effFlagsCanDoubleReplacing;
  if (DoesStateChunks()) effect_.flags |= effFlagsProgramChunks;
  if (LegalIO(1, -1)) effect_.flags |= effFlagsCanMono;
  if (IsInstrument()) effect_.flags |= effFlagsIsSynth;
  effect_.initialDelay = Latency();
  effect_.ioRatio = 1.0f;
  effect_.object = static_cast<IPluginVst*>(this);
  effect_.uniqueID = UniqueId();
  effect_.version = DecimalVersion(PackedVersion());
  effect_.processReplacing = &VSTProcessReplacing;
  effect_.processDoubleReplacing = &VSTProcessDoubleReplacing;

  inputArrangement_.numChannels = NInChannels();
  inputArrangement_.type = ArrangementType(NInChannels());
  outputArrangement_.numChannels = NOutChannels();
  outputArrangement_.type = ArrangementType(NOutChannels());

  inputs_.resize(static_cast<std::size_t>(NInChannels()));
  outputs_.resize(static_cast<std::size_t>(NOutChannels()));
  inputPointers_.assign(inputs_.size() + 1, nullptr);
  outputPointers_.assign(outputs_.size() + 1, nullptr);
  SetBlockSize(1024);
}

IPluginVst::~IPluginVst() { effect_.object = nullptr; }

VstIntPtr IPluginVst::CallHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  return host_ ? host_(&effect_, opcode, index, value, ptr, opt) : 0;
}

// ---- Calls to the host ----

void IPluginVst::BeginInformHostOfParamChange(int index) { CallHost(audioMasterBeginEdit, index); }

void IPluginVst::InformHostOfParamChange(int index, double normalized) {
  CallHost(audioMasterAutomate, index, 0, nullptr, static_cast<float>(normalized));
}

void IPluginVst::EndInformHostOfParamChange(int index) { CallHost(audioMasterEndEdit, index); }

void IPluginVst::InformHostOfProgramChange() { CallHost(audioMasterUpdateDisplay); }

bool IPluginVst::IsRenderingOffline() { return CallHost(audioMasterGetCurrentProcessLevel) == kVstProcessLevelOffline; }

int IPluginVst::GetSamplePos() {
  const auto* t = reinterpret_cast<const VstTimeInfo*>(CallHost(audioMasterGetTime, 0, 0));
  if (!t || !(t->samplePos >= 0.0)) return 0;
  return TruncateToInt(t->samplePos + 0.5);
}

double IPluginVst::GetTempo() {
  const auto* t = reinterpret_cast<const VstTimeInfo*>(CallHost(audioMasterGetTime, 0, kVstTempoValid));
  if (t && (t->flags & kVstTempoValid) && t->tempo >= 0.0) return t->tempo;
  return 0.0;
}

void IPluginVst::GetTimeSig(int* numerator, int* denominator) {
  int num = 0, den = 0;
  const auto* t = reinterpret_cast<const VstTimeInfo*>(CallHost(audioMasterGetTime, 0, kVstTimeSigValid));
  if (t && (t->flags & kVstTimeSigValid) && t->timeSigNumerator >= 0 && t->timeSigDenominator >= 0) {
    num = t->timeSigNumerator;
    den = t->timeSigDenominator;
  }
  if (numerator) *numerator = num;
  if (denominator) *denominator = den;
}

void IPluginVst::GetTime(TimeInfo* info) {
  if (!info) return;
  constexpr VstInt32 kWanted = kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstCyclePosValid | kVstTimeSigValid;
  const auto* t = reinterpret_cast<const VstTimeInfo*>(CallHost(audioMasterGetTime, 0, kWanted));
  if (!t || !(t->flags & kWanted)) return;
  info->samplePosition = t->samplePos;
  if ((t->flags & kVstPpqPosValid) && t->ppqPos >= 0.0) info->quarterNotePosition = t->ppqPos;
  if ((t->flags & kVstTempoValid) && t->tempo > 0.0) info->tempo = t->tempo;
  if ((t->flags & kVstBarsValid) && t->barStartPos >= 0.0) info->lastBarStart = t->barStartPos;
  if ((t->flags & kVstCyclePosValid) && t->cycleStartPos >= 0.0 && t->cycleEndPos >= 0.0) {
    info->cycleStart = t->cycleStartPos;
    info->cycleEnd = t->cycleEndPos;
  }
  if ((t->flags & kVstTimeSigValid) && t->timeSigNumerator > 0 && t->timeSigDenominator > 0) {
    info->timeSignatureNumerator = t->timeSigNumerator;
    info->timeSignatureDenominator = t->timeSigDenominator;
  }
  info->playing = (t->flags & kVstTransportPlaying) != 0;
  info->cycleActive = (t->flags & kVstTransportCycleActive) != 0;
}

int IPluginVst::IdentifyHost() {
  if (hostKind_ != kHostUnasked) return hostKind_;
  char product[256] = {};
  CallHost(audioMasterGetProductString, 0, 0, product);
  product[sizeof(product) - 1] = '\0';
  hostKind_ = ClassifyHostProduct(product);
  return hostKind_;
}

bool IPluginVst::WantsProgramChunks() {
  if (wantsProgramChunksAsked_) return wantsProgramChunks_;
  char vendor[256] = {};
  CallHost(audioMasterGetVendorString, 0, 0, vendor);
  vendor[sizeof(vendor) - 1] = '\0';
  wantsProgramChunks_ = VendorWantsProgramChunks(vendor);
  wantsProgramChunksAsked_ = true;
  return wantsProgramChunks_;
}

void IPluginVst::EditorSizeChanged() {
  if (editor_) {
    editorRect_.top = 0;
    editorRect_.left = 0;
    editorRect_.bottom = static_cast<VstInt16>(editor_->Height());
    editorRect_.right = static_cast<VstInt16>(editor_->Width());
  }
  OnEditorResized();
}

void IPluginVst::AdaptToHost() {
  if (adaptedToHost_) return;
  adaptedToHost_ = true;
  if (HostLimitsToStereoInput(IdentifyHost())) {
    for (std::size_t c = 2; c < inputs_.size(); ++c) {
      inputs_[c].connected = false;
      inputs_[c].buffer = inputs_[c].scratch.data();
    }
  }
  effect_.numInputs = inputArrangement_.numChannels = NInChannels();
  effect_.numOutputs = outputArrangement_.numChannels = NOutChannels();
  OnHostIdentified();
}

void IPluginVst::AttachEditor(IPluginEditor* editor) {
  IPluginBase::AttachEditor(editor);
  if (!editor) return;
  effect_.flags |= effFlagsHasEditor;
  editorRect_.top = 0;
  editorRect_.left = 0;
  editorRect_.bottom = static_cast<VstInt16>(editor->Height());
  editorRect_.right = static_cast<VstInt16>(editor->Width());
}

void IPluginVst::SetLatency(int samples) {
  IPluginBase::SetLatency(samples);
  effect_.initialDelay = samples;
}

bool IPluginVst::SendMidiOut(const MidiMessage& msg) {
  VstMidiEvent event{};
  event.type = kVstMidiType;
  event.byteSize = sizeof(VstMidiEvent);
  event.deltaFrames = msg.offset;
  event.midiData[0] = static_cast<char>(msg.status);
  event.midiData[1] = static_cast<char>(msg.data1);
  event.midiData[2] = static_cast<char>(msg.data2);
  VstEvents events{};
  events.numEvents = 1;
  events.events[0] = reinterpret_cast<VstEvent*>(&event);
  return CallHost(audioMasterProcessEvents, 0, 0, &events) == 1;
}

bool IPluginVst::SendSysEx(const SysExMessage& msg) {
  VstMidiSysexEvent event{};
  event.type = kVstSysExType;
  event.byteSize = sizeof(VstMidiSysexEvent);
  event.deltaFrames = msg.offset;
  event.dumpBytes = msg.size;
  event.sysexDump = const_cast<char*>(reinterpret_cast<const char*>(msg.data));
  VstEvents events{};
  events.numEvents = 1;
  events.events[0] = reinterpret_cast<VstEvent*>(&event);
  return CallHost(audioMasterProcessEvents, 0, 0, &events) == 1;
}

void IPluginVst::SetSampleRate(double sampleRate) {
  if (!std::isfinite(sampleRate) || sampleRate <= 0.0 || sampleRate > kMaxSampleRate) return;
  IPluginBase::SetSampleRate(sampleRate);
}

void IPluginVst::SetBlockSize(int blockSize) {
  if (blockSize <= 0 || blockSize > kMaxBlockSize) return;
  if (blockSize != BlockSize()) {
    for (auto* channels : {&inputs_, &outputs_}) {
      for (Channel& ch : *channels) {
        ch.scratch.assign(static_cast<std::size_t>(blockSize), 0.0);
        if (!ch.connected || !ch.buffer) ch.buffer = ch.scratch.data();
      }
    }
  }
  IPluginBase::SetBlockSize(blockSize);
}

// ---- Dispatcher ----

VstIntPtr TESSARON_VSTCALL IPluginVst::VSTDispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                                     void* ptr, float opt) {
  IPluginVst* plug = PlugOf(effect);
  if (!plug) return 0;
  try {
    if (opcode == effClose) {
      // Wait for any call in progress, then free the object together with its lock.
      { Lock lock(plug->GetMutex()); }
      delete plug;
      return 0;
    }
    if (opcode == effEditIdle || opcode == effIdle) {
      // Pumping the editor window's events can open menus and dialogs that wait for the
      // user; the audio thread must not wait with them, so the pump runs outside the lock,
      // as window messages do where the host delivers them itself.
      if (IPluginEditor* editor = plug->GetEditorAttached()) editor->HostIdle();
      Lock lock(plug->GetMutex());
      plug->OnEditorIdle();
      return 0;
    }
    Lock lock(plug->GetMutex());
    return plug->Dispatch(opcode, index, value, ptr, opt);
  } catch (...) {
    return 0;
  }
}

VstIntPtr IPluginVst::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  const IParameter* param = GetParam(index);
  char text[kParamTextSize];
  switch (opcode) {
    case effOpen:
      AdaptToHost();
      ApplyAllParams();
      return 0;
    case effSetProgram:
      ModifyCurrentPreset();
      SelectProgram(ToInt(value));
      return 0;
    case effGetProgram: return CurrentProgram();
    case effSetProgramName:
      if (ptr) {
        // Read no further than a slot name can hold, whatever the host's buffer.
        char name[kMaxProgramNameLength + 1];
        CopyText(name, sizeof(name), static_cast<const char*>(ptr));
        ModifyCurrentPreset(name);
        OnProgramsChanged();
      }
      return 0;
    case effGetProgramName:
      if (ptr) CopyToHost(ptr, ProgramName(CurrentProgram()).c_str());
      return 0;
    case effGetParamLabel:
      if (param && ptr) CopyToHost(ptr, param->LabelForHost());
      return 0;
    case effGetParamDisplay:
      if (param && ptr) {
        param->FormatForHost(param->Value(), false, text, true);
        CopyToHost(ptr, text);
      }
      return 0;
    case effGetParamName:
      if (param && ptr) CopyToHost(ptr, param->Name());
      return 0;
    case effSetSampleRate:
      SetSampleRate(static_cast<double>(opt));
      Reset();
      return 0;
    case effSetBlockSize:
      SetBlockSize(ToInt(value));
      Reset();
      return 0;
    case effMainsChanged:
      if (value != 0) {
        Activate(true);
      } else {
        Activate(false);
        Reset();
      }
      return 0;
    case effEditGetRect:
      if (ptr && editor_) {
        *static_cast<ERect**>(ptr) = &editorRect_;
        return 1;
      }
      return 0;
    case effEditOpen:
      if (editor_ && editor_->OpenWindow(ptr)) {
        OnEditorOpened();
        return 1;
      }
      return 0;
    case effEditClose:
      if (editor_) {
        OnEditorClose();
        editor_->CloseWindow();
        return 1;
      }
      return 0;
    case effIdentify: return FourCC('N', 'v', 'E', 'f');
    case effGetChunk: return GetChunk(index == 0 && !WantsProgramChunks(), static_cast<void**>(ptr));
    case effSetChunk: return SetChunk(index == 0 && !WantsProgramChunks(), ptr, value);
    case effProcessEvents:
      if (!ptr) return 0;
      ProcessEvents(static_cast<const VstEvents*>(ptr));
      return 1;
    case effCanBeAutomated: return 1;
    case effString2Parameter: return StringToParameter(index, static_cast<const char*>(ptr));
    case effGetProgramNameIndexed: {
      const std::string name = ProgramName(index);
      if (!ptr) return 0;
      CopyToHost(ptr, name.c_str());
      return name.empty() ? 0 : 1;
    }
    case effGetInputProperties: return PinProperties(true, index, static_cast<VstPinProperties*>(ptr));
    case effGetOutputProperties: return PinProperties(false, index, static_cast<VstPinProperties*>(ptr));
    case effGetPlugCategory: return IsInstrument() ? kPlugCategSynth : kPlugCategEffect;
    case effProcessVarIo: return 0;
    case effSetSpeakerArrangement:
      SetArrangement(inputs_, reinterpret_cast<const VstSpeakerArrangement*>(value));
      SetArrangement(outputs_, static_cast<const VstSpeakerArrangement*>(ptr));
      return 1;
    case effGetEffectName: return CopyToHost(ptr, EffectName());
    case effGetVendorString: return CopyToHost(ptr, VendorName());
    case effGetProductString: return CopyToHost(ptr, ProductName());
    case effGetVendorVersion: return DecimalVersion(PackedVersion());
    case effVendorSpecific: return VendorSpecific(index, value, ptr, opt);
    case effCanDo: return CanDo(static_cast<const char*>(ptr));
    case effGetTailSize: return TailSize();
    case effGetVstVersion: return kVstVersion;
    case effGetMidiKeyName: {
      if (!ptr) return 0;
      auto* key = static_cast<MidiKeyName*>(ptr);
      key->keyName[0] = '\0';
      const bool named = MidiNoteName(key->thisKeyNumber, key->keyName);
      key->keyName[sizeof(key->keyName) - 1] = '\0';
      return named ? 1 : 0;
    }
    case effGetSpeakerArrangement:
      if (value) *reinterpret_cast<VstSpeakerArrangement**>(value) = &inputArrangement_;
      if (ptr) *static_cast<VstSpeakerArrangement**>(ptr) = &outputArrangement_;
      return 1;
    default: return 0;
  }
}

VstIntPtr IPluginVst::GetChunk(bool isBank, void** data) {
  if (!data) return 0;
  ChunkBuffer& buffer = isBank ? bankChunk_ : programChunk_;
  BeginChunk(buffer);
  bool ok;
  if (isBank) {
    ModifyCurrentPreset();
    ok = SerializePresets(buffer);
  } else {
    WriteState(buffer);
    buffer.PutString(ProgramName(CurrentProgram()));
    ok = !buffer.Empty();
  }
  if (!ok || buffer.Empty()) return 0;
  *data = buffer.Data();
  return buffer.Size();
}

VstIntPtr IPluginVst::SetChunk(bool isBank, const void* data, VstIntPtr size) {
  if (!data || size < 0 || size > kMaxChunkBytes) return 0;
  const int byteCount = static_cast<int>(size);
  ChunkBuffer& buffer = isBank ? bankChunk_ : programChunk_;
  buffer.Assign(data, static_cast<std::size_t>(byteCount));
  int pos = 0;
  const int32_t version = ReadChunkHeader(buffer, pos);
  if (isBank && version < kChunkVersion) isBank = false;
  if (isBank) {
    pos = UnserializePresets(buffer, pos);
  } else {
    pos = ReadState(buffer, pos);
    if (pos < byteCount) {
      std::string name;
      pos = buffer.GetString(name, pos);
      if (pos < 0) name.clear();
      ModifyCurrentPreset(name.c_str());
    } else {
      ModifyCurrentPreset();
    }
    if (WantsProgramChunks() && pos != byteCount) {
      bankChunk_.Assign(data, static_cast<std::size_t>(byteCount));
      int p = 0;
      const int32_t bankVersion = ReadChunkHeader(bankChunk_, p);
      const int r = bankVersion >= kChunkVersion ? UnserializePresets(bankChunk_, p) : p;
      if (r < 0) return 0;
      pos = r;
    }
  }
  if (pos < 0) return 0;
  RefreshEditorFromParams();
  return 1;
}

void IPluginVst::ProcessEvents(const VstEvents* events) {
  // The list is declared with two entries but carries numEvents of them: index through a
  // pointer, not the declared array, whose bound the compiler may rely on.
  VstEvent* const* list = events->events;
  for (VstInt32 i = 0; i < events->numEvents; ++i) {
    const VstEvent* event = list[i];
    if (!event) continue;
    if (event->type == kVstMidiType) {
      const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
      MidiMessage msg;
      msg.offset = midi->deltaFrames;
      msg.status = static_cast<uint8_t>(midi->midiData[0]);
      msg.data1 = static_cast<uint8_t>(midi->midiData[1]);
      msg.data2 = static_cast<uint8_t>(midi->midiData[2]);
      ProcessMidiMsg(msg);
    } else if (event->type == kVstSysExType) {
      const auto* sysex = reinterpret_cast<const VstMidiSysexEvent*>(event);
      SysExMessage msg;
      msg.offset = sysex->deltaFrames;
      msg.size = sysex->dumpBytes;
      msg.data = reinterpret_cast<const uint8_t*>(sysex->sysexDump);
      ProcessSysEx(msg);
    }
  }
}

VstIntPtr IPluginVst::StringToParameter(int index, const char* text) {
  IParameter* param = GetParam(index);
  if (!param) return 0;
  if (!text) return 1;
  double v;
  if (param->DisplayTexts().empty()) {
    v = ParseDecimal(text);
  } else {
    const auto& texts = param->DisplayTexts();
    auto it = std::find_if(texts.begin(), texts.end(),
                           [text](const IParameter::DisplayText& e) { return std::strcmp(e.text, text) == 0; });
    if (it == texts.end()) return 0;
    v = it->value;
  }
  if (editor_) editor_->SetParameterFromPlug(index, v, false);
  param->SetClamped(v);
  OnParamChange(index);
  return 1;
}

VstIntPtr IPluginVst::PinProperties(bool isInput, int index, VstPinProperties* pin) {
  const std::vector<Channel>& channels = isInput ? inputs_ : outputs_;
  if (!pin || index < 0 || index >= static_cast<int>(channels.size())) return 0;
  pin->flags = kVstPinIsActive;
  if (index % 2 == 0 && index + 1 < static_cast<int>(channels.size())) pin->flags |= kVstPinIsStereo;
  const char* label = channels[static_cast<std::size_t>(index)].label;
  if (label[0] != '\0') {
    CopyText(pin->label, sizeof(pin->label), label);
  } else {
    const std::string name = (isInput ? "Input " : "Output ") + std::to_string(index + 1);
    CopyText(pin->label, sizeof(pin->label), name.c_str());
  }
  return 1;
}

VstIntPtr IPluginVst::VendorSpecific(int index, VstIntPtr value, void* ptr, float opt) {
  if (index == 7) {
    if (!ptr) return 0;
    if (const IParameter* param = GetParam(ToInt(value))) {
      char text[kParamTextSize];
      param->FormatForHost(static_cast<double>(opt), true, text, true);
      CopyToHost(ptr, text);
    }
    return kVendorSpecificAnswer;
  }
  if (index == 8) {
    const IParameter* param = GetParam(ToInt(value));
    return param && param->GetType() != IParameter::kTypeContinuous ? kVendorSpecificAnswer : 0;
  }
  return 0;
}

VstIntPtr IPluginVst::CanDo(const char* text) const {
  if (!text) return 0;
  const std::string s(text, strnlen(text, 256));
  if (s == "receiveVstTimeInfo") return 1;
  if (s == "sendVstEvents" || s == "sendVstMidiEvent" || s == "receiveVstEvents" || s == "receiveVstMidiEvent") {
    return DoesMidi() ? 1 : 0;
  }
  if (s == "hasCockosExtensions" || s == "hasCockosViewAsConfig") return kCockosCanDoAnswer;
  return 0;
}

void IPluginVst::SetArrangement(std::vector<Channel>& channels, const VstSpeakerArrangement* arrangement) {
  if (!arrangement) return;
  const int n = std::clamp(arrangement->numChannels, 0, static_cast<int>(channels.size()));
  for (int c = 0; c < static_cast<int>(channels.size()); ++c) {
    Channel& ch = channels[static_cast<std::size_t>(c)];
    ch.connected = c < n;
    if (!ch.connected) ch.buffer = ch.scratch.data();
  }
}

// ---- Audio ----

template <typename Wire, typename Deliver>
void IPluginVst::RenderInSlices(int frames, Wire&& wire, Deliver&& deliver) {
  const int block = BlockSize();
  // A host that passes more frames than the block size it set gets them in slices, so the
  // scratch buffers are never overrun.
  for (int done = 0; done < frames;) {
    const int n = std::min(frames - done, block);
    wire(done, n);
    ProcessDoubleReplacing(inputPointers_.data(), outputPointers_.data(), n);
    deliver(done, n);
    done += n;
  }
}

void IPluginVst::ProcessFloat(float** inputs, float** outputs, int frames, FloatMode mode) {
  // Single precision goes through the scratch buffers both ways.
  const auto wire = [&](int done, int n) {
    int hostChannel = 0;
    for (std::size_t c = 0; c < inputs_.size(); ++c) {
      Channel& ch = inputs_[c];
      ch.buffer = ch.scratch.data();
      if (!ch.connected) continue;
      const float* src = inputs ? inputs[hostChannel++] : nullptr;
      if (src) {
        for (int i = 0; i < n; ++i) ch.scratch[static_cast<std::size_t>(i)] = src[done + i];
      } else {
        std::fill(ch.scratch.begin(), ch.scratch.begin() + n, 0.0);
      }
    }
    for (std::size_t c = 0; c < inputs_.size(); ++c) inputPointers_[c] = inputs_[c].buffer;
    hostChannel = 0;
    for (std::size_t c = 0; c < outputs_.size(); ++c) {
      Channel& ch = outputs_[c];
      ch.buffer = ch.scratch.data();
      ch.hostOutput = ch.connected && outputs ? outputs[hostChannel++] : nullptr;
      outputPointers_[c] = ch.buffer;
    }
  };
  const auto deliver = [&](int done, int n) {
    for (Channel& ch : outputs_) {
      if (!ch.connected || !ch.hostOutput) continue;
      float* dst = ch.hostOutput + done;
      if (mode == FloatMode::kAccumulate) {
        for (int i = 0; i < n; ++i) dst[i] += static_cast<float>(ch.scratch[static_cast<std::size_t>(i)]);
      } else {
        for (int i = 0; i < n; ++i) dst[i] = static_cast<float>(ch.scratch[static_cast<std::size_t>(i)]);
      }
    }
  };
  RenderInSlices(frames, wire, deliver);
}

void IPluginVst::ProcessDouble(double** inputs, double** outputs, int frames) {
  // Double precision renders straight into the host's buffers; only missing ones use scratch.
  const auto wire = [&](int done, int n) {
    int hostChannel = 0;
    for (std::size_t c = 0; c < inputs_.size(); ++c) {
      Channel& ch = inputs_[c];
      double* host = ch.connected && inputs ? inputs[hostChannel++] : nullptr;
      if (host) {
        ch.buffer = host + done;
      } else {
        ch.buffer = ch.scratch.data();
        if (ch.connected) std::fill(ch.scratch.begin(), ch.scratch.begin() + n, 0.0);
      }
      inputPointers_[c] = ch.buffer;
    }
    hostChannel = 0;
    for (std::size_t c = 0; c < outputs_.size(); ++c) {
      Channel& ch = outputs_[c];
      double* host = ch.connected && outputs ? outputs[hostChannel++] : nullptr;
      ch.buffer = host ? host + done : ch.scratch.data();
      outputPointers_[c] = ch.buffer;
    }
  };
  RenderInSlices(frames, wire, [](int, int) {});
}

namespace {

// What every audio callback does around its render: the host's float mode set aside, the
// plug-in lock, the want-MIDI call, and no exception across the host boundary (the block
// then stays as it was).
template <typename Render>
void RunAudioCallback(IPluginVst* plug, Render&& render) {
  if (!plug) return;
  FloatModeGuard floatMode;
  try {
    IPluginBase::Lock lock(plug->GetMutex());
    render(*plug);
  } catch (...) {
  }
}

}  // namespace

void TESSARON_VSTCALL IPluginVst::VSTProcess(AEffect* effect, float** inputs, float** outputs, VstInt32 frames) {
  RunAudioCallback(PlugOf(effect), [&](IPluginVst& plug) {
    if (plug.DoesMidi()) plug.CallHost(audioMasterWantMidi);
    plug.ProcessFloat(inputs, outputs, frames, FloatMode::kAccumulate);
  });
}

void TESSARON_VSTCALL IPluginVst::VSTProcessReplacing(AEffect* effect, float** inputs, float** outputs,
                                                      VstInt32 frames) {
  RunAudioCallback(PlugOf(effect), [&](IPluginVst& plug) {
    if (plug.DoesMidi()) plug.CallHost(audioMasterWantMidi);
    plug.ProcessFloat(inputs, outputs, frames, FloatMode::kReplace);
  });
}

void TESSARON_VSTCALL IPluginVst::VSTProcessDoubleReplacing(AEffect* effect, double** inputs, double** outputs,
                                                            VstInt32 frames) {
  RunAudioCallback(PlugOf(effect), [&](IPluginVst& plug) {
    if (plug.DoesMidi()) plug.CallHost(audioMasterWantMidi);
    plug.ProcessDouble(inputs, outputs, frames);
  });
}

// ---- Parameters ----

float TESSARON_VSTCALL IPluginVst::VSTGetParameter(AEffect* effect, VstInt32 index) {
  IPluginVst* plug = PlugOf(effect);
  if (!plug) return 0.0f;
  Lock lock(plug->GetMutex());
  const IParameter* param = plug->GetParam(index);
  return param ? static_cast<float>(param->GetNormalized()) : 0.0f;
}

void TESSARON_VSTCALL IPluginVst::VSTSetParameter(AEffect* effect, VstInt32 index, float value) {
  IPluginVst* plug = PlugOf(effect);
  if (!plug) return;
  Lock lock(plug->GetMutex());
  plug->SetParameterFromHost(index, value);
}

void IPluginVst::SetParameterFromHost(int index, float value) {
  IParameter* param = GetParam(index);
  if (!param || std::isnan(value)) return;
  const double normalized = std::clamp(static_cast<double>(value), 0.0, 1.0);
  if (editor_) editor_->SetParameterFromPlug(index, normalized, true);
  param->SetFromNormalized(normalized);
  OnParamChange(index);
}

}  // namespace tessaron
