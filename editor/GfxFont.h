#pragma once
// Fonts that render each glyph once through the system rasteriser and then draw from
// their glyph cache into any bitmap.
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "editor/GfxBitmap.h"
#include "editor/GfxSystemFont.h"

namespace tessaron {

enum : int { kGfxAlignLeft = 0, kGfxAlignCentre = 1, kGfxAlignRight = 2 };

// How a string is painted. Passed with every call rather than stored in the font, because
// one cached font serves every text style (and instance) with the same key.
struct GfxTextPaint {
  GfxPixel text = 0xFF000000;
  GfxPixel back = 0xFFFFFFFF;
  bool opaqueBack = false;  // fill the text's box with the back colour first
  double weight = 1.0;      // 0..1, scales the glyph coverage
};

class IGfxFont {
 public:
  virtual ~IGfxFont() = default;
  // Extent of a single line of text; false when the font cannot lay it out.
  virtual bool MeasureText(const char* text, int& width, int& height) = 0;
  // Draws one line with its box aligned horizontally in rect and its top on rect.top,
  // clipped to rect and to the bitmap.
  virtual bool DrawString(IGfxBitmap* dest, const char* text, const GfxRect& rect, int align,
                          const GfxTextPaint& paint) = 0;
  virtual int Ascent() const = 0;
  virtual int Descent() const = 0;
};

enum : uint32_t {
  kGfxFontNoAntialias = 1,  // coverage is thresholded to all or nothing
};

class GfxCachedFont final : public IGfxFont {
 public:
  GfxCachedFont(std::unique_ptr<GfxSystemFont> systemFont, uint32_t flags);

  bool MeasureText(const char* text, int& width, int& height) override;
  bool DrawString(IGfxBitmap* dest, const char* text, const GfxRect& rect, int align,
                  const GfxTextPaint& paint) override;
  int Ascent() const override { return system_->Ascent(); }
  int Descent() const override { return system_->Descent(); }

  std::size_t CachedGlyphCount();

 private:
  // Glyphs are never evicted, so a pointer handed out stays valid for the font's life.
  const GfxGlyph* Glyph(char32_t character);
  void Advance(const char* text, long long& dx, long long& dy);

  std::unique_ptr<GfxSystemFont> system_;
  uint32_t flags_;
  std::mutex lock_;  // guards the glyph cache and the rasteriser
  std::array<std::unique_ptr<GfxGlyph>, 256> latin_;
  std::unordered_map<char32_t, std::unique_ptr<GfxGlyph>> others_;
};

// Text is taken as UTF-8; bytes that do not form UTF-8 stand for themselves (Latin-1), so
// names saved by older tools still show.
char32_t GfxNextCharacter(const char*& text);

}  // namespace tessaron
