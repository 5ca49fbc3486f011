// The panel as the layout builds it: every control in table order with its rectangle,
// parameter and class; the version label; the learn state it clears; the idle hook; and
// off-screen snapshots of the whole editor.
#include <gtest/gtest.h>

#include <filesystem>
#include <typeinfo>

#include "editor/EditorSnapshot.h"
#include "editor/IGLButtonKick.h"
#include "editor/IGLKnobControl.h"
#include "editor/IGLOptionMenu.h"
#include "editor/IGLPresetMenu.h"
#include "editor/IGLSliderControl.h"
#include "editor/IGLSwitchControl.h"
#include "editor/IGLSwitchMidiLearn.h"
#include "editor/IGLTweakControl.h"
#include "editor/IGLUtilityKick.h"
#include "tests/editor/PanelTestSupport.h"

namespace tessaron::test {
namespace {

enum Kind {
  kPreset,
  kUtility,
  kOption,
  kText,
  kLearn,
  kKnob,
  kSlider,
  kButton,
  kLamp,
  kSwitch,
  kSelector,
  kCover,
  kTweak
};

struct Row {
  Kind kind;
  int param;
  int left, top, right, bottom;
};

// The panel, top of the drawing order last.
constexpr Row kRows[] = {
    {kPreset, -1, 728, 298, 970, 314},   {kUtility, -69, 704, 295, 726, 317}, {kUtility, -70, 754, 295, 776, 317},
    {kOption, -1, 974, 296, 1022, 316},  {kText, -1, 1027, 328, 1075, 344},   {kLearn, -1, 1026, 295, 1076, 317},
    {kKnob, 0, 40, 290, 72, 322},        {kKnob, 1, 90, 290, 122, 322},       {kKnob, 65, 47, 177, 79, 209},
    {kSlider, 5, 98, 143, 153, 169},     {kKnob, 2, 109, 177, 141, 209},      {kSlider, 6, 157, 143, 212, 169},
    {kKnob, 3, 168, 177, 200, 209},      {kSlider, 7, 218, 143, 273, 169},    {kKnob, 4, 230, 177, 262, 209},
    {kSlider, 8, 64, 31, 138, 57},       {kSlider, 9, 64, 51, 138, 77},       {kSlider, 10, 64, 71, 138, 97},
    {kSlider, 11, 64, 91, 138, 117},     {kKnob, 12, 594, 64, 626, 96},       {kButton, 16, 644, 64, 676, 96},
    {kButton, 13, 694, 64, 726, 96},     {kButton, 17, 748, 64, 780, 96},     {kButton, 15, 798, 64, 830, 96},
    {kKnob, 14, 848, 64, 880, 96},       {kLamp, -1, 733, 111, 741, 119},     {kKnob, 18, 390, 64, 422, 96},
    {kKnob, 19, 440, 64, 472, 96},       {kSwitch, 20, 490, 64, 522, 96},     {kSelector, 21, 540, 64, 572, 96},
    {kSelector, 22, 705, 178, 737, 210}, {kSwitch, 23, 772, 178, 804, 210},   {kSwitch, 24, 839, 178, 871, 210},
    {kKnob, 27, 193, 64, 225, 96},       {kKnob, 25, 260, 64, 292, 96},       {kKnob, 26, 327, 64, 359, 96},
    {kKnob, 28, 289, 177, 321, 209},     {kKnob, 29, 339, 177, 371, 209},     {kKnob, 30, 389, 177, 421, 209},
    {kKnob, 31, 439, 177, 471, 209},     {kSelector, 32, 911, 64, 943, 96},   {kSwitch, 33, 977, 64, 1009, 96},
    {kSwitch, 34, 1044, 64, 1076, 96},   {kKnob, 35, 902, 177, 934, 209},     {kLamp, -1, 904, 224, 912, 232},
    {kKnob, 36, 952, 177, 984, 209},     {kKnob, 37, 1002, 177, 1034, 209},   {kKnob, 38, 1052, 177, 1084, 209},
    {kKnob, 39, 493, 177, 525, 209},     {kKnob, 40, 543, 177, 575, 209},     {kKnob, 41, 593, 177, 625, 209},
    {kKnob, 42, 643, 177, 675, 209},     {kKnob, 43, 144, 290, 176, 322},     {kKnob, 44, 193, 290, 225, 322},
    {kButton, 46, 245, 290, 277, 322},   {kButton, 47, 291, 290, 323, 322},   {kButton, 45, 338, 290, 370, 322},
    {kKnob, 48, 393, 290, 425, 322},     {kKnob, 49, 442, 290, 474, 322},     {kKnob, 50, 491, 290, 523, 322},
    {kButton, 51, 538, 290, 570, 322},   {kButton, 52, 574, 290, 606, 322},   {kButton, 53, 610, 290, 642, 322},
    {kButton, 54, 646, 290, 678, 322},   {kKnob, 55, 72, 368, 90, 386},       {kButton, 56, 108, 368, 126, 386},
    {kKnob, 57, 134, 368, 152, 386},     {kKnob, 58, 170, 368, 188, 386},     {kKnob, 59, 205, 368, 223, 386},
    {kKnob, 60, 233, 368, 251, 386},     {kKnob, 61, 261, 368, 279, 386},     {kKnob, 62, 289, 368, 307, 386},
    {kKnob, 63, 324, 368, 342, 386},     {kKnob, 64, 352, 368, 370, 386},     {kCover, -1, 32, 355, 382, 391},
    {kTweak, -1, 36, 360, 61, 384},
};

bool IsKind(IControl* c, Kind kind) {
  switch (kind) {
    case kPreset: return dynamic_cast<IGLPresetMenu*>(c);
    case kUtility: return dynamic_cast<IGLUtilityKick*>(c);
    case kOption: return dynamic_cast<IGLOptionMenu*>(c);
    case kText: return dynamic_cast<ITextControl*>(c);
    case kLearn: return dynamic_cast<IGLSwitchMidiLearn*>(c);
    case kKnob: return dynamic_cast<IGLKnobControl*>(c) && static_cast<IGLKnobControl*>(c)->Gearing() == 4.0;
    case kSelector: return dynamic_cast<IGLKnobControl*>(c) && static_cast<IGLKnobControl*>(c)->Gearing() == 1.0;
    case kSlider: return dynamic_cast<IGLSliderControl*>(c);
    case kButton: return dynamic_cast<IGLButtonKick*>(c);
    case kSwitch: return dynamic_cast<IGLSwitchControl*>(c);
    case kLamp:
    case kCover: return typeid(*c) == typeid(IBitmapControl);
    case kTweak: return dynamic_cast<IGLTweakControl*>(c);
  }
  return false;
}

TEST(Layout, EveryControlInTableOrderWithItsRectangleParameterAndClass) {
  Panel p;
  ASSERT_EQ(p.editor->NControls(), 77);
  EXPECT_EQ(Sides(p.editor->GetControl(0)->GetRect()), (std::array<int, 4>{0, 0, 1125, 400}));
  EXPECT_EQ(p.editor->Width(), 1125);
  EXPECT_EQ(p.editor->Height(), 400);
  EXPECT_TRUE(p.editor->TooltipsEnabled());
  for (int i = 0; i < 76; ++i) {
    IControl* c = p.editor->GetControl(i + 1);
    const Row& row = kRows[i];
    EXPECT_TRUE(IsKind(c, row.kind)) << "row " << i + 1;
    EXPECT_EQ(c->ParamIdx(), row.param) << "row " << i + 1;
    EXPECT_EQ(Sides(c->GetRect()), (std::array<int, 4>{row.left, row.top, row.right, row.bottom})) << "row " << i + 1;
  }
  // Each control shows its parameter's value from the start.
  for (int i = 0; i < 76; ++i) {
    IControl* c = p.editor->GetControl(i + 1);
    if (c->ParamIdx() >= 0) {
      EXPECT_EQ(c->GetValue(), p.plug->GetParam(c->ParamIdx())->GetNormalized()) << i + 1;
    }
  }
  auto* label = p.Row<ITextControl>(5);
  EXPECT_EQ(label->Text(), "1.0.1.0");
  EXPECT_EQ(label->TextStyle().align, kGfxAlignRight);
  EXPECT_EQ(label->TextStyle().size, 12);
  auto* selector = p.Row<IGLPresetMenu>(1);
  EXPECT_EQ(selector->TextEntryLength(), 27);
  p.plug->OnEditorIdle();
  EXPECT_EQ(selector->NumberText(), "00");
  EXPECT_EQ(selector->NameText(), p.plug->ProgramName(0).substr(0, 27));
}

TEST(Layout, IdleHookDrivesTheModulationLampOnlyWhileTheWindowIsOpen) {
  Panel p;
  auto* lamp = p.Row<IBitmapControl>(45);
  ASSERT_NE(lamp, nullptr);
  p.editor->CloseWindow();
  p.plug->OnEditorIdle();
  EXPECT_FALSE(lamp->IsHidden());  // frozen while closed
  p.editor->OpenWindow(reinterpret_cast<void*>(1));
  p.plug->OnEditorIdle();
  EXPECT_EQ(lamp->IsHidden(), !(p.plug->Engine().LfoPhase() < 0.0));
}

// Snapshots of the whole panel for the documentation, written beside the test home.
TEST(Layout, SnapshotsOfThePanel) {
  Panel p;
  const std::filesystem::path dir = std::filesystem::path(TESSARON_TEST_HOME).parent_path() / "editor-snapshots";
  std::filesystem::create_directories(dir);
  p.plug->OnEditorIdle();
  auto snap = [&](const char* name) {
    const std::string path = (dir / name).string();
    ASSERT_TRUE(RenderEditorSnapshot(*p.editor, path.c_str()));
    EXPECT_GT(std::filesystem::file_size(path), 10000u);
  };
  snap("panel.png");
  IMouseMod none;
  p.editor->OnMouseMove(264, 80, none);  // over the cutoff knob
  snap("panel-hover.png");
  p.editor->OnMouseMove(127, 162, none);  // over the Synth pan handle
  snap("panel-hover-slider.png");
  p.editor->OnMouseLeave();
  p.Click(45, 370);
  p.Click(1030, 300);
  snap("panel-tweak-open-learn-armed.png");
}

}  // namespace
}  // namespace tessaron::test
