#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "editor/BitmapCache.h"
#include "editor/GfxPng.h"

namespace tessaron {
namespace {

struct Fixture {
  int width = 1, height = 1, depth = 8, colourType = PNG_COLOR_TYPE_RGB;
  bool interlaced = false;
  std::vector<png_color> palette;
  std::vector<png_byte> paletteAlpha;  // tRNS for palette images
  bool keyColour = false;              // tRNS for grey and RGB images
  png_color_16 key{};
  std::vector<std::vector<png_byte>> rows;  // packed as the PNG stores them
};

void Append(png_structp png, png_bytep data, png_size_t n) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}

// Test fixtures written by libpng itself, so the decoder meets every storage variant.
std::vector<uint8_t> Encode(Fixture f) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, Append, nullptr);
  png_set_IHDR(png, info, f.width, f.height, f.depth, f.colourType,
               f.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!f.palette.empty()) png_set_PLTE(png, info, f.palette.data(), static_cast<int>(f.palette.size()));
  if (!f.paletteAlpha.empty())
    png_set_tRNS(png, info, f.paletteAlpha.data(), static_cast<int>(f.paletteAlpha.size()), nullptr);
  if (f.keyColour) png_set_tRNS(png, info, nullptr, 0, &f.key);
  png_write_info(png, info);
  std::vector<png_bytep> rows;
  for (auto& r : f.rows) rows.push_back(r.data());
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

std::unique_ptr<GfxMemBitmap> Decode(const std::vector<uint8_t>& bytes) {
  return LoadPNGFromMemory(bytes.data(), bytes.size());
}

TEST(GfxPng, PaletteImagesExpandWithTheirTransparency) {
  Fixture f;
  f.width = 3;
  f.colourType = PNG_COLOR_TYPE_PALETTE;
  f.palette = {{10, 20, 30}, {200, 100, 50}, {1, 2, 3}};
  f.paletteAlpha = {128};  // only entry 0 is translucent
  f.rows = {{0, 1, 2}};
  auto b = Decode(Encode(f));
  ASSERT_TRUE(b);
  ASSERT_EQ(b->Width(), 3);
  EXPECT_EQ(b->PixelAt(0, 0), GfxPack(128, 10, 20, 30));
  EXPECT_EQ(b->PixelAt(1, 0), GfxPack(255, 200, 100, 50));
  EXPECT_EQ(b->PixelAt(2, 0), GfxPack(255, 1, 2, 3));

  Fixture packed;  // 2-bit indices, no transparency: opaque
  packed.width = 4;
  packed.depth = 2;
  packed.colourType = PNG_COLOR_TYPE_PALETTE;
  packed.palette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  packed.rows = {{0b00011011}};
  auto p = Decode(Encode(packed));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->PixelAt(0, 0), GfxPack(255, 0, 0, 0));
  EXPECT_EQ(p->PixelAt(1, 0), GfxPack(255, 255, 0, 0));
  EXPECT_EQ(p->PixelAt(2, 0), GfxPack(255, 0, 255, 0));
  EXPECT_EQ(p->PixelAt(3, 0), GfxPack(255, 0, 0, 255));
}

