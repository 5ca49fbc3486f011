#include "editor/x11/X11TextEntry.h"


#include <algorithm>

#include "editor/GfxDraw.h"
#include "editor/x11/X11Common.h"

#include <X11/keysym.h>

namespace tessaron::x11 {
namespace {

constexpr GfxPixel kFieldBack = 0xFF101214;
constexpr GfxPixel kSelection = 0xFF3D6E9E;

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

TextEntry::TextEntry(Display* display, ::Window parent, const GfxRect& rect, const char* text,
                     const GfxTextStyle& style, int maxLength, Notify notify)
    : display_(display),
      width_(std::max(8, rect.Width())),
      height_(std::max(8, rect.Height())),
      text_(text ? text : ""),
      style_(style),
      maxLength_(std::max(1, maxLength)),
      notify_(std::move(notify)) {
  style_.font = nullptr;  // the font is looked up again for this copy of the style
  style_.colour.A = 255;  // the field is opaque, so its text is too
  ErrorTrap trap(display_);
  XSetWindowAttributes attributes{};
  attributes.event_mask = ExposureMask | KeyPressMask | FocusChangeMask | ButtonPressMask;
  window_ = XCreateWindow(display_, parent, rect.left, rect.top, static_cast<unsigned>(width_),
                          static_cast<unsigned>(height_), 0, CopyFromParent, InputOutput, CopyFromParent,
                          CWEventMask, &attributes);
  if (!window_ || trap.Failed()) {
    window_ = 0;
    return;
  }
  gc_ = XCreateGC(display_, window_, 0, nullptr);
  XMapRaised(display_, window_);
  XSync(display_, False);
  XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
  Redraw();
}

TextEntry::~TextEntry() {
  if (!window_) return;
  ErrorTrap trap(display_);
  if (gc_) XFreeGC(display_, gc_);
  XDestroyWindow(display_, window_);
  trap.Failed();
}

std::size_t TextEntry::CharacterCount() const {
  return static_cast<std::size_t>(std::count_if(text_.begin(), text_.end(), [](char c) { return !IsContinuation(c); }));
}

void TextEntry::HandleEvent(XEvent& event) {
  switch (event.type) {
    case Expose:
      if (event.xexpose.count == 0) Redraw();
      break;
    case FocusIn:
      if (event.xfocus.mode == NotifyNormal || event.xfocus.mode == NotifyWhileGrabbed)
        notify_(TextEntryEvent::kFocusIn);
      break;
    case FocusOut:
      // Grabs (a menu opening elsewhere) move the focus only for a moment.
      if (event.xfocus.mode == NotifyNormal && event.xfocus.detail != NotifyInferior)
        notify_(TextEntryEvent::kFocusOut);
      break;
    case ButtonPress:
      selected_ = false;
      XSetInputFocus(display_, window_, RevertToParent, event.xbutton.time);
      Redraw();
      break;
    case KeyPress: {
      KeySym keysym = NoSymbol;
      const std::string typed = KeyText(event.xkey, keysym);
      if (keysym == XK_Return || keysym == XK_KP_Enter) {
        notify_(TextEntryEvent::kEnter);
      } else if (keysym == XK_Escape) {
        notify_(TextEntryEvent::kEscape);
      } else if (keysym == XK_BackSpace) {
        if (selected_) {
          text_.clear();
        } else {
          while (!text_.empty() && IsContinuation(text_.back())) text_.pop_back();
          if (!text_.empty()) text_.pop_back();
        }
        selected_ = false;
      } else if (!typed.empty()) {
        if (selected_) text_.clear();
        selected_ = false;
        if (CharacterCount() < static_cast<std::size_t>(maxLength_)) text_ += typed;
      } else if (keysym == XK_Left || keysym == XK_Right || keysym == XK_End || keysym == XK_Home) {
        selected_ = false;
      }
      Redraw();
      break;
    }
    default:
      break;
  }
}

void TextEntry::Redraw() {
  if (!window_) return;
  GfxMemBitmap face(width_, height_);
  face.Fill(kFieldBack);
  GfxRect r{2, 0, width_ - 2, height_};
  GfxRect extent = r;
  DrawText(&face, style_, text_.c_str(), extent, true);
  if (selected_ && !text_.empty())
    FillRect(&face, std::max(0, extent.left), 1, std::min(width_, extent.Width() + 1), height_ - 2, kSelection);
  const int textHeight = extent.Height() > 0 ? extent.Height() : style_.size;
  r.top = std::max(0, (height_ - textHeight) / 2);
  DrawText(&face, style_, text_.c_str(), r, false);
  if (!selected_) {
    const int caret = text_.empty() ? (style_.align == kGfxAlignCentre ? width_ / 2
                                       : style_.align == kGfxAlignRight ? width_ - 3 : 2)
                                    : std::min(width_ - 2, extent.right + 1);
    FillRect(&face, caret, 2, 1, height_ - 4, style_.colour.Packed());
  }
  PutBitmap(display_, window_, gc_, face, {0, 0, width_, height_});
  XFlush(display_);
}

}  // namespace tessaron::x11
