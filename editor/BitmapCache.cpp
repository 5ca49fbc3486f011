#include "editor/BitmapCache.h"

#include <cctype>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "editor/GfxPng.h"

namespace tessaron {
namespace {

struct Entry {
  std::string name;
  std::unique_ptr<GfxMemBitmap> bitmap;
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
  std::unique_ptr<GfxMemBitmap> bitmap = LoadPNGFromResource(name);
  if (!bitmap) return nullptr;
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
