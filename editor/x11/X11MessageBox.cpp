// Message boxes and the one-line question, drawn with the Gfx layer in a small dialog
// window of their own, answered with the Windows button codes the shell expects.

#include <algorithm>
#include <memory>
#include <sstream>
#include <vector>

#include "editor/GfxDraw.h"
#include "editor/IControl.h"
#include "editor/x11/X11Common.h"
#include "editor/x11/X11TextEntry.h"

#include <X11/Xatom.h>
#include <X11/keysym.h>

namespace tessaron::x11 {
namespace {

constexpr int kPad = 16;
constexpr int kLineHeight = 18;
constexpr int kMaxTextWidth = 440;
constexpr int kButtonW = 84, kButtonH = 26, kButtonGap = 8;
constexpr int kFieldW = 440, kFieldH = 24;

struct Button {
  const char* label;
  int answer;
  GfxRect rect;
};

std::vector<std::string> WrapText(const char* text) {
  std::vector<std::string> lines;
  std::istringstream paragraphs(text ? text : "");
  for (std::string paragraph; std::getline(paragraphs, paragraph);) {
    std::istringstream words(paragraph);
    std::string line;
    for (std::string word; words >> word;) {
      const std::string candidate = line.empty() ? word : line + " " + word;
      if (!line.empty() && TextWidth(candidate) > kMaxTextWidth) {
        lines.push_back(line);
        line = word;
      } else {
        line = candidate;
      }
    }
    lines.push_back(line);
  }
  if (lines.empty()) lines.emplace_back();
  return lines;
}

std::vector<Button> ButtonsFor(int type) {
  switch (type & kMessageButtonsMask) {
    case kMessageOkCancel: return {{"OK", kAnswerOk, {}}, {"Cancel", kAnswerCancel, {}}};
    case kMessageYesNoCancel: return {{"Yes", kAnswerYes, {}}, {"No", kAnswerNo, {}}, {"Cancel", kAnswerCancel, {}}};
    case kMessageYesNo: return {{"Yes", kAnswerYes, {}}, {"No", kAnswerNo, {}}};
    default: return {{"OK", kAnswerOk, {}}};
  }
}

// What closing the box without a button means.
int EscapeAnswer(const std::vector<Button>& buttons) {
  for (const Button& b : buttons)
    if (b.answer == kAnswerCancel) return kAnswerCancel;
  for (const Button& b : buttons)
    if (b.answer == kAnswerNo) return kAnswerNo;
  return buttons.front().answer;
}

// A dialog window centred on the owner (or the screen), mapped and ready for events.
class DialogWindow {
 public:
  DialogWindow(Display* display, ::Window owner, const char* caption, int width, int height)
      : display_(display), width_(width), height_(height) {
    int x = (DisplayWidth(display, DefaultScreen(display)) - width) / 2;
    int y = (DisplayHeight(display, DefaultScreen(display)) - height) / 2;
    if (owner && WindowExists(display, owner)) {
      XWindowAttributes a;
      ::Window child;
      int ox = 0, oy = 0;
      XGetWindowAttributes(display, owner, &a);
      XTranslateCoordinates(display, owner, DefaultRootWindow(display), 0, 0, &ox, &oy, &child);
      x = ox + (a.width - width) / 2;
      y = oy + (a.height - height) / 2;
    }
    XSetWindowAttributes attributes{};
    attributes.event_mask = ExposureMask | ButtonPressMask | KeyPressMask | StructureNotifyMask;
    window_ = XCreateWindow(display, DefaultRootWindow(display), std::max(0, x), std::max(0, y),
                            static_cast<unsigned>(width), static_cast<unsigned>(height), 0, CopyFromParent,
                            InputOutput, CopyFromParent, CWEventMask, &attributes);
    XStoreName(display, window_, caption && *caption ? caption : "Tessaron");
    deleteAtom_ = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window_, &deleteAtom_, 1);
    const Atom type = XInternAtom(display, "_NET_WM_WINDOW_TYPE", False);
    const Atom dialog = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DIALOG", False);
    XChangeProperty(display, window_, type, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&dialog), 1);
    if (owner) XSetTransientForHint(display, window_, owner);
    XSizeHints hints{};
    hints.flags = PMinSize | PMaxSize;
    hints.min_width = hints.max_width = width;
    hints.min_height = hints.max_height = height;
    XSetWMNormalHints(display, window_, &hints);
    gc_ = XCreateGC(display, window_, 0, nullptr);
    XMapRaised(display, window_);
    XFlush(display);
  }
  ~DialogWindow() {
    ErrorTrap trap(display_);
    XFreeGC(display_, gc_);
    XDestroyWindow(display_, window_);
    XFlush(display_);
  }
  ::Window Get() const { return window_; }
  bool IsClose(const XEvent& e) const {
    return e.type == ClientMessage && static_cast<Atom>(e.xclient.data.l[0]) == deleteAtom_;
  }
  void Show(IGfxBitmap& face) { PutBitmap(display_, window_, gc_, face, {0, 0, width_, height_}); }

