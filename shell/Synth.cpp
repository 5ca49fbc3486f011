#include "shell/Synth.h"

#include <algorithm>
#include <atomic>

#include "editor/IEditor.h"
#include "host/IPluginEditor.h"
#include "host/ProgramFiles.h"
#include "platform/Resources.h"

namespace tessaron {

namespace {

constexpr double kMaxControllerValue = 127.0;

std::atomic<Synth::EditorFactory> editorFactory{nullptr};

}  // namespace

Synth::Synth(vst::AudioMasterCallback host, const PluginConfig& config) : IPluginVst(host, config) {
  config_.LocateFile();
  const EditorFactory factory = editorFactory.load();
  editorObject_ = factory ? factory() : std::make_unique<IEditorWin>(IEditor::kDefaultWidth, IEditor::kDefaultHeight);
}

Synth::~Synth() {
  if (editorObject_) editorObject_->CloseWindow();
  AttachEditor(nullptr);
}

IPluginEditor* Synth::GetEditor() { return editorObject_.get(); }

void Synth::SetEditorFactory(EditorFactory factory) { editorFactory.store(factory); }

void Synth::Reset() { learn_.Disarm(); }

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

bool Synth::LoadFactoryBank() {
  if (LoadBankFile(*this, config_.StartupBank())) return true;
  config_.ForgetStartupBank();
  const platform::ResourceData image = platform::FindResourceData("INIT", "PROGINIT");
  if (!image) return false;
  return ParseBankImage(*this, image.data, image.size);
}

void Synth::LoadStartupPrograms() {
  if (LoadBankFile(*this, config_.StartupBank())) return;
  config_.ForgetStartupBank();
  LoadFactoryBank();
}

void Synth::HandleMidiMessage(const MidiMessage& msg) {
  Lock lock(GetMutex());
  // Thru echoes everything, also what the steps below swallow or ignore.
  if (config_.MidiThru()) SendMidiOut(msg);
  const int kind = MessageKind(msg);
  if (kind == kKindControlChange && learn_.Active() && msg.data1 < Configuration::kControllerCount) {
    learn_.CaptureController(msg.data1, config_);
  } else if (kind == kKindProgramChange) {
    if (!config_.IgnoreProgramChange()) SelectProgram(msg.data1);
  } else {
    QueueEngineMidi(msg);
  }
}

void Synth::ApplyController(int controller, int value) {
  if (controller == kControllerModWheel || controller == kControllerSustain) return;
  const int32_t index = config_.Controller(controller);
  IParameter* param = GetParam(index);
  if (!param) return;
  const double normalized = std::clamp(value, 0, 127) / kMaxControllerValue;
  if (param->GetNormalized() == normalized) return;
  Lock lock(GetMutex());
  if (IPluginEditor* editor = GetEditorAttached()) editor->SetParameterFromPlug(index, normalized, true);
  SetParamFromEditor(index, normalized);
}

void Synth::CaptureParameter(int index) { learn_.CaptureParameter(index, NParams(), config_); }

void Synth::ArmLearn(bool active, bool unlearnFace) {
  Lock lock(GetMutex());
  learn_.Arm(active, unlearnFace);
}

void Synth::SetLearnSwitch(LearnSwitchHook* hook) {
  Lock lock(GetMutex());
  learn_.SetSwitch(hook);
}

}  // namespace tessaron
