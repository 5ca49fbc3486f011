#pragma once
// The one-line text entry, drawn by us in a child window over the editor: a caret and a
// selection (mouse, or Shift with Left/Right/Home/End), Backspace and Delete, Ctrl+A/C/X/V
// through the clipboard, Enter, Escape; losing the focus commits. All text starts selected,
// so the first typed character replaces it. The length limit counts bytes of UTF-8, as the
// names it edits are stored under byte limits, and no edit ever splits a character.
#include <functional>
#include <string>

#include "editor/x11/X11Common.h"  // first: Xlib's macros must follow our headers
#include "editor/x11/X11Clipboard.h"

namespace tessaron::x11 {

class TextEntry {
 public:
  using Notify = std::function<void(TextEntryEvent)>;
  // clipboard may be null (no copy and paste).
  TextEntry(Display* display, ::Window parent, const WindowVisual& visual, const GfxRect& rect, const char* text,
            const GfxTextStyle& style, int maxLength, Clipboard* clipboard, Notify notify);
  // In a window of the screen's default visual, without the clipboard.
  TextEntry(Display* display, ::Window parent, const GfxRect& rect, const char* text, const GfxTextStyle& style,
            int maxLength, Notify notify)
      : TextEntry(display, parent, WindowVisual::Default(display), rect, text, style, maxLength, nullptr,
                  std::move(notify)) {}
  ~TextEntry();
  TextEntry(const TextEntry&) = delete;
  TextEntry& operator=(const TextEntry&) = delete;

  ::Window Window() const { return window_; }
  const std::string& Text() const { return text_; }
  void HandleEvent(XEvent& event);

 private:
  void HandleKey(XKeyEvent& key);
  // Replaces the selection with as much of text as the limit leaves room for.
  void Insert(const std::string& text);
  void EraseSelection();
  bool HasSelection() const { return anchor_ != caret_; }
  std::string Selection() const;
  std::size_t Previous(std::size_t at) const;
  std::size_t Next(std::size_t at) const;
  int WidthOf(const std::string& text);
  int Origin();  // where the text starts in the field
  int XOf(std::size_t at);
  std::size_t BoundaryNear(int x);
  void Redraw();

  Display* display_;
  WindowVisual visual_;
  ::Window window_ = 0;
  GC gc_ = nullptr;
  int width_, height_;
  std::string text_;
  std::size_t caret_ = 0;   // byte offsets, always on character boundaries
  std::size_t anchor_ = 0;  // the selection runs from the anchor to the caret
  int scroll_ = 0;          // pixels of a long text scrolled out on the left
  GfxTextStyle style_;
  std::size_t maxLength_;
  Clipboard* clipboard_;
  Notify notify_;
};

}  // namespace tessaron::x11
