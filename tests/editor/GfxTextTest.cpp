#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "editor/GfxDraw.h"
#include "editor/GfxSysBitmap.h"
#include "editor/GfxText.h"

namespace tessaron {
namespace {

constexpr GfxPixel kGrey = 0xFF808080;

struct Changed {
  int count = 0, minX = 1 << 30, maxX = -1, minY = 1 << 30, maxY = -1;
};

Changed ChangedPixels(IGfxBitmap& b, GfxPixel background) {
  Changed c;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (b.PixelAt(x, y) != background) {
        ++c.count;
        c.minX = std::min(c.minX, x);
        c.maxX = std::max(c.maxX, x);
        c.minY = std::min(c.minY, y);
        c.maxY = std::max(c.maxY, y);
      }
  return c;
}

TEST(GfxText, FontCacheKeyIgnoresColourAndQuality) {
  GfxTextStyle a("Arial", 12, {255, 64, 255, 64}, kGfxTextNormal, kGfxAlignCentre);
  GfxTextStyle b("Arial", 12, {192, 255, 255, 255}, kGfxTextNormal, kGfxAlignRight);
  GfxTextStyle c("Arial", 12, {255, 0, 0, 0}, kGfxTextNormal, kGfxAlignLeft, 0, kGfxQualityAntialiased);
  IGfxFont* fa = GfxFontFor(a);
  ASSERT_NE(fa, nullptr);
  const std::size_t fonts = GfxFontCacheSize();
  EXPECT_EQ(GfxFontFor(b), fa);
  EXPECT_EQ(GfxFontFor(c), fa);
  EXPECT_EQ(b.font, fa);
  EXPECT_EQ(GfxFontCacheSize(), fonts);

  GfxTextStyle bigger("Arial", 15, {255, 0, 0, 0});
  GfxTextStyle bold("Arial", 12, {255, 0, 0, 0}, kGfxTextBold);
  GfxTextStyle turned("Arial", 12, {255, 0, 0, 0}, kGfxTextNormal, kGfxAlignLeft, 90);
  GfxTextStyle other("Verdana", 12, {255, 0, 0, 0});
  for (GfxTextStyle* s : {&bigger, &bold, &turned, &other}) EXPECT_NE(GfxFontFor(*s), fa);
  EXPECT_EQ(GfxFontCacheSize(), fonts + 4);

  // Face names are cut at the record's length, and the cut names share a font.
  const std::string longFace(60, 'Q');
  GfxTextStyle l1(longFace.c_str(), 12, {});
  GfxTextStyle l2((longFace.substr(0, kGfxFaceNameLength - 1) + "tail").c_str(), 12, {});
  EXPECT_EQ(std::string(l1.face).size(), static_cast<std::size_t>(kGfxFaceNameLength - 1));
  EXPECT_EQ(GfxFontFor(l1), GfxFontFor(l2));
}

TEST(GfxText, MeasureGivesTheExtentKeptInPlaceByAlignment) {
  GfxTextStyle style("Arial", 12, {255, 255, 255, 255});
  GfxRect r{100, 50, 100, 50};
  ASSERT_TRUE(DrawText(nullptr, style, "Tessaron", r, true));
  const int width = r.Width();
  EXPECT_GT(width, 30);
  EXPECT_LT(width, 80);
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.bottom, 50 + 12);  // the font's cell height is its size

  GfxTextStyle centred("Arial", 12, {255, 255, 255, 255}, kGfxTextNormal, kGfxAlignCentre);
  GfxRect c{100, 10, 200, 30};
  ASSERT_TRUE(DrawText(nullptr, centred, "Tessaron", c, true));
  EXPECT_EQ(c.left, 150 - width / 2);
  EXPECT_EQ(c.Width(), width);

  GfxTextStyle right("Arial", 12, {255, 255, 255, 255}, kGfxTextNormal, kGfxAlignRight);
  GfxRect rr{100, 10, 200, 30};
  ASSERT_TRUE(DrawText(nullptr, right, "Tessaron", rr, true));
  EXPECT_EQ(rr.right, 200);
  EXPECT_EQ(rr.left, 200 - width);

