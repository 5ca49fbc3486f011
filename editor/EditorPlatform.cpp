#include "editor/EditorPlatform.h"

#include <cctype>
#include <cstdio>

namespace tessaron {

std::string ReplaceQuestion(const std::string& path) { return path + " already exists.\nDo you want to replace it?"; }

std::string WithDefaultExtension(const std::string& path, const std::vector<std::string>& extensions) {
  if (extensions.empty() || extensions.front().empty()) return path;
  auto endsWith = [&](const std::string& ext) {
    const std::string suffix = "." + ext;
    if (path.size() <= suffix.size()) return false;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
      const auto a = static_cast<unsigned char>(path[path.size() - suffix.size() + i]);
      const auto b = static_cast<unsigned char>(suffix[i]);
      if (std::tolower(a) != std::tolower(b)) return false;
    }
    return true;
  };
  for (const std::string& ext : extensions)
    if (endsWith(ext)) return path;
  return path + "." + extensions.front();
}

EditorMenu::Item& EditorMenu::AddItem(const char* text, unsigned flags) {
  Item& item = items_.emplace_back();
  item.text = text ? text : "";
  item.flags = flags;
  return item;
}

EditorMenu::Item& EditorMenu::AddSubMenu(const char* text, std::unique_ptr<EditorMenu> subMenu, unsigned flags) {
  Item& item = AddItem(text, flags);
  item.subMenu = std::move(subMenu);
  return item;
}

std::string EditorMenu::DisplayText(int index) const {
  const Item& item = GetItem(index);
  if (prefix_ == kNoPrefix || (item.flags & kSeparator)) return item.text;
  static constexpr const char* kFormats[] = {"", "%1d: ", "%02d: ", "%03d: "};
  char number[16];
  std::snprintf(number, sizeof(number), kFormats[prefix_], index + 1);
  return number + item.text;
}

bool EditorMenu::Walk(int& next, const EditorMenu* findMenu, int findIndex, int findCommand, EditorMenu** outMenu,
                      int* outIndex) {
  for (int i = 0; i < NItems(); ++i) {
    Item& item = items_[static_cast<std::size_t>(i)];
    if (item.subMenu) {
      if (item.subMenu->Walk(next, findMenu, findIndex, findCommand, outMenu, outIndex)) return true;
      continue;
    }
    if (item.flags & kSeparator) continue;
    const int command = next++;
    if ((findMenu == this && findIndex == i) || command == findCommand) {
      // Searching by item answers its command; searching by command answers the item.
      if (outMenu) *outMenu = this;
      if (outIndex) *outIndex = findCommand < 0 ? command : i;
      return true;
    }
  }
  return false;
}

int EditorMenu::CommandOf(const EditorMenu* menu, int index) const {
  int next = 1;
  int command = 0;
  return const_cast<EditorMenu*>(this)->Walk(next, menu, index, -1, nullptr, &command) ? command : 0;
}

bool EditorMenu::Resolve(int command, EditorMenu*& menu, int& index) {
  if (command <= 0) return false;
  int next = 1;
  EditorMenu* found = nullptr;
  int at = -1;
  if (!Walk(next, nullptr, -1, command, &found, &at)) return false;
  menu = found;
  index = at;
  return true;
}

}  // namespace tessaron
