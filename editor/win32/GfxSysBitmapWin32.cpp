// The drawing surface on Windows: a top-down 32-bit DIB section selected into its own
// memory device context, so system text and the final copy to the window can use it.
#include <windows.h>

#include "editor/GfxSysBitmap.h"

namespace tessaron {

struct GfxSysBitmap::Native {
  HDC dc = nullptr;
  HBITMAP dib = nullptr;
  HGDIOBJ previous = nullptr;
  GfxPixel* pixels = nullptr;
  int width = 0, height = 0;

  void Drop() {
    if (dc && previous) SelectObject(dc, previous);
    if (dib) DeleteObject(dib);
    if (dc) DeleteDC(dc);
    dc = nullptr;
    dib = nullptr;
    previous = nullptr;
    pixels = nullptr;
    width = height = 0;
  }

  bool Make(int w, int h) {
    if (w == 0 || h == 0) return true;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;  // negative: rows top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc = CreateCompatibleDC(nullptr);
    if (!dc) return false;
    void* bits = nullptr;
    dib = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib || !bits) {
      Drop();
      return false;
    }
    previous = SelectObject(dc, dib);
    pixels = static_cast<GfxPixel*>(bits);
    width = w;
    height = h;
    return true;
  }
};

GfxSysBitmap::GfxSysBitmap(int width, int height) : native_(std::make_unique<Native>()) { Resize(width, height); }

GfxSysBitmap::~GfxSysBitmap() { native_->Drop(); }

GfxPixel* GfxSysBitmap::Pixels() { return native_->pixels; }
int GfxSysBitmap::Width() const { return native_->width; }
int GfxSysBitmap::Height() const { return native_->height; }
int GfxSysBitmap::Span() const { return native_->width; }
bool GfxSysBitmap::IsBottomUp() const { return false; }
void* GfxSysBitmap::DeviceContext() { return native_->dc; }

bool GfxSysBitmap::Resize(int width, int height) {
  if (width < 0 || height < 0 || width > kGfxMaxBitmapSide || height > kGfxMaxBitmapSide) return false;
  if (width == 0 || height == 0) width = height = 0;
  const int oldWidth = native_->width, oldHeight = native_->height;
  native_->Drop();
  if (native_->Make(width, height)) return true;
  native_->Make(oldWidth, oldHeight);
  return false;
}

bool GfxSysBitmap::AttachDisplay(void*, void*, int) { return true; }

}  // namespace tessaron
