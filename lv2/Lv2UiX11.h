#pragma once
// What the LV2 UI asks of the X server itself, on a connection of its own: which window
// the panel made inside the host's, and a window to hold the panel for hosts that offer
// no parent. Windows travel as integers, so no X11 header reaches the UI's other files.
#include <cstdint>
#include <vector>

namespace tessaron::lv2 {

class Lv2UiX11 {
 public:
  Lv2UiX11() = default;
  Lv2UiX11(const Lv2UiX11&) = delete;
  Lv2UiX11& operator=(const Lv2UiX11&) = delete;
  // Closing the connection destroys the holder window with it.
  ~Lv2UiX11();

  bool Open();  // false without a display
  // The window's children, bottom to top; empty when the window is gone.
  std::vector<std::uintptr_t> Children(std::uintptr_t window);
  // An unmapped top-level window of the given size, for the host to reparent; 0 on failure.
  std::uintptr_t CreateHolder(int width, int height);

 private:
  void* display_ = nullptr;
};

}  // namespace tessaron::lv2
