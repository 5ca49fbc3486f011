// Message boxes and the one-line question, drawn with the Gfx layer in a small dialog
// window of their own, answered with the Windows button codes the shell expects. They
// never wait: the editor's event pump hands them their events until they are answered.

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

}  // namespace

DialogBox::DialogBox(Display* display, ::Window owner, const char* caption, int width, int height,
                     std::vector<Button> buttons, int focused)
    : display_(display), width_(width), height_(height), buttons_(std::move(buttons)), face_(width, height) {
  focused_ = std::clamp(focused, 0, static_cast<int>(buttons_.size()) - 1);
  // Right-aligned in a row at the bottom.
  int x = width - kPad - static_cast<int>(buttons_.size()) * (kButtonW + kButtonGap) + kButtonGap;
  for (Button& b : buttons_) {
    b.rect = {x, height - kPad - kButtonH, x + kButtonW, height - kPad};
    x += kButtonW + kButtonGap;
  }
  ErrorTrap trap(display);
  XGetInputFocus(display, &previousFocus_, &previousRevert_);
  int left = (DisplayWidth(display, DefaultScreen(display)) - width) / 2;
  int top = (DisplayHeight(display, DefaultScreen(display)) - height) / 2;
  XWindowAttributes a;
  if (owner && XGetWindowAttributes(display, owner, &a)) {
    ::Window child;
    int ox = 0, oy = 0;
    XTranslateCoordinates(display, owner, DefaultRootWindow(display), 0, 0, &ox, &oy, &child);
    left = ox + (a.width - width) / 2;
    top = oy + (a.height - height) / 2;
  }
  XSetWindowAttributes attributes{};
  attributes.event_mask = ExposureMask | ButtonPressMask | KeyPressMask | StructureNotifyMask;
  window_ = XCreateWindow(display, DefaultRootWindow(display), std::max(0, left), std::max(0, top),
                          static_cast<unsigned>(width), static_cast<unsigned>(height), 0, CopyFromParent, InputOutput,
                          CopyFromParent, CWEventMask, &attributes);
  XStoreName(display, window_, caption && *caption ? caption : "Tessaron");
  deleteAtom_ = XInternAtom(display, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(display, window_, &deleteAtom_, 1);
  const Atom type = XInternAtom(display, "_NET_WM_WINDOW_TYPE", False);
  const Atom dialog = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DIALOG", False);
  XChangeProperty(display, window_, type, XA_ATOM, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&dialog),
                  1);
  const Atom state = XInternAtom(display, "_NET_WM_STATE", False);
  const Atom modal = XInternAtom(display, "_NET_WM_STATE_MODAL", False);
  XChangeProperty(display, window_, state, XA_ATOM, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&modal),
                  1);
  if (owner) XSetTransientForHint(display, window_, owner);
  XSizeHints hints{};
  hints.flags = PMinSize | PMaxSize;
  hints.min_width = hints.max_width = width;
  hints.min_height = hints.max_height = height;
  XSetWMNormalHints(display, window_, &hints);
  XWMHints wmHints{};
  wmHints.flags = InputHint;
  wmHints.input = True;
  XSetWMHints(display, window_, &wmHints);
  gc_ = XCreateGC(display, window_, 0, nullptr);
  XMapRaised(display, window_);
  XFlush(display);
}

DialogBox::~DialogBox() {
  ErrorTrap trap(display_);
  // The focus goes back where it was, so the host's keys work again without a window
  // manager to hand it on.
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(display_, &focus, &revert);
  const bool ours = focus == window_ || (FieldWindow() && focus == FieldWindow());
  if (gc_) XFreeGC(display_, gc_);
  XDestroyWindow(display_, window_);
  if (ours && previousFocus_ && previousFocus_ != window_) {
    XSetInputFocus(display_, previousFocus_, previousRevert_, CurrentTime);
  }
  XFlush(display_);
}

void DialogBox::TakeFocus() {
  ErrorTrap trap(display_);
  XSetInputFocus(display_, FieldWindow() ? FieldWindow() : window_, RevertToParent, CurrentTime);
  // A window manager is asked too; without one the request goes nowhere.
  XEvent active{};
  active.xclient.type = ClientMessage;
  active.xclient.window = window_;
  active.xclient.message_type = XInternAtom(display_, "_NET_ACTIVE_WINDOW", False);
  active.xclient.format = 32;
  active.xclient.data.l[0] = 1;  // an application's request
  active.xclient.data.l[1] = CurrentTime;
  XSendEvent(display_, DefaultRootWindow(display_), False, SubstructureRedirectMask | SubstructureNotifyMask, &active);
  trap.Failed();
}

