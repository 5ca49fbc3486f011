#include "editor/GfxPng.h"

#include <png.h>

#include <cstring>

#include "platform/FileSystem.h"
#include "platform/Resources.h"

namespace tessaron {
namespace {

struct MemoryReader {
  const uint8_t* data;
  std::size_t size;
  std::size_t pos;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
  auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (count > reader->size - reader->pos) png_error(png, "truncated");
  std::memcpy(out, reader->data + reader->pos, count);
  reader->pos += count;
}

[[noreturn]] void FailDecode(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void IgnoreWarning(png_structp, png_const_charp) {}

struct Header {
  png_uint_32 width = 0, height = 0;
};

// The two functions holding setjmp keep only plain data in their frames: libpng leaves them
// by longjmp on any error, skipping whatever destructors would have run.
bool ReadHeaderAndTransform(png_structp png, png_infop info, Header* header) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_user_limits(png, kGfxMaxBitmapSide, kGfxMaxBitmapSide);
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int depth = 0, colourType = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &colourType, nullptr, nullptr, nullptr);

  bool hasAlpha = (colourType & PNG_COLOR_MASK_ALPHA) != 0;
  if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colourType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) {
    png_set_tRNS_to_alpha(png);
    hasAlpha = true;
  }
  if (depth == 16) png_set_strip_16(png);
  if (depth < 8) png_set_packing(png);
  if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  if (hasAlpha) {
    png_set_swap_alpha(png);
  } else {
    png_set_filler(png, 0xFF, PNG_FILLER_BEFORE);
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<png_size_t>(width) * 4) return false;
  header->width = width;
  header->height = height;
  return true;
}

bool ReadRows(png_structp png, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  png_read_end(png, nullptr);
  return true;
}

struct ReadStructs {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~ReadStructs() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

void WriteToVector(png_structp png, png_bytep data, png_size_t count) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + count);
}
void NoFlush(png_structp) {}

bool WriteRows(png_structp png, png_infop info, png_uint_32 width, png_uint_32 height, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  return true;
}

struct WriteStructs {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~WriteStructs() { png_destroy_write_struct(&png, info ? &info : nullptr); }
};

// Both structures ready to read from reader; false when libpng could not make them.
bool StartReading(ReadStructs& s, MemoryReader& reader) {
  if (!reader.data || reader.size < 8 || png_sig_cmp(reader.data, 0, 8) != 0) return false;
  s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, FailDecode, IgnoreWarning);
  if (!s.png) return false;
  s.info = png_create_info_struct(s.png);
  if (!s.info) return false;
  png_set_read_fn(s.png, &reader, ReadFromMemory);
  return true;
}

}  // namespace

bool ReadPNGSize(const uint8_t* data, std::size_t size, int* width, int* height) {
  ReadStructs s;
  MemoryReader reader{data, size, 0};
  Header header;
  if (!StartReading(s, reader) || !ReadHeaderAndTransform(s.png, s.info, &header)) return false;
  if (header.width == 0 || header.height == 0) return false;
  *width = static_cast<int>(header.width);
  *height = static_cast<int>(header.height);
  return true;
}

std::unique_ptr<GfxMemBitmap> LoadPNGFromMemory(const uint8_t* data, std::size_t size) {
  ReadStructs s;
  MemoryReader reader{data, size, 0};
  Header header;
  if (!StartReading(s, reader) || !ReadHeaderAndTransform(s.png, s.info, &header)) return nullptr;
  const int width = static_cast<int>(header.width), height = static_cast<int>(header.height);
  auto bitmap = std::make_unique<GfxMemBitmap>();
  if (!bitmap->Resize(width, height) || bitmap->IsEmpty()) return nullptr;
  std::vector<png_bytep> rows(static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) rows[y] = reinterpret_cast<png_bytep>(bitmap->Row(y));
  if (!ReadRows(s.png, rows.data())) return nullptr;

  // Rows hold alpha, red, green, blue bytes; repack each into the pixel word in place.
  for (int y = 0; y < height; ++y) {
    GfxPixel* row = bitmap->Row(y);
    const uint8_t* bytes = rows[y];
    for (int x = 0; x < width; ++x) {
      const uint8_t* p = bytes + 4 * x;
      row[x] = GfxPack(p[0], p[1], p[2], p[3]);
    }
  }
  return bitmap;
}

std::unique_ptr<GfxMemBitmap> LoadPNGFromResource(const char* name) {
  if (!name) return nullptr;
  const platform::ResourceData res = platform::FindResourceData("PNG", name);
  if (!res || res.size < 8) return nullptr;
  return LoadPNGFromMemory(res.data, res.size);
}

bool EncodePNG(IGfxBitmap& bitmap, std::vector<uint8_t>& out) {
  if (bitmap.IsEmpty()) return false;
  const int width = bitmap.Width(), height = bitmap.Height();
  std::vector<uint8_t> rgba(static_cast<std::size_t>(width) * height * 4);
  std::vector<png_bytep> rows(static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    uint8_t* dst = rgba.data() + static_cast<std::size_t>(y) * width * 4;
    rows[y] = dst;
    const GfxPixel* src = bitmap.Row(y);
    for (int x = 0; x < width; ++x) {
      dst[4 * x + 0] = static_cast<uint8_t>(GfxRed(src[x]));
      dst[4 * x + 1] = static_cast<uint8_t>(GfxGreen(src[x]));
      dst[4 * x + 2] = static_cast<uint8_t>(GfxBlue(src[x]));
      dst[4 * x + 3] = static_cast<uint8_t>(GfxAlpha(src[x]));
    }
  }
  WriteStructs s;
  s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, FailDecode, IgnoreWarning);
  if (!s.png) return false;
  s.info = png_create_info_struct(s.png);
  if (!s.info) return false;
  std::vector<uint8_t> encoded;
  png_set_write_fn(s.png, &encoded, WriteToVector, NoFlush);
  if (!WriteRows(s.png, s.info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), rows.data()))
    return false;
  out.swap(encoded);
  return true;
}

bool WritePNGFile(IGfxBitmap& bitmap, const std::string& path) {
  std::vector<uint8_t> encoded;
  if (!EncodePNG(bitmap, encoded)) return false;
  return platform::WriteFileAtomically(path,
                                       std::string_view(reinterpret_cast<const char*>(encoded.data()), encoded.size()));
}

}  // namespace tessaron
