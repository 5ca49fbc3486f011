// Popup menus with sub-menus: one override-redirect window per open level, drawn with
// the Gfx layer, with the pointer and keyboard grabbed until an item is chosen or the
// menu is dismissed.

#include <algorithm>
#include <chrono>
#include <vector>

#include "editor/GfxDraw.h"
#include "editor/x11/X11Common.h"

#include <X11/keysym.h>

namespace tessaron::x11 {
namespace {

constexpr int kItemHeight = 20;
constexpr int kSeparatorHeight = 9;
constexpr int kMarkColumn = 22;
constexpr int kArrowColumn = 22;
constexpr int kTextSize = 13;
// The release of the click that opened the menu must not pick the item under it.
constexpr auto kReleaseGuard = std::chrono::milliseconds(300);

struct Level {
  EditorMenu* menu = nullptr;
  ::Window window = 0;
  int x = 0, y = 0, w = 0, h = 0;
  std::vector<int> tops;  // item tops, plus the total height at the end
  int hover = -1;
};

class MenuRun {
 public:
  MenuRun(Display* display, GC gc) : display_(display), gc_(gc) {}
  ~MenuRun() { CloseFrom(0); }

  bool Open(EditorMenu& menu, int x, int y);
  void CloseFrom(std::size_t level);
  void Draw(Level& level);
  // The level and item under a root position; false when outside every level.
  bool Find(int rootX, int rootY, int& level, int& item) const;
  void HoverAt(int levelIndex, int item);
  void Step(int direction);
  std::vector<Level>& Levels() { return levels_; }

