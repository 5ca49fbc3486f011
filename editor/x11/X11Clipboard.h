#pragma once
// The CLIPBOARD selection as the editor uses it: text we copy is held here and served to
// other clients from the editor's window while it is open; text another client holds is
// asked for with a short, bounded wait, so a hung owner never holds up the host for long.
#include <string>

#include <X11/Xlib.h>

namespace tessaron::x11 {

class Clipboard {
 public:
  // The window that owns what we copy; a null display detaches (our selection goes with
  // the window).
  void Attach(Display* display, ::Window owner);
  // Takes the selection with text; time is the user's event that asked for it.
  bool Set(const std::string& text, Time time);
  // The clipboard's text (UTF-8): ours straight away, another client's if it answers in
  // time; empty when there is none.
  std::string Text();
  // Serves other clients' requests and notices when another client takes the selection;
  // true when event was one of those.
  bool HandleEvent(const XEvent& event);

 private:
  void Serve(const XSelectionRequestEvent& request);
  // True with text when the owner answered in time; refused when it answered without it.
  bool Ask(Atom target, std::string& text, bool& refused);

  Display* display_ = nullptr;
  ::Window owner_ = 0;
  std::string text_;
  bool owned_ = false;
  Time ownedSince_ = CurrentTime;
};

}  // namespace tessaron::x11