  GfxTextStyle bold("Arial", 12, {255, 255, 255, 255}, kGfxTextBold);
  GfxRect b{0, 0, 0, 0};
  ASSERT_TRUE(DrawText(nullptr, bold, "Tessaron", b, true));
  EXPECT_GT(b.Width(), width);

  GfxRect untouched{1, 2, 3, 4};
  EXPECT_TRUE(DrawText(nullptr, style, "", untouched, true));
  EXPECT_EQ(untouched.right, 3);
  EXPECT_EQ(untouched.bottom, 4);
}

TEST(GfxText, DrawingStaysInsideTheRectangle) {
  GfxSysBitmap surface(120, 40);  // the editor's surface type, off-screen
  ASSERT_EQ(surface.DeviceContext(), nullptr);
  FillRect(&surface, 0, 0, 120, 40, kGrey);
  GfxTextStyle style("Arial", 14, {255, 64, 255, 64});
  const GfxRect clip{10, 5, 40, 15};  // narrower and shorter than the text
  GfxRect r = clip;
  ASSERT_TRUE(DrawText(&surface, style, "Tessaron Tessaron", r, false));
  const Changed c = ChangedPixels(surface, kGrey);
  EXPECT_GT(c.count, 20);
  EXPECT_GE(c.minX, clip.left);
  EXPECT_LT(c.maxX, clip.right);
  EXPECT_GE(c.minY, clip.top);
  EXPECT_LT(c.maxY, clip.bottom);

  // Off the bitmap's edges, nothing is written outside it (the buffer is exactly its size).
  GfxMemBitmap small(30, 10);
  GfxRect wide{-50, -6, 200, 40};
  ASSERT_TRUE(DrawText(&small, style, "Tessaron Tessaron Tessaron", wide, false));
  EXPECT_GT(ChangedPixels(small, 0).count, 0);
}

TEST(GfxText, AlignmentColourAndWeight) {
  GfxTextStyle right("Arial", 14, {255, 255, 255, 255}, kGfxTextNormal, kGfxAlignRight);
  GfxMemBitmap a(200, 20);
  GfxRect r{0, 0, 150, 20};
  ASSERT_TRUE(DrawText(&a, right, "Tessaron", r, false));
  const Changed cr = ChangedPixels(a, 0);
  EXPECT_LE(cr.maxX, 149);
  EXPECT_GE(cr.maxX, 145);
  EXPECT_GT(cr.minX, 90);

  GfxTextStyle centred("Arial", 14, {255, 255, 255, 255}, kGfxTextNormal, kGfxAlignCentre);
  GfxMemBitmap b(200, 20);
  GfxRect rc{0, 0, 200, 20};
  ASSERT_TRUE(DrawText(&b, centred, "Tessaron", rc, false));
  const Changed cc = ChangedPixels(b, 0);
  EXPECT_NEAR((cc.minX + cc.maxX) / 2.0, 100.0, 3.0);

  // Opaque colour reaches full strength; alpha 128 draws at about half weight.
  GfxTextStyle half("Arial", 14, {128, 255, 255, 255}, kGfxTextNormal, kGfxAlignCentre);
  GfxMemBitmap c(200, 20);
  GfxRect rh{0, 0, 200, 20};
  ASSERT_TRUE(DrawText(&c, half, "Tessaron", rh, false));
  int fullMax = 0, halfMax = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 200; ++x) {
      fullMax = std::max(fullMax, GfxRed(b.PixelAt(x, y)));
      halfMax = std::max(halfMax, GfxRed(c.PixelAt(x, y)));
    }
  EXPECT_EQ(fullMax, 255);
  EXPECT_NEAR(halfMax, 128, 2);

