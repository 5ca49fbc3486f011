#include "editor/GfxDraw.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tessaron {
namespace {

inline int Byte(GfxPixel p, int i) { return static_cast<int>((p >> (8 * i)) & 0xFF); }
inline GfxPixel WithByte(GfxPixel p, int i, int v) {
  return (p & ~(0xFFu << (8 * i))) | (static_cast<GfxPixel>(v & 0xFF) << (8 * i));
}

// Per-byte average by halving each side first, as the fast half-weight paths do.
inline GfxPixel Half(GfxPixel a, GfxPixel b) { return ((a >> 1) & 0x7F7F7F7Fu) + ((b >> 1) & 0x7F7F7F7Fu); }
inline GfxPixel Quarter(GfxPixel a) { return (a >> 2) & 0x3F3F3F3Fu; }

// s + (d - s) * (256 - w) / 256 on all four bytes, the division truncating toward zero.
inline GfxPixel Weighted(GfxPixel s, GfxPixel d, int w) {
  GfxPixel out = 0;
  for (int i = 0; i < 4; ++i) {
    const int sv = Byte(s, i), dv = Byte(d, i);
    out |= static_cast<GfxPixel>(sv + (dv - sv) * (256 - w) / 256) << (8 * i);
  }
  return out;
}

// Source-alpha copy; w is weight × 256.
inline GfxPixel AlphaWeighted(GfxPixel s, GfxPixel d, int w) {
  const int a = GfxAlpha(s);
  if (a == 0) return d;
  if (w == 256 && a == 255) return s | 0xFF000000u;
  int keep;  // share of the destination, in 1/256
  int lift;  // what the source adds to the destination's alpha
  if (w == 256) {
    keep = 255 - a;
    lift = a;
  } else {
    lift = w * (a + 1) / 256;
    keep = 256 - lift;
  }
  GfxPixel out = static_cast<GfxPixel>(std::min(255, lift + GfxAlpha(d))) << 24;
  for (int i = 0; i < 3; ++i) {
    const int sv = Byte(s, i), dv = Byte(d, i);
    out |= static_cast<GfxPixel>(sv + (dv - sv) * keep / 256) << (8 * i);
  }
  return out;
}

inline int Dodge(int s, int d) {
  if (d == 0) return 0;
  if (s >= 255) return 255;
  return std::min(255, d * 255 / (255 - s));
}
inline int Overlay(int s, int d) { return d < 128 ? 2 * s * d / 255 : 255 - 2 * (255 - s) * (255 - d) / 255; }

void RgbToHsv(double r, double g, double b, double& h, double& s, double& v) {
  const double mx = std::max({r, g, b}), mn = std::min({r, g, b}), c = mx - mn;
  v = mx;
  s = mx > 0 ? c / mx : 0;
  if (c <= 0) {
    h = 0;
  } else if (mx == r) {
    h = std::fmod((g - b) / c + 6.0, 6.0);
  } else if (mx == g) {
    h = (b - r) / c + 2.0;
  } else {
    h = (r - g) / c + 4.0;
  }
}

void HsvToRgb(double h, double s, double v, double& r, double& g, double& b) {
  const double c = v * s, x = c * (1.0 - std::fabs(std::fmod(h, 2.0) - 1.0)), m = v - c;
  const int sector = static_cast<int>(h) % 6;
  const double t[6][3] = {{c, x, 0}, {x, c, 0}, {0, c, x}, {0, x, c}, {x, 0, c}, {c, 0, x}};
  r = t[sector][0] + m;
  g = t[sector][1] + m;
  b = t[sector][2] + m;
}

// Red shifts the hue by (red - 128) / 256 of a turn; green and blue scale saturation and
// value with 128 as unity. A neutral pixel (128, 128, 128) leaves the destination alone.
GfxPixel HsvAdjust(GfxPixel s, GfxPixel d) {
  double h, sat, v;
  RgbToHsv(GfxRed(d) / 255.0, GfxGreen(d) / 255.0, GfxBlue(d) / 255.0, h, sat, v);
  h = std::fmod(h + (GfxRed(s) - 128) * 6.0 / 256.0 + 12.0, 6.0);
  sat = std::clamp(sat * GfxGreen(s) / 128.0, 0.0, 1.0);
  v = std::clamp(v * GfxBlue(s) / 128.0, 0.0, 1.0);
  double r, g, b;
  HsvToRgb(h, sat, v, r, g, b);
  auto q = [](double c) { return static_cast<int>(std::lround(c * 255.0)); };
  return GfxPack(GfxAlpha(s), q(r), q(g), q(b));
}

// Colour bytes combined by the mode; alpha taken from the source.
GfxPixel Combine(uint32_t op, GfxPixel s, GfxPixel d) {
  if (op == kGfxModeHsvAdjust) return HsvAdjust(s, d);
  GfxPixel out = s & 0xFF000000u;
  for (int i = 0; i < 3; ++i) {
    const int sv = Byte(s, i), dv = Byte(d, i);
    int r;
    switch (op) {
      case kGfxModeAdd: r = std::min(255, sv + dv); break;
      case kGfxModeDodge: r = Dodge(sv, dv); break;
      case kGfxModeMultiply: r = (sv * dv + 127) / 255; break;
      case kGfxModeOverlay: r = Overlay(sv, dv); break;
      default: r = sv; break;
    }
    out |= static_cast<GfxPixel>(r) << (8 * i);
  }
  return out;
}

// Unknown modes below the channel copies draw as plain copies.
inline uint32_t Operation(uint32_t mode) {
  const uint32_t op = mode & kGfxModeMask;
  return (op <= kGfxModeHsvAdjust || op >= kGfxModeChannelCopy) ? op : kGfxModeCopy;
}

// Weight from a caller as w = weight × 256; NaN and values outside 0..1 cannot reach the
// byte formulas, which would otherwise extrapolate past 0..255.
inline int WeightTo256(double weight) {
  if (!(weight > 0.0)) return 0;
  if (weight >= 1.0) return 256;
  return static_cast<int>(weight * 256.0);
}

GfxPixel BlitPixel(GfxPixel s, GfxPixel d, uint32_t op, bool useAlpha, int w, bool half) {
  if (useAlpha && GfxAlpha(s) == 0) return d;
  if (op >= kGfxModeChannelCopy) {
    const int sc = static_cast<int>(op & 3), dc = static_cast<int>((op >> 2) & 3);
    const int sv = Byte(s, sc), dv = Byte(d, dc);
    const int keep = useAlpha ? 256 - w * (GfxAlpha(s) + 1) / 256 : 256 - w;
    return WithByte(d, dc, sv + (dv - sv) * keep / 256);
  }
  const GfxPixel r = op == kGfxModeCopy ? s : Combine(op, s, d);
  if (useAlpha) return AlphaWeighted(r, d, w);
  if (w == 256) return r;
  if (half) return Half(r, d);
  return Weighted(r, d, w);
}

// d + (c - d) * w / 256 on the lowest `bytes` bytes (3: colour only, 4: with alpha).
inline GfxPixel Toward(GfxPixel c, GfxPixel d, int w, int bytes) {
  GfxPixel out = d;
  for (int i = 0; i < bytes; ++i) {
    const int cv = Byte(c, i), dv = Byte(d, i);
    out = WithByte(out, i, dv + (cv - dv) * w / 256);
  }
  return out;
}

// A fill pixel at weight w (1..256) for modes other than copy.
inline GfxPixel FillModePixel(GfxPixel c, GfxPixel d, uint32_t op, int w) {
  if (op >= kGfxModeChannelCopy) {
    const int sc = static_cast<int>(op & 3), dc = static_cast<int>((op >> 2) & 3);
    const int cv = Byte(c, sc), dv = Byte(d, dc);
    return WithByte(d, dc, dv + (cv - dv) * w / 256);
  }
  return Toward(Combine(op, c, d), d, w, 3);
}

}  // namespace

