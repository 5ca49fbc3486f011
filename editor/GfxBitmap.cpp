#include "editor/GfxBitmap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace tessaron {

GfxPixelBuffer::GfxPixelBuffer(const GfxPixelBuffer& other) {
  if (other.Empty()) return;
  auto* copy = static_cast<GfxPixel*>(std::malloc(other.size_ * sizeof(GfxPixel)));
  if (!copy) throw std::bad_alloc();
  std::memcpy(copy, other.pixels_, other.size_ * sizeof(GfxPixel));
  pixels_ = copy;
  size_ = other.size_;
}

GfxPixelBuffer::~GfxPixelBuffer() { std::free(pixels_); }

bool GfxPixelBuffer::Assign(std::size_t count) {
  GfxPixel* fresh = nullptr;
  if (count > 0) {
    fresh = static_cast<GfxPixel*>(std::calloc(count, sizeof(GfxPixel)));
    if (!fresh) return false;
  }
  std::free(pixels_);
  pixels_ = fresh;
  size_ = count;
  return true;
}

bool GfxMemBitmap::Resize(int width, int height) {
  if (width < 0 || height < 0 || width > kGfxMaxBitmapSide || height > kGfxMaxBitmapSide) return false;
  if (width == 0 || height == 0) width = height = 0;
  if (!pixels_.Assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height))) return false;
  width_ = width;
  height_ = height;
  return true;
}

void GfxMemBitmap::Fill(GfxPixel p) { std::fill(pixels_.Data(), pixels_.Data() + pixels_.Size(), p); }

}  // namespace tessaron
