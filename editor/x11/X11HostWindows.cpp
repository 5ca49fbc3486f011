#include "editor/x11/X11HostWindows.h"

#include "editor/x11/X11Common.h"

namespace tessaron::x11 {
namespace {

Display* AsDisplay(void* display) { return static_cast<Display*>(display); }

}  // namespace

HostWindows::~HostWindows() {
  if (display_) XCloseDisplay(AsDisplay(display_));
}

bool HostWindows::Open() {
  if (!display_) display_ = XOpenDisplay(nullptr);
  return display_ != nullptr;
}

std::vector<std::uintptr_t> HostWindows::Children(std::uintptr_t window) {
  std::vector<std::uintptr_t> result;
  if (!display_ || !window) return result;
  Display* d = AsDisplay(display_);
  // The host may have destroyed its window already; that error is ours, not the host's.
  ErrorTrap trap(d);
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (XQueryTree(d, static_cast<Window>(window), &root, &parent, &children, &count) && children) {
    result.assign(children, children + count);
    XFree(children);
  }
  trap.Failed();
  return result;
}

std::uintptr_t HostWindows::CreateHolder(int width, int height) {
  if (!display_ || width <= 0 || height <= 0) return 0;
  Display* d = AsDisplay(display_);
  ErrorTrap trap(d);
  const Window holder = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, static_cast<unsigned>(width),
                                            static_cast<unsigned>(height), 0, 0, 0);
  XStoreName(d, holder, "Tessaron");
  return trap.Failed() ? 0 : holder;
}

}  // namespace tessaron::x11
