// Text extents on Windows: the system measures them, except under Wine, where the
// cached font's own glyph advances do.
#include <windows.h>

#include <gtest/gtest.h>

#include "editor/GfxFont.h"
#include "editor/GfxSystemFont.h"

namespace tessaron {
namespace {

TEST(WindowsText, WineIsRecognisedAndTheCachedFontMeasures) {
  // Wine's own marker, independent of the registry key the library looks for.
  const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
  EXPECT_EQ(GfxRunsUnderWine(), wine);

  GfxFontRequest request;
  request.height = 14;
  request.face = "Arial";
  auto system = GfxSystemFont::Create(request);
  ASSERT_TRUE(system);
  int w = 0, h = 0;
  // The system answers only outside Wine.
  EXPECT_EQ(system->MeasureText("Tessaron", w, h), !wine);

  GfxCachedFont font(GfxSystemFont::Create(request), 0);
  ASSERT_TRUE(font.MeasureText("Tessaron", w, h));
  EXPECT_GT(w, 30);
  EXPECT_LT(w, 120);
  EXPECT_EQ(h, font.Ascent() + font.Descent());
  int wider = 0;
  ASSERT_TRUE(font.MeasureText("Tessaron Tessaron", wider, h));
  EXPECT_GT(wider, 2 * w);
}

}  // namespace
}  // namespace tessaron
