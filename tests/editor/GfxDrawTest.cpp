#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "editor/GfxDraw.h"

namespace tessaron {
namespace {

// A bitmap framed by guard pixels (span wider than the width) and optionally stored
// bottom-up, so overruns and wrong row addressing show as changed guard pixels.
class FramedBitmap final : public IGfxBitmap {
 public:
  static constexpr int kGuard = 4;
  static constexpr GfxPixel kGuardValue = 0x5A5A5A5A;
  FramedBitmap(int w, int h, bool bottomUp = false)
      : w_(w),
        h_(h),
        span_(w + 2 * kGuard),
        bottomUp_(bottomUp),
        store_(static_cast<std::size_t>(span_) * (h + 2 * kGuard), kGuardValue) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) Row(y)[x] = 0;
  }
  GfxPixel* Pixels() override { return store_.data() + kGuard * span_ + kGuard; }
  int Width() const override { return w_; }
  int Height() const override { return h_; }
  int Span() const override { return span_; }
  bool IsBottomUp() const override { return bottomUp_; }
  bool Resize(int, int) override { return false; }
  bool GuardsIntact() const {
    for (int y = 0; y < h_ + 2 * kGuard; ++y)
      for (int x = 0; x < span_; ++x) {
        const bool inside = y >= kGuard && y < kGuard + h_ && x >= kGuard && x < kGuard + w_;
        if (!inside && store_[static_cast<std::size_t>(y) * span_ + x] != kGuardValue) return false;
      }
    return true;
  }
  // Raw storage row, for checking the bottom-up order itself.
  GfxPixel StoredAt(int x, int storedRow) const { return store_[(kGuard + storedRow) * span_ + kGuard + x]; }

 private:
  int w_, h_, span_;
  bool bottomUp_;
  std::vector<GfxPixel> store_;
};

GfxMemBitmap Solid(int w, int h, GfxPixel p) {
  GfxMemBitmap b(w, h);
  b.Fill(p);
  return b;
}

std::vector<GfxPixel> Snapshot(IGfxBitmap& b) {
  std::vector<GfxPixel> out;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) out.push_back(b.PixelAt(x, y));
  return out;
}

GfxPixel BlitOne(GfxPixel s, GfxPixel d, double weight, uint32_t mode) {
  GfxMemBitmap src = Solid(1, 1, s), dst = Solid(1, 1, d);
  Blit(&dst, &src, 0, 0, nullptr, weight, mode);
  return dst.PixelAt(0, 0);
}

TEST(GfxBlit, CopyFormulasMatchTheIntegerArithmetic) {
  const GfxPixel s = GfxPack(0x80, 0xFF, 0x40, 0x20), d = GfxPack(0x20, 0x10, 0x30, 0x09);
  EXPECT_EQ(BlitOne(s, d, 1.0, kGfxModeCopy), s);
  // Half weight: each side halved by shifting, then added.
  EXPECT_EQ(BlitOne(s, d, 0.5, kGfxModeCopy), GfxPack(0x50, 0x87, 0x38, 0x14));
  // w = 64: s + (d - s) * 192 / 256 with division toward zero (-179.25 -> -179, -17.25 -> -17).
  EXPECT_EQ(BlitOne(s, d, 0.25, kGfxModeCopy), GfxPack(56, 76, 52, 15));
}

TEST(GfxBlit, SourceAlphaFormulas) {
  const GfxPixel d = GfxPack(200, 0, 100, 255);
  // Weight 1, alpha 128: alpha saturates; colour s + ((d - s) * 127) / 256 toward zero.
  EXPECT_EQ(BlitOne(GfxPack(128, 200, 100, 0), d, 1.0, kGfxFlagSourceAlpha), GfxPack(255, 101, 100, 126));
  // Opaque source copies colour and makes the pixel opaque.
  EXPECT_EQ(BlitOne(GfxPack(255, 1, 2, 3), GfxPack(7, 9, 9, 9), 1.0, kGfxFlagSourceAlpha), GfxPack(255, 1, 2, 3));
  // Weight 0.5: l = 128 * 129 / 256 = 64; alpha 64 + 10; colour s + (d - s) * 192 / 256.
  EXPECT_EQ(BlitOne(GfxPack(128, 200, 100, 0), GfxPack(10, 0, 100, 255), 0.5, kGfxFlagSourceAlpha),
            GfxPack(74, 50, 100, 191));
}