uint32_t GfxModeForBlend(GfxBlendChoice choice) {
  switch (choice) {
    case GfxBlendChoice::Clobber: return kGfxModeCopy;
    case GfxBlendChoice::Add: return kGfxFlagSourceAlpha | kGfxModeAdd;
    case GfxBlendChoice::ColourDodge: return kGfxFlagSourceAlpha | kGfxModeDodge;
    case GfxBlendChoice::None: break;
  }
  return kGfxFlagSourceAlpha | kGfxModeCopy;
}

void Blit(IGfxBitmap* dest, IGfxBitmap* source, int x, int y, const GfxRect* sourceRect, double weight, uint32_t mode) {
  if (!dest || !source || dest->IsEmpty() || source->IsEmpty()) return;
  const int w = WeightTo256(weight);
  if (w == 0) return;

  GfxRect r = sourceRect ? *sourceRect : GfxRect{0, 0, source->Width(), source->Height()};
  r.left = std::max(r.left, 0);
  r.top = std::max(r.top, 0);
  r.right = std::min(r.right, source->Width());
  r.bottom = std::min(r.bottom, source->Height());
  // Widened: a far negative x must not overflow the source start.
  long long sl = r.left, st = r.top, dx = x, dy = y;
  if (dx < 0) {
    sl -= dx;
    dx = 0;
  }
  if (dy < 0) {
    st -= dy;
    dy = 0;
  }
  const long long width = std::min<long long>(r.right - sl, dest->Width() - dx);
  const long long height = std::min<long long>(r.bottom - st, dest->Height() - dy);
  if (width <= 0 || height <= 0) return;

  const int cols = static_cast<int>(width), rows = static_cast<int>(height);
  const int srcX = static_cast<int>(sl), srcY = static_cast<int>(st);
  const int dstX = static_cast<int>(dx), dstY = static_cast<int>(dy);
  const uint32_t op = Operation(mode);
  const bool useAlpha = (mode & kGfxFlagSourceAlpha) != 0;
  const bool half = weight == 0.5;

  // Within one bitmap, walk away from the overlap so no source pixel is overwritten first.
  const bool same = dest == source;
  const bool rowsBackward = same && dstY > srcY;
  const bool colsBackward = same && dstY == srcY && dstX > srcX;

  for (int k = 0; k < rows; ++k) {
    const int j = rowsBackward ? rows - 1 - k : k;
    const GfxPixel* s = source->Row(srcY + j) + srcX;
    GfxPixel* d = dest->Row(dstY + j) + dstX;
    if (op == kGfxModeCopy && !useAlpha && w == 256) {
      std::memmove(d, s, static_cast<std::size_t>(cols) * sizeof(GfxPixel));
      continue;
    }
    for (int m = 0; m < cols; ++m) {
      const int i = colsBackward ? cols - 1 - m : m;
      d[i] = BlitPixel(s[i], d[i], op, useAlpha, w, half);
    }
  }
}

