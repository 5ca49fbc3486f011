#pragma once
// The one-line text entry, drawn by us in a child window over the editor: typing,
// backspace, Enter, Escape; losing the focus commits. All text starts selected, so the
// first typed character replaces it.
#include <functional>
#include <string>

#include "editor/x11/X11Common.h"

namespace tessaron::x11 {

class TextEntry {
 public:
  using Notify = std::function<void(TextEntryEvent)>;
  TextEntry(Display* display, ::Window parent, const GfxRect& rect, const char* text, const GfxTextStyle& style,
            int maxLength, Notify notify);
  ~TextEntry();
  TextEntry(const TextEntry&) = delete;
  TextEntry& operator=(const TextEntry&) = delete;

  ::Window Window() const { return window_; }
  const std::string& Text() const { return text_; }
  void HandleEvent(XEvent& event);

 private:
  void Redraw();
  std::size_t CharacterCount() const;

  Display* display_;
  ::Window window_ = 0;
  GC gc_ = nullptr;
  int width_, height_;
  std::string text_;
  GfxTextStyle style_;
  int maxLength_;
  bool selected_ = true;
  Notify notify_;
};

}  // namespace tessaron::x11