TEST(GfxBlit, OtherModesCombineByName) {
  const uint32_t add = GfxModeForBlend(GfxBlendChoice::Add), dodge = GfxModeForBlend(GfxBlendChoice::ColourDodge);
  EXPECT_EQ(GfxModeForBlend(GfxBlendChoice::None), kGfxFlagSourceAlpha);
  EXPECT_EQ(GfxModeForBlend(GfxBlendChoice::Clobber), kGfxModeCopy);
  EXPECT_EQ(add, kGfxFlagSourceAlpha | kGfxModeAdd);
  EXPECT_EQ(dodge, kGfxFlagSourceAlpha | kGfxModeDodge);
  EXPECT_EQ(BlitOne(GfxPack(255, 200, 10, 0), GfxPack(255, 100, 20, 0), 1.0, add), GfxPack(255, 255, 30, 0));
  // Dodge brightens by 255 / (255 - s): 100 * 255 / 127 = 200; black stays black.
  EXPECT_EQ(BlitOne(GfxPack(255, 128, 128, 255), GfxPack(255, 100, 0, 7), 1.0, dodge), GfxPack(255, 200, 0, 255));
  EXPECT_EQ(BlitOne(GfxPack(255, 255, 128, 0), GfxPack(255, 100, 100, 100), 1.0, kGfxModeMultiply),
            GfxPack(255, 100, 50, 0));
  // Neutral HSV adjustment leaves the colour alone.
  EXPECT_EQ(BlitOne(GfxPack(255, 128, 128, 128), GfxPack(255, 30, 140, 220), 1.0, kGfxModeHsvAdjust),
            GfxPack(255, 30, 140, 220));
  // Red of the source into alpha of the destination, nothing else touched.
  EXPECT_EQ(BlitOne(0x00AB0000, 0x11223344, 1.0, GfxChannelCopyMode(2, 3)), 0xAB223344u);
}

TEST(GfxBlit, NegativeCoordinatesDrawOnlyTheVisiblePart) {
  GfxMemBitmap src(4, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) src.Row(y)[x] = 0xFF000000u | static_cast<GfxPixel>(1 + x + 16 * y);
  FramedBitmap dst(4, 4);
  Blit(&dst, &src, -1, -2);
  EXPECT_EQ(dst.PixelAt(0, 0), src.PixelAt(1, 2));
  EXPECT_EQ(dst.PixelAt(2, 1), src.PixelAt(3, 3));
  EXPECT_EQ(dst.PixelAt(3, 0), 0u);
  EXPECT_EQ(dst.PixelAt(0, 2), 0u);
  EXPECT_TRUE(dst.GuardsIntact());

  FramedBitmap part(4, 4);
  const GfxRect r{1, 1, 3, 3};
  Blit(&part, &src, -1, 3, &r);  // only source (2, 1) lands, at (0, 3)
  EXPECT_EQ(part.PixelAt(0, 3), src.PixelAt(2, 1));
  EXPECT_EQ(part.PixelAt(1, 3), 0u);
  EXPECT_EQ(part.PixelAt(0, 2), 0u);
  EXPECT_TRUE(part.GuardsIntact());

  FramedBitmap far(4, 4);
  Blit(&far, &src, std::numeric_limits<int>::min(), 0);
  Blit(&far, &src, 3, std::numeric_limits<int>::max());
  Blit(&far, &src, 0, 0, nullptr, 0.7, kGfxFlagSourceAlpha);  // partial weight path, clipped by dest size
  Blit(&far, &src, 2, 2, nullptr, 0.7, kGfxModeAdd);
  EXPECT_TRUE(far.GuardsIntact());
}

