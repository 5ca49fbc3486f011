// The drawing surface on X11: our own pixel buffer, wrapped in an XImage once a display is
// attached so the window code can XPutImage it straight from memory.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "editor/GfxSysBitmap.h"

namespace tessaron {

struct GfxSysBitmap::Native {
  GfxPixelBuffer pixels;  // zeroed without being touched: the window may never open
  int width = 0, height = 0;
  Display* display = nullptr;
  Visual* visual = nullptr;  // of the window the image is shown in
  int depth = 0;
  XImage* image = nullptr;

  void DropImage() {
    if (!image) return;
    image->data = nullptr;  // the buffer is ours, not Xlib's to free
    XDestroyImage(image);
    image = nullptr;
  }

  bool MakeImage() {
    DropImage();
    if (!display || pixels.Empty()) return display != nullptr;
    if (!visual || visual->c_class != TrueColor || (depth != 24 && depth != 32) || visual->red_mask != 0xFF0000 ||
        visual->green_mask != 0xFF00 || visual->blue_mask != 0xFF)
      return false;
    image =
        XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, reinterpret_cast<char*>(pixels.Data()),
                     static_cast<unsigned>(width), static_cast<unsigned>(height), 32, width * 4);
    if (!image) return false;
    // Pixels are native 32-bit words; Xlib swaps on the way out if the server differs.
    const uint32_t probe = 1;
    image->byte_order = *reinterpret_cast<const unsigned char*>(&probe) ? LSBFirst : MSBFirst;
    if (!XInitImage(image)) {
      DropImage();
      return false;
    }
    return true;
  }
};

GfxSysBitmap::GfxSysBitmap(int width, int height) : native_(std::make_unique<Native>()) { Resize(width, height); }

GfxSysBitmap::~GfxSysBitmap() { native_->DropImage(); }

GfxPixel* GfxSysBitmap::Pixels() { return native_->pixels.Data(); }
int GfxSysBitmap::Width() const { return native_->width; }
int GfxSysBitmap::Height() const { return native_->height; }
int GfxSysBitmap::Span() const { return native_->width; }
bool GfxSysBitmap::IsBottomUp() const { return false; }
void* GfxSysBitmap::DeviceContext() { return native_->image; }

bool GfxSysBitmap::Resize(int width, int height) {
  if (width < 0 || height < 0 || width > kGfxMaxBitmapSide || height > kGfxMaxBitmapSide) return false;
  if (width == 0 || height == 0) width = height = 0;
  GfxPixelBuffer pixels;
  if (!pixels.Assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height))) return false;
  native_->DropImage();
  native_->pixels.Swap(pixels);
  native_->width = width;
  native_->height = height;
  if (native_->display) native_->MakeImage();
  return true;
}

bool GfxSysBitmap::AttachDisplay(void* display, void* visual, int depth) {
  native_->display = static_cast<Display*>(display);
  native_->visual = static_cast<Visual*>(visual);
  native_->depth = depth;
  if (native_->display && !native_->visual) {
    const int screen = DefaultScreen(native_->display);
    native_->visual = DefaultVisual(native_->display, screen);
    native_->depth = DefaultDepth(native_->display, screen);
  }
  if (!native_->display) {
    native_->DropImage();
    return true;
  }
  if (native_->MakeImage()) return true;
  native_->display = nullptr;
  return false;
}

}  // namespace tessaron
