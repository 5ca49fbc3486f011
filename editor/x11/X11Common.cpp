#include "editor/x11/X11Common.h"

#include <poll.h>

#include <algorithm>
#include <vector>

#include "editor/GfxDraw.h"

#include <X11/keysym.h>

namespace tessaron::x11 {
namespace {

// The display whose errors are being trapped, and whether one came. Xlib calls the
// handler on the thread making the failing request, which is ours while a trap lives.
thread_local Display* trappedDisplay = nullptr;
thread_local bool trappedFailed = false;
XErrorHandler outerHandler = nullptr;

int TrapHandler(Display* display, XErrorEvent* error) {
  if (display == trappedDisplay) {
    trappedFailed = true;
    return 0;
  }
  return outerHandler ? outerHandler(display, error) : 0;
}

int ShiftOf(unsigned long mask) {
  int s = 0;
  while (mask && !(mask & 1)) {
    mask >>= 1;
    ++s;
  }
  return s;
}

unsigned long Scale(int channel, unsigned long mask) {
  if (!mask) return 0;
  const unsigned long max = mask >> ShiftOf(mask);
  return (static_cast<unsigned long>(channel) * max / 255) << ShiftOf(mask);
}

}  // namespace

ErrorTrap::ErrorTrap(Display* display) : display_(display), outerDisplay_(trappedDisplay), outerFailed_(trappedFailed) {
  trappedDisplay = display_;
  previous_ = XSetErrorHandler(TrapHandler);
  if (previous_ != TrapHandler) outerHandler = previous_;
  // Everything on this connection is ours: errors of earlier requests are swallowed too,
  // though they do not count against this trap.
  if (display_) XSync(display_, False);
  trappedFailed = false;
}

ErrorTrap::~ErrorTrap() {
  if (display_) XSync(display_, False);
  XSetErrorHandler(previous_);
  trappedDisplay = outerDisplay_;
  trappedFailed = outerFailed_;
}

bool ErrorTrap::Failed() {
  if (display_) XSync(display_, False);
  return trappedFailed;
}

bool WindowExists(Display* display, Window window) {
  if (!display || !window) return false;
  ErrorTrap trap(display);
  XWindowAttributes attributes;
  const Status ok = XGetWindowAttributes(display, window, &attributes);
  return ok != 0 && !trap.Failed();
}

WindowVisual WindowVisual::Default(Display* display) {
  const int screen = DefaultScreen(display);
  return {DefaultVisual(display, screen), DefaultDepth(display, screen)};
}

bool WindowVisual::TakesBgra() const {
  return visual && visual->c_class == TrueColor && (depth == 24 || depth == 32) && visual->red_mask == 0xFF0000 &&
         visual->green_mask == 0xFF00 && visual->blue_mask == 0xFF;
}

unsigned long WindowVisual::AlphaMask() const {
  if (!visual || depth != 32) return 0;
  return 0xFFFFFFFFul & ~(visual->red_mask | visual->green_mask | visual->blue_mask);
}

void PutBitmap(Display* display, Window window, GC gc, IGfxBitmap& bitmap, const GfxRect& area, int dx, int dy) {
  PutBitmap(display, window, gc, WindowVisual::Default(display), bitmap, area, dx, dy);
}

void PutBitmap(Display* display, Window window, GC gc, const WindowVisual& target, IGfxBitmap& bitmap,
               const GfxRect& area, int dx, int dy) {
  GfxRect r{std::max(0, area.left), std::max(0, area.top), std::min(bitmap.Width(), area.right),
            std::min(bitmap.Height(), area.bottom)};
  if (r.Empty() || bitmap.IsEmpty() || !target.visual) return;
  Visual* visual = target.visual;
  const int w = r.Width(), h = r.Height();
  if (target.TakesBgra() && !target.AlphaMask() && !bitmap.IsBottomUp()) {
    XImage* image = XCreateImage(display, visual, static_cast<unsigned>(target.depth), ZPixmap, 0,
                                 reinterpret_cast<char*>(bitmap.Row(r.top) + r.left), static_cast<unsigned>(w),
                                 static_cast<unsigned>(h), 32, bitmap.Span() * 4);
    if (!image) return;
    const uint32_t probe = 1;
    image->byte_order = *reinterpret_cast<const unsigned char*>(&probe) ? LSBFirst : MSBFirst;
    XInitImage(image);
    XPutImage(display, window, gc, image, 0, 0, r.left + dx, r.top + dy, static_cast<unsigned>(w),
              static_cast<unsigned>(h));
    image->data = nullptr;
    XDestroyImage(image);
    return;
  }
  // Any other visual: convert through Xlib's own image.
  XImage* image = XCreateImage(display, visual, static_cast<unsigned>(target.depth), ZPixmap, 0, nullptr,
                               static_cast<unsigned>(w), static_cast<unsigned>(h), 32, 0);
  if (!image) return;
  image->data = static_cast<char*>(malloc(static_cast<std::size_t>(image->bytes_per_line) * h));
  if (!image->data) {
    XDestroyImage(image);
    return;
  }
  const unsigned long alpha = target.AlphaMask();
  for (int y = 0; y < h; ++y) {
    const GfxPixel* row = bitmap.Row(r.top + y) + r.left;
    for (int x = 0; x < w; ++x) {
      const GfxPixel p = row[x];
      XPutPixel(image, x, y,
                alpha | Scale(GfxRed(p), visual->red_mask) | Scale(GfxGreen(p), visual->green_mask) |
                    Scale(GfxBlue(p), visual->blue_mask));
    }
  }
  XPutImage(display, window, gc, image, 0, 0, r.left + dx, r.top + dy, static_cast<unsigned>(w),
            static_cast<unsigned>(h));
  XDestroyImage(image);  // frees the converted pixels too
}

bool PointerOnRoot(Display* display, int& x, int& y) {
  Window root, child;
  int wx, wy;
  unsigned mask;
  return XQueryPointer(display, DefaultRootWindow(display), &root, &child, &x, &y, &wx, &wy, &mask) != 0;
}

std::string KeyText(XKeyEvent& event, KeySym& keysym) {
  char buffer[8] = {};
  const int n = XLookupString(&event, buffer, sizeof(buffer) - 1, &keysym, nullptr);
  std::string out;
  for (int i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(buffer[i]);
    if (c < 0x20 || c == 0x7F) continue;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

GfxTextStyle Theme::Text(GfxPixel colour, int size) {
  return GfxTextStyle("Arial", size, GfxColour{GfxAlpha(colour), GfxRed(colour), GfxGreen(colour), GfxBlue(colour)});
}

void DrawFrame(IGfxBitmap& bitmap, GfxPixel fill, GfxPixel border) {
  const int w = bitmap.Width(), h = bitmap.Height();
  FillRect(&bitmap, 0, 0, w, h, border);
  FillRect(&bitmap, 1, 1, w - 2, h - 2, fill);
}

int TextWidth(const std::string& text, int size) {
  if (text.empty()) return 0;
  GfxTextStyle style = Theme::Text(Theme::kText, size);
  GfxRect r{0, 0, 1, 1};
  GfxMemBitmap probe(1, 1);
  if (!DrawText(&probe, style, text.c_str(), r, true)) return static_cast<int>(text.size()) * size / 2;
  return r.Width();
}

Window CreatePopupWindow(Display* display, int x, int y, int width, int height, long eventMask) {
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.event_mask = eventMask;
  attributes.save_under = True;
  return XCreateWindow(display, DefaultRootWindow(display), x, y, static_cast<unsigned>(std::max(1, width)),
                       static_cast<unsigned>(std::max(1, height)), 0, CopyFromParent, InputOutput, CopyFromParent,
                       CWOverrideRedirect | CWEventMask | CWSaveUnder, &attributes);
}

bool WaitForEvent(Display* display, int timeoutMs) {
  if (XPending(display)) return true;
  pollfd fd{ConnectionNumber(display), POLLIN, 0};
  if (poll(&fd, 1, timeoutMs) <= 0) return false;
  return XPending(display) > 0;
}

Window TopLevelOf(Display* display, Window window) {
  if (!display || !window) return window;
  ErrorTrap trap(display);
  const Atom wmState = XInternAtom(display, "WM_STATE", False);
  Window managed = 0, top = window;
  for (Window at = window; at;) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, at, wmState, 0, 0, False, AnyPropertyType, &type, &format, &count, &after, &data) ==
            Success &&
        type != None)
      managed = at;
    if (data) XFree(data);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(display, at, &root, &parent, &children, &n)) break;
    if (children) XFree(children);
    top = at;
    if (!parent || parent == root) break;
    at = parent;
  }
  if (trap.Failed() && !managed) return window;
  return managed ? managed : top;
}

}  // namespace tessaron::x11