TEST(GfxBlit, BottomUpRowsAreAddressedFromTheBottom) {
  GfxMemBitmap src(2, 2);
  src.Row(0)[0] = 1;
  src.Row(1)[0] = 2;
  FramedBitmap dst(2, 3, true);
  Blit(&dst, &src, 0, 0);
  EXPECT_EQ(dst.StoredAt(0, 2), 1u);  // top row lives last in memory
  EXPECT_EQ(dst.StoredAt(0, 1), 2u);
  GfxMemBitmap back(2, 3);
  Blit(&back, &dst, 0, 0);
  EXPECT_EQ(back.PixelAt(0, 0), 1u);
  EXPECT_EQ(back.PixelAt(0, 1), 2u);
  EXPECT_TRUE(dst.GuardsIntact());
}

TEST(GfxBlit, OverlappingCopyWithinOneBitmap) {
  GfxMemBitmap b(4, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) b.Row(y)[x] = static_cast<GfxPixel>(10 * y + x);
  const GfxRect r{0, 0, 3, 3};
  Blit(&b, &b, 1, 1, &r, 0.999);  // per-pixel path
  EXPECT_EQ(b.PixelAt(3, 3), 22u);
  EXPECT_EQ(b.PixelAt(1, 1), 0u);
}

TEST(GfxDraw, ZeroWeightAndTransparentSourceLeaveTheDestination) {
  const uint32_t modes[] = {kGfxModeCopy,
                            kGfxModeAdd,
                            kGfxModeDodge,
                            kGfxModeMultiply,
                            kGfxModeOverlay,
                            kGfxModeHsvAdjust,
                            GfxChannelCopyMode(1, 2),
                            77};
  const double nothing[] = {0.0, -0.5, std::nan("")};
  GfxMemBitmap src = Solid(3, 3, 0x00FF8040);  // alpha 0
  const GfxPixel base = GfxPack(90, 10, 20, 30);
  for (uint32_t m : modes) {
    for (uint32_t flag : {0u, static_cast<uint32_t>(kGfxFlagSourceAlpha)}) {
      GfxMemBitmap dst = Solid(3, 3, base);
      for (double w : nothing) {
        Blit(&dst, &src, 0, 0, nullptr, w, m | flag);
        FillRect(&dst, 0, 0, 3, 3, 0xFFFFFFFF, w, m | flag);
        FillCircle(&dst, 1, 1, 1, 0xFFFFFFFF, w, m | flag, true);
      }
      FillRect(&dst, 0, 0, 3, 3, 0x00FFFFFF, 1.0, m | kGfxFlagSourceAlpha);  // transparent colour
      FillCircle(&dst, 1, 1, 2, 0x00FFFFFF, 1.0, m | kGfxFlagSourceAlpha, false);
      for (double w : {1.0, 0.5, 0.3}) Blit(&dst, &src, 0, 0, nullptr, w, m | kGfxFlagSourceAlpha);
      EXPECT_EQ(Snapshot(dst), std::vector<GfxPixel>(9, base)) << "mode " << (m | flag);
    }
  }
}

TEST(GfxFillRect, WeightSpecialCasesAndClipping) {
  const GfxPixel c = GfxPack(0xFF, 0x80, 0x40, 0x10), d = GfxPack(0x00, 0x20, 0xFF, 0x08);
  auto fill = [&](double w) {
    GfxMemBitmap b = Solid(1, 1, d);
    FillRect(&b, 0, 0, 1, 1, c, w);
    return b.PixelAt(0, 0);
  };
  EXPECT_EQ(fill(1.0), c);
  EXPECT_EQ(fill(0.5), GfxPack(0x7F, 0x50, 0x9F, 0x0C));
  EXPECT_EQ(fill(0.25), GfxPack(0x3F, 0x38, 0xCE, 0x0A));  // quarter colour + half + quarter pixel
  EXPECT_EQ(fill(0.75), GfxPack(0xBE, 0x68, 0x6F, 0x0E));  // half + quarter colour + quarter pixel
  EXPECT_EQ(fill(0.1), GfxPack(24, 41, 237, 8));           // d + (c - d) * 25 / 256
  EXPECT_EQ(fill(3.0), c);                                 // overdriven weight saturates at full

  // The colour's alpha scales the weight: 128 / 255 of 256 truncates to the half path.
  GfxMemBitmap a = Solid(1, 1, 0);
  FillRect(&a, 0, 0, 1, 1, 0x80FFFFFF, 1.0, kGfxFlagSourceAlpha);
  EXPECT_EQ(a.PixelAt(0, 0), 0x407F7F7Fu);

  // Other modes change colour only, keeping the pixel's alpha.
  GfxMemBitmap m = Solid(1, 1, GfxPack(33, 100, 200, 0));
  FillRect(&m, 0, 0, 1, 1, GfxPack(0, 100, 100, 100), 1.0, kGfxModeAdd);
  EXPECT_EQ(m.PixelAt(0, 0), GfxPack(33, 200, 255, 100));

  FramedBitmap f(5, 5);
  FillRect(&f, -2, -1, 4, 3, 0xFFFFFFFF);
  int filled = 0;
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) filled += f.PixelAt(x, y) == 0xFFFFFFFF;
  EXPECT_EQ(filled, 4);
  EXPECT_EQ(f.PixelAt(1, 1), 0xFFFFFFFFu);
  FillRect(&f, 3, 3, 100, 100, 0xFFFFFFFF, 0.3);
  FillRect(&f, std::numeric_limits<int>::min(), 0, std::numeric_limits<int>::max(), 2, 0xFFFFFFFF);
  EXPECT_TRUE(f.GuardsIntact());
}

