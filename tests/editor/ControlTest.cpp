// The panel's controls on the real instrument: frames for values, drag and wheel
// gearing, slider snapping and hit-testing, the button's gesture, the learn switch, the
// tweak cover and the hover texts.
#include <gtest/gtest.h>

#include "editor/BitmapCache.h"
#include "editor/IGLButtonKick.h"
#include "editor/IGLKnobControl.h"
#include "editor/IGLSliderControl.h"
#include "editor/IGLSwitchControl.h"
#include "editor/IGLSwitchMidiLearn.h"
#include "tests/editor/PanelTestSupport.h"

namespace tessaron::test {
namespace {

// Table rows (the background is row 0).
constexpr int kRowLearn = 6, kRowBend = 7, kRowSynthPan = 10, kRowOsc1Octave = 22, kRowOsc2Octave = 24,
              kRowGlideEnable = 29, kRowGlideDirection = 30, kRowWaveform = 31, kRowMasterTune = 65,
              kRowTweakCover = 75;

TEST(Controls, FramesFollowValuesRoundingHalvesUp) {
  IEditor editor(std::make_unique<ScriptedPanelPlatform>());
  const IBitmap knob(LoadCachedBitmap("img/knob.png"), 65);
  ASSERT_NE(knob.image, nullptr);
  IKnobMultiControl k(&editor, 0, 0, -1, knob);
  const std::pair<double, int> knobFrames[] = {{0.0, 1}, {0.5, 33}, {1.0, 65}, {1.0 / 128, 2}, {-0.2, 1}, {1.5, 65}};
  for (auto [value, frame] : knobFrames) {
    k.SetValue(value);
    EXPECT_EQ(k.FrameForValue(), frame) << value;
  }
  IKnobMultiControl three(&editor, 0, 0, -1, IBitmap(LoadCachedBitmap("img/switch3.png"), 3));
  three.SetValue(0.5);
  EXPECT_EQ(three.FrameForValue(), 2);
  IKnobMultiControl four(&editor, 0, 0, -1, IBitmap(LoadCachedBitmap("img/switch4.png"), 4));
  for (int i = 0; i < 4; ++i) {
    four.SetValue(i / 3.0);
    EXPECT_EQ(four.FrameForValue(), i + 1);
  }
  // The drawn pixels are those of the chosen frame where it is opaque.
  editor.AttachControl(std::make_unique<IKnobMultiControl>(&editor, 0, 0, -1, knob));
  editor.GetControl(0)->SetValue(0.5);
  GfxMemBitmap target(32, 32);
  editor.DrawControlsInto(target, {0, 0, 32, 32});
  int opaque = 0;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      const GfxPixel source = knob.image->PixelAt(x, 32 * 32 + y);
      if (GfxAlpha(source) != 255) continue;
      ++opaque;
      EXPECT_EQ(target.PixelAt(x, y) & 0xFFFFFF, source & 0xFFFFFF) << x << "," << y;
    }
  }
  EXPECT_GT(opaque, 100);
}

TEST(Controls, KnobAndSliderGearingWheelAndClamping) {
  Panel p;
  auto* bend = p.Row<IGLKnobControl>(kRowBend);
  ASSERT_NE(bend, nullptr);
  EXPECT_EQ(Sides(bend->GetRect()), (std::array<int, 4>{40, 290, 72, 322}));
  bend->SetValue(0.25);
  IMouseMod none, shift;
  shift.S = true;
  bend->MouseDrag(0, 0, 0, -64, none);
  EXPECT_NEAR(bend->GetValue(), 0.75, 1e-12);
  EXPECT_NEAR(p.plug->GetParam(kBendRange)->GetNormalized(), 0.75, 0.01);
  bend->MouseDrag(0, 0, 0, 64, shift);
  EXPECT_NEAR(bend->GetValue(), 0.70, 1e-12);

  auto* pan = p.Row<IGLSliderControl>(kRowSynthPan);
  ASSERT_NE(pan, nullptr);
  pan->SetValue(0.995);
  pan->MouseWheel(0, 0, none, 1);
  EXPECT_EQ(pan->GetValue(), 1.0);
  pan->MouseWheel(0, 0, none, -3);
  EXPECT_NEAR(pan->GetValue(), 0.97, 1e-12);
  pan->MouseWheel(0, 0, shift, -1);
  EXPECT_NEAR(pan->GetValue(), 0.969, 1e-12);
}