  GfxTextStyle hard("Arial", 17, {255, 10, 20, 30}, kGfxTextNormal, kGfxAlignLeft, 0, kGfxQualityNonAntialiased);
  GfxMemBitmap d(100, 20);
  d.Fill(kGrey);
  GfxRect rd{0, 0, 100, 20};
  ASSERT_TRUE(DrawText(&d, hard, "Tessaron", rd, false));
  int inked = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 100; ++x) {
      const GfxPixel p = d.PixelAt(x, y);
      ASSERT_TRUE(p == kGrey || (p & 0xFFFFFF) == 0x0A141E) << std::hex << p;
      inked += p != kGrey;
    }
  EXPECT_GT(inked, 20);
}

TEST(GfxText, TurnedTextRunsAlongItsBaseline) {
  // A quarter turn counter-clockwise: the text climbs, its box aligned inside the rectangle.
  GfxTextStyle up("Arial", 14, {255, 255, 255, 255}, kGfxTextNormal, kGfxAlignLeft, 90);
  GfxRect measured{0, 0, 0, 0};
  ASSERT_TRUE(DrawText(nullptr, up, "Tessaron", measured, true));
  GfxMemBitmap b(60, 120);
  GfxRect r{10, 20, 60, 120};
  ASSERT_TRUE(DrawText(&b, up, "Tessaron", r, false));
  const Changed c = ChangedPixels(b, 0);
  ASSERT_GT(c.count, 0);
  EXPECT_GE(c.minX, 10);
  EXPECT_LE(c.maxX, 10 + 14);
  EXPECT_GE(c.minY, 20);
  EXPECT_NEAR(c.maxY - c.minY, measured.Width(), 4);
}

TEST(GfxText, OpaqueBackgroundFillsTheTextBoxOnly) {
  GfxTextStyle style("Arial", 14, {255, 0, 0, 0}, kGfxTextNormal, kGfxAlignCentre);
  IGfxFont* font = GfxFontFor(style);
  ASSERT_NE(font, nullptr);
  int width = 0, height = 0;
  ASSERT_TRUE(font->MeasureText("Tessaron", width, height));
  GfxMemBitmap b(200, 30);
  GfxTextPaint paint{0xFF000000, 0xFF0000FF, true};
  ASSERT_TRUE(font->DrawString(&b, "Tessaron", GfxRect{0, 5, 200, 30}, kGfxAlignCentre, paint));
  const Changed c = ChangedPixels(b, 0);
  EXPECT_EQ(c.minX, (200 - width) / 2);
  EXPECT_EQ(c.maxX, (200 - width) / 2 + width - 1);
  EXPECT_EQ(c.minY, 5);
  EXPECT_EQ(c.maxY, 5 + height - 1);
  EXPECT_EQ(c.count, width * height);
}

TEST(GfxText, GlyphsAreRenderedOnce) {
  GfxTextStyle style("Arial", 16, {255, 0, 0, 0});
  auto* font = dynamic_cast<GfxCachedFont*>(GfxFontFor(style));
  ASSERT_NE(font, nullptr);
  GfxMemBitmap b(100, 20);
  GfxRect r{0, 0, 100, 20};
  ASSERT_TRUE(DrawText(&b, style, "abcabc \xE2\x82\xAC", r, false));
  const std::size_t glyphs = font->CachedGlyphCount();
  EXPECT_EQ(glyphs, 5u);  // a, b, c, space, euro sign
  ASSERT_TRUE(DrawText(&b, style, "cab", r, false));
  EXPECT_EQ(font->CachedGlyphCount(), glyphs);
}

TEST(GfxText, Utf8WithLatin1Fallback) {
  auto decode = [](const char* s) {
    std::u32string out;
    while (*s) out.push_back(GfxNextCharacter(s));
    return out;
  };
  EXPECT_EQ(decode("A\xC3\xA9"), U"A\u00E9");
  EXPECT_EQ(decode("\xE9t\xE9"), U"\u00E9t\u00E9");  // Latin-1 bytes stand for themselves
  EXPECT_EQ(decode("\xE2\x82"), U"\u00E2\u0082");    // cut sequence at the end
  EXPECT_EQ(decode("\xC0\xAF"), U"\u00C0\u00AF");    // overlong form refused
  EXPECT_EQ(decode("\xF0\x9F\x8E\xB9"), U"\U0001F3B9");
}

}  // namespace
}  // namespace tessaron
