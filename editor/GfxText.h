#pragma once
// Text styles, the library-wide font cache and the editor's text drawing.
#include <cstddef>
#include <cstdint>

#include "editor/GfxBitmap.h"
#include "editor/GfxFont.h"

// <windows.h> maps DrawText to DrawTextA or DrawTextW; this layer's DrawText must keep its
// one name in every translation unit. Window code calls the system's DrawTextW by name.
#ifdef DrawText
#undef DrawText
#endif

namespace tessaron {

constexpr int kGfxFaceNameLength = 32;  // including the terminating NUL

enum : int { kGfxTextNormal = 0, kGfxTextBold = 1, kGfxTextItalic = 2 };

struct GfxColour {
  int A = 255, R = 0, G = 0, B = 0;
  GfxPixel Packed() const { return GfxPack(A, R, G, B); }
};

struct GfxTextStyle {
  char face[kGfxFaceNameLength] = "Verdana";
  int size = 12;  // pixels
  GfxColour colour;
  int style = kGfxTextNormal;
  int align = kGfxAlignLeft;
  int orientation = 0;  // degrees, counter-clockwise
  int quality = kGfxQualityDefault;
  IGfxFont* font = nullptr;  // from the font cache, set on first use; never owned

  GfxTextStyle() = default;
  GfxTextStyle(const char* faceName, int sizePx, GfxColour textColour, int textStyle = kGfxTextNormal,
               int alignment = kGfxAlignLeft, int orientationDeg = 0, int textQuality = kGfxQualityDefault);
  void SetFace(const char* faceName);  // cut to fit, always terminated
};

// The font for the style's (size, orientation, style, face), created and cached on first
// use and stored in style.font; nullptr when no system font can be made.
// Fonts live until the library is unloaded.
IGfxFont* GfxFontFor(GfxTextStyle& style);
std::size_t GfxFontCacheSize();

// Draws text with the style into surface, clipped to rect. When measuring, nothing is
// drawn and rect takes the text's extent instead, kept in place by the alignment.
// An empty text succeeds without effect; false when no font is available.
bool DrawText(IGfxBitmap* surface, GfxTextStyle& style, const char* text, GfxRect& rect, bool measureOnly);

}  // namespace tessaron