TEST(GfxPng, GreyImagesBecomeOpaqueOrTranslucentGrey) {
  Fixture g4;
  g4.width = 3;
  g4.depth = 4;
  g4.colourType = PNG_COLOR_TYPE_GRAY;
  g4.rows = {{0x0F, 0x50}};  // 0, 15, 5
  auto a = Decode(Encode(g4));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->PixelAt(0, 0), GfxPack(255, 0, 0, 0));
  EXPECT_EQ(a->PixelAt(1, 0), GfxPack(255, 255, 255, 255));
  EXPECT_EQ(a->PixelAt(2, 0), GfxPack(255, 85, 85, 85));

  Fixture g1;
  g1.width = 9;
  g1.depth = 1;
  g1.colourType = PNG_COLOR_TYPE_GRAY;
  g1.rows = {{0b10000000, 0b10000000}};
  auto b = Decode(Encode(g1));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->PixelAt(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(b->PixelAt(1, 0), 0xFF000000u);
  EXPECT_EQ(b->PixelAt(8, 0), 0xFFFFFFFFu);

  Fixture ga;
  ga.width = 2;
  ga.colourType = PNG_COLOR_TYPE_GRAY_ALPHA;
  ga.rows = {{77, 10, 200, 255}};
  auto c = Decode(Encode(ga));
  ASSERT_TRUE(c);
  EXPECT_EQ(c->PixelAt(0, 0), GfxPack(10, 77, 77, 77));
  EXPECT_EQ(c->PixelAt(1, 0), GfxPack(255, 200, 200, 200));

  Fixture keyed;  // grey with a transparent key value
  keyed.width = 2;
  keyed.colourType = PNG_COLOR_TYPE_GRAY;
  keyed.keyColour = true;
  keyed.key.gray = 40;
  keyed.rows = {{40, 41}};
  auto d = Decode(Encode(keyed));
  ASSERT_TRUE(d);
  EXPECT_EQ(GfxAlpha(d->PixelAt(0, 0)), 0);
  EXPECT_EQ(d->PixelAt(1, 0), GfxPack(255, 41, 41, 41));
}

TEST(GfxPng, SixteenBitChannelsKeepTheirHighByte) {
  Fixture rgb;
  rgb.depth = 16;
  rgb.rows = {{0x12, 0x34, 0xAB, 0xCD, 0xFF, 0x00}};
  auto a = Decode(Encode(rgb));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->PixelAt(0, 0), GfxPack(255, 0x12, 0xAB, 0xFF));

  Fixture rgba;
  rgba.depth = 16;
  rgba.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
  rgba.rows = {{0x01, 0xFF, 0x02, 0xFF, 0x03, 0xFF, 0x7F, 0x80}};
  auto b = Decode(Encode(rgba));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->PixelAt(0, 0), GfxPack(0x7F, 1, 2, 3));

  Fixture keyed;  // 16-bit RGB with a key colour
  keyed.width = 2;
  keyed.depth = 16;
  keyed.keyColour = true;
  keyed.key.red = 0x1000;
  keyed.key.green = 0x2000;
  keyed.key.blue = 0x3000;
  keyed.rows = {{0x10, 0, 0x20, 0, 0x30, 0, 0x10, 0, 0x20, 0, 0x30, 1}};
  auto c = Decode(Encode(keyed));
  ASSERT_TRUE(c);
  EXPECT_EQ(GfxAlpha(c->PixelAt(0, 0)), 0);
  EXPECT_EQ(c->PixelAt(1, 0), GfxPack(255, 0x10, 0x20, 0x30));
}

TEST(GfxPng, RgbaPixelsPackAsBgraBytesAndRoundTrip) {
  Fixture f;
  f.width = 5;
  f.height = 7;
  f.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
  f.interlaced = true;
  for (int y = 0; y < 7; ++y) {
    std::vector<png_byte> row;
    for (int x = 0; x < 5; ++x) {
      row.insert(row.end(), {png_byte(x * 40), png_byte(y * 30), png_byte(x + y), png_byte(255 - x * y)});
    }
    f.rows.push_back(row);
  }
  auto b = Decode(Encode(f));
  ASSERT_TRUE(b);
  ASSERT_EQ(b->Height(), 7);
  EXPECT_EQ(b->PixelAt(4, 6), GfxPack(255 - 24, 160, 180, 10));
  uint8_t bytes[4];
  std::memcpy(bytes, &b->Row(6)[4], 4);
  if (bytes[3] == 255 - 24) {  // little-endian memory: blue, green, red, alpha
    EXPECT_EQ(bytes[0], 10);
    EXPECT_EQ(bytes[2], 160);
  }

  std::vector<uint8_t> encoded;
  ASSERT_TRUE(EncodePNG(*b, encoded));
  auto again = Decode(encoded);
  ASSERT_TRUE(again);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 5; ++x) ASSERT_EQ(again->PixelAt(x, y), b->PixelAt(x, y));

  const auto path = std::filesystem::temp_directory_path() / "tessaron-gfx-roundtrip.png";
  ASSERT_TRUE(WritePNGFile(*b, path.string()));
  EXPECT_EQ(std::filesystem::file_size(path), encoded.size());
  std::filesystem::remove(path);
  GfxMemBitmap empty;
  EXPECT_FALSE(EncodePNG(empty, encoded));
  EXPECT_FALSE(WritePNGFile(*b, "/nonexistent-folder/x.png"));
}

