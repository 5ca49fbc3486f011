#include "editor/EditorSnapshot.h"

#include "editor/GfxPng.h"
#include "editor/IEditor.h"

namespace tessaron {

bool DrawEditorSnapshot(IEditor& editor, GfxMemBitmap& bitmap) {
  if (!bitmap.Resize(editor.Width(), editor.Height()) || bitmap.IsEmpty()) return false;
  // Opaque black below, so areas no control covers come out as black, not transparent.
  bitmap.Fill(0xFF000000);
  editor.DrawControlsInto(bitmap, {0, 0, editor.Width(), editor.Height()});
  return true;
}

bool RenderEditorSnapshot(IEditor& editor, const char* pngPath) {
  if (!pngPath || !*pngPath) return false;
  GfxMemBitmap bitmap;
  return DrawEditorSnapshot(editor, bitmap) && WritePNGFile(bitmap, pngPath);
}

}  // namespace tessaron