 private:
  Display* display_;
  ::Window window_ = 0;
  GC gc_ = nullptr;
  Atom deleteAtom_ = None;
  int width_, height_;
};

void DrawButtons(IGfxBitmap& face, const std::vector<Button>& buttons, int focused) {
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    const GfxRect& r = buttons[i].rect;
    FillRect(&face, r.left, r.top, r.Width(), r.Height(), static_cast<int>(i) == focused ? Theme::kHighlight : Theme::kBorder);
    FillRect(&face, r.left + 1, r.top + 1, r.Width() - 2, r.Height() - 2,
             static_cast<int>(i) == focused ? Theme::kHighlight : Theme::kPanel);
    GfxTextStyle style = Theme::Text();
    style.align = kGfxAlignCentre;
    GfxRect t{r.left, r.top + 5, r.right, r.bottom};
    DrawText(&face, style, buttons[i].label, t, false);
  }
}

void PlaceButtons(std::vector<Button>& buttons, int width, int top) {
  int x = width - kPad - static_cast<int>(buttons.size()) * (kButtonW + kButtonGap) + kButtonGap;
  for (Button& b : buttons) {
    b.rect = {x, top, x + kButtonW, top + kButtonH};
    x += kButtonW + kButtonGap;
  }
}

// The shared loop: answers the chosen button's code, or EscapeAnswer.
// fieldAnswer, when given, is set by the field's Enter or Escape and ends the loop too.
int RunDialog(Display* display, DialogWindow& dialog, std::vector<Button>& buttons,
              const std::function<void(IGfxBitmap&)>& draw, GfxMemBitmap& face, TextEntry* field,
              const OtherEvent& other, const int* fieldAnswer = nullptr) {
  int focused = 0;
  auto repaint = [&] {
    draw(face);
    DrawButtons(face, buttons, focused);
    dialog.Show(face);
    XFlush(display);
  };
  int answer = -1;
  bool focusGiven = false;
  while (answer < 0) {
    if (fieldAnswer && *fieldAnswer >= 0) {
      answer = *fieldAnswer;
      break;
    }
    if (!WaitForEvent(display, 100)) continue;
    XEvent e;
    XNextEvent(display, &e);
    if (field && e.xany.window == field->Window()) {
      field->HandleEvent(e);
      continue;
    }
    if (e.xany.window != dialog.Get()) {
      if (other) other(e);
      continue;
    }
    if (dialog.IsClose(e)) answer = EscapeAnswer(buttons);
    switch (e.type) {
      case Expose:
        if (e.xexpose.count == 0) repaint();
        if (field && !focusGiven) {
          ErrorTrap trap(display);
          XSetInputFocus(display, field->Window(), RevertToParent, CurrentTime);
          focusGiven = !trap.Failed();
        }
        break;
      case ButtonPress:
        for (const Button& b : buttons)
          if (Contains(b.rect, e.xbutton.x, e.xbutton.y)) answer = b.answer;
        break;
      case KeyPress: {
        const KeySym k = XLookupKeysym(&e.xkey, 0);
        if (k == XK_Return || k == XK_KP_Enter || k == XK_space) answer = buttons[static_cast<std::size_t>(focused)].answer;
        if (k == XK_Escape) answer = EscapeAnswer(buttons);
        if (k == XK_Tab || k == XK_Right || k == XK_Left) {
          const int n = static_cast<int>(buttons.size());
          focused = (focused + (k == XK_Left ? n - 1 : 1)) % n;
          repaint();
        }
        break;
      }
      case DestroyNotify:
        answer = EscapeAnswer(buttons);
        break;
      default:
        break;
    }
  }
  return answer;
}

}  // namespace