TEST(GfxPng, BrokenDataGivesNoBitmap) {
  Fixture f;
  f.width = 16;
  f.height = 16;
  f.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
  f.rows.assign(16, std::vector<png_byte>(64));
  for (int y = 0; y < 16; ++y)
    for (int i = 0; i < 64; ++i) f.rows[y][i] = static_cast<png_byte>(i * 7 + y * 13);
  const std::vector<uint8_t> good = Encode(f);
  ASSERT_TRUE(Decode(good));
  for (std::size_t n = 0; n < good.size(); ++n) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    ASSERT_FALSE(Decode(cut)) << "prefix of " << n << " bytes";
  }
  std::vector<uint8_t> flipped = good;
  flipped[good.size() / 2] ^= 0x40;  // inside the image data: CRC or inflate fails
  EXPECT_FALSE(Decode(flipped));
  std::vector<uint8_t> garbage(300);
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 31 + 7);
  EXPECT_FALSE(Decode(garbage));
  std::memcpy(garbage.data(), good.data(), 8);  // right signature, nonsense after it
  EXPECT_FALSE(Decode(garbage));
  EXPECT_FALSE(LoadPNGFromMemory(nullptr, 100));

  // A header asking for an absurd size is refused rather than allocated.
  Fixture wide;
  wide.width = 20000;
  wide.depth = 1;
  wide.colourType = PNG_COLOR_TYPE_GRAY;
  wide.rows = {std::vector<png_byte>(2500)};
  EXPECT_FALSE(Decode(Encode(wide)));

  EXPECT_FALSE(LoadPNGFromResource("img/no-such-image.png"));
  EXPECT_FALSE(LoadPNGFromResource(nullptr));
  int w = 0, h = 0;
  EXPECT_FALSE(ReadPNGSize(good.data(), 20, &w, &h));
  EXPECT_FALSE(ReadPNGSize(garbage.data(), garbage.size(), &w, &h));
}

// The cache knows an image by its header and decodes it when first drawn; threads
// asking at once all get the one decoded copy.
TEST(GfxPng, CachedImagesDecodeOnceOnFirstUse) {
  const std::unique_ptr<GfxMemBitmap> direct = LoadPNGFromResource("img/tweak.png");
  ASSERT_TRUE(direct);
  IGfxBitmap* cached = LoadCachedBitmap("img/tweak.png");
  ASSERT_TRUE(cached);
  EXPECT_EQ(cached->Width(), direct->Width());
  EXPECT_EQ(cached->Height(), direct->Height());
  std::vector<GfxPixel*> seen(4, nullptr);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < seen.size(); ++i) threads.emplace_back([&, i] { seen[i] = cached->Pixels(); });
  for (std::thread& t : threads) t.join();
  for (GfxPixel* p : seen) EXPECT_EQ(p, seen[0]);
  ASSERT_TRUE(seen[0]);
  EXPECT_EQ(0, std::memcmp(seen[0], direct->Pixels(), sizeof(GfxPixel) * direct->Width() * direct->Height()));
  EXPECT_FALSE(cached->Resize(1, 1));
  EXPECT_EQ(cached, LoadCachedBitmap("img/tweak.png"));
}

}  // namespace
}  // namespace tessaron
