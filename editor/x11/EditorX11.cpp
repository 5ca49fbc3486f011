// The editor on X11: a child window of the host's window on a Display connection of our
// own, pumped from the host's idle calls. Nothing here blocks: menus, message boxes and
// file dialogs are states that the pump advances while the host's own windows go on.
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>

#include "editor/x11/X11Common.h"
#include "editor/x11/X11Clipboard.h"
#include "editor/x11/X11TextEntry.h"
#include "platform/OpenUrl.h"

#include <X11/keysym.h>

namespace tessaron {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kHoverDelayMs = 500;
constexpr unsigned kDoubleClickMs = 400;
constexpr int kDoubleClickSlop = 4;
constexpr long kWindowEvents = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                               LeaveWindowMask | EnterWindowMask | KeyPressMask | KeyReleaseMask | FocusChangeMask |
                               StructureNotifyMask;

class X11EditorPlatform final : public EditorPlatform {
 public:
  explicit X11EditorPlatform(IEditor& editor) : editor_(editor) {}
  ~X11EditorPlatform() override { CloseWindow(); }

  bool OpenWindow(void* parent, int width, int height) override;
  void CloseWindow() override;
  bool IsWindowOpen() const override { return window_ != 0; }
  void PumpEvents() override;
  void Invalidate(const GfxRect& rect) override;
  void ResizeWindow(int width, int height) override;
  void CaptureMouse() override;
  void ReleaseMouse() override;
  void HideCursor() override;
  void ShowCursor() override;
  bool ShowTooltip(const char* text) override;
  void HideTooltip() override;
  void RequestHover() override;
  bool CreateTextEntry(const GfxRect& rect, const char* text, const GfxTextStyle& style, int maxLength) override;
  std::string TextEntryText() override { return entry_ ? entry_->Text() : std::string(); }
  void DestroyTextEntry() override;
  void MessageBox(const char* text, const char* caption, int type, MessageBoxDone done) override;
  void PopupMenu(std::shared_ptr<EditorMenu> menu, int x, int y, MenuDone done) override;
  void RunFileDialog(const FileDialogRequest& request, FileDialogDone done) override;
  std::string ClipboardText() override;
  bool OpenWebPage(const char* url) override { return platform::OpenUrl(url); }
  std::string LibraryFolder() override;
  const char* BackEndDescription() const override { return "X11 (Xlib, FreeType)"; }

 private:
  void HandleEvent(XEvent& event);
  void ShowSurface(const GfxRect& rect);
  void ForwardToHost(XEvent& event);
  int EditorKey(KeySym keysym, const std::string& text) const;
  static IMouseMod Modifiers(unsigned state, unsigned button);
  // A press before a menu, box, dialog or text entry never pairs with one after it into a
  // double click.
  void ForgetLastPress() {
    lastPressTime_ = 0;
    lastPressX_ = lastPressY_ = -100;
  }
  // Menus, boxes and dialogs grab the pointer: the release of the press that opened one
  // goes to them.
  void ModalBoundary() {
    ForgetLastPress();
    pressedButton_ = 0;
  }
  using Starter = std::function<std::unique_ptr<x11::Interaction>()>;
  // Starts an interaction now, or after the one open now has closed.
  void Begin(Starter start);
  // An interaction is open and waits for the user; the editor then takes no input.
  bool Busy() const { return interaction_ && !interaction_->Finished(); }
  // Answers of finished interactions go to their continuations; queued ones start.
  void DeliverFinished();
  // Drops open and queued interactions without answering (the window is going).
  void DropInteractions();

