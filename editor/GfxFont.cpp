#include "editor/GfxFont.h"

#include <algorithm>
#include <cmath>

#include "editor/GfxDraw.h"

namespace tessaron {

char32_t GfxNextCharacter(const char*& text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  const unsigned char c = s[0];
  int length = 0;
  char32_t value = 0;
  if (c < 0x80) {
    ++text;
    return c;
  } else if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
    value = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    value = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    value = c & 0x07;
  }
  bool valid = length > 0;
  for (int i = 1; valid && i < length; ++i) {
    if ((s[i] & 0xC0) != 0x80)
      valid = false;  // also stops at the terminating NUL
    else
      value = (value << 6) | (s[i] & 0x3F);
  }
  const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (valid && (value < least[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))) valid = false;
  if (!valid) {
    ++text;
    return c;
  }
  text += length;
  return value;
}

GfxCachedFont::GfxCachedFont(std::unique_ptr<GfxSystemFont> systemFont, uint32_t flags)
    : system_(std::move(systemFont)), flags_(flags) {}

const GfxGlyph* GfxCachedFont::Glyph(char32_t character) {
  std::lock_guard<std::mutex> hold(lock_);
  std::unique_ptr<GfxGlyph>* slot;
  if (character < latin_.size()) {
    slot = &latin_[character];
  } else {
    slot = &others_[character];
  }
  if (!*slot) {
    auto glyph = std::make_unique<GfxGlyph>();
    if (!system_->RenderGlyph(character, *glyph)) *glyph = GfxGlyph{};  // drawn as nothing, cached all the same
    if (flags_ & kGfxFontNoAntialias)
      for (auto& c : glyph->coverage) c = c >= 128 ? 255 : 0;
    *slot = std::move(glyph);
  }
  return slot->get();
}

std::size_t GfxCachedFont::CachedGlyphCount() {
  std::lock_guard<std::mutex> hold(lock_);
  return others_.size() +
         static_cast<std::size_t>(std::count_if(latin_.begin(), latin_.end(), [](auto& g) { return g != nullptr; }));
}

void GfxCachedFont::Advance(const char* text, long long& dx, long long& dy) {
  dx = dy = 0;
  while (*text) {
    const GfxGlyph* g = Glyph(GfxNextCharacter(text));
    dx += g->advanceX;
    dy += g->advanceY;
  }
}

bool GfxCachedFont::MeasureText(const char* text, int& width, int& height) {
  if (!text) return false;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (system_->MeasureText(text, width, height)) return true;
  }
  long long dx, dy;
  Advance(text, dx, dy);
  // Along the baseline, whichever way it runs.
  width = static_cast<int>(std::lround(std::hypot(static_cast<double>(dx), static_cast<double>(dy)) / 64.0));
  height = Ascent() + Descent();
  return true;
}

bool GfxCachedFont::DrawString(IGfxBitmap* dest, const char* text, const GfxRect& rect, int align,
                               const GfxTextPaint& paint) {
  if (!dest || !text) return false;
  if (dest->IsEmpty() || !*text) return true;
  int width = 0, height = 0;
  MeasureText(text, width, height);

  GfxRect clip{std::max(rect.left, 0), std::max(rect.top, 0), std::min(rect.right, dest->Width()),
               std::min(rect.bottom, dest->Height())};
  if (clip.Empty()) return true;

  // Turned text: the text's cell (width × line height) rotates with the baseline and its
  // bounding box is aligned in rect like unturned text, top on rect.top.
  long long dx, dy;
  Advance(text, dx, dy);
  const double run = std::hypot(static_cast<double>(dx), static_cast<double>(dy));
  const double ux = run > 0 ? dx / run : 1.0, uy = run > 0 ? dy / run : 0.0;  // along the baseline
  const double vx = -uy, vy = ux;                                             // down the cell
  double minX = 0, maxX = 0, minY = 0;
  for (int corner = 1; corner < 4; ++corner) {
    const double cx = (corner & 1) ? width : 0, cy = (corner & 2) ? height : 0;
    const double px = cx * ux + cy * vx, py = cx * uy + cy * vy;
    minX = std::min(minX, px);
    maxX = std::max(maxX, px);
    minY = std::min(minY, py);
  }
  const int boxWidth = static_cast<int>(std::lround(maxX - minX));
  int left = rect.left;
  if (align == kGfxAlignCentre)
    left = rect.left + (rect.Width() - boxWidth) / 2;
  else if (align == kGfxAlignRight)
    left = rect.right - boxWidth;
  const double originX = left - minX + vx * Ascent(), originY = rect.top - minY + vy * Ascent();
  long long penX = std::llround(originX * 64.0), penY = std::llround(originY * 64.0);

  if (paint.opaqueBack && dy == 0) {  // backgrounds behind unturned text only
    const GfxRect box{std::max(left, clip.left), std::max(rect.top, clip.top), std::min(left + width, clip.right),
                      std::min(rect.top + height, clip.bottom)};
    if (!box.Empty()) FillRect(dest, box.left, box.top, box.Width(), box.Height(), paint.back, paint.weight);
  }

  const int w = paint.weight >= 1.0 ? 256 : (paint.weight > 0.0 ? static_cast<int>(paint.weight * 256.0) : 0);
  if (w == 0) return true;

  const int sr = GfxRed(paint.text), sg = GfxGreen(paint.text), sb = GfxBlue(paint.text);
  while (*text) {
    const GfxGlyph* g = Glyph(GfxNextCharacter(text));
    const long long gx = ((penX + 32) >> 6) + g->left, gy = ((penY + 32) >> 6) - g->top;
    for (int y = 0; y < g->height; ++y) {
      const long long py = gy + y;
      if (py < clip.top || py >= clip.bottom) continue;
      GfxPixel* row = dest->Row(static_cast<int>(py));
      const uint8_t* cov = g->coverage.data() + static_cast<std::size_t>(y) * g->width;
      const long long x0 = std::max<long long>(gx, clip.left), x1 = std::min<long long>(gx + g->width, clip.right);
      for (long long px = x0; px < x1; ++px) {
        const int k = cov[px - gx] * w;  // 0 .. 255 × 256
        if (k == 0) continue;
        const GfxPixel d = row[px];
        auto mix = [k](int s, int dv) { return dv + (s - dv) * k / 65280; };
        const int a = std::min(255, GfxAlpha(d) + k / 256);
        row[px] = GfxPack(a, mix(sr, GfxRed(d)), mix(sg, GfxGreen(d)), mix(sb, GfxBlue(d)));
      }
    }
    penX += g->advanceX;
    penY += g->advanceY;
  }
  return true;
}

}  // namespace tessaron
