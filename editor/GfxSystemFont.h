#pragma once
// The window system's font rasteriser behind one OS-neutral interface: FreeType with
// fontconfig on X11, GDI on Windows. Cached fonts (GfxFont.h) ask it for each glyph once.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tessaron {

enum : int {
  kGfxQualityDefault = 0,
  kGfxQualityNonAntialiased = 1,
  kGfxQualityAntialiased = 2,
  kGfxQualityClearType = 3
};
enum : int { kGfxWeightNormal = 400, kGfxWeightBold = 700 };

struct GfxFontRequest {
  int height = 12;  // cell height in pixels: ascent plus descent
  int weight = kGfxWeightNormal;
  bool italic = false;
  int escapement = 0;   // baseline angle in tenths of a degree, counter-clockwise
  int orientation = 0;  // glyph angle; the rasterisers turn glyphs with the baseline
  int quality = kGfxQualityDefault;
  std::string face;
};

// A rendered glyph as coverage, placed relative to the pen on the baseline.
struct GfxGlyph {
  int width = 0, height = 0;
  int left = 0;      // from the pen to the first column
  int top = 0;       // from the baseline up to the first row
  int advanceX = 0;  // pen movement in 1/64 pixel, y pointing down
  int advanceY = 0;
  std::vector<uint8_t> coverage;  // width × height, 0 (none) to 255 (full)
};

class GfxSystemFont {
 public:
  // nullptr when no usable face can be found or opened.
  static std::unique_ptr<GfxSystemFont> Create(const GfxFontRequest& request);
  virtual ~GfxSystemFont() = default;
  virtual int Ascent() const = 0;
  virtual int Descent() const = 0;
  // False when the font cannot render the character at all.
  virtual bool RenderGlyph(char32_t character, GfxGlyph& glyph) = 0;
  // The system's own extent of one line of UTF-8 text, where the system measures text;
  // false leaves the measuring to the cached glyph advances.
  virtual bool MeasureText(const char* /*text*/, int& /*width*/, int& /*height*/) { return false; }
};

#if defined(_WIN32)
// True under Wine (the key "Software\Wine" exists under the local machine), checked
// once. There the system's text extents are not trusted and the cached font measures.
bool GfxRunsUnderWine();
#endif

}  // namespace tessaron