int DialogBox::EscapeAnswer() const {
  for (const Button& b : buttons_)
    if (b.answer == kAnswerCancel) return kAnswerCancel;
  for (const Button& b : buttons_)
    if (b.answer == kAnswerNo) return kAnswerNo;
  return buttons_.front().answer;
}

void DialogBox::Repaint() {
  DrawBody(face_);
  for (std::size_t i = 0; i < buttons_.size(); ++i) {
    const GfxRect& r = buttons_[i].rect;
    const bool focused = static_cast<int>(i) == focused_;
    FillRect(&face_, r.left, r.top, r.Width(), r.Height(), focused ? Theme::kHighlight : Theme::kBorder);
    FillRect(&face_, r.left + 1, r.top + 1, r.Width() - 2, r.Height() - 2, focused ? Theme::kHighlight : Theme::kPanel);
    GfxTextStyle style = Theme::Text();
    style.align = kGfxAlignCentre;
    GfxRect t{r.left, r.top + 5, r.right, r.bottom};
    DrawText(&face_, style, buttons_[i].label, t, false);
  }
  PutBitmap(display_, window_, gc_, face_, {0, 0, width_, height_});
  XFlush(display_);
}

bool DialogBox::HandleEvent(XEvent& e) {
  if (FieldWindow() && e.xany.window == FieldWindow()) {
    FieldEvent(e);
    return true;
  }
  if (e.xany.window != window_) return false;
  if (Finished()) return true;
  const int n = static_cast<int>(buttons_.size());
  switch (e.type) {
    case MapNotify: TakeFocus(); break;
    case Expose:
      if (e.xexpose.count == 0) Repaint();
      break;
    case ClientMessage:
      if (static_cast<Atom>(e.xclient.data.l[0]) == deleteAtom_) answer_ = EscapeAnswer();
      break;
    case ButtonPress:
      for (const Button& b : buttons_)
        if (Contains(b.rect, e.xbutton.x, e.xbutton.y)) answer_ = b.answer;
      break;
    case KeyPress: {
      const KeySym k = XLookupKeysym(&e.xkey, 0);
      if (k == XK_Return || k == XK_KP_Enter || k == XK_space) {
        answer_ = buttons_[static_cast<std::size_t>(focused_)].answer;
      } else if (k == XK_Escape) {
        answer_ = EscapeAnswer();
      } else if (k == XK_Tab || k == XK_Right || k == XK_Down || k == XK_Left || k == XK_Up || k == XK_ISO_Left_Tab) {
        const bool back =
            k == XK_Left || k == XK_Up || k == XK_ISO_Left_Tab || (k == XK_Tab && (e.xkey.state & ShiftMask));
        focused_ = (focused_ + (back ? n - 1 : 1)) % n;
        Repaint();
      }
      break;
    }
    case DestroyNotify: answer_ = EscapeAnswer(); break;
    default: break;
  }
  return true;
}

namespace {

std::vector<DialogBox::Button> ButtonsFor(int type);

class MessageDialog final : public DialogBox {
 public:
  MessageDialog(Display* display, ::Window owner, const char* caption, int width, int height,
                std::vector<Button> buttons, int focused, std::vector<std::string> lines)
      : DialogBox(display, owner, caption, width, height, std::move(buttons), focused), lines_(std::move(lines)) {}

 protected:
  void DrawBody(IGfxBitmap& f) override {
    DrawFrame(f, Theme::kPanel, Theme::kBorder);
    GfxTextStyle style = Theme::Text();
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      GfxRect r{kPad, kPad + static_cast<int>(i) * kLineHeight, width_ - kPad,
                kPad + static_cast<int>(i + 1) * kLineHeight};
      DrawText(&f, style, lines_[i].c_str(), r, false);
    }
  }

 private:
  std::vector<std::string> lines_;
};

