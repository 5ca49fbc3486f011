// The instrument's editor panel: every control in drawing order, the references the
// instrument keeps to some of them, and the idle hook that animates the lamps and the
// octave buttons.
#include <mutex>
#include <string>

#include "editor/BitmapCache.h"
#include "editor/IEditor.h"
#include "editor/IGLButtonKick.h"
#include "editor/IGLKnobControl.h"
#include "editor/IGLOptionMenu.h"
#include "editor/IGLPresetMenu.h"
#include "editor/IGLSliderControl.h"
#include "editor/IGLSwitchControl.h"
#include "editor/IGLSwitchMidiLearn.h"
#include "editor/IGLTweakControl.h"
#include "editor/IGLUtilityKick.h"
#include "editor/PanelInstrument.h"
#include "instrument/Tessaron.h"
#include "shell/MidiLearn.h"
#include "shell/OptionsMenu.h"
#include "shell/VersionSettings.h"

#ifndef TESSARON_BUILD_NUMBER
#define TESSARON_BUILD_NUMBER 0
#endif

namespace tessaron {

namespace {

constexpr const char* kImages[] = {
    "img/button_off.png",
    "img/button_on.png",
    "img/button_small_off.png",
    "img/button_small_on.png",
    "img/handle.png",
    "img/knob.png",
    "img/knob_small.png",
    "img/learn.png",
    "img/led.png",
    "img/next.png",
    "img/prev.png",
    "img/switch2.png",
    "img/switch3.png",
    "img/switch4.png",
    "img/unlearn.png",
    "img/tweak.png",
};

constexpr double kKnobGearing = 4.0;
constexpr double kSelectorGearing = 1.0;
// The first footage of this key tells the phase lamp where each oscillator's wave is.
constexpr int32_t kPhaseProbeKey = 72;

IBitmap Image(const char* name, int frames) { return IBitmap(LoadCachedBitmap(name), frames); }

// "1.0.1.N", N the build number.
std::string VersionLabel() { return std::string(kVersionText) + "." + std::to_string(TESSARON_BUILD_NUMBER); }

}  // namespace

// What the panel's controls ask of the instrument, and the references the instrument
// keeps to the controls it drives.
class TessaronPanel final : public PanelInstrument, public LearnSwitchHook {
 public:
  explicit TessaronPanel(Tessaron& plug) : plug_(plug) {}

  // ---- PanelInstrument (editor thread, no lock held) ----
  int ProgramCount() override { return plug_.NPrograms(); }
  std::string ProgramName(int index) override {
    IPluginBase::Lock lock(plug_.GetMutex());
    return plug_.ProgramName(index);
  }
  int CurrentProgramNumber() override {
    IPluginBase::Lock lock(plug_.GetMutex());
    return plug_.CurrentProgram();
  }
  void ChooseProgram(int index) override {
    IPluginBase::Lock lock(plug_.GetMutex());
    plug_.ChooseProgram(index);
    ShowProgram();
  }
  void RenameCurrentProgram(const char* name) override {
    IPluginBase::Lock lock(plug_.GetMutex());
    plug_.ModifyCurrentPreset(name);
    plug_.InformHostOfProgramChange();
    plug_.ReportAllParamsToHost();
    ShowProgram();
  }
  void OpenOptionsMenu(IEditor& editor, int x, int y) override {
    OptionsMenu(plug_, editor).Open(x, y);
    IPluginBase::Lock lock(plug_.GetMutex());
    ShowProgram();
  }
  void ArmLearn(bool active, bool unlearnFace) override { plug_.ArmLearn(active, unlearnFace); }
  void ToggleTweakRow() override {
    tweakOpen = !tweakOpen;
    if (tweakCover) tweakCover->Hide(tweakOpen);
  }

  // ---- LearnSwitchHook (under the instrument's lock, on any thread, the audio thread
  // among them): the switch goes dark when the editor thread takes the value up ----
  void LearnEnded() override {
    if (editor) editor->HandControlValue(learnSlot, 0.0);
  }

  // The program selector's texts (under the instrument's lock).
  void ShowProgram() {
    if (!presetMenu || !editor) return;
    std::lock_guard<std::recursive_mutex> lock(editor->Mutex());
    presetMenu->SetProgram(plug_.CurrentProgram(), plug_.ProgramName(plug_.CurrentProgram()));
  }

  void Forget() {
    editor = nullptr;
    presetMenu = nullptr;
    learnSwitch = nullptr;
    learnSlot = -1;
    phaseLamp = modulationLamp = tweakCover = nullptr;
    osc1Octave = osc2Octave = nullptr;
  }

  IEditor* editor = nullptr;
  IGLPresetMenu* presetMenu = nullptr;
  IGLSwitchMidiLearn* learnSwitch = nullptr;
  int learnSlot = -1;  // the switch's hand-over slot in the editor
  IBitmapControl* phaseLamp = nullptr;
  IBitmapControl* modulationLamp = nullptr;
  IGLButtonKick* osc1Octave = nullptr;
  IGLButtonKick* osc2Octave = nullptr;
  IBitmapControl* tweakCover = nullptr;
  bool tweakOpen = false;
  bool phaseSign = false;  // Osc.1's last seen sign at the probe key

