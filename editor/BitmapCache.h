#pragma once
// The library-wide cache of decoded PNG resources. Every instance asks here; an image is
// decoded once per library and kept until the library is unloaded, so the pointers handed
// out never dangle. Any thread; a global lock guards each lookup and insertion.
#include <cstddef>

#include "editor/GfxBitmap.h"

namespace tessaron {

// The cached image of the resource name ("img/knob.png"), loading it on first use.
// nullptr when the name does not end in "png" (any case) or the resource cannot be decoded.
IGfxBitmap* LoadCachedBitmap(const char* name);

// The cached image without loading; nullptr when not cached.
IGfxBitmap* FindCachedBitmap(const char* name);

std::size_t BitmapCacheSize();

}  // namespace tessaron