  IEditor& editor_;
  Display* display_ = nullptr;
  Window parent_ = 0;
  Window window_ = 0;
  x11::WindowVisual visual_;  // the window's; the parent's whenever that is TrueColor
  Colormap colormap_ = 0;
  GC gc_ = nullptr;
  Window tooltip_ = 0;
  std::string tooltipText_;
  Cursor blankCursor_ = 0;
  bool grabbed_ = false;
  int savedX_ = 0, savedY_ = 0;  // pointer position on the root while hidden
  bool hoverPending_ = false;
  Clock::time_point hoverDue_{};
  int pointerX_ = 0, pointerY_ = 0;
  Time lastPressTime_ = 0;
  int lastPressX_ = -100, lastPressY_ = -100;
  unsigned pressedButton_ = 0;  // the button whose press began the gesture under way
  x11::Clipboard clipboard_;
  std::unique_ptr<x11::TextEntry> entry_;
  Window topLevel_ = 0;  // the host's top-level window: owner of our dialogs
  std::unique_ptr<x11::Interaction> interaction_;
  std::deque<Starter> pending_;
};

bool X11EditorPlatform::OpenWindow(void* parent, int width, int height) {
  CloseWindow();
  const auto parentWindow = static_cast<Window>(reinterpret_cast<uintptr_t>(parent));
  if (!parentWindow) return false;
  display_ = XOpenDisplay(nullptr);
  if (!display_) return false;
  if (!x11::WindowExists(display_, parentWindow)) {
    XCloseDisplay(display_);
    display_ = nullptr;
    return false;
  }
  {
    x11::ErrorTrap trap(display_);
    // Compositing hosts hand out depth-32 (ARGB) windows: ours takes the parent's visual
    // with a colormap and border of its own, and the surface is built for that visual.
    visual_ = x11::WindowVisual::Default(display_);
    XWindowAttributes parentAttributes{};
    if (XGetWindowAttributes(display_, parentWindow, &parentAttributes) && parentAttributes.visual &&
        parentAttributes.visual->c_class == TrueColor)
      visual_ = {parentAttributes.visual, parentAttributes.depth};
    colormap_ = XCreateColormap(display_, parentWindow, visual_.visual, AllocNone);
    XSetWindowAttributes attributes{};
    attributes.event_mask = kWindowEvents;
    attributes.colormap = colormap_;
    attributes.border_pixel = 0;
    attributes.background_pixel = visual_.AlphaMask();  // opaque black
    window_ = XCreateWindow(display_, parentWindow, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                            0, visual_.depth, InputOutput, visual_.visual,
                            CWEventMask | CWBackPixel | CWBorderPixel | CWColormap, &attributes);
    if (window_ && !trap.Failed()) {
      XStoreName(display_, window_, "Tessaron");
      gc_ = XCreateGC(display_, window_, 0, nullptr);
      XMapRaised(display_, window_);
    }
    if (trap.Failed()) window_ = 0;
  }
  if (!window_) {
    XCloseDisplay(display_);  // frees the colormap with the connection
    colormap_ = 0;
    display_ = nullptr;
    return false;
  }
  parent_ = parentWindow;
  topLevel_ = x11::TopLevelOf(display_, parent_);
  if (auto* surface = dynamic_cast<GfxSysBitmap*>(editor_.Surface()))
    surface->AttachDisplay(display_, visual_.visual, visual_.depth);
  clipboard_.Attach(display_, window_);
  ModalBoundary();
  XFlush(display_);
  return true;
}

void X11EditorPlatform::CloseWindow() {
  if (!display_) return;
  DropInteractions();
  entry_.reset();
  clipboard_.Attach(nullptr, 0);
  if (auto* surface = dynamic_cast<GfxSysBitmap*>(editor_.Surface())) surface->AttachDisplay(nullptr);
  {
    // The host may have destroyed its window, and ours with it, already.
    x11::ErrorTrap trap(display_);
    if (grabbed_) XUngrabPointer(display_, CurrentTime);
    if (tooltip_) XDestroyWindow(display_, tooltip_);
    if (window_) XDestroyWindow(display_, window_);
    if (blankCursor_) XFreeCursor(display_, blankCursor_);
    if (gc_) XFreeGC(display_, gc_);
    if (colormap_) XFreeColormap(display_, colormap_);
    trap.Failed();
  }
  XCloseDisplay(display_);
  display_ = nullptr;
  window_ = tooltip_ = parent_ = topLevel_ = 0;
  colormap_ = 0;
  gc_ = nullptr;
  blankCursor_ = 0;
  grabbed_ = false;
  hoverPending_ = false;
}

void X11EditorPlatform::PumpEvents() {
  if (!display_) return;
  {
    x11::ErrorTrap trap(display_);
    while (display_ && XPending(display_)) {
      XEvent event;
      XNextEvent(display_, &event);
      if (Busy() && interaction_->HandleEvent(event)) continue;
      HandleEvent(event);
    }
    if (Busy()) interaction_->Idle();
    if (hoverPending_ && Clock::now() >= hoverDue_) {
      hoverPending_ = false;
      if (!Busy()) editor_.OnHover();
    }
    if (display_) XFlush(display_);
  }
  // Outside the trap: a continuation may close the window and its connection.
  DeliverFinished();
}

void X11EditorPlatform::Begin(Starter start) {
  if (!display_) return;
  if (interaction_) {
    pending_.push_back(std::move(start));
    return;
  }
  if (grabbed_) ReleaseMouse();
  HideTooltip();
  hoverPending_ = false;
  // A press before the interaction never pairs with one after it as a double click, and
  // the release of the press that opened it goes to it.
  ModalBoundary();
  x11::ErrorTrap trap(display_);
  interaction_ = start();
}

void X11EditorPlatform::DeliverFinished() {
  while (display_ && interaction_ && interaction_->Finished()) {
    std::function<void()> deliver = interaction_->TakeDelivery();
    interaction_.reset();
    ModalBoundary();  // nor a press during it with one after it
    if (!pending_.empty()) {
      Starter next = std::move(pending_.front());
      pending_.pop_front();
      Begin(std::move(next));
    }
    if (deliver) deliver();
  }
}

void X11EditorPlatform::DropInteractions() {
  pending_.clear();
  x11::ErrorTrap trap(display_);
  interaction_.reset();
}

IMouseMod X11EditorPlatform::Modifiers(unsigned state, unsigned button) {
  IMouseMod mod;
  mod.L = (state & Button1Mask) || button == Button1;
  mod.R = (state & Button3Mask) || button == Button3;
  mod.S = state & ShiftMask;
  mod.C = state & ControlMask;
  mod.A = state & Mod1Mask;
  return mod;
}

void X11EditorPlatform::HandleEvent(XEvent& event) {
  if (clipboard_.HandleEvent(event)) return;
  if (entry_ && event.xany.window == entry_->Window()) {
    entry_->HandleEvent(event);
    return;
  }
  if (tooltip_ && event.xany.window == tooltip_) {
    if (event.type == Expose && event.xexpose.count == 0) ShowTooltip(tooltipText_.c_str());
    return;
  }
  if (event.xany.window != window_) return;
  // While a menu or box waits for the user the editor takes no input, as a modal loop's
  // owner window does not.
  if (Busy() && (event.type == ButtonPress || event.type == ButtonRelease || event.type == MotionNotify ||
                 event.type == KeyPress || event.type == KeyRelease))
    return;
  switch (event.type) {
    case Expose:
      ShowSurface({event.xexpose.x, event.xexpose.y, event.xexpose.x + event.xexpose.width,
                   event.xexpose.y + event.xexpose.height});
      break;
    case ButtonPress: {
      const XButtonEvent& b = event.xbutton;
      pointerX_ = b.x;
      pointerY_ = b.y;
      if (b.button == Button4 || b.button == Button5) {
        editor_.OnMouseWheel(b.x, b.y, Modifiers(b.state, 0),
                             b.button == Button4 ? IEditor::kWheelDelta : -IEditor::kWheelDelta);
        break;
      }
      if (b.button != Button1 && b.button != Button2 && b.button != Button3) break;
      // A second button pressed while one is held joins that gesture; one whose release we
      // never saw (a grab elsewhere took it) no longer counts.
      if (pressedButton_ && (b.state & (Button1Mask << (pressedButton_ - Button1)))) break;
      pressedButton_ = b.button;
      if (!entry_) XSetInputFocus(display_, window_, RevertToParent, b.time);
      const bool doubleClick = b.button == Button1 && b.time - lastPressTime_ <= kDoubleClickMs &&
                               std::abs(b.x - lastPressX_) <= kDoubleClickSlop &&
                               std::abs(b.y - lastPressY_) <= kDoubleClickSlop;
      if (doubleClick) {
        lastPressTime_ = 0;
        editor_.OnMouseDoubleClick(b.x, b.y, Modifiers(b.state, b.button));
      } else {
        if (b.button == Button1) {
          lastPressTime_ = b.time;
          lastPressX_ = b.x;
          lastPressY_ = b.y;
        }
        editor_.OnMouseDown(b.x, b.y, Modifiers(b.state, b.button));
      }
      break;
    }
    case ButtonRelease: {
      // Whatever the button, the gesture and the capture end with its own release.
      const XButtonEvent& b = event.xbutton;
      if (!pressedButton_ || b.button != pressedButton_) break;
      pressedButton_ = 0;
      editor_.OnMouseUp(b.x, b.y, Modifiers(b.state, 0));
      // Released outside: the pointer left while captured, and no leave event follows.
      if (b.x < 0 || b.y < 0 || b.x >= editor_.Width() || b.y >= editor_.Height()) {
        hoverPending_ = false;
        editor_.OnMouseLeave();
      }
      break;
    }
    case MotionNotify: {
      // Only the latest position of a burst matters.
      while (XCheckTypedWindowEvent(display_, window_, MotionNotify, &event)) {
      }
      const XMotionEvent& m = event.xmotion;
      if (hoverPending_) hoverDue_ = Clock::now() + std::chrono::milliseconds(kHoverDelayMs);
      if (m.x == pointerX_ && m.y == pointerY_ && !(m.state & (Button1Mask | Button2Mask | Button3Mask))) break;
      pointerX_ = m.x;
      pointerY_ = m.y;
      if (m.state & (Button1Mask | Button2Mask | Button3Mask))
        editor_.OnMouseDrag(m.x, m.y, Modifiers(m.state, 0));
      else
        editor_.OnMouseMove(m.x, m.y, Modifiers(m.state, 0));
      break;
    }
    case LeaveNotify:
      if (event.xcrossing.mode == NotifyNormal && event.xcrossing.detail != NotifyInferior) {
        hoverPending_ = false;
        editor_.OnMouseLeave();
      }
      break;
    case KeyPress: {
      KeySym keysym = NoSymbol;
      const std::string text = x11::KeyText(event.xkey, keysym);
      const int key = EditorKey(keysym, text);
      if (key == kKeyNone || !editor_.OnKeyDown(event.xkey.x, event.xkey.y, key)) ForwardToHost(event);
      break;
    }
    case KeyRelease: ForwardToHost(event); break;
    case DestroyNotify:
      if (event.xdestroywindow.window == window_) {
        // Destroyed with the host's window: nothing of it is ours to free any more.
        window_ = 0;
        entry_.reset();
        DropInteractions();
      }
      break;
    default: break;
  }
}

int X11EditorPlatform::EditorKey(KeySym keysym, const std::string& text) const {
  switch (keysym) {
    case XK_Up:
    case XK_KP_Up: return kKeyUp;
    case XK_Down:
    case XK_KP_Down: return kKeyDown;
    case XK_Left:
    case XK_KP_Left: return kKeyLeft;
    case XK_Right:
    case XK_KP_Right: return kKeyRight;
    default: break;
  }
  return text.size() == 1 ? KeyCodeForCharacter(static_cast<unsigned char>(text[0])) : kKeyNone;
}

void X11EditorPlatform::ForwardToHost(XEvent& event) {
  const Window host = topLevel_ ? topLevel_ : parent_;
  if (!host) return;
  XEvent copy = event;
  copy.xkey.window = host;
  XSendEvent(display_, host, True, event.type == KeyPress ? KeyPressMask : KeyReleaseMask, &copy);
}

void X11EditorPlatform::ShowSurface(const GfxRect& rect) {
  IGfxBitmap* surface = editor_.Surface();
  if (!display_ || !window_ || !surface) return;
  const GfxRect r{std::max(0, rect.left), std::max(0, rect.top), std::min(surface->Width(), rect.right),
                  std::min(surface->Height(), rect.bottom)};
  if (r.Empty()) return;
  auto* image = static_cast<XImage*>(surface->DeviceContext());
  if (image) {
    if (const unsigned long alpha = visual_.AlphaMask()) {
      // Drawing leaves alpha as blending made it; what a compositor sees must be opaque.
      for (int y = r.top; y < r.bottom; ++y) {
        GfxPixel* row = surface->Row(y);
        for (int x = r.left; x < r.right; ++x) row[x] |= static_cast<GfxPixel>(alpha);
      }
    }
    XPutImage(display_, window_, gc_, image, r.left, r.top, r.left, r.top, static_cast<unsigned>(r.Width()),
              static_cast<unsigned>(r.Height()));
  } else {
    x11::PutBitmap(display_, window_, gc_, visual_, *surface, r);
  }
}

void X11EditorPlatform::Invalidate(const GfxRect& rect) {
  if (!window_) return;
  x11::ErrorTrap trap(display_);  // the timer's redraw runs outside the event pump
  editor_.Paint(rect);
  ShowSurface(rect);
  XFlush(display_);
}

void X11EditorPlatform::ResizeWindow(int width, int height) {
  if (!window_) return;
  x11::ErrorTrap trap(display_);
  XResizeWindow(display_, window_, static_cast<unsigned>(width), static_cast<unsigned>(height));
  if (auto* surface = dynamic_cast<GfxSysBitmap*>(editor_.Surface()))
    surface->AttachDisplay(display_, visual_.visual, visual_.depth);
}

void X11EditorPlatform::CaptureMouse() {
  if (!window_ || grabbed_) return;
  x11::ErrorTrap trap(display_);
  grabbed_ = XGrabPointer(display_, window_, False, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                          GrabModeAsync, GrabModeAsync, None, None, CurrentTime) == GrabSuccess;
}

void X11EditorPlatform::ReleaseMouse() {
  if (!grabbed_) return;
  x11::ErrorTrap trap(display_);
  XUngrabPointer(display_, CurrentTime);
  grabbed_ = false;
}

void X11EditorPlatform::HideCursor() {
  if (!window_) return;
  x11::ErrorTrap trap(display_);
  if (!blankCursor_) {
    static const char kEmpty[1] = {0};
    Pixmap pixmap = XCreateBitmapFromData(display_, window_, kEmpty, 1, 1);
    XColor black{};
    blankCursor_ = XCreatePixmapCursor(display_, pixmap, pixmap, &black, &black, 0, 0);
    XFreePixmap(display_, pixmap);
  }
  x11::PointerOnRoot(display_, savedX_, savedY_);
  XDefineCursor(display_, window_, blankCursor_);
  if (grabbed_)
    XChangeActivePointerGrab(display_, ButtonPressMask | ButtonReleaseMask | PointerMotionMask, blankCursor_,
                             CurrentTime);
}

void X11EditorPlatform::ShowCursor() {
  if (!window_) return;
  x11::ErrorTrap trap(display_);
  XUndefineCursor(display_, window_);
  if (grabbed_)
    XChangeActivePointerGrab(display_, ButtonPressMask | ButtonReleaseMask | PointerMotionMask, None, CurrentTime);
  XWarpPointer(display_, None, DefaultRootWindow(display_), 0, 0, 0, 0, savedX_, savedY_);
}

bool X11EditorPlatform::ShowTooltip(const char* text) {
  if (!window_) return false;
  x11::ErrorTrap trap(display_);
  tooltipText_ = text ? text : "";
  if (tooltipText_.empty()) {
    HideTooltip();
    return true;
  }
  const int w = x11::TextWidth(tooltipText_, 12) + 10, h = 19;
  int x = 0, y = 0;
  x11::PointerOnRoot(display_, x, y);
  const int screenW = DisplayWidth(display_, DefaultScreen(display_));
  x = std::clamp(x + 2, 0, std::max(0, screenW - w));
  y += 20;
  if (!tooltip_) {
    tooltip_ = x11::CreatePopupWindow(display_, x, y, w, h, ExposureMask);
  } else {
    XMoveResizeWindow(display_, tooltip_, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h));
  }
  XMapRaised(display_, tooltip_);
  GfxMemBitmap face(w, h);
  x11::DrawFrame(face, 0xFFFFFFE1, 0xFF767676);
  GfxTextStyle style = x11::Theme::Text(0xFF000000, 12);
  GfxRect r{5, 2, w - 5, h - 2};
  DrawText(&face, style, tooltipText_.c_str(), r, false);
  x11::PutBitmap(display_, tooltip_, gc_, face, {0, 0, w, h});
  XFlush(display_);
  return true;
}

