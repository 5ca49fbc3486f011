#pragma once
// The editor drawn off-screen, without any window system: for documentation and tests.
#include "editor/GfxBitmap.h"

namespace tessaron {

class IEditor;

// Draws every visible control in list order into bitmap, resized to the editor's size.
bool DrawEditorSnapshot(IEditor& editor, GfxMemBitmap& bitmap);

// The same, written as a PNG file; false when drawing or writing fails.
bool RenderEditorSnapshot(IEditor& editor, const char* pngPath);

}  // namespace tessaron
