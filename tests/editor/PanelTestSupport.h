#pragma once
// The whole instrument with its panel, its editor's window system replaced by a script:
// message boxes answer from a queue, menus choose through a callback, file dialogs
// answer from a queue, and everything asked is recorded.
#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/EditorPlatform.h"
#include "editor/IEditor.h"
#include "instrument/Tessaron.h"
#include "shell/OptionsMenu.h"
#include "tests/files/FilesTestSupport.h"

namespace tessaron::test {

inline std::array<int, 4> Sides(const GfxRect& r) { return {r.left, r.top, r.right, r.bottom}; }

struct AskedMessage {
  std::string text, caption;
  int type;
};

class ScriptedPanelPlatform : public EditorPlatform {
 public:
  bool OpenWindow(void*, int, int) override { return open = true; }
  void CloseWindow() override { open = false; }
  bool IsWindowOpen() const override { return open; }
  void PumpEvents() override {}
  void Invalidate(const GfxRect&) override {}
  void ResizeWindow(int, int) override {}
  void CaptureMouse() override {}
  void ReleaseMouse() override {}
  void HideCursor() override {}
  void ShowCursor() override {}
  bool ShowTooltip(const char*) override { return true; }
  void HideTooltip() override {}
  void RequestHover() override {}
  bool CreateTextEntry(const GfxRect& rect, const char* text, const GfxTextStyle&, int maxLength) override {
    entryRect = rect;
    entryText = text;
    entryMaxLength = maxLength;
    return entryOpen = true;
  }
  std::string TextEntryText() override { return entryText; }
  void DestroyTextEntry() override { entryOpen = false; }
  // Answered before returning, as a modal platform does.
  void MessageBox(const char* text, const char* caption, int type, MessageBoxDone done) override {
    messages.push_back({text, caption, type});
    int answer = (type & kMessageButtonsMask) == kMessageYesNo ? kAnswerYes : kAnswerOk;
    if (!answers.empty()) {
      answer = answers.front();
      answers.pop_front();
    }
    if (done) done(answer);
  }
  void PopupMenu(std::shared_ptr<EditorMenu> menu, int x, int y, MenuDone done) override {
    menuAt = {x, y};
    EditorMenuChoice choice;
    if (!(onMenu && onMenu(*menu, choice))) choice = {};
    if (done) done(choice);
  }
  void RunFileDialog(const FileDialogRequest& request, FileDialogDone done) override {
    dialogs.push_back(request);
    std::string answer;
    if (!dialogAnswers.empty()) {
      answer = dialogAnswers.front();
      dialogAnswers.pop_front();
    }
    if (done) done(answer);
  }
  std::string ClipboardText() override { return {}; }
  bool OpenWebPage(const char* url) override {
    pages.push_back(url);
    return true;
  }
  std::string LibraryFolder() override { return {}; }
  const char* BackEndDescription() const override { return "scripted"; }

  bool open = false;
  bool entryOpen = false;
  GfxRect entryRect;
  std::string entryText;
  int entryMaxLength = 0;
  std::deque<int> answers;
  std::vector<AskedMessage> messages;
  std::function<bool(EditorMenu&, EditorMenuChoice&)> onMenu;
  std::pair<int, int> menuAt{-1, -1};
  std::deque<std::string> dialogAnswers;
  std::vector<FileDialogRequest> dialogs;
  std::vector<std::string> pages;
};

// Chooses the item shown as text, in the menu or one of its sub-menus.
inline std::function<bool(EditorMenu&, EditorMenuChoice&)> Choose(const std::string& text) {
  return [text](EditorMenu& menu, EditorMenuChoice& choice) {
    std::function<bool(EditorMenu&)> find = [&](EditorMenu& m) {
      for (int i = 0; i < m.NItems(); ++i) {
        EditorMenu::Item& item = m.GetItem(i);
        if (item.subMenu && find(*item.subMenu)) return true;
        if (!item.subMenu && item.text == text && item.Enabled()) {
          choice.menu = &m;
          choice.index = i;
          return true;
        }
      }
      return false;
    };
    return find(menu);
  };
}

inline ScriptedPanelPlatform*& LastScriptedPlatform() {
  static ScriptedPanelPlatform* platform = nullptr;
  return platform;
}

inline std::unique_ptr<IEditor> MakeScriptedEditor() {
  auto platform = std::make_unique<ScriptedPanelPlatform>();
  LastScriptedPlatform() = platform.get();
  return std::make_unique<IEditor>(std::move(platform));
}

// What the host heard: automation messages per parameter.
struct HostLog {
  static std::vector<std::pair<int, float>>& Automation() {
    static std::vector<std::pair<int, float>> log;
    return log;
  }
  static vst::VstIntPtr TESSARON_VSTCALL Callback(vst::AEffect*, vst::VstInt32 opcode, vst::VstInt32 index,
                                                  vst::VstIntPtr, void*, float opt) {
    if (opcode == vst::audioMasterAutomate) Automation().emplace_back(index, opt);
    return opcode == vst::audioMasterVersion ? 2400 : 0;
  }
};

// An instance in a private home with its editor window open.
class Panel {
 public:
  Panel() {
    Synth::SetEditorFactory(&MakeScriptedEditor);
    plug = std::make_unique<Tessaron>(&HostLog::Callback);
    Synth::SetEditorFactory(nullptr);
    platform = LastScriptedPlatform();
    editor = plug->Editor();
    editor->OpenWindow(reinterpret_cast<void*>(1));
    HostLog::Automation().clear();
    ForgetSharedFolders();
  }
  // Control of table row n (the background is 0).
  template <class C = IControl>
  C* Row(int n) const {
    return dynamic_cast<C*>(editor->GetControl(n));
  }
  void Click(int x, int y, bool right = false) {
    IMouseMod mod;
    (right ? mod.R : mod.L) = true;
    editor->OnMouseDown(x, y, mod);
    editor->OnMouseUp(x, y, mod);
  }
  double Value(int param) const { return plug->GetParam(param)->Value(); }
  std::string ConfigurationText() const { return ReadText(plug->GetConfiguration().FilePath()); }
  static std::string ReadText(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
  }

  PrivateHome home;  // first: the instance reads its configuration from here
  std::unique_ptr<Tessaron> plug;
  ScriptedPanelPlatform* platform = nullptr;
  IEditor* editor = nullptr;
};

}  // namespace tessaron::test
