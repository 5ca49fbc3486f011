#include "instrument/Tessaron.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "instrument/ParameterFormatters.h"
#include "host/IPluginEditor.h"
#include "host/PluginFactory.h"

namespace tessaron {

static_assert(kFormatterTextSize == kParamTextSize, "formatters write into parameter text buffers");

namespace {

PluginConfig MakeConfig() {
  PluginConfig config;
  config.effectName = "Tessaron";
  config.productName = "";
  config.vendorName = "Grey Lantern Labs";
  config.version = kTessaronVersion;
  config.uniqueId = kTessaronUniqueId;
  config.channelIO = "0-2";
  config.nParams = kParameterCount;
  config.nPrograms = kProgramCount;
  config.latency = 0;
  config.plugDoesChunks = true;
  config.plugIsInstrument = true;
  config.plugDoesMidi = true;
  return config;
}

}  // namespace

IPluginVst* CreateInstrument(vst::AudioMasterCallback host) { return new Tessaron(host); }

Tessaron::Tessaron(vst::AudioMasterCallback host) : Synth(host, MakeConfig()) {
  engine_.SetHost(this);
  ReadConfiguration();
  DefineParameters();
  // A rate change restores the delay vibe from these, before the parameters apply again.
  engine_.SetDelayVibeDefaults(GetParam(kDelayVibeSpeed)->Default(), GetParam(kDelayVibeDepth)->Default());
  BuildEditorLayout();
  LoadStartupPrograms();
  AttachEditor(GetEditor());
}

void Tessaron::Reset() {
  Synth::Reset();
  // A new rate rebuilds every rate-dependent table; the settings are then applied anew.
  if (engine_.Reset(SampleRate(), BlockSize())) {
    for (int i = 0; i < NParams(); ++i) OnParamChange(i);
  }
}

void Tessaron::OnParamChange(int index) {
  const IParameter* param = GetParam(index);
  if (!param) return;
  CaptureParameter(index);
  engine_.ApplyParameter(index, param->Value(), param->GetNormalized());
  if (index == kDelaySync) {
    // While synced, the delay time selects a note division and is shown as one.
    GetParam(kDelayTime)->SetFormatter(param->GetNormalized() >= 0.5 ? &FormatSyncDivision : nullptr);
  }
}

void Tessaron::ProcessDoubleReplacing(double** inputs, double** outputs, int frames) {
  (void)inputs;
  if (NOutChannels() < 2 || !outputs[0] || !outputs[1]) return;
  engine_.RenderBlock(outputs[0], outputs[1], frames);
}

void Tessaron::QueueEngineMidi(const MidiMessage& msg) { engine_.HandleMidiMessage(msg); }

void Tessaron::ReleaseAllKeys() { engine_.AllNotesOff(); }

void Tessaron::FillTimeInfo(TimeInfo& info) { GetTime(&info); }

bool Tessaron::WriteState(ChunkBuffer& buffer) {
  buffer.PutBytes(kStateTag, kStateTagLength);
  buffer.PutInt32(CurrentProgram());
  buffer.PutString(ProgramName(CurrentProgram()));
  for (int i = 0; i < NParams(); ++i) buffer.PutDouble(GetParam(i)->Value());
  return !buffer.Empty();
}

int Tessaron::ReadState(const ChunkBuffer& buffer, int pos) {
  const bool tagged = pos >= 0 && buffer.Remaining(pos) >= kStateTagLength &&
                      std::memcmp(buffer.Data() + pos, kStateTag, kStateTagLength) == 0;
  if (tagged) {
    // Index and name are informative only: skip them.
    int32_t nameLength = 0;
    pos = buffer.GetInt32(nameLength, pos + kStateTagLength + 4);
    if (pos >= 0 && (nameLength < 0 || buffer.Remaining(pos) < nameLength)) pos = -1;
    if (pos >= 0) pos += nameLength;
  }
  return UnserializeParams(buffer, pos);
}

void Tessaron::OnProgramsChanged() { RefreshEditorFromParams(); }

void Tessaron::LoadInitProgram() {
  Lock lock(GetMutex());
  for (int i = 0; i < NParams(); ++i) {
    const IParameter* param = GetParam(i);
    const double x = std::pow((param->Default() - param->Min()) / (param->Max() - param->Min()), 1.0 / param->Shape());
    if (IPluginEditor* editor = GetEditorAttached()) editor->SetParameterFromPlug(i, x, true);
    SetParamFromEditor(i, x);
  }
  ModifyCurrentPreset("Init");
  RefreshEditorFromParams();
  ReportAllParamsToHost();
}

}  // namespace tessaron
