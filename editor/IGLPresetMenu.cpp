#include "editor/IGLPresetMenu.h"

#include <algorithm>
#include <cstdio>

#include "editor/EditorPlatform.h"
#include "editor/IEditor.h"
#include "editor/PanelInstrument.h"
#include "host/Text.h"

namespace tessaron {

IGLPresetMenu::IGLPresetMenu(IEditor* editor, PanelInstrument* panel, const GfxRect& numberRect,
                             const GfxRect& nameRect)
    : IControl(editor, Union(numberRect, nameRect)), panel_(panel), numberRect_(numberRect), nameRect_(nameRect) {
  textStyle_ = GfxTextStyle("Arial", 15, {192, 255, 255, 255}, kGfxTextNormal, kGfxAlignCentre);
  textEntryLength_ = kNameLength;
}

void IGLPresetMenu::SetProgram(int number, const std::string& name) {
  std::string shown = name;
  CutUtf8(shown, kNameLength);
  if (number == number_ && shown == nameText_) return;
  number_ = number;
  char text[16];
  std::snprintf(text, sizeof text, "%02d", number);
  numberText_ = text;
  nameText_ = std::move(shown);
  MarkDirty(false);
}

bool IGLPresetMenu::Draw(IEditor& graphics) {
  GfxRect number = numberRect_, name = nameRect_;
  graphics.DrawText(textStyle_, numberText_.c_str(), number);
  graphics.DrawText(textStyle_, nameText_.c_str(), name);
  return true;
}

void IGLPresetMenu::MouseDown(int x, int y, const IMouseMod&) {
  if (!editor_ || !panel_) return;
  if (Contains(nameRect_, x, y)) {
    const std::string name = panel_->ProgramName(panel_->CurrentProgramNumber());
    editor_->CreateTextEntry(this, textStyle_, nameRect_, name.c_str());
  } else if (Contains(numberRect_, x, y)) {
    ChooseFromList(x, y);
  }
}

std::unique_ptr<EditorMenu> IGLPresetMenu::BuildProgramList(int current) {
  auto menu = std::make_unique<EditorMenu>();
  const int count = panel_ ? panel_->ProgramCount() : 0;
  const int subMenus = (count + kProgramsPerSubMenu - 1) / kProgramsPerSubMenu;
  for (int k = 0; k < subMenus; ++k) {
    auto sub = std::make_unique<EditorMenu>();
    for (int n = k * kProgramsPerSubMenu; n < std::min(count, (k + 1) * kProgramsPerSubMenu); ++n) {
      char number[16];
      std::snprintf(number, sizeof number, "%02u: ", static_cast<unsigned>(n));
      std::string text = number + panel_->ProgramName(n);
      CutUtf8(text, kMenuItemLength);
      sub->AddItem(text.c_str(), n == current ? EditorMenu::kMarked : 0u);
    }
    char title[32];
    std::snprintf(title, sizeof title, "%02d - %02d", k * kProgramsPerSubMenu, (k + 1) * kProgramsPerSubMenu - 1);
    menu->AddSubMenu(title, std::move(sub));
  }
  return menu;
}

void IGLPresetMenu::ChooseFromList(int, int) {
  std::shared_ptr<EditorMenu> menu = BuildProgramList(panel_->CurrentProgramNumber());
  // The control lives as long as the editor, which drops the answer if its window closes.
  editor_->PopupMenu(menu, numberRect_.left, numberRect_.bottom, [this, menu](const EditorMenuChoice& choice) {
    if (!choice.menu) return;
    for (int k = 0; k < menu->NItems(); ++k) {
      if (menu->GetItem(k).subMenu.get() == choice.menu) {
        panel_->ChooseProgram(k * kProgramsPerSubMenu + choice.index);
        return;
      }
    }
  });
}

void IGLPresetMenu::TextFromTextEntry(const char* text) {
  if (!panel_ || !text) return;
  std::string name(text);
  CutUtf8(name, static_cast<std::size_t>(kRenameReadLimit));
  panel_->RenameCurrentProgram(name.c_str());
  MarkDirty(false);
}

}  // namespace tessaron
