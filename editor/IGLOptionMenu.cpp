#include "editor/IGLOptionMenu.h"

#include "editor/IEditor.h"
#include "editor/PanelInstrument.h"

namespace tessaron {

IGLOptionMenu::IGLOptionMenu(IEditor* editor, PanelInstrument* panel, const GfxRect& rect)
    : IControl(editor, rect), panel_(panel) {}

void IGLOptionMenu::MouseDown(int x, int y, const IMouseMod&) {
  if (panel_ && editor_) panel_->OpenOptionsMenu(*editor_, x, y);
}

}  // namespace tessaron
