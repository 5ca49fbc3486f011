#pragma once
// The drawing layer's bitmap model: 32-bit pixels, alpha in bits 24-31, red 16-23,
// green 8-15, blue 0-7 (bytes blue, green, red, alpha in memory on little-endian hosts).
#include <cstddef>
#include <cstdint>

namespace tessaron {

using GfxPixel = uint32_t;

constexpr GfxPixel GfxPack(int a, int r, int g, int b) {
  return (static_cast<GfxPixel>(a & 0xFF) << 24) | (static_cast<GfxPixel>(r & 0xFF) << 16) |
         (static_cast<GfxPixel>(g & 0xFF) << 8) | static_cast<GfxPixel>(b & 0xFF);
}
constexpr int GfxAlpha(GfxPixel p) { return static_cast<int>(p >> 24); }
constexpr int GfxRed(GfxPixel p) { return static_cast<int>((p >> 16) & 0xFF); }
constexpr int GfxGreen(GfxPixel p) { return static_cast<int>((p >> 8) & 0xFF); }
constexpr int GfxBlue(GfxPixel p) { return static_cast<int>(p & 0xFF); }

// Half-open rectangle: left and top inside, right and bottom just outside.
struct GfxRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Empty() const { return right <= left || bottom <= top; }
};

constexpr uint32_t GfxFourCC(char a, char b, char c, char d) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(a)) << 24) |
         (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 8) | static_cast<uint32_t>(static_cast<uint8_t>(d));
}

// Virtual slots in this order; the destructor is the "destroy" operation.
class IGfxBitmap {
 public:
  virtual ~IGfxBitmap() = default;
  virtual GfxPixel* Pixels() = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual int Span() const = 0;  // row distance in pixels
  virtual bool IsBottomUp() const = 0;
  // Contents are undefined afterwards; false (with the old size kept) when refused.
  virtual bool Resize(int width, int height) = 0;
  // The window system's drawing handle for system bitmaps; nullptr for memory bitmaps.
  virtual void* DeviceContext() { return nullptr; }
  virtual void* QueryExtension(uint32_t /*fourcc*/) { return nullptr; }

  // Row y counted from the top whatever the storage order.
  GfxPixel* Row(int y) { return Pixels() + static_cast<std::ptrdiff_t>(IsBottomUp() ? Height() - 1 - y : y) * Span(); }
  GfxPixel PixelAt(int x, int y) { return Row(y)[x]; }
  bool IsEmpty() { return Pixels() == nullptr || Width() <= 0 || Height() <= 0; }
};

// Side length above which a bitmap is refused rather than allocated.
constexpr int kGfxMaxBitmapSide = 16384;

// Zeroed pixel storage from calloc: memory fresh from the system is zero already and is
// not touched, so a large surface costs next to nothing until something draws into it.
class GfxPixelBuffer {
 public:
  GfxPixelBuffer() = default;
  GfxPixelBuffer(const GfxPixelBuffer& other);
  GfxPixelBuffer(GfxPixelBuffer&& other) noexcept : pixels_(other.pixels_), size_(other.size_) {
    other.pixels_ = nullptr;
    other.size_ = 0;
  }
  GfxPixelBuffer& operator=(GfxPixelBuffer other) noexcept {
    Swap(other);
    return *this;
  }
  ~GfxPixelBuffer();

  // count zero pixels; false, with the old contents kept, when the memory is not there.
  bool Assign(std::size_t count);
  GfxPixel* Data() { return pixels_; }
  std::size_t Size() const { return size_; }
  bool Empty() const { return size_ == 0; }
  void Swap(GfxPixelBuffer& other) noexcept {
    GfxPixel* p = pixels_;
    pixels_ = other.pixels_;
    other.pixels_ = p;
    const std::size_t n = size_;
    size_ = other.size_;
    other.size_ = n;
  }

 private:
  GfxPixel* pixels_ = nullptr;
  std::size_t size_ = 0;
};

class GfxMemBitmap final : public IGfxBitmap {
 public:
  GfxMemBitmap() = default;
  GfxMemBitmap(int width, int height) { Resize(width, height); }

  GfxPixel* Pixels() override { return pixels_.Data(); }
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  int Span() const override { return width_; }
  bool IsBottomUp() const override { return false; }
  bool Resize(int width, int height) override;

  void Fill(GfxPixel p);

 private:
  GfxPixelBuffer pixels_;
  int width_ = 0, height_ = 0;
};

}  // namespace tessaron
