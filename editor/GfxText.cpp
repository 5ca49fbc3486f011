#include "editor/GfxText.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tessaron {
namespace {

struct FontKey {
  int size, orientation, style;
  std::string face;
  bool operator==(const FontKey&) const = default;
};

struct FontCache {
  std::mutex lock;
  std::vector<std::pair<FontKey, std::unique_ptr<IGfxFont>>> fonts;
};

FontCache& Cache() {
  static FontCache cache;
  return cache;
}

std::string BoundedFace(const char* face) { return std::string(face, strnlen(face, kGfxFaceNameLength - 1)); }

}  // namespace

GfxTextStyle::GfxTextStyle(const char* faceName, int sizePx, GfxColour textColour, int textStyle, int alignment,
                           int orientationDeg, int textQuality)
    : size(sizePx),
      colour(textColour),
      style(textStyle),
      align(alignment),
      orientation(orientationDeg),
      quality(textQuality) {
  SetFace(faceName);
}

void GfxTextStyle::SetFace(const char* faceName) {
  const std::string f = faceName ? BoundedFace(faceName) : std::string();
  std::memcpy(face, f.c_str(), f.size() + 1);
  font = nullptr;
}

IGfxFont* GfxFontFor(GfxTextStyle& style) {
  if (style.font) return style.font;
  FontKey key{style.size, style.orientation, style.style, BoundedFace(style.face)};
  FontCache& cache = Cache();
  std::lock_guard<std::mutex> hold(cache.lock);
  for (auto& entry : cache.fonts) {
    if (entry.first == key) return style.font = entry.second.get();
  }
  GfxFontRequest request;
  request.height = style.size;
  request.weight = style.style == kGfxTextBold ? kGfxWeightBold : kGfxWeightNormal;
  request.italic = style.style == kGfxTextItalic;
  request.escapement = request.orientation = style.orientation * 10;
  request.quality = style.quality;
  request.face = key.face;
  auto system = GfxSystemFont::Create(request);
  if (!system) return nullptr;
  const uint32_t flags = style.quality == kGfxQualityNonAntialiased ? uint32_t{kGfxFontNoAntialias} : 0u;
  cache.fonts.emplace_back(key, std::make_unique<GfxCachedFont>(std::move(system), flags));
  return style.font = cache.fonts.back().second.get();
}

std::size_t GfxFontCacheSize() {
  FontCache& cache = Cache();
  std::lock_guard<std::mutex> hold(cache.lock);
  return cache.fonts.size();
}

bool DrawText(IGfxBitmap* surface, GfxTextStyle& style, const char* text, GfxRect& rect, bool measureOnly) {
  if (!text || !*text) return true;
  IGfxFont* font = GfxFontFor(style);
  if (!font) return false;

  if (measureOnly) {
    int width = 0, height = 0;
    if (!font->MeasureText(text, width, height)) return false;
    if (style.align == kGfxAlignCentre) {
      const int centre = (rect.left + rect.right) / 2;
      rect.left = centre - width / 2;
      rect.right = rect.left + width;
    } else if (style.align == kGfxAlignRight) {
      rect.left = rect.right - width;
    } else {
      rect.right = rect.left + width;
    }
    rect.bottom = rect.top + height;
    return true;
  }

  GfxTextPaint paint;
  paint.text = style.colour.Packed();
  // A translucent colour draws its glyphs at the colour's alpha as weight.
  paint.weight = style.colour.A >= 255 ? 1.0 : std::max(0, style.colour.A) / 255.0;
  return font->DrawString(surface, text, rect, style.align, paint);
}

}  // namespace tessaron
