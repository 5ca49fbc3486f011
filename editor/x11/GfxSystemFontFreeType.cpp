// Glyphs through FreeType from faces chosen by fontconfig, so "Arial" resolves to a
// metric-compatible face where the original is not installed.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H

#include <cmath>
#include <cstring>
#include <mutex>

#include "editor/GfxSystemFont.h"

namespace tessaron {
namespace {

// FreeType's library object is not safe for concurrent face creation, and fontconfig's
// default configuration is process-wide: one lock serialises every call into either.
// Faces hold the library, so it outlives every font whatever order statics die in.
struct FreeTypeLibrary {
  FT_Library library = nullptr;
  std::mutex lock;
  ~FreeTypeLibrary() {
    if (library) FT_Done_FreeType(library);
  }
  static std::shared_ptr<FreeTypeLibrary> Shared() {
    static std::mutex guard;
    static std::weak_ptr<FreeTypeLibrary> current;
    std::lock_guard<std::mutex> hold(guard);
    auto lib = current.lock();
    if (lib) return lib;
    lib = std::make_shared<FreeTypeLibrary>();
    if (FT_Init_FreeType(&lib->library) != 0) {
      lib->library = nullptr;
      return nullptr;
    }
    current = lib;
    return lib;
  }
};

struct FaceMatch {
  std::string file;
  int index = 0;
  int weight = FC_WEIGHT_REGULAR;
  int slant = FC_SLANT_ROMAN;
};

bool MatchFace(const GfxFontRequest& request, FaceMatch& match) {
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return false;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(request.face.c_str()));
  FcPatternAddInteger(pattern, FC_WEIGHT, request.weight >= 600 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, request.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* found = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (!found) return false;
  FcChar8* file = nullptr;
  bool ok = FcPatternGetString(found, FC_FILE, 0, &file) == FcResultMatch && file;
  if (ok) {
    match.file = reinterpret_cast<const char*>(file);
    FcPatternGetInteger(found, FC_INDEX, 0, &match.index);
    FcPatternGetInteger(found, FC_WEIGHT, 0, &match.weight);
    FcPatternGetInteger(found, FC_SLANT, 0, &match.slant);
  }
  FcPatternDestroy(found);
  return ok;
}

class FreeTypeFont final : public GfxSystemFont {
 public:
  FreeTypeFont(std::shared_ptr<FreeTypeLibrary> lib, FT_Face face, const GfxFontRequest& request,
               const FaceMatch& match)
      : lib_(std::move(lib)), face_(face), request_(request) {
    emboldened_ = request.weight >= 600 && match.weight < FC_WEIGHT_DEMIBOLD;
    slanted_ = request.italic && match.slant == FC_SLANT_ROMAN;
    const FT_Size_Metrics& m = face_->size->metrics;
    ascent_ = static_cast<int>(std::lround(m.ascender / 64.0));
    descent_ = request.height - ascent_;
    if (descent_ < 0) descent_ = static_cast<int>(std::lround(-m.descender / 64.0));
    if (request.escapement != 0) {
      const double angle = request.escapement / 10.0 * 3.14159265358979323846 / 180.0;
      const FT_Fixed c = static_cast<FT_Fixed>(std::lround(std::cos(angle) * 65536.0));
      const FT_Fixed s = static_cast<FT_Fixed>(std::lround(std::sin(angle) * 65536.0));
      FT_Matrix rotation{c, -s, s, c};
      FT_Set_Transform(face_, &rotation, nullptr);
    }
  }
  ~FreeTypeFont() override {
    std::lock_guard<std::mutex> hold(lib_->lock);
    FT_Done_Face(face_);
  }

  int Ascent() const override { return ascent_; }
  int Descent() const override { return descent_; }

  bool RenderGlyph(char32_t character, GfxGlyph& glyph) override {
    std::lock_guard<std::mutex> hold(lib_->lock);
    const FT_UInt index = FT_Get_Char_Index(face_, character);
    const bool mono = request_.quality == kGfxQualityNonAntialiased;
    if (FT_Load_Glyph(face_, index, mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL) != 0) return false;
    FT_GlyphSlot slot = face_->glyph;
    if (emboldened_) FT_GlyphSlot_Embolden(slot);
    if (slanted_) FT_GlyphSlot_Oblique(slot);
    if (FT_Render_Glyph(slot, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) return false;

    const FT_Bitmap& bm = slot->bitmap;
    glyph.width = static_cast<int>(bm.width);
    glyph.height = static_cast<int>(bm.rows);
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    glyph.advanceX = static_cast<int>(slot->advance.x);
    glyph.advanceY = static_cast<int>(-slot->advance.y);  // FreeType's y points up
    glyph.coverage.assign(static_cast<std::size_t>(glyph.width) * glyph.height, 0);
    if (glyph.coverage.empty()) return true;
    const unsigned char* top =
        bm.pitch < 0 ? bm.buffer + static_cast<std::ptrdiff_t>(bm.rows - 1) * -bm.pitch : bm.buffer;
    for (int y = 0; y < glyph.height; ++y) {
      const unsigned char* row = top + static_cast<std::ptrdiff_t>(y) * bm.pitch;
      uint8_t* out = glyph.coverage.data() + static_cast<std::size_t>(y) * glyph.width;
      if (bm.pixel_mode == FT_PIXEL_MODE_MONO) {
        for (int x = 0; x < glyph.width; ++x) out[x] = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
      } else if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
        const int levels = bm.num_grays > 1 ? bm.num_grays - 1 : 255;
        for (int x = 0; x < glyph.width; ++x) out[x] = static_cast<uint8_t>(row[x] * 255 / levels);
      } else {
        return false;
      }
    }
    return true;
  }

 private:
  std::shared_ptr<FreeTypeLibrary> lib_;
  FT_Face face_;
  GfxFontRequest request_;
  int ascent_ = 0, descent_ = 0;
  bool emboldened_ = false, slanted_ = false;
};

}  // namespace

std::unique_ptr<GfxSystemFont> GfxSystemFont::Create(const GfxFontRequest& request) {
  if (request.height <= 0 || request.height > 1000) return nullptr;
  auto lib = FreeTypeLibrary::Shared();
  if (!lib) return nullptr;
  std::lock_guard<std::mutex> hold(lib->lock);
  FaceMatch match;
  if (!MatchFace(request, match)) return nullptr;
  FT_Face face = nullptr;
  if (FT_New_Face(lib->library, match.file.c_str(), match.index, &face) != 0) return nullptr;
  // The cell height (ascent plus descent) is the requested size, as window-system fonts
  // measure a positive height.
  FT_Size_RequestRec size{FT_SIZE_REQUEST_TYPE_REAL_DIM, 0, static_cast<FT_Long>(request.height) * 64, 0, 0};
  if (!FT_IS_SCALABLE(face) || FT_Request_Size(face, &size) != 0) {
    FT_Done_Face(face);
    return nullptr;
  }
  return std::make_unique<FreeTypeFont>(lib, face, request, match);
}

}  // namespace tessaron