void X11EditorPlatform::HideTooltip() {
  if (!tooltip_ || !display_) return;
  x11::ErrorTrap trap(display_);
  XUnmapWindow(display_, tooltip_);
}

void X11EditorPlatform::RequestHover() {
  hoverPending_ = true;
  hoverDue_ = Clock::now() + std::chrono::milliseconds(kHoverDelayMs);
}

bool X11EditorPlatform::CreateTextEntry(const GfxRect& rect, const char* text, const GfxTextStyle& style,
                                        int maxLength) {
  if (!window_) return false;
  ForgetLastPress();
  entry_ = std::make_unique<x11::TextEntry>(display_, window_, visual_, rect, text, style, maxLength, &clipboard_,
                                            [this](TextEntryEvent e) { editor_.OnTextEntryEvent(e); });
  if (!entry_->Window()) {
    entry_.reset();
    return false;
  }
  return true;
}

void X11EditorPlatform::DestroyTextEntry() {
  if (entry_) ForgetLastPress();
  entry_.reset();
}

void X11EditorPlatform::MessageBox(const char* text, const char* caption, int type, MessageBoxDone done) {
  if (!window_) return;
  Begin([this, text = std::string(text ? text : ""), caption = std::string(caption ? caption : ""), type,
         done = std::move(done)]() mutable {
    return x11::StartMessageBox(display_, topLevel_, text.c_str(), caption.c_str(), type, std::move(done));
  });
}

