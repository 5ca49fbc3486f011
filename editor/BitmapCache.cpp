#include "editor/BitmapCache.h"

#include <cctype>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "editor/GfxPng.h"
#include "platform/Resources.h"

namespace tessaron {
namespace {

// A resource image known by its header, its pixels decoded the first time anything asks
// for them: an instance builds its whole layout, but its window may never open. The
// resource stays in the module's memory as long as the cache does.
class ResourceBitmap final : public IGfxBitmap {
 public:
  ResourceBitmap(const uint8_t* data, std::size_t size, int width, int height)
      : data_(data), size_(size), width_(width), height_(height) {}

  GfxPixel* Pixels() override {
    std::call_once(decoded_, [this] {
      try {
        std::unique_ptr<GfxMemBitmap> bitmap = LoadPNGFromMemory(data_, size_);
        if (bitmap && bitmap->Width() == width_ && bitmap->Height() == height_) pixels_ = std::move(bitmap);
      } catch (const std::bad_alloc&) {
        // Drawn as an empty image, like one that would not decode.
      }
    });
    return pixels_ ? pixels_->Pixels() : nullptr;
  }
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  int Span() const override { return width_; }
  bool IsBottomUp() const override { return false; }
  // Shared by every instance: never resized.
  bool Resize(int, int) override { return false; }

 private:
  const uint8_t* data_;
  std::size_t size_;
  int width_, height_;
  std::once_flag decoded_;
  std::unique_ptr<GfxMemBitmap> pixels_;
};

struct Entry {
  std::string name;
  std::unique_ptr<IGfxBitmap> bitmap;
};

// Function-local statics: built on first use, whichever instance comes first.
std::mutex& CacheLock() {
  static std::mutex lock;
  return lock;
}
std::vector<Entry>& Entries() {
  static std::vector<Entry> entries;
  return entries;
}

bool EndsInPng(const char* name) {
  const std::size_t n = std::strlen(name);
  if (n < 3) return false;
  const char* tail = name + n - 3;
  return std::tolower(static_cast<unsigned char>(tail[0])) == 'p' &&
         std::tolower(static_cast<unsigned char>(tail[1])) == 'n' &&
         std::tolower(static_cast<unsigned char>(tail[2])) == 'g';
}

IGfxBitmap* FindLocked(const char* name) {
  for (Entry& e : Entries())
    if (e.name == name) return e.bitmap.get();
  return nullptr;
}

}  // namespace

IGfxBitmap* LoadCachedBitmap(const char* name) {
  if (!name || !EndsInPng(name)) return nullptr;
  std::lock_guard<std::mutex> lock(CacheLock());
  if (IGfxBitmap* found = FindLocked(name)) return found;
  const platform::ResourceData res = platform::FindResourceData("PNG", name);
  int width = 0, height = 0;
  if (!res || !ReadPNGSize(res.data, res.size, &width, &height)) return nullptr;
  auto bitmap = std::make_unique<ResourceBitmap>(res.data, res.size, width, height);
  IGfxBitmap* raw = bitmap.get();
  Entries().push_back({name, std::move(bitmap)});
  return raw;
}

IGfxBitmap* FindCachedBitmap(const char* name) {
  if (!name) return nullptr;
  std::lock_guard<std::mutex> lock(CacheLock());
  return FindLocked(name);
}

std::size_t BitmapCacheSize() {
  std::lock_guard<std::mutex> lock(CacheLock());
  return Entries().size();
}

}  // namespace tessaron
