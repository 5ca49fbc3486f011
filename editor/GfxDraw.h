#pragma once
// Software drawing operations on bitmaps: copy with weight and blend mode, rectangle and
// circle fills. The weight runs from 0 (nothing drawn) to 1 (full strength).
#include <cstdint>

#include "editor/GfxBitmap.h"

namespace tessaron {

// Blend mode in the low byte, flags above it.
enum : uint32_t {
  kGfxModeCopy = 0,
  kGfxModeAdd = 1,
  kGfxModeDodge = 2,
  kGfxModeMultiply = 3,
  kGfxModeOverlay = 4,
  kGfxModeHsvAdjust = 5,
  // 240..255 copy one byte: source channel in bits 0-1, destination channel in bits 2-3
  // (0 blue, 1 green, 2 red, 3 alpha).
  kGfxModeChannelCopy = 240,
  kGfxModeMask = 0xFF,
  kGfxFlagSourceAlpha = 0x10000,
};

constexpr uint32_t GfxChannelCopyMode(int sourceChannel, int destChannel) {
  return kGfxModeChannelCopy | static_cast<uint32_t>(sourceChannel & 3) | (static_cast<uint32_t>(destChannel & 3) << 2);
}

// The editor's bitmap blend choices.
enum class GfxBlendChoice { None, Clobber, Add, ColourDodge };
uint32_t GfxModeForBlend(GfxBlendChoice choice);

// Copies source (or its sourceRect) to (x, y) of dest, clipped to both bitmaps.
void Blit(IGfxBitmap* dest, IGfxBitmap* source, int x, int y, const GfxRect* sourceRect = nullptr, double weight = 1.0,
          uint32_t mode = kGfxModeCopy);

void FillRect(IGfxBitmap* dest, int x, int y, int width, int height, GfxPixel colour, double weight = 1.0,
              uint32_t mode = kGfxModeCopy);

void FillCircle(IGfxBitmap* dest, int centreX, int centreY, int radius, GfxPixel colour, double weight = 1.0,
                uint32_t mode = kGfxModeCopy, bool antialiased = true);

}  // namespace tessaron