 private:
  Tessaron& plug_;
};

void TessaronPanelDeleter::operator()(TessaronPanel* panel) const { delete panel; }

Tessaron::~Tessaron() {
  // The controls reach the panel; no window event may arrive once it starts to go.
  if (IEditor* editor = Editor()) editor->CloseWindow();
  SetLearnSwitch(nullptr);
}

bool Tessaron::TweakRowOpen() const { return panel_ && panel_->tweakOpen; }

void Tessaron::SetTweakRowOpen(bool open) {
  if (panel_ && panel_->tweakOpen != open) panel_->ToggleTweakRow();
}

void Tessaron::BuildEditorLayout() {
  IEditor* editor = Editor();
  if (!panel_) panel_.reset(new TessaronPanel(*this));
  TessaronPanel& panel = *panel_;
  panel.Forget();
  if (!editor) return;
  panel.editor = editor;
  for (const char* name : kImages) LoadCachedBitmap(name);

  editor->EnableTooltips(true);
  editor->EnableMouseOver(true);
  editor->AttachBackground();
  if (editor->Width() != IEditor::kDefaultWidth || editor->Height() != IEditor::kDefaultHeight)
    editor->Resize(IEditor::kDefaultWidth, IEditor::kDefaultHeight);

  const IBitmap knob = Image("img/knob.png", 65), smallKnob = Image("img/knob_small.png", 65);
  const IBitmap buttonOff = Image("img/button_off.png", 2), buttonOn = Image("img/button_on.png", 2);
  const IBitmap smallOff = Image("img/button_small_off.png", 2), smallOn = Image("img/button_small_on.png", 2);
  const IBitmap handle = Image("img/handle.png", 1), led = Image("img/led.png", 1);
  const IBitmap switch2 = Image("img/switch2.png", 2), switch3 = Image("img/switch3.png", 3),
                switch4 = Image("img/switch4.png", 4);

  auto knobAt = [&](int param, int lx, int ly) { editor->Add<IGLKnobControl>(lx, ly, param, knob, kKnobGearing); };
  auto smallKnobAt = [&](int param, int lx, int ly) {
    editor->Add<IGLKnobControl>(lx, ly, param, smallKnob, kKnobGearing);
  };
  auto selectorAt = [&](int param, int lx, int ly, const IBitmap& frames) {
    editor->Add<IGLKnobControl>(lx, ly, param, frames, kSelectorGearing);
  };
  auto sliderAt = [&](int param, int lx, int ly, int length) {
    editor->Add<IGLSliderControl>(lx, ly, length, param, handle);
  };
  auto buttonAt = [&](int param, int x, int y) { return editor->Add<IGLButtonKick>(x, y, param, buttonOff, buttonOn); };
  auto switchAt = [&](int param, int x, int y) { editor->Add<IGLSwitchControl>(x, y, param, switch2); };
  auto lampAt = [&](int lx, int ly) { return editor->Add<IBitmapControl>(lx / 2, ly / 2, led); };

  // Program panel, version label, learn switch.
  panel.presetMenu = editor->Add<IGLPresetMenu>(&panel, GfxRect{728, 298, 752, 314}, GfxRect{778, 298, 970, 314});
  editor->Add<IGLUtilityKick>(&panel, 704, 295, IGLUtilityKick::kPreviousProgram, Image("img/prev.png", 2));
  editor->Add<IGLUtilityKick>(&panel, 754, 295, IGLUtilityKick::kNextProgram, Image("img/next.png", 2));
  editor->Add<IGLOptionMenu>(&panel, GfxRect{974, 296, 1022, 316});
  editor->Add<ITextControl>(GfxRect{1027, 328, 1075, 344},
                            GfxTextStyle("Arial", 12, {192, 255, 255, 255}, kGfxTextNormal, kGfxAlignRight),
                            VersionLabel().c_str());
  ArmLearn(false, false);
  panel.learnSwitch = editor->Add<IGLSwitchMidiLearn>(&panel, 1026, 295, Image(IGLSwitchMidiLearn::kLearnFace, 2));
  panel.learnSlot = editor->ReserveHandOverSlot(panel.learnSwitch);
  SetLearnSwitch(&panel);

  // Wheels and levels.
  knobAt(kBendRange, 80, 580);
  knobAt(kWheelAmount, 180, 580);
  knobAt(kMasterLevel, 94, 354);
  sliderAt(kSynthPan, 196, 312, 110);
  knobAt(kSynthLevel, 218, 354);
  sliderAt(kOrganPan, 314, 312, 110);
  knobAt(kOrganLevel, 337, 354);
  sliderAt(kStringPan, 436, 312, 110);
  knobAt(kStringLevel, 460, 354);
  // Organ drawbars.
  sliderAt(kOrgan2, 128, 88, 148);
  sliderAt(kOrgan4, 128, 128, 148);
  sliderAt(kOrgan8, 128, 168, 148);
  sliderAt(kOrgan16, 128, 208, 148);
  // Oscillators.
  knobAt(kOsc1Fine, 1188, 128);
  buttonAt(kOscSync, 644, 64);
  panel.osc1Octave = buttonAt(kOsc1Octave, 694, 64);
  buttonAt(kOctaveMod, 748, 64);
  panel.osc2Octave = buttonAt(kOsc2Octave, 798, 64);
  knobAt(kOsc2Coarse, 1696, 128);
  panel.phaseLamp = lampAt(1466, 222);
  // Glide and waveform selection.
  knobAt(kGlideAmount, 780, 128);
  knobAt(kGlideSpeed, 880, 128);
  switchAt(kGlideEnable, 490, 64);
  selectorAt(kGlideDirection, 1080, 128, switch4);
  selectorAt(kWaveform, 1410, 356, switch3);
  switchAt(kWaveAlternate, 772, 178);
  switchAt(kWaveSelectEnable, 839, 178);
  // Filter and envelope.
  knobAt(kVcfEnvelope, 387, 128);
  knobAt(kVcfCutoff, 521, 128);
  knobAt(kVcfResonance, 655, 128);
  knobAt(kEnvAttack, 578, 354);
  knobAt(kEnvDecay, 678, 354);
  knobAt(kEnvSustain, 778, 354);
  knobAt(kEnvRelease, 878, 354);
  // Modulation oscillator.
  selectorAt(kLfoRouting, 1822, 128, switch3);
  switchAt(kLfoReset, 977, 64);
  switchAt(kLfoWaveshape, 1044, 64);
  knobAt(kModSpeed, 1804, 354);
  panel.modulationLamp = lampAt(1808, 448);
  knobAt(kModSlope, 1905, 354);
  knobAt(kModDelay, 2005, 354);
  knobAt(kModDepth, 2105, 354);
  // Strings.
  knobAt(kStringFootages, 986, 354);
  knobAt(kStringTimbre, 1086, 354);
  knobAt(kStringAttack, 1186, 354);
  knobAt(kStringRelease, 1286, 354);
  // Phaser and delay.
  knobAt(kPhaserSpeed, 288, 580);
  knobAt(kPhaserFeedback, 386, 580);
  buttonAt(kPhaserSynth, 245, 290);
  buttonAt(kPhaserOrgan, 291, 290);
  buttonAt(kPhaserString, 338, 290);
  knobAt(kDelayTime, 786, 580);
  knobAt(kDelayFeedback, 884, 580);
  knobAt(kDelayMix, 982, 580);
  buttonAt(kDelayDouble, 538, 290);
  buttonAt(kDelaySync, 574, 290);
  buttonAt(kDelayVibe, 610, 290);
  buttonAt(kDelayPingPong, 646, 290);
  // The tweak row, closed under its cover.
  panel.tweakOpen = false;
  smallKnobAt(kMasterTune, 144, 736);
  editor->Add<IGLButtonKick>(108, 368, kSyncReset, smallOff, smallOn);
  smallKnobAt(kSyncResetPhase, 268, 736);
  smallKnobAt(kKeyRelease, 340, 736);
  smallKnobAt(kEnsembleSpeed1, 410, 736);
  smallKnobAt(kEnsembleSpeed2, 466, 736);
  smallKnobAt(kEnsembleDepth1, 522, 736);
  smallKnobAt(kEnsembleDepth2, 578, 736);
  smallKnobAt(kDelayVibeSpeed, 648, 736);
  smallKnobAt(kDelayVibeDepth, 704, 736);
  panel.tweakCover = editor->Add<IBitmapControl>(32, 355, Image("img/tweak.png", 1));
  editor->Add<IGLTweakControl>(&panel, GfxRect{36, 360, 61, 384});
}

void Tessaron::OnEditorIdle() {
  if (!panel_ || !panel_->editor) return;
  TessaronPanel& panel = *panel_;
  panel.ShowProgram();
  IEditor& editor = *panel.editor;
  if (GetEditorAttached() != &editor || !editor.IsWindowOpen()) return;
  std::lock_guard<std::recursive_mutex> lock(editor.Mutex());
  double osc1[4], osc2[4];
  engine_.Osc1().FootageValues(kPhaseProbeKey, osc1);
  const bool sign = osc1[0] > 0.0;
  if (sign != panel.phaseSign) {
    panel.phaseSign = sign;
    if (sign && panel.phaseLamp) {
      engine_.Osc2().FootageValues(kPhaseProbeKey, osc2);
      panel.phaseLamp->Hide(osc2[0] > 0.0);
    }
  }
  const bool low = engine_.LfoPhase() < 0.0;
  if (panel.modulationLamp) panel.modulationLamp->Hide(!low);
  const bool octaveMod = engine_.Settings().octaveMod;
  for (IGLButtonKick* button : {panel.osc1Octave, panel.osc2Octave}) {
    if (button) button->ForceDisplay(octaveMod, low);
  }
}

}  // namespace tessaron
