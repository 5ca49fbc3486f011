#include "editor/IGLTweakControl.h"

#include "editor/IEditor.h"
#include "editor/PanelInstrument.h"

namespace tessaron {

IGLTweakControl::IGLTweakControl(IEditor* editor, PanelInstrument* panel, const GfxRect& rect)
    : IControl(editor, rect), panel_(panel) {}

void IGLTweakControl::MouseDown(int, int, const IMouseMod&) {
  if (panel_ && editor_ && editor_->IsWindowOpen()) panel_->ToggleTweakRow();
}

}  // namespace tessaron