void FillRect(IGfxBitmap* dest, int x, int y, int width, int height, GfxPixel colour, double weight, uint32_t mode) {
  if (!dest || dest->IsEmpty()) return;
  if (mode & kGfxFlagSourceAlpha) weight *= GfxAlpha(colour) / 255.0;
  const int w = WeightTo256(weight);
  if (w == 0) return;

  long long left = x, top = y, cols = width, rows = height;
  if (left < 0) {
    cols += left;
    left = 0;
  }
  if (top < 0) {
    rows += top;
    top = 0;
  }
  cols = std::min<long long>(cols, dest->Width() - left);
  rows = std::min<long long>(rows, dest->Height() - top);
  if (cols <= 0 || rows <= 0) return;

  const uint32_t op = Operation(mode);
  const GfxPixel halfColour = (colour >> 1) & 0x7F7F7F7Fu, quarterColour = Quarter(colour);
  for (long long j = 0; j < rows; ++j) {
    GfxPixel* d = dest->Row(static_cast<int>(top + j)) + left;
    for (long long i = 0; i < cols; ++i) {
      if (op != kGfxModeCopy) {
        d[i] = FillModePixel(colour, d[i], op, w);
        continue;
      }
      const GfxPixel p = d[i];
      switch (w) {
        case 256: d[i] = colour; break;
        case 128: d[i] = halfColour + ((p >> 1) & 0x7F7F7F7Fu); break;
        case 64: d[i] = quarterColour + ((p >> 1) & 0x7F7F7F7Fu) + Quarter(p); break;
        case 192: d[i] = halfColour + quarterColour + Quarter(p); break;
        default: d[i] = Toward(colour, p, w, 4); break;
      }
    }
  }
}

void FillCircle(IGfxBitmap* dest, int centreX, int centreY, int radius, GfxPixel colour, double weight, uint32_t mode,
                bool antialiased) {
  if (!dest || dest->IsEmpty() || radius < 0) return;
  if (mode & kGfxFlagSourceAlpha) weight *= GfxAlpha(colour) / 255.0;
  if (!(weight > 0.0)) return;
  const int w = weight >= 1.0 ? 256 : static_cast<int>(std::lround(weight * 256.0));
  if (w == 0) return;

  const long long cx = centreX, cy = centreY, r = radius;
  const long long W = dest->Width(), H = dest->Height();
  if (cx + r < -2 || cy + r < -2 || cx - r > W + 1 || cy - r > H + 1) return;

  // Pixel centres sit on integer coordinates; coverage ramps over one pixel across the rim.
  const long long x0 = std::max(0LL, cx - r - 1), x1 = std::min(W - 1, cx + r + 1);
  const long long y0 = std::max(0LL, cy - r - 1), y1 = std::min(H - 1, cy + r + 1);
  const uint32_t op = Operation(mode);
  const double rim = static_cast<double>(r) + 0.5;
  for (long long py = y0; py <= y1; ++py) {
    GfxPixel* d = dest->Row(static_cast<int>(py));
    const double ddy = static_cast<double>(py - cy);
    for (long long px = x0; px <= x1; ++px) {
      const double ddx = static_cast<double>(px - cx);
      const double dist = std::sqrt(ddx * ddx + ddy * ddy);
      const double cover = std::clamp(rim - dist, 0.0, 1.0);
      int pw;
      if (antialiased) {
        pw = static_cast<int>(w * cover + 0.5);
      } else {
        pw = cover >= 0.5 ? w : 0;
      }
      if (pw <= 0) continue;
      if (op == kGfxModeCopy) {
        d[px] = pw >= 256 ? colour : Toward(colour, d[px], pw, 4);
      } else {
        d[px] = FillModePixel(colour, d[px], op, pw);
      }
    }
  }
}

}  // namespace tessaron