void X11EditorPlatform::PopupMenu(std::shared_ptr<EditorMenu> menu, int x, int y, MenuDone done) {
  if (!window_) return;
  Begin([this, menu = std::move(menu), x, y, done = std::move(done)]() mutable {
    int rootX = 0, rootY = 0;
    Window child;
    XTranslateCoordinates(display_, window_, DefaultRootWindow(display_), x, y, &rootX, &rootY, &child);
    return x11::StartPopupMenu(display_, std::move(menu), rootX, rootY, std::move(done));
  });
}

void X11EditorPlatform::RunFileDialog(const FileDialogRequest& request, FileDialogDone done) {
  if (!window_) return;
  Begin([this, request, done = std::move(done)]() mutable {
    return x11::StartFileDialog(display_, topLevel_, request, std::move(done));
  });
}

std::string X11EditorPlatform::ClipboardText() {
  if (!window_) return {};
  x11::ErrorTrap trap(display_);
  return clipboard_.Text();
}

std::string X11EditorPlatform::LibraryFolder() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&CreateEditorPlatform), &info) || !info.dli_fname) return {};
  std::string path = info.dli_fname;
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

std::unique_ptr<EditorPlatform> CreateEditorPlatform(IEditor& editor) {
  return std::make_unique<X11EditorPlatform>(editor);
}

}  // namespace tessaron
