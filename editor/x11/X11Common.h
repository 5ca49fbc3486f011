#pragma once
// Shared pieces of the X11 binding: error trapping, showing bitmaps in windows, and the
// small drawn dialogs (menus, message boxes, the path entry) that run their own loops.
#include <chrono>
#include <functional>
#include <string>

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
void PutBitmap(Display* display, Window window, GC gc, IGfxBitmap& bitmap, const GfxRect& rect, int dx = 0,
               int dy = 0);
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

// ---- The drawn dialogs; each runs its own loop until answered ----
// Events for other windows (the editor's exposures) are handed to other while it runs.
using OtherEvent = std::function<void(XEvent&)>;

int RunMessageBox(Display* display, Window owner, const char* text, const char* caption, int type,
                  const OtherEvent& other);
// A one-line question; true with the edited text on OK.
bool RunLineDialog(Display* display, Window owner, const char* caption, const char* prompt, std::string& text,
                   const OtherEvent& other);
// Menu at (x, y) on the root window.
bool RunPopupMenu(Display* display, EditorMenu& menu, int x, int y, EditorMenuChoice& choice, const OtherEvent& other);
// zenity or kdialog when found on PATH, else the line dialog.
std::string RunFileDialog(Display* display, Window owner, const FileDialogRequest& request, const OtherEvent& other);

}  // namespace tessaron::x11