TEST(Controls, SliderSnapsToTheHandleMiddleAndIsHitOnlyOnItsHandle) {
  Panel p;
  auto* pan = p.Row<IGLSliderControl>(kRowSynthPan);
  ASSERT_NE(pan, nullptr);
  EXPECT_EQ(Sides(pan->GetRect()), (std::array<int, 4>{98, 143, 153, 169}));
  EXPECT_EQ(Sides(pan->ValueRect()), (std::array<int, 4>{98, 143, 153, 156}));
  pan->SetValue(0.0);
  EXPECT_EQ(Sides(pan->HandleRect()), (std::array<int, 4>{98, 156, 115, 169}));
  // A press on the free track reaches the background and changes nothing.
  p.Click(140, 160);
  EXPECT_EQ(pan->GetValue(), 0.0);
  // A press on the handle snaps it: (x - 98 - 8) / 38.
  p.Click(110, 160);
  EXPECT_NEAR(pan->GetValue(), 4.0 / 38, 1e-12);
  IMouseMod left;
  left.L = true;
  pan->MouseDrag(125, 160, 15, 0, left);
  EXPECT_NEAR(pan->GetValue(), 19.0 / 38, 1e-12);
  // A right press opens nothing and moves nothing.
  IMouseMod right;
  right.R = true;
  pan->MouseDown(140, 160, right);
  EXPECT_NEAR(pan->GetValue(), 19.0 / 38, 1e-12);
  EXPECT_TRUE(p.platform->messages.empty());
}

TEST(Controls, ButtonClickInvertsItsParameterOnceInThreeAutomationSteps) {
  Panel p;
  auto* sync = p.Row<IGLButtonKick>(21);
  ASSERT_NE(sync, nullptr);
  const double before = p.Value(kOscSync);
  p.editor->OnMouseDown(650, 70, IMouseMod{true});
  EXPECT_TRUE(sync->IsPressed());
  p.editor->OnMouseUp(650, 70, IMouseMod{true});
  EXPECT_FALSE(sync->IsPressed());
  EXPECT_EQ(p.Value(kOscSync), 1.0 - before);
  std::vector<float> sent;
  for (auto [index, value] : HostLog::Automation())
    if (index == kOscSync) sent.push_back(value);
  EXPECT_EQ(sent, (std::vector<float>{float(1.0 - before), float(before), float(1.0 - before)}));
  EXPECT_EQ(sync->ShowsOn(), before < 0.5);
}

TEST(Controls, OctaveButtonsShowTheModulationWhileItRuns) {
  Panel p;
  auto* osc1 = p.Row<IGLButtonKick>(kRowOsc1Octave);
  auto* osc2 = p.Row<IGLButtonKick>(kRowOsc2Octave);
  ASSERT_TRUE(osc1 && osc2);
  p.plug->SetParamFromEditor(kOsc1Octave, 1.0);
  p.plug->SetParamFromEditor(kOsc2Octave, 0.0);
  p.plug->SetParamFromEditor(kOctaveMod, 0.0);
  p.plug->OnEditorIdle();
  EXPECT_TRUE(osc1->ShowsOn());  // their own settings
  EXPECT_FALSE(osc2->ShowsOn());
  p.plug->SetParamFromEditor(kOctaveMod, 1.0);
  p.plug->OnEditorIdle();
  const bool low = p.plug->Engine().LfoPhase() < 0.0;  // the square that flips the octaves
  EXPECT_EQ(osc1->ShowsOn(), low);
  EXPECT_EQ(osc2->ShowsOn(), low);
}