int RunMessageBox(Display* display, ::Window owner, const char* text, const char* caption, int type,
                  const OtherEvent& other) {
  ErrorTrap trap(display);
  const std::vector<std::string> lines = WrapText(text);
  int textWidth = 0;
  for (const std::string& l : lines) textWidth = std::max(textWidth, TextWidth(l));
  std::vector<Button> buttons = ButtonsFor(type);
  const int buttonsWidth = static_cast<int>(buttons.size()) * (kButtonW + kButtonGap) - kButtonGap;
  const int width = std::max(textWidth, buttonsWidth) + 2 * kPad;
  const int textHeight = static_cast<int>(lines.size()) * kLineHeight;
  const int height = kPad + textHeight + kPad + kButtonH + kPad;
  PlaceButtons(buttons, width, height - kPad - kButtonH);
  DialogWindow dialog(display, owner, caption, width, height);
  GfxMemBitmap face(width, height);
  auto draw = [&](IGfxBitmap& f) {
    f.Resize(width, height);
    DrawFrame(f, Theme::kPanel, Theme::kBorder);
    GfxTextStyle style = Theme::Text();
    for (std::size_t i = 0; i < lines.size(); ++i) {
      GfxRect r{kPad, kPad + static_cast<int>(i) * kLineHeight, width - kPad, kPad + static_cast<int>(i + 1) * kLineHeight};
      DrawText(&f, style, lines[i].c_str(), r, false);
    }
  };
  return RunDialog(display, dialog, buttons, draw, face, nullptr, other);
}

bool RunLineDialog(Display* display, ::Window owner, const char* caption, const char* prompt, std::string& text,
                   const OtherEvent& other) {
  ErrorTrap trap(display);
  std::vector<Button> buttons = ButtonsFor(kMessageOkCancel);
  const int width = kFieldW + 2 * kPad;
  const int fieldTop = kPad + kLineHeight + 4;
  const int height = fieldTop + kFieldH + kPad + kButtonH + kPad;
  PlaceButtons(buttons, width, height - kPad - kButtonH);
  DialogWindow dialog(display, owner, caption, width, height);
  int result = -1;
  GfxTextStyle fieldStyle = Theme::Text();
  TextEntry field(display, dialog.Get(), {kPad, fieldTop, kPad + kFieldW, fieldTop + kFieldH}, text.c_str(),
                  fieldStyle, 1023, [&](TextEntryEvent e) {
                    if (e == TextEntryEvent::kEnter) result = kAnswerOk;
                    if (e == TextEntryEvent::kEscape) result = kAnswerCancel;
                  });
  GfxMemBitmap face(width, height);
  auto draw = [&](IGfxBitmap& f) {
    DrawFrame(f, Theme::kPanel, Theme::kBorder);
    GfxTextStyle style = Theme::Text();
    GfxRect r{kPad, kPad, width - kPad, kPad + kLineHeight};
    DrawText(&f, style, prompt ? prompt : "", r, false);
  };
  const int answer = RunDialog(display, dialog, buttons, draw, face, &field, other, &result);
  if (answer == kAnswerOk) text = field.Text();
  return answer == kAnswerOk;
}

}  // namespace tessaron::x11
