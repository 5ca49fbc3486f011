#include "shell/Synth.h"

namespace tessaron {

Synth::Synth(vst::AudioMasterCallback host, const PluginConfig& config) : IPluginVst(host, config) {}

void Synth::Activate(bool active) {
  if (active) ApplyAllParams();
}

void Synth::InitChoice(int index, const char* name, int defaultValue, int count, const char* const* texts) {
  IParameter* param = GetParam(index);
  if (!param) return;
  if (param->GetType() == IParameter::kTypeNone) param->SetType(IParameter::kTypeChoice);
  param->InitContinuous(name, defaultValue, 0.0, count - 1, 1.0, 1.0);
  for (int i = 0; i < count; ++i) param->AddDisplayText(i, texts ? texts[i] : "");
}

void Synth::LoadInitProgram() {
  Lock lock(GetMutex());
  for (int i = 0; i < NParams(); ++i) {
    const IParameter* param = GetParam(i);
    SetParamFromEditor(i, param->GetNormalized(param->Default()));
  }
  ModifyCurrentPreset("Init");
  RefreshEditorFromParams();
  ReportAllParamsToHost();
}

void Synth::CopyProgram() {
  Lock lock(GetMutex());
  ModifyCurrentPreset();
  clipboardSource_ = CurrentProgram();
  clipboard_.Clear();
  WriteState(clipboard_);
}

void Synth::PasteProgram() {
  if (clipboard_.Empty()) return;
  Lock lock(GetMutex());
  ReadState(clipboard_, 0);
  const std::string sourceName = ProgramName(clipboardSource_);
  ModifyCurrentPreset(sourceName.c_str());
  RefreshEditorFromParams();
  ReportAllParamsToHost();
}

void Synth::ChooseProgram(int index) {
  Lock lock(GetMutex());
  ModifyCurrentPreset();
  SelectProgram(index);
  InformHostOfProgramChange();
  ReportAllParamsToHost();
}

}  // namespace tessaron