 private:
  Display* display_;
  GC gc_;
  std::vector<Level> levels_;
};

bool MenuRun::Open(EditorMenu& menu, int x, int y) {
  Level level;
  level.menu = &menu;
  int textWidth = 60;
  int top = 2;
  for (int i = 0; i < menu.NItems(); ++i) {
    level.tops.push_back(top);
    const EditorMenu::Item& item = menu.GetItem(i);
    top += (item.flags & EditorMenu::kSeparator) ? kSeparatorHeight : kItemHeight;
    textWidth = std::max(textWidth, TextWidth(menu.DisplayText(i), kTextSize));
  }
  level.tops.push_back(top);
  level.w = kMarkColumn + textWidth + kArrowColumn;
  level.h = top + 2;
  const int screen = DefaultScreen(display_);
  const int sw = DisplayWidth(display_, screen), sh = DisplayHeight(display_, screen);
  // Keep the menu on the screen: flip left of a parent level, or shift up.
  if (x + level.w > sw) x = levels_.empty() ? sw - level.w : levels_.back().x - level.w + 2;
  if (y + level.h > sh) y = sh - level.h;
  level.x = std::max(0, x);
  level.y = std::max(0, y);
  level.window = CreatePopupWindow(display_, level.x, level.y, level.w, level.h,
                                   ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask);
  if (!level.window) return false;
  XMapRaised(display_, level.window);
  levels_.push_back(level);
  Draw(levels_.back());
  return true;
}

void MenuRun::CloseFrom(std::size_t level) {
  while (levels_.size() > level) {
    XDestroyWindow(display_, levels_.back().window);
    levels_.pop_back();
  }
  XFlush(display_);
}

void MenuRun::Draw(Level& level) {
  GfxMemBitmap face(level.w, level.h);
  DrawFrame(face, Theme::kPanel, Theme::kBorder);
  EditorMenu& menu = *level.menu;
  for (int i = 0; i < menu.NItems(); ++i) {
    const EditorMenu::Item& item = menu.GetItem(i);
    const int top = level.tops[static_cast<std::size_t>(i)];
    if (item.flags & EditorMenu::kSeparator) {
      FillRect(&face, 6, top + kSeparatorHeight / 2, level.w - 12, 1, Theme::kBorder);
      continue;
    }
    if (i == level.hover && item.Enabled())
      FillRect(&face, 2, top, level.w - 4, kItemHeight, Theme::kHighlight);
    const GfxPixel colour = item.Enabled() ? Theme::kText : Theme::kGreyText;
    if (item.flags & EditorMenu::kMarked) FillCircle(&face, kMarkColumn / 2, top + kItemHeight / 2, 3, colour);
    GfxTextStyle style = Theme::Text(colour, kTextSize);
    GfxRect r{kMarkColumn, top + 3, level.w - kArrowColumn, top + kItemHeight};
    const std::string text = menu.DisplayText(i);
    DrawText(&face, style, text.c_str(), r, false);
    if (item.subMenu) {
      GfxRect a{level.w - kArrowColumn, top + 3, level.w - 6, top + kItemHeight};
      style.align = kGfxAlignRight;
      DrawText(&face, style, ">", a, false);
    }
  }
  PutBitmap(display_, level.window, gc_, face, {0, 0, level.w, level.h});
}

bool MenuRun::Find(int rootX, int rootY, int& level, int& item) const {
  for (int l = static_cast<int>(levels_.size()) - 1; l >= 0; --l) {
    const Level& v = levels_[static_cast<std::size_t>(l)];
    const int x = rootX - v.x, y = rootY - v.y;
    if (x < 0 || y < 0 || x >= v.w || y >= v.h) continue;
    level = l;
    item = -1;
    for (int i = 0; i < v.menu->NItems(); ++i)
      if (y >= v.tops[static_cast<std::size_t>(i)] && y < v.tops[static_cast<std::size_t>(i) + 1]) item = i;
    return true;
  }
  return false;
}

void MenuRun::HoverAt(int levelIndex, int item) {
  Level& level = levels_[static_cast<std::size_t>(levelIndex)];
  if (level.hover == item) return;
  level.hover = item;
  CloseFrom(static_cast<std::size_t>(levelIndex) + 1);
  Draw(levels_[static_cast<std::size_t>(levelIndex)]);
  if (item < 0) return;
  EditorMenu::Item& it = level.menu->GetItem(item);
  if (it.subMenu && it.Enabled() && it.subMenu->NItems() > 0) {
    const int x = level.x + level.w - 2, y = level.y + level.tops[static_cast<std::size_t>(item)] - 2;
    Open(*it.subMenu, x, y);
  }
}

void MenuRun::Step(int direction) {
  const int l = static_cast<int>(levels_.size()) - 1;
  Level& level = levels_.back();
  const int n = level.menu->NItems();
  int i = level.hover;
  for (int tries = 0; tries < n; ++tries) {
    i = (i + direction + n) % n;
    if (level.menu->GetItem(i).Enabled() || level.menu->GetItem(i).subMenu) break;
  }
  HoverAt(l, i);
}

}  // namespace

bool RunPopupMenu(Display* display, EditorMenu& menu, int x, int y, EditorMenuChoice& choice,
                  const OtherEvent& other) {
  choice = {};
  if (menu.NItems() == 0) return false;
  ErrorTrap trap(display);
  GC gc = XCreateGC(display, DefaultRootWindow(display), 0, nullptr);
  bool chosen = false;
  {
    MenuRun run(display, gc);
    if (!run.Open(menu, x, y)) {
      XFreeGC(display, gc);
      return false;
    }
    const ::Window grabWindow = run.Levels().front().window;
    XSync(display, False);
    XGrabPointer(display, grabWindow, True, ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                 GrabModeAsync, None, None, CurrentTime);
    XGrabKeyboard(display, grabWindow, True, GrabModeAsync, GrabModeAsync, CurrentTime);
    const auto opened = std::chrono::steady_clock::now();
    bool moved = false;
    bool done = false;
    auto pick = [&](int l, int i) {
      if (l < 0 || i < 0) return;
      Level& level = run.Levels()[static_cast<std::size_t>(l)];
      EditorMenu::Item& item = level.menu->GetItem(i);
      if (!item.Enabled() || item.subMenu) return;
      choice.menu = level.menu;
      choice.index = i;
      chosen = done = true;
    };
    while (!done) {
      if (!WaitForEvent(display, 100)) continue;
      XEvent e;
      XNextEvent(display, &e);
      bool ours = false;
      for (Level& level : run.Levels()) ours = ours || e.xany.window == level.window;
      int l = -1, i = -1;
      switch (e.type) {
        case Expose:
          if (!ours) break;
          for (Level& level : run.Levels())
            if (level.window == e.xany.window && e.xexpose.count == 0) run.Draw(level);
          break;
        case MotionNotify:
          if (run.Find(e.xmotion.x_root, e.xmotion.y_root, l, i)) {
            moved = true;
            run.HoverAt(l, i);
          }
          break;
        case ButtonPress:
          if (!run.Find(e.xbutton.x_root, e.xbutton.y_root, l, i))
            done = true;
          else
            pick(l, i);
          break;
        case ButtonRelease:
          if ((moved || std::chrono::steady_clock::now() - opened > kReleaseGuard) &&
              run.Find(e.xbutton.x_root, e.xbutton.y_root, l, i))
            pick(l, i);
          break;
        case KeyPress: {
          const KeySym k = XLookupKeysym(&e.xkey, 0);
          if (k == XK_Escape) {
            if (run.Levels().size() > 1)
              run.CloseFrom(run.Levels().size() - 1);
            else
              done = true;
          } else if (k == XK_Down || k == XK_Up) {
            run.Step(k == XK_Down ? 1 : -1);
          } else if (k == XK_Return || k == XK_KP_Enter || k == XK_Right) {
            const int last = static_cast<int>(run.Levels().size()) - 1;
            const int hover = run.Levels().back().hover;
            EditorMenu::Item* item = hover >= 0 ? &run.Levels().back().menu->GetItem(hover) : nullptr;
            if (item && item->subMenu && item->Enabled()) {
              run.Levels().back().hover = -1;
              run.HoverAt(last, hover);
            } else if (k != XK_Right) {
              pick(last, hover);
            }
          }
          break;
        }
        default:
          if (!ours && other) other(e);
          break;
      }
      if (!ours && e.type == Expose && other) other(e);
    }
    XUngrabKeyboard(display, CurrentTime);
    XUngrabPointer(display, CurrentTime);
  }
  XFreeGC(display, gc);
  XFlush(display);
  return chosen;
}

}  // namespace tessaron::x11
