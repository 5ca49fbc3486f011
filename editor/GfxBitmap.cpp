#include "editor/GfxBitmap.h"

#include <algorithm>

namespace tessaron {

bool GfxMemBitmap::Resize(int width, int height) {
  if (width < 0 || height < 0 || width > kGfxMaxBitmapSide || height > kGfxMaxBitmapSide) return false;
  if (width == 0 || height == 0) width = height = 0;
  pixels_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
  pixels_.shrink_to_fit();
  width_ = width;
  height_ = height;
  return true;
}

void GfxMemBitmap::Fill(GfxPixel p) { std::fill(pixels_.begin(), pixels_.end(), p); }

}  // namespace tessaron