TEST(GfxFillCircle, AntialiasedRimAndSafeClipping) {
  GfxMemBitmap b(21, 21);
  FillCircle(&b, 10, 10, 6, 0xFFFFFFFF, 1.0, kGfxModeCopy, true);
  EXPECT_EQ(b.PixelAt(10, 10), 0xFFFFFFFFu);
  EXPECT_EQ(b.PixelAt(10, 5), 0xFFFFFFFFu);
  EXPECT_EQ(b.PixelAt(10, 4), 0x7F7F7F7Fu);   // centred on the radius: half covered
  EXPECT_EQ(b.PixelAt(10, 2), 0u);            // beyond the rim
  const int rim = GfxRed(b.PixelAt(14, 14));  // distance 5.66: partly covered
  EXPECT_GT(rim, 0);
  EXPECT_LT(rim, 255);
  for (int y = 0; y < 21; ++y)  // symmetric about the centre
    for (int x = 0; x < 21; ++x) ASSERT_EQ(b.PixelAt(x, y), b.PixelAt(20 - x, 20 - y));

  GfxMemBitmap hard(21, 21);
  FillCircle(&hard, 10, 10, 6, 0xFFFFFFFF, 1.0, kGfxModeCopy, false);
  for (GfxPixel p : Snapshot(hard)) ASSERT_TRUE(p == 0 || p == 0xFFFFFFFF);
  EXPECT_EQ(hard.PixelAt(10, 4), 0xFFFFFFFFu);
  EXPECT_EQ(hard.PixelAt(10, 3), 0u);

  FramedBitmap f(8, 6, true);
  const int centres[][2] = {{0, 0}, {7, 5}, {-1, 3}, {8, 2}, {3, -2}, {4, 7}, {-9, -9}, {3, 3}};
  for (auto& c : centres) {
    FillCircle(&f, c[0], c[1], 3, 0xFF00FF00, 0.6, kGfxFlagSourceAlpha, true);
    FillCircle(&f, c[0], c[1], 1000, 0xFF00FF00, 1.0, kGfxModeAdd, false);
  }
  FillCircle(&f, 4, 3, std::numeric_limits<int>::max(), 0xFFFFFFFF);
  FillCircle(&f, std::numeric_limits<int>::min(), 0, 5, 0xFFFFFFFF);
  EXPECT_TRUE(f.GuardsIntact());

  GfxMemBitmap untouched(8, 8);
  FillCircle(&untouched, 4, 4, -1, 0xFFFFFFFF);
  FillCircle(&untouched, 4, 4, 3, 0xFFFFFFFF, 0.001);  // rounds to 0
  FillCircle(&untouched, 20, 4, 3, 0xFFFFFFFF);
  EXPECT_EQ(Snapshot(untouched), std::vector<GfxPixel>(64, 0));
}

}  // namespace
}  // namespace tessaron
