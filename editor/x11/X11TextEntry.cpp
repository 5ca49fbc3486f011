#include "editor/x11/X11TextEntry.h"

#include <algorithm>
#include <cstdlib>

#include "editor/GfxDraw.h"
#include "editor/x11/X11Common.h"
#include "host/Text.h"

#include <X11/keysym.h>

namespace tessaron::x11 {
namespace {

constexpr GfxPixel kFieldBack = 0xFF101214;
constexpr GfxPixel kSelection = 0xFF3D6E9E;
constexpr int kMargin = 2;

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Pasted text as one line of whole UTF-8 characters: line breaks and tabs become blanks;
// other control characters and broken sequences are dropped.
std::string SingleLine(const std::string& in) {
  std::string out;
  for (std::size_t i = 0; i < in.size();) {
    const unsigned char c = static_cast<unsigned char>(in[i]);
    if (c < 0x80) {
      if (c == '\n' || c == '\t')
        out += ' ';
      else if (c >= 0x20 && c != 0x7F)
        out += static_cast<char>(c);
      ++i;
      continue;
    }
    const std::size_t length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    bool whole = length > 0 && i + length <= in.size();
    for (std::size_t k = 1; whole && k < length; ++k) whole = IsContinuation(in[i + k]);
    if (whole) out.append(in, i, length);
    i += whole ? length : 1;
  }
  return out;
}

}  // namespace

TextEntry::TextEntry(Display* display, ::Window parent, const WindowVisual& visual, const GfxRect& rect,
                     const char* text, const GfxTextStyle& style, int maxLength, Clipboard* clipboard, Notify notify)
    : display_(display),
      visual_(visual),
      width_(std::max(8, rect.Width())),
      height_(std::max(8, rect.Height())),
      text_(text ? text : ""),
      style_(style),
      maxLength_(static_cast<std::size_t>(std::max(1, maxLength))),
      clipboard_(clipboard),
      notify_(std::move(notify)) {
  caret_ = text_.size();
  style_.font = nullptr;  // the font is looked up again for this copy of the style
  style_.colour.A = 255;  // the field is opaque, so its text is too
  ErrorTrap trap(display_);
  XSetWindowAttributes attributes{};
  attributes.event_mask = ExposureMask | KeyPressMask | FocusChangeMask | ButtonPressMask | Button1MotionMask;
  // Same visual and depth as the editor's window, so the pixels are built the same way.
  window_ = XCreateWindow(display_, parent, rect.left, rect.top, static_cast<unsigned>(width_),
                          static_cast<unsigned>(height_), 0, CopyFromParent, InputOutput, CopyFromParent, CWEventMask,
                          &attributes);
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

std::size_t TextEntry::Previous(std::size_t at) const {
  if (at == 0) return 0;
  --at;
  while (at > 0 && IsContinuation(text_[at])) --at;
  return at;
}

std::size_t TextEntry::Next(std::size_t at) const {
  if (at >= text_.size()) return text_.size();
  ++at;
  while (at < text_.size() && IsContinuation(text_[at])) ++at;
  return at;
}

std::string TextEntry::Selection() const {
  const std::size_t from = std::min(anchor_, caret_), to = std::max(anchor_, caret_);
  return text_.substr(from, to - from);
}

void TextEntry::EraseSelection() {
  const std::size_t from = std::min(anchor_, caret_), to = std::max(anchor_, caret_);
  text_.erase(from, to - from);
  caret_ = anchor_ = from;
}

void TextEntry::Insert(const std::string& text) {
  EraseSelection();
  const std::size_t room = maxLength_ > text_.size() ? maxLength_ - text_.size() : 0;
  const std::size_t take = Utf8PrefixLength(text.c_str(), text.size(), room);
  text_.insert(caret_, text, 0, take);
  caret_ = anchor_ = caret_ + take;
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
      if (event.xbutton.button != Button1) break;
      caret_ = BoundaryNear(event.xbutton.x);
      if (!(event.xbutton.state & ShiftMask)) anchor_ = caret_;
      XSetInputFocus(display_, window_, RevertToParent, event.xbutton.time);
      Redraw();
      break;
    case MotionNotify:
      while (XCheckTypedWindowEvent(display_, window_, MotionNotify, &event)) {
      }
      caret_ = BoundaryNear(event.xmotion.x);
      Redraw();
      break;
    case KeyPress: HandleKey(event.xkey); break;
    default: break;
  }
}

void TextEntry::HandleKey(XKeyEvent& key) {
  KeySym keysym = NoSymbol;
  const std::string typed = KeyText(key, keysym);
  const bool shift = key.state & ShiftMask;
  const bool control = key.state & ControlMask;
  // Moves the caret; without Shift the selection collapses to it.
  auto move = [&](std::size_t to) {
    caret_ = to;
    if (!shift) anchor_ = caret_;
  };
  switch (keysym) {
    case XK_Return:
    case XK_KP_Enter: notify_(TextEntryEvent::kEnter); return;
    case XK_Escape: notify_(TextEntryEvent::kEscape); return;
    case XK_Left:
    case XK_KP_Left: move(HasSelection() && !shift ? std::min(anchor_, caret_) : Previous(caret_)); break;
    case XK_Right:
    case XK_KP_Right: move(HasSelection() && !shift ? std::max(anchor_, caret_) : Next(caret_)); break;
    case XK_Home:
    case XK_KP_Home: move(0); break;
    case XK_End:
    case XK_KP_End: move(text_.size()); break;
    case XK_BackSpace:
      if (!HasSelection()) anchor_ = Previous(caret_);
      EraseSelection();
      break;
    case XK_Delete:
    case XK_KP_Delete:
      if (!HasSelection()) anchor_ = Next(caret_);
      EraseSelection();
      break;
    case XK_a:
    case XK_A:
    case XK_c:
    case XK_C:
    case XK_x:
    case XK_X:
    case XK_v:
    case XK_V:
      if (control) {
        const KeySym letter = keysym | 0x20;  // lower case
        if (letter == XK_a) {
          anchor_ = 0;
          caret_ = text_.size();
        } else if (letter == XK_v) {
          if (clipboard_) Insert(SingleLine(clipboard_->Text()));
        } else if (HasSelection() && clipboard_) {
          clipboard_->Set(Selection(), key.time);
          if (letter == XK_x) EraseSelection();
        }
        break;
      }
      [[fallthrough]];
    default:
      if (control || typed.empty()) return;
      Insert(typed);
      break;
  }
  Redraw();
}

int TextEntry::WidthOf(const std::string& text) {
  if (text.empty()) return 0;
  GfxMemBitmap probe(1, 1);
  GfxTextStyle left = style_;
  left.align = kGfxAlignLeft;
  GfxRect r{0, 0, width_, height_};
  DrawText(&probe, left, text.c_str(), r, true);
  return r.Width();
}

int TextEntry::Origin() {
  const int room = width_ - 2 * kMargin, total = WidthOf(text_);
  if (total > room) return kMargin - scroll_;
  if (style_.align == kGfxAlignCentre) return kMargin + (room - total) / 2;
  if (style_.align == kGfxAlignRight) return width_ - kMargin - total;
  return kMargin;
}

int TextEntry::XOf(std::size_t at) { return Origin() + WidthOf(text_.substr(0, at)); }

std::size_t TextEntry::BoundaryNear(int x) {
  std::size_t best = 0;
  int bestDistance = std::abs(XOf(0) - x);
  for (std::size_t at = Next(0); at > best; best = at, at = Next(at)) {
    const int distance = std::abs(XOf(at) - x);
    if (distance >= bestDistance) return best;
    bestDistance = distance;
  }
  return best;
}

void TextEntry::Redraw() {
  if (!window_) return;
  // Text wider than the field scrolls so that the caret stays in view.
  const int room = width_ - 2 * kMargin, total = WidthOf(text_);
  if (total > room) {
    const int caret = WidthOf(text_.substr(0, caret_));
    if (caret - scroll_ > room) scroll_ = caret - room;
    if (caret < scroll_) scroll_ = caret;
    scroll_ = std::clamp(scroll_, 0, total - room);
  } else {
    scroll_ = 0;
  }
  GfxMemBitmap face(width_, height_);
  face.Fill(kFieldBack);
  if (HasSelection()) {
    const int from = std::max(0, XOf(std::min(anchor_, caret_)));
    const int to = std::min(width_, XOf(std::max(anchor_, caret_)) + 1);
    if (to > from) FillRect(&face, from, 1, to - from, height_ - 2, kSelection);
  }
  GfxTextStyle left = style_;
  left.align = kGfxAlignLeft;
  GfxRect extent{0, 0, width_, height_};
  DrawText(&face, left, text_.c_str(), extent, true);
  const int textHeight = extent.Height() > 0 ? extent.Height() : style_.size;
  const int origin = Origin();
  GfxRect r{origin, std::max(0, (height_ - textHeight) / 2), origin + total + 1, height_};
  DrawText(&face, left, text_.c_str(), r, false);
  if (!HasSelection())
    FillRect(&face, std::clamp(XOf(caret_), 0, width_ - 1), 2, 1, height_ - 4, style_.colour.Packed());
  ErrorTrap trap(display_);
  PutBitmap(display_, window_, gc_, visual_, face, {0, 0, width_, height_});
  XFlush(display_);
}

}  // namespace tessaron::x11
