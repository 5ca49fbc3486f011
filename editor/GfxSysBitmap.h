#pragma once
// The editor's drawing surface: pixels the window system can copy to a window directly
// (an XImage over our buffer on X11, a DIB section with its device context on Windows).
// Without a window system attached it is an ordinary top-down bitmap, which is what
// off-screen snapshots draw into.
#include <memory>

#include "editor/GfxBitmap.h"

namespace tessaron {

class GfxSysBitmap final : public IGfxBitmap {
 public:
  GfxSysBitmap(int width, int height);
  ~GfxSysBitmap() override;
  GfxSysBitmap(const GfxSysBitmap&) = delete;
  GfxSysBitmap& operator=(const GfxSysBitmap&) = delete;

  GfxPixel* Pixels() override;
  int Width() const override;
  int Height() const override;
  int Span() const override;
  bool IsBottomUp() const override;
  bool Resize(int width, int height) override;
  // XImage* on X11 once a display is attached, HDC on Windows; nullptr otherwise.
  void* DeviceContext() override;

  // Binds the pixels to the window system (an X11 Display* with the Visual* and depth of
  // the window they are shown in, the screen's default when visual is null; ignored on
  // Windows). False when that visual cannot show 32-bit BGRA pixels without conversion.
  bool AttachDisplay(void* display, void* visual = nullptr, int depth = 0);

 private:
  struct Native;
  std::unique_ptr<Native> native_;
};

}  // namespace tessaron