class LineDialog final : public DialogBox {
 public:
  LineDialog(Display* display, ::Window owner, const char* caption, int width, int height, std::vector<Button> buttons,
             const char* prompt, const std::string& text)
      : DialogBox(display, owner, caption, width, height, std::move(buttons), 0), prompt_(prompt ? prompt : "") {
    const int fieldTop = kPad + kLineHeight + 4;
    field_ = std::make_unique<TextEntry>(display, Get(), GfxRect{kPad, fieldTop, kPad + kFieldW, fieldTop + kFieldH},
                                         text.c_str(), Theme::Text(), 1023, [this](TextEntryEvent e) {
                                           if (Finished()) return;
                                           if (e == TextEntryEvent::kEnter) SetAnswer(kAnswerOk);
                                           if (e == TextEntryEvent::kEscape) SetAnswer(kAnswerCancel);
                                         });
  }
  ~LineDialog() override { field_.reset(); }
  std::string Text() const override { return field_ ? field_->Text() : std::string(); }

 protected:
  ::Window FieldWindow() const override { return field_ ? field_->Window() : 0; }
  void FieldEvent(XEvent& e) override {
    if (field_) field_->HandleEvent(e);
  }
  void DrawBody(IGfxBitmap& f) override {
    DrawFrame(f, Theme::kPanel, Theme::kBorder);
    GfxTextStyle style = Theme::Text();
    GfxRect r{kPad, kPad, width_ - kPad, kPad + kLineHeight};
    DrawText(&f, style, prompt_.c_str(), r, false);
  }

 private:
  std::string prompt_;
  std::unique_ptr<TextEntry> field_;
};

std::vector<DialogBox::Button> ButtonsFor(int type) {
  switch (type & kMessageButtonsMask) {
    case kMessageOkCancel: return {{"OK", kAnswerOk, {}}, {"Cancel", kAnswerCancel, {}}};
    case kMessageYesNoCancel: return {{"Yes", kAnswerYes, {}}, {"No", kAnswerNo, {}}, {"Cancel", kAnswerCancel, {}}};
    case kMessageYesNo: return {{"Yes", kAnswerYes, {}}, {"No", kAnswerNo, {}}};
    default: return {{"OK", kAnswerOk, {}}};
  }
}

class MessageBoxInteraction final : public Interaction {
 public:
  MessageBoxInteraction(std::unique_ptr<DialogBox> box, MessageBoxDone done)
      : box_(std::move(box)), done_(std::move(done)) {}
  bool HandleEvent(XEvent& event) override { return box_ && box_->HandleEvent(event); }
  bool Finished() const override { return !box_ || box_->Finished(); }
  std::function<void()> TakeDelivery() override {
    const int answer = box_ ? box_->Answer() : kAnswerNone;
    box_.reset();
    return [done = std::move(done_), answer] {
      if (done) done(answer);
    };
  }

 private:
  std::unique_ptr<DialogBox> box_;
  MessageBoxDone done_;
};

}  // namespace

std::unique_ptr<DialogBox> OpenMessageBox(Display* display, ::Window owner, const char* text, const char* caption,
                                          int type) {
  std::vector<std::string> lines = WrapText(text);
  int textWidth = 0;
  for (const std::string& l : lines) textWidth = std::max(textWidth, TextWidth(l));
  std::vector<DialogBox::Button> buttons = ButtonsFor(type);
  const int buttonsWidth = static_cast<int>(buttons.size()) * (kButtonW + kButtonGap) - kButtonGap;
  const int width = std::max(textWidth, buttonsWidth) + 2 * kPad;
  const int height = kPad + static_cast<int>(lines.size()) * kLineHeight + kPad + kButtonH + kPad;
  const int focused = (type & kMessageDefaultButton2) ? 1 : 0;
  return std::make_unique<MessageDialog>(display, owner, caption, width, height, std::move(buttons), focused,
                                         std::move(lines));
}

std::unique_ptr<DialogBox> OpenLineDialog(Display* display, ::Window owner, const char* caption, const char* prompt,
                                          const std::string& text) {
  const int width = kFieldW + 2 * kPad;
  const int height = kPad + kLineHeight + 4 + kFieldH + kPad + kButtonH + kPad;
  return std::make_unique<LineDialog>(display, owner, caption, width, height, ButtonsFor(kMessageOkCancel), prompt,
                                      text);
}

std::unique_ptr<Interaction> StartMessageBox(Display* display, ::Window owner, const char* text, const char* caption,
                                             int type, MessageBoxDone done) {
  return std::make_unique<MessageBoxInteraction>(OpenMessageBox(display, owner, text, caption, type), std::move(done));
}

}  // namespace tessaron::x11
