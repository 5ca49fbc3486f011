#pragma once
// What a plug-in UI standard asks of the X server beyond the editor, on a connection of its
// own: which window the panel made inside the host's, and a window to hold the panel for
// hosts that offer no parent. Windows travel as integers, so no X11 header reaches callers.
#include <cstdint>
#include <vector>

namespace tessaron::x11 {

class HostWindows {
 public:
  HostWindows() = default;
  HostWindows(const HostWindows&) = delete;
  HostWindows& operator=(const HostWindows&) = delete;
  // Closing the connection destroys the holder window with it.
  ~HostWindows();

  bool Open();  // false without a display
  // The window's children, bottom to top; empty when the window is gone.
  std::vector<std::uintptr_t> Children(std::uintptr_t window);
  // An unmapped top-level window of the given size, for the host to reparent; 0 on failure.
  std::uintptr_t CreateHolder(int width, int height);

 private:
  void* display_ = nullptr;
};

}  // namespace tessaron::x11