TEST(Controls, LearnSwitchArmsInTheModeOfItsFaceAndSwapsFacesOnlyWhileDark) {
  Panel p;
  auto* learn = p.Row<IGLSwitchMidiLearn>(kRowLearn);
  ASSERT_NE(learn, nullptr);
  EXPECT_TRUE(learn->ShowsLearnFace());
  p.Click(1030, 300);
  EXPECT_TRUE(p.plug->Learn().Active());
  EXPECT_EQ(p.plug->Learn().GetMode(), MidiLearn::Mode::kLearn);
  EXPECT_EQ(learn->GetValue(), 1.0);
  p.Click(1030, 300, true);  // armed: the right button does nothing
  EXPECT_TRUE(learn->ShowsLearnFace());
  p.Click(1030, 300);
  EXPECT_FALSE(p.plug->Learn().Active());
  p.Click(1030, 300, true);
  EXPECT_FALSE(learn->ShowsLearnFace());
  EXPECT_EQ(learn->Bitmap().image, FindCachedBitmap("img/unlearn.png"));
  EXPECT_EQ(learn->Bitmap().N, 2);
  p.Click(1030, 300);
  EXPECT_TRUE(p.plug->Learn().Active());
  EXPECT_EQ(p.plug->Learn().GetMode(), MidiLearn::Mode::kUnlearn);
  // Unlearn resolves on the next knob moved; the switch goes dark and keeps its face.
  p.plug->SetParamFromEditor(kVcfCutoff, 0.3);
  EXPECT_FALSE(p.plug->Learn().Active());
  p.editor->ApplyHandedValues();
  EXPECT_EQ(learn->GetValue(), 0.0);
  EXPECT_FALSE(learn->ShowsLearnFace());
}

TEST(Controls, TweakRowIsCoveredUntilOpenedAndCoveredControlsGetNoEvents) {
  Panel p;
  auto* tune = p.Row<IGLKnobControl>(kRowMasterTune);
  auto* cover = p.Row<IBitmapControl>(kRowTweakCover);
  ASSERT_TRUE(tune && cover);
  EXPECT_FALSE(cover->IsHidden());
  EXPECT_FALSE(p.plug->TweakRowOpen());
  const double tuneBefore = tune->GetValue();
  IMouseMod none;
  p.editor->OnMouseMove(80, 376, none);
  p.editor->OnMouseWheel(80, 376, none, 3 * IEditor::kWheelDelta);
  EXPECT_FALSE(tune->Hovered());
  EXPECT_EQ(tune->GetValue(), tuneBefore);

  p.Click(45, 370);  // the opener
  EXPECT_TRUE(p.plug->TweakRowOpen());
  EXPECT_TRUE(cover->IsHidden());
  p.editor->OnMouseMove(80, 376, none);
  EXPECT_TRUE(tune->Hovered());
  EXPECT_TRUE(tune->ShowsValueText());
  p.editor->OnMouseWheel(80, 376, none, 3 * IEditor::kWheelDelta);
  EXPECT_NEAR(tune->GetValue(), std::min(1.0, tuneBefore + 0.03), 1e-12);

  p.Click(45, 370);
  EXPECT_FALSE(p.plug->TweakRowOpen());
  EXPECT_FALSE(cover->IsHidden());
  // Without a window the opener does nothing.
  p.editor->CloseWindow();
  p.Click(45, 370);
  EXPECT_FALSE(p.plug->TweakRowOpen());
}

TEST(Controls, OnlyFinelyGearedKnobsShowTheirValueOnHover) {
  Panel p;
  IMouseMod none;
  for (int row : {kRowGlideDirection, kRowWaveform}) {
    auto* selector = p.Row<IGLKnobControl>(row);
    ASSERT_NE(selector, nullptr);
    EXPECT_EQ(selector->Gearing(), 1.0);
    selector->MouseOver(0, 0, none);
    EXPECT_TRUE(selector->Hovered());
    EXPECT_FALSE(selector->ShowsValueText());
  }
  auto* bend = p.Row<IGLKnobControl>(kRowBend);
  p.editor->OnMouseMove(56, 306, none);
  EXPECT_TRUE(bend->ShowsValueText());
  p.editor->OnMouseMove(500, 10, none);  // elsewhere: mouse out
  EXPECT_FALSE(bend->Hovered());
  // A switch steps through its frames and wraps.
  auto* glide = p.Row<IGLSwitchControl>(kRowGlideEnable);
  ASSERT_NE(glide, nullptr);
  const double v = glide->GetValue();
  p.Click(500, 70);
  EXPECT_EQ(glide->GetValue(), v > 0.5 ? 0.0 : 1.0);
  EXPECT_EQ(p.Value(kGlideEnable), v > 0.5 ? 0.0 : 1.0);
}

}  // namespace
}  // namespace tessaron::test
