// Glyphs through GDI: a font of the requested cell height rendered glyph by glyph as
// grey coverage (or bi-level for non-antialiased quality).
#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "editor/GfxFont.h"
#include "editor/GfxSystemFont.h"

namespace tessaron {
namespace {

DWORD QualityOf(int quality) {
  switch (quality) {
    case kGfxQualityNonAntialiased: return NONANTIALIASED_QUALITY;
    case kGfxQualityAntialiased: return ANTIALIASED_QUALITY;
    case kGfxQualityClearType: return CLEARTYPE_QUALITY;
    default: return DEFAULT_QUALITY;
  }
}

class GdiFont final : public GfxSystemFont {
 public:
  GdiFont(HDC dc, HFONT font, HGDIOBJ previous, int quality)
      : dc_(dc), font_(font), previous_(previous), quality_(quality) {
    TEXTMETRICW tm{};
    GetTextMetricsW(dc_, &tm);
    ascent_ = tm.tmAscent;
    descent_ = tm.tmDescent;
  }
  ~GdiFont() override {
    SelectObject(dc_, previous_);
    DeleteObject(font_);
    DeleteDC(dc_);
  }
  int Ascent() const override { return ascent_; }
  int Descent() const override { return descent_; }

  bool MeasureText(const char* text, int& width, int& height) override {
    if (!text || GfxRunsUnderWine()) return false;
    std::wstring wide;
    while (*text) {
      const char32_t c = GfxNextCharacter(text);
      wide.push_back(static_cast<wchar_t>(c > 0xFFFF ? 0xFFFD : c));  // as RenderGlyph draws it
    }
    std::lock_guard<std::mutex> hold(lock_);
    SIZE size{};
    if (!GetTextExtentPoint32W(dc_, wide.c_str(), static_cast<int>(wide.size()), &size)) return false;
    width = size.cx;
    height = size.cy;
    return true;
  }

  bool RenderGlyph(char32_t character, GfxGlyph& glyph) override {
    std::lock_guard<std::mutex> hold(lock_);
    if (character > 0xFFFF) character = 0xFFFD;  // outside what GetGlyphOutlineW addresses
    const bool mono = quality_ == kGfxQualityNonAntialiased;
    const UINT format = mono ? GGO_BITMAP : GGO_GRAY8_BITMAP;
    const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    GLYPHMETRICS gm{};
    const DWORD size = GetGlyphOutlineW(dc_, static_cast<UINT>(character), format, &gm, 0, nullptr, &identity);
    if (size == GDI_ERROR) return false;
    glyph.advanceX = gm.gmCellIncX * 64;
    glyph.advanceY = -gm.gmCellIncY * 64;
    glyph.left = gm.gmptGlyphOrigin.x;
    glyph.top = gm.gmptGlyphOrigin.y;
    glyph.width = glyph.height = 0;
    glyph.coverage.clear();
    if (size == 0) return true;  // blank glyphs such as the space
    std::vector<uint8_t> buffer(size);
    if (GetGlyphOutlineW(dc_, static_cast<UINT>(character), format, &gm, size, buffer.data(), &identity) == GDI_ERROR)
      return false;
    glyph.width = static_cast<int>(gm.gmBlackBoxX);
    glyph.height = static_cast<int>(gm.gmBlackBoxY);
    const std::size_t pitch = mono ? ((glyph.width + 31) / 32) * 4 : ((glyph.width + 3) / 4) * 4;
    if (pitch * glyph.height > buffer.size()) return false;
    glyph.coverage.assign(static_cast<std::size_t>(glyph.width) * glyph.height, 0);
    for (int y = 0; y < glyph.height; ++y) {
      const uint8_t* row = buffer.data() + pitch * y;
      uint8_t* out = glyph.coverage.data() + static_cast<std::size_t>(y) * glyph.width;
      for (int x = 0; x < glyph.width; ++x) {
        // Grey levels run 0..64.
        out[x] = mono ? ((row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0) : static_cast<uint8_t>(row[x] * 255 / 64);
      }
    }
    return true;
  }

 private:
  HDC dc_;
  HFONT font_;
  HGDIOBJ previous_;
  int quality_;
  int ascent_ = 0, descent_ = 0;
  std::mutex lock_;
};

}  // namespace

bool GfxRunsUnderWine() {
  static const bool underWine = [] {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Wine", 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }();
  return underWine;
}

std::unique_ptr<GfxSystemFont> GfxSystemFont::Create(const GfxFontRequest& request) {
  if (request.height <= 0 || request.height > 1000) return nullptr;
  HFONT font =
      CreateFontA(request.height, 0, request.escapement, request.orientation, request.weight,
                  request.italic ? TRUE : FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                  QualityOf(request.quality), DEFAULT_PITCH | FF_DONTCARE, request.face.c_str());
  if (!font) return nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) {
    DeleteObject(font);
    return nullptr;
  }
  HGDIOBJ previous = SelectObject(dc, font);
  return std::make_unique<GdiFont>(dc, font, previous, request.quality);
}

}  // namespace tessaron
