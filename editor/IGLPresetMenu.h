#pragma once
// The program selector: a number box that opens the list of all programs and a name box
// in which the current program is renamed. The boxes themselves are part of the
// background; this control draws only their texts.
#include <memory>
#include <string>

#include "editor/IControl.h"

namespace tessaron {

class EditorMenu;
class PanelInstrument;

class IGLPresetMenu : public IControl {
 public:
  static constexpr int kNameLength = 27;        // shown and entered
  static constexpr int kRenameReadLimit = 256;  // taken from a committed entry
  static constexpr int kProgramsPerSubMenu = 16;
  static constexpr std::size_t kMenuItemLength = 31;

  IGLPresetMenu(IEditor* editor, PanelInstrument* panel, const GfxRect& numberRect, const GfxRect& nameRect);
  void MouseDown(int x, int y, const IMouseMod& mod) override;
  void TextFromTextEntry(const char* text) override;
  bool Draw(IEditor& graphics) override;

  // The instrument tells the selector what to show (under its lock); a change redraws.
  void SetProgram(int number, const std::string& name);
  const std::string& NumberText() const { return numberText_; }
  const std::string& NameText() const { return nameText_; }
  const GfxRect& NumberRect() const { return numberRect_; }
  const GfxRect& NameRect() const { return nameRect_; }

  // The program list: four sub-menus of sixteen, the current program ticked.
  std::unique_ptr<EditorMenu> BuildProgramList(int current);

 private:
  void ChooseFromList(int x, int y);

  PanelInstrument* panel_;
  GfxRect numberRect_, nameRect_;
  std::string numberText_, nameText_;
  int number_ = -1;
};

}  // namespace tessaron
