#pragma once
// The window system behind the editor, seen from the portable core: one child window in
// the host's frame with its events, plus the dialogs and desktop services the shell asks
// for. Each OS folder under editor/ supplies one implementation; tests script their own.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/GfxBitmap.h"
#include "editor/GfxText.h"

namespace tessaron {

class IEditor;

// Message box types and answers keep the Windows numbering, which the shell's callers use.
enum : int {
  kMessageOk = 0,
  kMessageOkCancel = 1,
  kMessageYesNoCancel = 3,
  kMessageYesNo = 4,
  kMessageButtonsMask = 0xF,
  kMessageIconError = 0x10,
  kMessageIconQuestion = 0x20,
  kMessageIconWarning = 0x30,
  kMessageIconInformation = 0x40,
  kMessageDefaultButton2 = 0x100,
};
enum : int { kAnswerNone = 0, kAnswerOk = 1, kAnswerCancel = 2, kAnswerYes = 6, kAnswerNo = 7 };

// A popup menu: items in order, each plain, a separator or the title of a sub-menu.
class EditorMenu {
 public:
  enum Prefix { kNoPrefix, kPrefix1d, kPrefix02d, kPrefix03d };  // "%1d: %s", "%02d: %s", "%03d: %s"
  enum : unsigned { kMarked = 1, kGreyed = 2, kDisabled = 4, kSeparator = 8 };

  struct Item {
    std::string text;
    unsigned flags = 0;
    std::unique_ptr<EditorMenu> subMenu;
    bool Enabled() const { return !(flags & (kGreyed | kDisabled | kSeparator)); }
  };

  explicit EditorMenu(Prefix prefix = kNoPrefix) : prefix_(prefix) {}

  Item& AddItem(const char* text, unsigned flags = 0);
  Item& AddSeparator() { return AddItem("", kSeparator); }
  Item& AddSubMenu(const char* text, std::unique_ptr<EditorMenu> subMenu, unsigned flags = 0);

  int NItems() const { return static_cast<int>(items_.size()); }
  Item& GetItem(int index) { return items_[static_cast<std::size_t>(index)]; }
  const Item& GetItem(int index) const { return items_[static_cast<std::size_t>(index)]; }
  // The text as shown, with the number prefix applied.
  std::string DisplayText(int index) const;

  // Command identifiers number the selectable items from 1 in a depth-first walk (a
  // sub-menu's items follow its title); Resolve walks the same way back.
  int CommandOf(const EditorMenu* menu, int index) const;
  bool Resolve(int command, EditorMenu*& menu, int& index);

 private:
  bool Walk(int& next, const EditorMenu* findMenu, int findIndex, int findCommand, EditorMenu** outMenu, int* outIndex);
  Prefix prefix_;
  std::vector<Item> items_;
};

// The chosen item: the (sub-)menu holding it and its index there; menu null when none.
struct EditorMenuChoice {
  EditorMenu* menu = nullptr;
  int index = -1;
};

// What an open or save dialog asks for, already prepared by the core.
struct FileDialogRequest {
  bool save = false;
  std::string folder;                   // where to start
  std::string fileName;                 // suggested name
  std::vector<std::string> extensions;  // without dots; the first is the default
  std::string filter;                   // "*.fxp;*.fxb"
};

// Where the answers of menus, message boxes and file dialogs go. A platform may call them
// before returning (modal loops) or from a later event or idle call; it drops them
// uncalled when its window closes first, so they never run against a closed editor.
using MessageBoxDone = std::function<void(int answer)>;
using MenuDone = std::function<void(const EditorMenuChoice& choice)>;  // choice.menu null: nothing chosen
using FileDialogDone = std::function<void(const std::string& path)>;   // empty: cancelled

// The question asked before a save replaces path.
std::string ReplaceQuestion(const std::string& path);
inline constexpr const char* kReplaceCaption = "Confirm Save As";
// path ending in "." and the first extension, unless it ends in one of them already
// (compared without case); unchanged without extensions.
std::string WithDefaultExtension(const std::string& path, const std::vector<std::string>& extensions);

// Events the text entry reports to the core, which turns them into entry states.
enum class TextEntryEvent { kFocusIn, kFocusOut, kEnter, kEscape };

class EditorPlatform {
 public:
  virtual ~EditorPlatform() = default;

  // ---- The window (editor thread) ----
  // A child window of width × height at (0, 0) of parent; false leaves it closed.
  virtual bool OpenWindow(void* parent, int width, int height) = 0;
  virtual void CloseWindow() = 0;  // no-op when closed
  virtual bool IsWindowOpen() const = 0;
  // Delivers waiting window events to the editor without blocking.
  virtual void PumpEvents() = 0;
  // The rectangle must be painted (IEditor::Paint) and shown; at once or with the next pump.
  virtual void Invalidate(const GfxRect& rect) = 0;
  virtual void ResizeWindow(int width, int height) = 0;
  virtual void CaptureMouse() = 0;
  virtual void ReleaseMouse() = 0;
  // Hides the pointer and remembers where it was; ShowCursor puts it back there.
  virtual void HideCursor() = 0;
  virtual void ShowCursor() = 0;
  virtual bool ShowTooltip(const char* text) = 0;
  virtual void HideTooltip() = 0;
  // Asks for IEditor::OnHover once the pointer rests.
  virtual void RequestHover() = 0;

  // ---- The one-line text entry ----
  virtual bool CreateTextEntry(const GfxRect& rect, const char* text, const GfxTextStyle& style, int maxLength) = 0;
  virtual std::string TextEntryText() = 0;
  virtual void DestroyTextEntry() = 0;

  // ---- Dialogs and desktop services (answers through done; see MessageBoxDone) ----
  // Owned by the host's top-level window; needs the window open (else done is dropped).
  virtual void MessageBox(const char* text, const char* caption, int type, MessageBoxDone done) = 0;
  // The menu at (x, y) in editor pixels; the choice points into menu.
  virtual void PopupMenu(std::shared_ptr<EditorMenu> menu, int x, int y, MenuDone done) = 0;
  virtual void RunFileDialog(const FileDialogRequest& request, FileDialogDone done) = 0;
  virtual std::string ClipboardText() = 0;
  virtual bool OpenWebPage(const char* url) = 0;
  // The folder holding the plug-in library; empty when unknown.
  virtual std::string LibraryFolder() = 0;
  virtual const char* BackEndDescription() const = 0;
};

// The window system of this build, serving editor.
std::unique_ptr<EditorPlatform> CreateEditorPlatform(IEditor& editor);

}  // namespace tessaron
