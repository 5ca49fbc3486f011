#pragma once
// The library-wide cache of PNG resources. Every instance asks here; an image is known by
// its header from the first request, its pixels are decoded once, when first asked for,
// and it is kept until the library is unloaded, so the pointers handed out never dangle.
// Any thread; a global lock guards each lookup and insertion, a per-image one the decoding.
#include <cstddef>

#include "editor/GfxBitmap.h"

namespace tessaron {

// The cached image of the resource name ("img/knob.png"), loading it on first use.
// nullptr when the name does not end in "png" (any case) or the resource's header shows it
// cannot be decoded; an image whose data turns out corrupt later has no pixels.
IGfxBitmap* LoadCachedBitmap(const char* name);

// The cached image without loading; nullptr when not cached.
IGfxBitmap* FindCachedBitmap(const char* name);

std::size_t BitmapCacheSize();

}  // namespace tessaron
