// The editor core without a window system: a scripted platform and a recording
// instrument stand in for X11 and the plug-in.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "editor/EditorSnapshot.h"
#include "editor/GfxPng.h"
#include "editor/IEditor.h"
#include "host/IParameter.h"

namespace tessaron {
namespace {

class RecordingInstrument : public EditorInstrument {
 public:
  RecordingInstrument() {
    params.resize(3);
    params[0].InitContinuous("Level", 0.5, 0.0, 1.0, 0.001, 1.0);
    params[1].InitContinuous("Cutoff", 100.0, 0.0, 200.0, 0.1, 2.0);  // shaped range
    params[2].InitContinuous("Mode", 0.0, 0.0, 3.0, 1.0, 1.0);
  }
  std::recursive_mutex& InstrumentMutex() override { return mutex; }
  const IParameter* Param(int i) override { return i >= 0 && i < 3 ? &params[static_cast<std::size_t>(i)] : nullptr; }
  void SetParamFromEditor(int i, double v) override {
    params[static_cast<std::size_t>(i)].SetFromNormalized(v);
    log.push_back("set " + std::to_string(i));
  }
  void BeginParamEdit(int i) override { log.push_back("begin " + std::to_string(i)); }
  void EndParamEdit(int i) override { log.push_back("end " + std::to_string(i)); }
  void GuiIdle() override { ++idles; }
  void EditorResized() override { log.push_back("resized"); }

  std::recursive_mutex mutex;
  std::vector<IParameter> params;
  std::vector<std::string> log;
  int idles = 0;
};

class ScriptedPlatform : public EditorPlatform {
 public:
  explicit ScriptedPlatform(IEditor*& editor) : editor_(editor) {}
  bool OpenWindow(void*, int, int) override { return open = true; }
  void CloseWindow() override { open = false; }
  bool IsWindowOpen() const override { return open; }
  void PumpEvents() override {}
  void Invalidate(const GfxRect& r) override {
    invalidated.push_back(r);
    editor_->Paint(r);
  }
  void ResizeWindow(int, int) override {}
  void CaptureMouse() override {}
  void ReleaseMouse() override {}
  void HideCursor() override {}
  void ShowCursor() override {}
  bool ShowTooltip(const char* text) override {
    tooltip = text;
    return true;
  }
  void HideTooltip() override {}
  void RequestHover() override {}
  bool CreateTextEntry(const GfxRect&, const char* text, const GfxTextStyle&, int) override {
    entryText = text;
    return entryOpen = true;
  }
  std::string TextEntryText() override { return entryText; }
  void DestroyTextEntry() override { entryOpen = false; }
  void MessageBox(const char* text, const char*, int, MessageBoxDone done) override {
    messages.push_back(text);
    if (done) done(messageAnswer);
  }
  void PopupMenu(std::shared_ptr<EditorMenu>, int, int, MenuDone done) override { done({}); }
  void RunFileDialog(const FileDialogRequest& r, FileDialogDone done) override {
    lastRequest = r;
    done(dialogAnswer);
  }
  std::string ClipboardText() override { return {}; }
  bool OpenWebPage(const char*) override { return false; }
  std::string LibraryFolder() override { return {}; }
  const char* BackEndDescription() const override { return "scripted"; }

  bool open = false;
  bool entryOpen = false;
  std::string entryText, tooltip, dialogAnswer;
  std::vector<std::string> messages;
  int messageAnswer = kAnswerOk;
  FileDialogRequest lastRequest;
  std::vector<GfxRect> invalidated;

 private:
  IEditor*& editor_;
};

// Fills its rectangle with its colour and records what reached it.
class Probe : public IControl {
 public:
  Probe(IEditor* e, GfxRect r, GfxPixel colour, int param = -1) : IControl(e, r, param), colour_(colour) {}
  void MouseDown(int, int, const IMouseMod&) override { log.push_back("down"); }
  void MouseUp(int, int, const IMouseMod&) override { log.push_back("up"); }
  void MouseDrag(int, int, int, int dy, const IMouseMod&) override {
    log.push_back("drag");
    ChangeValueBy(-dy / 100.0);
  }
  bool KeyDown(int, int, int key) override {
    log.push_back("key " + std::to_string(key));
    return true;
  }
  void TextFromTextEntry(const char* text) override { log.push_back(std::string("text ") + text); }
  bool Draw(IEditor& g) override {
    ++draws;
    g.FillRect(rect_, colour_, BlendWeight());
    return true;
  }
  std::vector<std::string> log;
  int draws = 0;

