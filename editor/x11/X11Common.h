#pragma once
// Shared pieces of the X11 binding: error trapping, showing bitmaps in windows, and the
// small drawn dialogs (menus, message boxes, the path entry) run as non-blocking states.
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Ours first: Xlib defines None and other bare words as macros.
#include "editor/EditorPlatform.h"
#include "editor/GfxBitmap.h"
#include "editor/GfxDraw.h"
#include "editor/GfxText.h"
#include "editor/IControl.h"
#include "editor/IEditor.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace tessaron::x11 {

// While alive, X errors raised by requests on display are recorded instead of ending
// the process (Xlib's default handler exits). Errors of other displays go to the
// handler that was installed before. Nesting is allowed.
class ErrorTrap {
 public:
  explicit ErrorTrap(Display* display);
  ~ErrorTrap();
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;
  // Waits for the server to answer everything sent so far, then tells whether any failed.
  bool Failed();

 private:
  Display* display_;
  Display* outerDisplay_;
  bool outerFailed_;
  XErrorHandler previous_;
};

// True when window still exists (checked under a trap).
bool WindowExists(Display* display, Window window);

// The visual and depth a window was created with: what is put into it must match them.
struct WindowVisual {
  Visual* visual = nullptr;
  int depth = 0;
  static WindowVisual Default(Display* display);
  // True when 32-bit words of 0xAARRGGBB show as they are (24 or 32 bits, 8-bit masks).
  bool TakesBgra() const;
  // The bits a depth-32 visual keeps for alpha (0 otherwise): they must be set, or a
  // compositor shows the pixels as transparent.
  unsigned long AlphaMask() const;
};

// Copies rect of bitmap to (rect.left + dx, rect.top + dy) of window, converting pixels
// when the visual is not 32-bit BGRA.
void PutBitmap(Display* display, Window window, GC gc, IGfxBitmap& bitmap, const GfxRect& rect, int dx = 0, int dy = 0);
void PutBitmap(Display* display, Window window, GC gc, const WindowVisual& visual, IGfxBitmap& bitmap,
               const GfxRect& rect, int dx = 0, int dy = 0);

// The pointer's position on the root window.
bool PointerOnRoot(Display* display, int& x, int& y);

// Latin-1 byte of a key press as UTF-8 text (empty for non-printing keys).
std::string KeyText(XKeyEvent& event, KeySym& keysym);

// The look shared by the drawn dialogs.
struct Theme {
  static constexpr GfxPixel kPanel = 0xFF2B2F33;
  static constexpr GfxPixel kBorder = 0xFF6A7077;
  static constexpr GfxPixel kHighlight = 0xFF3D6E9E;
  static constexpr GfxPixel kText = 0xFFEAEAEA;
  static constexpr GfxPixel kGreyText = 0xFF8A8F94;
  static constexpr GfxPixel kField = 0xFF15171A;
  static GfxTextStyle Text(GfxPixel colour = kText, int size = 13);
};

void DrawFrame(IGfxBitmap& bitmap, GfxPixel fill, GfxPixel border);
int TextWidth(const std::string& text, int size = 13);

// A window of its own above everything (menus, tooltips): override-redirect, on the root.
Window CreatePopupWindow(Display* display, int x, int y, int width, int height, long eventMask);

// Waits up to timeoutMs for an event on display; false on timeout.
bool WaitForEvent(Display* display, int timeoutMs);

// The host's top-level window above window: the highest ancestor that a window manager
// manages (it carries WM_STATE), else the root's child on the way up.
Window TopLevelOf(Display* display, Window window);

// ---- Menus, message boxes and file dialogs ----
// Each runs as a state that the events of its windows and the editor's idle calls
// advance; nothing here waits for the user.
class Interaction {
 public:
  virtual ~Interaction() = default;
  // True when the event was the interaction's (it then goes nowhere else).
  virtual bool HandleEvent(XEvent& event) = 0;
  // Once per editor idle call: child processes and the like.
  virtual void Idle() {}
  virtual bool Finished() const = 0;
  // Once finished: hands the answer to its continuation. Called after the interaction
  // was taken off the screen, so the continuation may open the next one.
  virtual std::function<void()> TakeDelivery() = 0;
};

// A dialog window of our own (message box or one-line question), transient for owner,
// focused once mapped; Enter, Escape, Tab and the arrow keys answer or move between
// buttons. Closing it gives the focus back to where it was.
class DialogBox {
 public:
  struct Button {
    const char* label;
    int answer;
    GfxRect rect;
  };
  virtual ~DialogBox();
  DialogBox(const DialogBox&) = delete;
  DialogBox& operator=(const DialogBox&) = delete;
  bool HandleEvent(XEvent& event);
  bool Finished() const { return answer_ >= 0; }
  int Answer() const { return answer_; }
  virtual std::string Text() const { return {}; }
  ::Window Get() const { return window_; }

 protected:
  DialogBox(Display* display, ::Window owner, const char* caption, int width, int height, std::vector<Button> buttons,
            int focused);
  virtual void DrawBody(IGfxBitmap& face) = 0;
  // The field's window, which takes the focus and its own events.
  virtual ::Window FieldWindow() const { return 0; }
  virtual void FieldEvent(XEvent&) {}
  void Repaint();
  int EscapeAnswer() const;
  void SetAnswer(int answer) { answer_ = answer; }

  Display* display_;
  int width_, height_;

 private:
  void TakeFocus();
  ::Window window_ = 0;
  GC gc_ = nullptr;
  Atom deleteAtom_ = None;
  std::vector<Button> buttons_;
  int focused_ = 0;
  int answer_ = -1;
  ::Window previousFocus_ = 0;
  int previousRevert_ = RevertToParent;
  GfxMemBitmap face_;
};

// A message box of a Windows type (buttons, default button); answers kAnswer* codes.
std::unique_ptr<DialogBox> OpenMessageBox(Display* display, ::Window owner, const char* text, const char* caption,
                                          int type);
// A one-line question with OK and Cancel; Text() holds the line.
std::unique_ptr<DialogBox> OpenLineDialog(Display* display, ::Window owner, const char* caption, const char* prompt,
                                          const std::string& text);

std::unique_ptr<Interaction> StartMessageBox(Display* display, ::Window owner, const char* text, const char* caption,
                                             int type, MessageBoxDone done);
// The menu at (x, y) on the root window, with pointer and keyboard grabbed while open.
std::unique_ptr<Interaction> StartPopupMenu(Display* display, std::shared_ptr<EditorMenu> menu, int x, int y,
                                            MenuDone done);
// zenity or kdialog when found on PATH (a child process watched from idle), else the
// path-entry box of our own.
std::unique_ptr<Interaction> StartFileDialog(Display* display, ::Window owner, const FileDialogRequest& request,
                                             FileDialogDone done);

}  // namespace tessaron::x11
