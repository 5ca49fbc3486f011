// Popup menus with sub-menus: one override-redirect window per open level, drawn with
// the Gfx layer, with the pointer and keyboard grabbed until an item is chosen or the
// menu is dismissed. The editor's event pump advances it; it never waits itself.

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
    if (i == level.hover && item.Enabled()) FillRect(&face, 2, top, level.w - 4, kItemHeight, Theme::kHighlight);
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

class MenuInteraction final : public Interaction {
 public:
  MenuInteraction(Display* display, std::shared_ptr<EditorMenu> menu, MenuDone done)
      : display_(display),
        menu_(std::move(menu)),
        done_(std::move(done)),
        gc_(XCreateGC(display, DefaultRootWindow(display), 0, nullptr)),
        run_(display, gc_),
        opened_(std::chrono::steady_clock::now()) {}
  ~MenuInteraction() override {
    ErrorTrap trap(display_);
    if (grabbed_) {
      XUngrabKeyboard(display_, CurrentTime);
      XUngrabPointer(display_, CurrentTime);
    }
    run_.CloseFrom(0);
    XFreeGC(display_, gc_);
    XFlush(display_);
  }

  bool Open(int x, int y) {
    if (!menu_ || menu_->NItems() == 0 || !run_.Open(*menu_, x, y)) return false;
    const ::Window grabWindow = run_.Levels().front().window;
    XSync(display_, False);
    XGrabPointer(display_, grabWindow, True, ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                 GrabModeAsync, None, None, CurrentTime);
    XGrabKeyboard(display_, grabWindow, True, GrabModeAsync, GrabModeAsync, CurrentTime);
    grabbed_ = true;
    return true;
  }

  bool Finished() const override { return done_flag_; }
  void Dismiss() { done_flag_ = true; }

  std::function<void()> TakeDelivery() override {
    return [done = std::move(done_), menu = menu_, choice = choice_] {
      if (done) done(choice);
    };
  }

  // While open the menu owns the pointer and the keyboard: every pointer and key event
  // is its, whichever of our windows it was reported for.
  bool HandleEvent(XEvent& e) override {
    if (done_flag_) return false;
    bool ours = false;
    for (Level& level : run_.Levels()) ours = ours || e.xany.window == level.window;
    int l = -1, i = -1;
    switch (e.type) {
      case Expose:
        if (!ours) return false;
        for (Level& level : run_.Levels())
          if (level.window == e.xany.window && e.xexpose.count == 0) run_.Draw(level);
        return true;
      case MotionNotify:
        if (run_.Find(e.xmotion.x_root, e.xmotion.y_root, l, i)) {
          moved_ = true;
          run_.HoverAt(l, i);
        }
        return true;
      case ButtonPress:
        if (!run_.Find(e.xbutton.x_root, e.xbutton.y_root, l, i))
          done_flag_ = true;
        else
          Pick(l, i);
        return true;
      case ButtonRelease:
        if ((moved_ || std::chrono::steady_clock::now() - opened_ > kReleaseGuard) &&
            run_.Find(e.xbutton.x_root, e.xbutton.y_root, l, i))
          Pick(l, i);
        return true;
      case KeyPress: Key(XLookupKeysym(&e.xkey, 0)); return true;
      case KeyRelease: return true;
      default: return ours;
    }
  }

 private:
  void Pick(int l, int i) {
    if (l < 0 || i < 0) return;
    Level& level = run_.Levels()[static_cast<std::size_t>(l)];
    EditorMenu::Item& item = level.menu->GetItem(i);
    if (!item.Enabled() || item.subMenu) return;
    choice_.menu = level.menu;
    choice_.index = i;
    done_flag_ = true;
  }

  void Key(KeySym k) {
    std::vector<Level>& levels = run_.Levels();
    const int last = static_cast<int>(levels.size()) - 1;
    if (k == XK_Escape || k == XK_Left || k == XK_KP_Left) {
      // Left and Escape leave a sub-menu; Escape on the main menu closes it.
      if (levels.size() > 1)
        run_.CloseFrom(levels.size() - 1);
      else if (k == XK_Escape)
        done_flag_ = true;
    } else if (k == XK_Down || k == XK_Up || k == XK_KP_Down || k == XK_KP_Up) {
      run_.Step(k == XK_Down || k == XK_KP_Down ? 1 : -1);
    } else if (k == XK_Return || k == XK_KP_Enter || k == XK_Right || k == XK_KP_Right || k == XK_space) {
      const int hover = levels.back().hover;
      EditorMenu::Item* item = hover >= 0 ? &levels.back().menu->GetItem(hover) : nullptr;
      if (item && item->subMenu && item->Enabled()) {
        levels.back().hover = -1;
        run_.HoverAt(last, hover);
        if (static_cast<int>(run_.Levels().size()) > last + 1) run_.Step(1);  // into the sub-menu's first item
      } else if (k != XK_Right && k != XK_KP_Right) {
        Pick(last, hover);
      }
    }
  }

  Display* display_;
  std::shared_ptr<EditorMenu> menu_;
  MenuDone done_;
  GC gc_;
  MenuRun run_;
  std::chrono::steady_clock::time_point opened_;
  EditorMenuChoice choice_;
  bool grabbed_ = false;
  bool moved_ = false;
  bool done_flag_ = false;
};

}  // namespace

std::unique_ptr<Interaction> StartPopupMenu(Display* display, std::shared_ptr<EditorMenu> menu, int x, int y,
                                            MenuDone done) {
  ErrorTrap trap(display);
  auto interaction = std::make_unique<MenuInteraction>(display, std::move(menu), std::move(done));
  // An empty menu, or one that cannot be shown, closes at once without a choice.
  if (!interaction->Open(x, y)) interaction->Dismiss();
  return interaction;
}

}  // namespace tessaron::x11