 private:
  GfxPixel colour_;
};

constexpr GfxPixel kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF;

struct Fixture {
  Fixture() {
    auto p = std::make_unique<ScriptedPlatform>(self);
    platform = p.get();
    editor = std::make_unique<IEditor>(std::move(p), 100, 50);
    self = editor.get();
    background = editor->Add<Probe>(GfxRect{0, 0, 100, 50}, kWhite);
    lower = editor->Add<Probe>(GfxRect{10, 10, 40, 40}, kRed, 0);
    upper = editor->Add<Probe>(GfxRect{30, 10, 60, 40}, kGreen, 2);
    editor->AttachInstrument(instrument);
    editor->OpenWindow(reinterpret_cast<void*>(1));
  }
  GfxPixel At(int x, int y) { return editor->Surface()->PixelAt(x, y); }

  IEditor* self = nullptr;
  RecordingInstrument instrument;
  ScriptedPlatform* platform;
  std::unique_ptr<IEditor> editor;
  Probe *background, *lower, *upper;
};

TEST(EditorCore, HitTestingAndDrawingOfHiddenAndGreyedControls) {
  Fixture f;
  f.editor->OnTimer();  // everything was marked dirty on opening
  EXPECT_EQ(f.At(35, 20), kGreen) << "the later control lies above";
  EXPECT_EQ(f.At(15, 20), kRed);

  f.editor->OnMouseDown(35, 20, {});  // covered by both: the later one is hit
  f.editor->OnMouseUp(35, 20, {});
  EXPECT_EQ(f.upper->log, (std::vector<std::string>{"down", "up"}));
  EXPECT_TRUE(f.lower->log.empty());

  f.upper->SetGreyed(true);
  f.editor->OnTimer();
  EXPECT_NE(f.At(35, 20), kGreen) << "greyed draws faintly";
  EXPECT_NE(f.At(35, 20), kRed);
  f.editor->OnMouseDown(35, 20, {});
  f.editor->OnMouseUp(35, 20, {});
  EXPECT_EQ(f.lower->log, (std::vector<std::string>{"down", "up"})) << "greyed is not hit";

  f.upper->Hide(true);
  const int drawsBefore = f.upper->draws;
  f.editor->OnTimer();
  EXPECT_EQ(f.upper->draws, drawsBefore);
  EXPECT_EQ(f.At(35, 20), kRed) << "the hidden control's area shows what lies below";
  EXPECT_EQ(f.At(55, 20), kWhite);
  f.editor->OnMouseDown(55, 20, {});
  EXPECT_TRUE(f.background->log.size() == 1u) << "hidden is never hit";
}

TEST(EditorCore, DragIsWrappedInOneEditGestureAndPushesValues) {
  Fixture f;
  f.instrument.log.clear();
  f.editor->OnMouseDown(15, 20, {});
  f.editor->OnMouseDrag(15, 10, {});
  f.editor->OnMouseDrag(15, 10, {});  // no movement: no drag
  f.editor->OnMouseDrag(15, 5, {});
  f.editor->OnMouseUp(15, 5, {});
  EXPECT_EQ(f.instrument.log, (std::vector<std::string>{"begin 0", "set 0", "set 0", "end 0"}));
  EXPECT_NEAR(f.instrument.params[0].Value(), 0.65, 1e-9);

  // A release without a press on a parameter control ends nothing.
  f.instrument.log.clear();
  f.editor->OnMouseUp(15, 5, {});
  EXPECT_TRUE(f.instrument.log.empty());

  // Double click resets to the first value the instrument gave, as one gesture.
  f.editor->OnMouseDoubleClick(15, 20, {});
  EXPECT_EQ(f.instrument.log, (std::vector<std::string>{"begin 0", "set 0", "end 0"}));
  EXPECT_DOUBLE_EQ(f.lower->GetValue(), 0.5);
}

TEST(EditorCore, InstrumentIdleRunsOnceAfterMoreThanTwentyQuietTicks) {
  Fixture f;
  f.editor->OnTimer();  // draws the opening frame
  for (int i = 0; i < 20; ++i) f.editor->OnTimer();
  EXPECT_EQ(f.instrument.idles, 0);
  f.editor->OnTimer();
  EXPECT_EQ(f.instrument.idles, 1);
  for (int i = 0; i < 20; ++i) f.editor->OnTimer();
  EXPECT_EQ(f.instrument.idles, 1) << "the count restarts";
  f.lower->SetValueByUser(0.9);  // a dirty tick resets the count as well
  for (int i = 0; i < 21; ++i) f.editor->OnTimer();
  EXPECT_EQ(f.instrument.idles, 1);
  f.editor->OnTimer();
  EXPECT_EQ(f.instrument.idles, 2);
}

TEST(EditorCore, TextEntryEscapeCancelsWhileEnterAndClickCommit) {
  Fixture f;
  ASSERT_TRUE(f.editor->CreateTextEntry(f.lower, GfxTextStyle(), {10, 10, 40, 25}, "old"));
  EXPECT_FALSE(f.editor->CreateTextEntry(f.upper, GfxTextStyle(), {10, 10, 40, 25}, "x")) << "one at a time";
  f.editor->OnTextEntryEvent(TextEntryEvent::kFocusIn);
  f.platform->entryText = "typed";
  f.editor->OnTextEntryEvent(TextEntryEvent::kEscape);
  f.editor->OnTextEntryEvent(TextEntryEvent::kFocusOut);  // the field losing focus on its way out
  EXPECT_EQ(f.editor->TextEntryState(), kTextEntryCancel);
  f.editor->OnTimer();
  EXPECT_FALSE(f.platform->entryOpen);
  EXPECT_FALSE(f.editor->TextEntryOpen());
  EXPECT_TRUE(f.lower->log.empty());

  ASSERT_TRUE(f.editor->CreateTextEntry(f.lower, GfxTextStyle(), {10, 10, 40, 25}, "old"));
  f.platform->entryText = std::string(40, 'n');
  f.editor->OnTextEntryEvent(TextEntryEvent::kEnter);
  f.editor->OnTimer();
  EXPECT_EQ(f.lower->log, (std::vector<std::string>{"text " + std::string(32, 'n')})) << "at most 32 characters";

  f.lower->log.clear();
  ASSERT_TRUE(f.editor->CreateTextEntry(f.lower, GfxTextStyle(), {10, 10, 40, 25}, "old"));
  f.platform->entryText = "clicked";
  f.editor->OnMouseDown(55, 20, {});  // a press elsewhere commits and reaches no control
  EXPECT_TRUE(f.upper->log.empty());
  f.editor->OnTimer();
  EXPECT_EQ(f.lower->log, (std::vector<std::string>{"text clicked"}));

  // The wheel cancels.
  f.lower->log.clear();
  ASSERT_TRUE(f.editor->CreateTextEntry(f.lower, GfxTextStyle(), {10, 10, 40, 25}, "old"));
  f.editor->OnMouseWheel(15, 20, {}, 120);
  f.editor->OnTimer();
  EXPECT_TRUE(f.lower->log.empty());
}

TEST(EditorCore, ShowParameterValueNormalisesRealValuesAndReachesAuxListeners) {
  Fixture f;
  f.upper->SetParamIdx(1);
  const int aux = f.lower->AddAuxParam(1);
  struct AuxProbe : Probe {
    using Probe::Probe;
    void ReceiveAuxValue(int a, double v) override { got.emplace_back(a, v); }
    std::vector<std::pair<int, double>> got;
  };
  auto* listener = f.editor->Add<AuxProbe>(GfxRect{0, 0, 1, 1}, kBlue);
  listener->AddAuxParam(2);
  listener->AddAuxParam(1);

  f.editor->ShowParameterValue(1, 50.0, false);  // ((50 - 0) / 200) ^ (1 / 2)
  f.editor->ApplyHandedValues();
  EXPECT_DOUBLE_EQ(f.upper->GetValue(), 0.5);
  ASSERT_EQ(listener->got.size(), 1u);
  EXPECT_EQ(listener->got[0].first, 1);
  EXPECT_DOUBLE_EQ(listener->got[0].second, 0.5);
  (void)aux;

  f.editor->ShowParameterValue(1, 900.0, false);  // clamped to the range first
  f.editor->ApplyHandedValues();
  EXPECT_DOUBLE_EQ(f.upper->GetValue(), 1.0);
  f.editor->ShowParameterValue(1, 0.25, true);
  f.editor->ApplyHandedValues();
  EXPECT_DOUBLE_EQ(f.upper->GetValue(), 0.25);
  f.editor->ShowParameterValue(1, std::nan(""), true);
  f.editor->ApplyHandedValues();
  EXPECT_DOUBLE_EQ(f.upper->GetValue(), 0.25);
  EXPECT_TRUE(f.upper->NeedsRedraw());
  EXPECT_TRUE(f.instrument.log.empty()) << "values from the instrument are not pushed back";
}

TEST(EditorCore, RedrawStrategiesDrawWhatEachPromises) {
  Fixture f;
  f.editor->OnTimer();
  const int backgroundDraws = f.background->draws;
  // Paint over a pixel no control will redraw, to see what gets drawn again.
  f.editor->Surface()->Row(45)[95] = kBlue;
  f.editor->Surface()->Row(20)[15] = kBlue;

  f.lower->SetValueByUser(0.1);
  f.editor->OnTimer();
  EXPECT_EQ(f.platform->invalidated.back().left, 10);
  EXPECT_EQ(f.platform->invalidated.back().right, 40);
  EXPECT_EQ(f.At(15, 20), kRed) << "the dirty control is drawn";
  EXPECT_EQ(f.At(35, 20), kGreen) << "controls overlapping it are drawn again above it";
  EXPECT_EQ(f.At(95, 45), kBlue) << "nothing outside the dirty rectangle is touched";
  EXPECT_EQ(f.background->draws, backgroundDraws + 1);

  f.background->MarkDirty(false);
  f.editor->OnTimer();
  EXPECT_EQ(f.At(95, 45), kWhite) << "a dirty background redraws the whole editor";

  f.editor->SetStrictDrawing(true);
  f.editor->Surface()->Row(45)[95] = kBlue;
  f.editor->Surface()->Row(5)[5] = kBlue;
  f.editor->Paint({90, 40, 100, 50});
  EXPECT_EQ(f.At(95, 45), kWhite) << "strict drawing repaints the asked rectangle";
  EXPECT_EQ(f.At(5, 5), kBlue) << "and nothing else";
  EXPECT_FALSE(f.lower->NeedsRedraw());
}

TEST(EditorCore, KeysReachTheControlUnderThePointerOrTheCatcher) {
  EXPECT_EQ(KeyCodeForCharacter(' '), kKeySpace);
  EXPECT_EQ(KeyCodeForCharacter('7'), 12);
  EXPECT_EQ(KeyCodeForCharacter('a'), 15);
  EXPECT_EQ(KeyCodeForCharacter('Z'), 40);
  EXPECT_EQ(KeyCodeForCharacter('-'), kKeyNone);
  Fixture f;
  EXPECT_TRUE(f.editor->OnKeyDown(35, 20, kKeyUp));
  EXPECT_EQ(f.upper->log, (std::vector<std::string>{"key 1"}));
  EXPECT_FALSE(f.editor->OnKeyDown(90, 45, kKeyUp)) << "the background passes keys on";
  f.editor->SetKeyCatcher(f.lower);
  EXPECT_TRUE(f.editor->OnKeyDown(90, 45, kKeyLeft));
  EXPECT_EQ(f.lower->log, (std::vector<std::string>{"key 3"}));
}

TEST(EditorCore, MenusNumberTheirItemsAndMapCommandsBack) {
  EditorMenu menu(EditorMenu::kPrefix02d);
  menu.AddItem("Init");
  menu.AddSeparator();
  auto sub = std::make_unique<EditorMenu>(EditorMenu::kPrefix1d);
  EditorMenu* subMenu = sub.get();
  sub->AddItem("Copy");
  sub->AddItem("Paste", EditorMenu::kGreyed);
  menu.AddSubMenu("Edit", std::move(sub));
  menu.AddItem("Save", EditorMenu::kMarked);
  EXPECT_EQ(menu.DisplayText(0), "01: Init");
  EXPECT_EQ(menu.DisplayText(3), "04: Save");
  EXPECT_EQ(subMenu->DisplayText(1), "2: Paste");
  EXPECT_EQ(menu.CommandOf(&menu, 0), 1);
  EXPECT_EQ(menu.CommandOf(subMenu, 1), 3);
  EXPECT_EQ(menu.CommandOf(&menu, 3), 4);
  EditorMenu* found = nullptr;
  int index = -1;
  ASSERT_TRUE(menu.Resolve(3, found, index));
  EXPECT_EQ(found, subMenu);
  EXPECT_EQ(index, 1);
  ASSERT_TRUE(menu.Resolve(4, found, index));
  EXPECT_EQ(found, &menu);
  EXPECT_EQ(index, 3);
  EXPECT_FALSE(menu.Resolve(5, found, index));
}

// The path a prompt answers with, or "(none)" when its continuation never ran.
std::string Prompt(IEditor& editor, bool save, const char* name, const char* folder, const char* extensions) {
  std::string answer = "(none)";
  editor.PromptForFile(save, name, folder, extensions, [&](const std::string& path) { answer = path; });
  return answer;
}

TEST(EditorCore, FilePromptBuildsTheFilterAndHoldsDialogsToUsablePaths) {
  Fixture f;
  const std::string folder = ::testing::TempDir();
  f.platform->dialogAnswer = folder + "/bank";
  EXPECT_EQ(Prompt(*f.editor, true, "bank", folder.c_str(), "fxb fxp"), folder + "/bank.fxb");
  EXPECT_EQ(f.platform->lastRequest.filter, "*.fxb;*.fxp");
  EXPECT_EQ(f.platform->lastRequest.folder, folder);
  f.platform->dialogAnswer = folder + "/missing.fxb";
  EXPECT_EQ(Prompt(*f.editor, false, "", nullptr, "fxb"), "") << "open needs an existing file";
  EXPECT_EQ(f.platform->lastRequest.folder, folder) << "the last folder is offered again";
  f.platform->dialogAnswer = "/no/such/folder/x.fxb";
  EXPECT_EQ(Prompt(*f.editor, true, "x", folder.c_str(), "fxb"), "") << "save needs an existing folder";
  f.platform->dialogAnswer = folder + "/v1.2";
  EXPECT_EQ(Prompt(*f.editor, true, "x", folder.c_str(), "fxp"), folder + "/v1.2.fxp") << "a dot is no extension";
  f.editor->CloseWindow();
  f.platform->dialogAnswer = folder + "/bank.fxb";
  EXPECT_EQ(Prompt(*f.editor, true, "bank", folder.c_str(), "fxb"), "(none)") << "no window, no dialog";
}

TEST(EditorCore, SaveAsksBeforeReplacingTheFileItWillWrite) {
  Fixture f;
  const std::string folder = ::testing::TempDir() + "/replace";
  std::filesystem::create_directories(folder);
  const std::string bank = folder + "/Tessaron.fxb";
  std::ofstream(bank) << "old";
  // The dialog was told "Tessaron" and asked nothing; ".fxb" added here names a file that exists.
  f.platform->dialogAnswer = folder + "/Tessaron";
  f.platform->messageAnswer = kAnswerNo;
  EXPECT_EQ(Prompt(*f.editor, true, "Tessaron", folder.c_str(), "fxb"), "") << "No ends the save";
  ASSERT_EQ(f.platform->messages.size(), 1u);
  EXPECT_EQ(f.platform->messages[0], bank + " already exists.\nDo you want to replace it?");
  f.platform->messageAnswer = kAnswerYes;
  EXPECT_EQ(Prompt(*f.editor, true, "Tessaron", folder.c_str(), "fxb"), bank);
  // A dialog that answered with the exact name has asked already.
  f.platform->dialogAnswer = bank;
  EXPECT_EQ(Prompt(*f.editor, true, "Tessaron", folder.c_str(), "FXB"), bank);
  EXPECT_EQ(f.platform->messages.size(), 2u);
}

TEST(EditorCore, SnapshotDrawsVisibleControlsWithoutAWindow) {
  RecordingInstrument instrument;
  IEditor* self = nullptr;
  IEditor editor(std::make_unique<ScriptedPlatform>(self), 100, 50);
  self = &editor;
  IBitmapControl* background = editor.AttachBackground("img/no-such-image.png");
  EXPECT_EQ(editor.GetControl(0), background);
  editor.Add<Probe>(GfxRect{10, 10, 40, 40}, kRed);
  editor.Add<Probe>(GfxRect{50, 10, 60, 40}, kGreen)->Hide(true);
  editor.AttachInstrument(instrument);
  GfxMemBitmap shot;
  ASSERT_TRUE(DrawEditorSnapshot(editor, shot));
  EXPECT_EQ(shot.PixelAt(20, 20), kRed);
  EXPECT_EQ(shot.PixelAt(55, 20), 0xFF000000u) << "hidden controls stay out; no background image draws nothing";

  const std::string path = ::testing::TempDir() + "/editor-snapshot.png";
  ASSERT_TRUE(RenderEditorSnapshot(editor, path.c_str()));
  std::FILE* file = std::fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  std::vector<uint8_t> bytes(1 << 16);
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
  std::fclose(file);
  auto decoded = LoadPNGFromMemory(bytes.data(), bytes.size());
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->Width(), 100);
  EXPECT_EQ(decoded->PixelAt(20, 20), kRed);
  EXPECT_FALSE(RenderEditorSnapshot(editor, "/no/such/folder/x.png"));
}

}  // namespace
}  // namespace tessaron
