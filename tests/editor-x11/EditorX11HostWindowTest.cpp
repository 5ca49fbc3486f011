// The module's editor as real hosts and users meet it, through the host ABI on the private
// Xvfb server the smoke tests start: parent windows of depth 24 and 32, middle clicks,
// quick reopenings of menus, and the name field with the clipboard.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "editor/GfxBitmap.h"
#include "editor/GfxPng.h"
#include "tests/editor-x11/X11TestSupport.h"
#include "tests/support/TestHost.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace tessaron {
namespace {

using namespace std::chrono_literals;
using test::WaitUntil;

void MoveTo(int x, int y) { test::Xdotool({"mousemove", std::to_string(x), std::to_string(y)}); }

// The test's own connection, held for the whole test: the server resets for a moment
// whenever its last client leaves, as the set-up's probe just did.
Display* OpenDisplay() {
  Display* d = nullptr;
  if (std::getenv("DISPLAY")) WaitUntil(5s, [&] { return (d = XOpenDisplay(nullptr)) != nullptr; });
  return d;
}

void Idle(test::TestHost& vst, std::chrono::milliseconds span) {
  const auto end = std::chrono::steady_clock::now() + span;
  while (std::chrono::steady_clock::now() < end) {
    vst.Dispatch(vst::effEditIdle);
    std::this_thread::sleep_for(5ms);
  }
}

// The user acts on a thread of their own (with their own connection) while the host's
// thread keeps idling the editor, as a host's event loop would.
bool WhilePumping(test::TestHost& vst, const std::function<bool(Display*)>& script) {
  std::atomic<bool> finished{false};
  bool passed = false;
  std::thread user([&] {
    if (Display* display = XOpenDisplay(nullptr)) {
      passed = script(display);
      XCloseDisplay(display);
    }
    finished = true;
  });
  while (!finished) {
    vst.Dispatch(vst::effEditIdle);
    std::this_thread::sleep_for(5ms);
  }
  user.join();
  return passed;
}

void* Handle(Window w) { return reinterpret_cast<void*>(static_cast<uintptr_t>(w)); }

// A host's top-level window of the given depth at the screen's top left, the editor's size.
Window MakeParent(Display* d, int depth) {
  XVisualInfo info;
  if (!XMatchVisualInfo(d, DefaultScreen(d), depth, TrueColor, &info)) return 0;
  XSetWindowAttributes a{};
  a.colormap = XCreateColormap(d, DefaultRootWindow(d), info.visual, AllocNone);
  a.border_pixel = 0;
  a.background_pixel = 0;
  const Window w = XCreateWindow(d, DefaultRootWindow(d), 0, 0, 1125, 400, 0, depth, InputOutput, info.visual,
                                 CWColormap | CWBorderPixel | CWBackPixel, &a);
  XMapWindow(d, w);
  XSync(d, False);
  return w;
}

// A window's pixels as 0xFFRRGGBB (both visuals here keep red, green and blue in 8-bit masks).
GfxMemBitmap Pixels(Display* d, Window w, int x, int y, int width, int height) {
  XSync(d, False);
  GfxMemBitmap shot(width, height);
  XImage* image =
      XGetImage(d, w, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (!image) return GfxMemBitmap();
  for (int r = 0; r < height; ++r)
    for (int c = 0; c < width; ++c)
      shot.Row(r)[c] = 0xFF000000u | (static_cast<GfxPixel>(XGetPixel(image, c, r)) & 0xFFFFFFu);
  XDestroyImage(image);
  return shot;
}

// Empty when both hold the same pixels, else where they first differ.
std::string Difference(GfxMemBitmap& a, GfxMemBitmap& b) {
  if (a.IsEmpty() || a.Width() != b.Width() || a.Height() != b.Height()) return "sizes differ";
  GfxRect box{a.Width(), a.Height(), 0, 0};
  for (int r = 0; r < a.Height(); ++r)
    for (int c = 0; c < a.Width(); ++c)
      if (a.PixelAt(c, r) != b.PixelAt(c, r))
        box = {std::min(box.left, c), std::min(box.top, r), std::max(box.right, c + 1), std::max(box.bottom, r + 1)};
  if (box.Empty()) return {};
  return "pixels differ in (" + std::to_string(box.left) + ", " + std::to_string(box.top) + ") to (" +
         std::to_string(box.right) + ", " + std::to_string(box.bottom) + ")";
}

// The picture once it has settled: the editor paints what each idle call changed at its
// next timer tick, however long the first paint took.
GfxMemBitmap SteadyPixels(test::TestHost& vst, Display* d, Window w, int x, int y, int width, int height) {
  Idle(vst, 150ms);
  GfxMemBitmap previous = Pixels(d, w, x, y, width, height);
  for (int round = 0; round < 50; ++round) {
    Idle(vst, 150ms);
    GfxMemBitmap now = Pixels(d, w, x, y, width, height);
    if (Difference(previous, now).empty()) return now;
    previous = std::move(now);
  }
  return previous;
}

std::atomic<int> hostXErrors{0};
int CountXError(Display*, XErrorEvent*) {
  ++hostXErrors;
  return 0;
}

TEST(EditorX11Host, PanelShowsInDepth24AndArgbParentsWithoutXErrors) {
  Display* d = OpenDisplay();
  ASSERT_NE(d, nullptr) << "no X server";
  const XErrorHandler previous = XSetErrorHandler(CountXError);
  hostXErrors = 0;
  std::vector<GfxMemBitmap> shots;
  for (int depth : {24, 32}) {
    test::TestHost vst;
    ASSERT_TRUE(vst.Load());
    const Window parent = MakeParent(d, depth);
    ASSERT_NE(parent, 0u) << "the server offers no TrueColor visual of depth " << depth;
    MoveTo(1200, 700);  // nothing hovered, so both pictures show the same panel
    ASSERT_EQ(vst.Dispatch(vst::effEditOpen, 0, 0, Handle(parent)), 1);
    shots.push_back(SteadyPixels(vst, d, parent, 0, 0, 1125, 400));
    WritePNGFile(shots.back(),
                 std::string(TESSARON_ARTEFACT_DIR) + "/editor-x11-depth" + std::to_string(depth) + ".png");
    // The name field is a window of the editor's visual too.
    MoveTo(874, 306);
    test::Xdotool({"click", "1"});
    Idle(vst, 200ms);
    test::Xdotool({"key", "Escape"});
    Idle(vst, 200ms);
    EXPECT_EQ(vst.Dispatch(vst::effEditClose), 1);
    XDestroyWindow(d, parent);
    XSync(d, False);
  }
  XSetErrorHandler(previous);
  XCloseDisplay(d);
  EXPECT_EQ(hostXErrors, 0) << "X errors of the editor reached the host's handler";
  std::unordered_set<GfxPixel> colours;
  for (int r = 0; r < 400; ++r)
    for (int c = 0; c < 1125; ++c) colours.insert(shots[0].PixelAt(c, r));
  EXPECT_GT(colours.size(), 1000u) << "the panel is drawn in a depth-24 parent";
  EXPECT_EQ(Difference(shots[0], shots[1]), "") << "the panel is the same in an ARGB parent";
}

// Presses the host's own window receives.
int PressesOn(Display* d, Window w) {
  XSync(d, False);
  int presses = 0;
  XEvent event;
  while (XCheckWindowEvent(d, w, ButtonPressMask, &event)) ++presses;
  return presses;
}

TEST(EditorX11Host, MiddleClickAndDragLetGoOfThePointerAndEveryEditEnds) {
  Display* d = OpenDisplay();
  ASSERT_NE(d, nullptr) << "no X server";
  test::TestHost vst;
  ASSERT_TRUE(vst.Load());
  const Window parent = MakeParent(d, 24);
  const Window other = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 500, 300, 100, 0, 0, 0x808080);
  XSelectInput(d, other, ButtonPressMask);
  XMapWindow(d, other);
  XSync(d, False);
  ASSERT_EQ(vst.Dispatch(vst::effEditOpen, 0, 0, Handle(parent)), 1);
  auto pump = [&] { Idle(vst, 100ms); };
  pump();
  vst.ClearCalls();

  // "VCF: Cutoff" as it shows without its hover text; then a left drag from it that is
  // released outside the window, straight sideways so its value stays.
  MoveTo(1200, 80);
  GfxMemBitmap plain = SteadyPixels(vst, d, parent, 256, 56, 44, 48);
  MoveTo(276, 80);
  pump();
  test::Xdotool({"mousedown", "1"});
  pump();
  MoveTo(1200, 80);
  pump();
  test::Xdotool({"mouseup", "1"});
  GfxMemBitmap after = SteadyPixels(vst, d, parent, 256, 56, 44, 48);
  EXPECT_EQ(Difference(plain, after), "") << "the hover text stays after a release outside the window";

  // On the same knob a middle click, then a middle drag upwards.
  MoveTo(276, 80);
  pump();
  test::Xdotool({"click", "2"});
  pump();
  test::Xdotool({"mousedown", "2"});
  pump();
  MoveTo(276, 50);
  pump();
  test::Xdotool({"mouseup", "2"});
  pump();
  EXPECT_EQ(vst.CountCalls(vst::audioMasterBeginEdit), 3);
  EXPECT_EQ(vst.CountCalls(vst::audioMasterEndEdit), 3);

  // The pointer is free: the host's own window gets the next clicks.
  PressesOn(d, other);
  MoveTo(150, 550);
  test::Xdotool({"click", "1"});
  test::Xdotool({"click", "1"});
  pump();
  EXPECT_EQ(PressesOn(d, other), 2) << "the editor still holds the pointer";

  EXPECT_EQ(vst.Dispatch(vst::effEditClose), 1);
  XDestroyWindow(d, other);
  XDestroyWindow(d, parent);
  XCloseDisplay(d);
}

// Mapped override-redirect windows that take clicks: our popup menus.
int OpenMenus(Display* d) {
  int menus = 0;
  XGrabServer(d);
  Window root = 0, up = 0, *children = nullptr;
  unsigned count = 0;
  if (XQueryTree(d, DefaultRootWindow(d), &root, &up, &children, &count)) {
    for (unsigned i = 0; i < count; ++i) {
      XWindowAttributes a;
      if (XGetWindowAttributes(d, children[i], &a) && a.override_redirect && a.map_state == IsViewable &&
          (a.all_event_masks & ButtonPressMask))
        ++menus;
    }
    if (children) XFree(children);
  }
  XUngrabServer(d);
  XSync(d, False);
  return menus;
}

TEST(EditorX11Host, MenusReopenAtOnceThreeTimesInARow) {
  Display* d = OpenDisplay();
  ASSERT_NE(d, nullptr) << "no X server";
  test::TestHost vst;
  ASSERT_TRUE(vst.Load());
  const Window parent = MakeParent(d, 24);
  ASSERT_EQ(vst.Dispatch(vst::effEditOpen, 0, 0, Handle(parent)), 1);
  Idle(vst, 200ms);
  struct Opener {
    const char* what;
    int x, y;
  };
  for (const Opener& menu : {Opener{"the options menu", 998, 306}, Opener{"the program list", 740, 306}}) {
    std::string failure;
    const bool passed = WhilePumping(vst, [&](Display* user) {
      for (int attempt = 1; attempt <= 3; ++attempt) {
        MoveTo(menu.x, menu.y);
        test::Xdotool({"click", "1"});
        if (!WaitUntil(10s, [&] { return OpenMenus(user) == 1; })) {
          failure = std::string(menu.what) + " did not open at click " + std::to_string(attempt);
          return false;
        }
        test::Xdotool({"key", "Escape"});
        if (!WaitUntil(10s, [&] { return OpenMenus(user) == 0; })) {
          failure = std::string("Escape left ") + menu.what + " open";
          return false;
        }
      }
      return true;
    });
    ASSERT_TRUE(passed) << failure;
  }
  EXPECT_EQ(vst.Dispatch(vst::effEditClose), 1);
  XDestroyWindow(d, parent);
  XCloseDisplay(d);
}

// Another client holding the clipboard, answering on a thread of its own.
class ClipboardOwner {
 public:
  explicit ClipboardOwner(std::string text) : text_(std::move(text)) {
    display_ = XOpenDisplay(nullptr);
    window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(display_, XInternAtom(display_, "CLIPBOARD", False), window_, CurrentTime);
    XSync(display_, False);
    thread_ = std::thread([this] { Serve(); });
  }
  ~ClipboardOwner() {
    stop_ = true;
    thread_.join();
    XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
  }
  int Served() const { return served_; }

 private:
  void Serve() {
    const Atom utf8 = XInternAtom(display_, "UTF8_STRING", False);
    while (!stop_) {
      pollfd fd{ConnectionNumber(display_), POLLIN, 0};
      poll(&fd, 1, 20);
      while (XPending(display_)) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type != SelectionRequest) continue;
        const XSelectionRequestEvent& r = event.xselectionrequest;
        XEvent reply{};
        reply.xselection.type = SelectionNotify;
        reply.xselection.requestor = r.requestor;
        reply.xselection.selection = r.selection;
        reply.xselection.target = r.target;
        reply.xselection.time = r.time;
        reply.xselection.property = None;
        if (r.target == utf8) {
          XChangeProperty(display_, r.requestor, r.property, utf8, 8, PropModeReplace,
                          reinterpret_cast<const unsigned char*>(text_.data()), static_cast<int>(text_.size()));
          reply.xselection.property = r.property;
        }
        XSendEvent(display_, r.requestor, False, NoEventMask, &reply);
        XSync(display_, False);  // the answer is on its way before the count says so
        ++served_;
      }
    }
  }
  std::string text_;
  Display* display_;
  Window window_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<int> served_{0};
};

// The clipboard's text as another client reads it; empty when there is no answer.
std::string ReadClipboard(Display* d) {
  const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
  const Atom property = XInternAtom(d, "TEST_CLIPBOARD", False);
  XConvertSelection(d, XInternAtom(d, "CLIPBOARD", False), XInternAtom(d, "UTF8_STRING", False), property, w,
                    CurrentTime);
  XFlush(d);
  std::string text;
  XEvent event;
  if (WaitUntil(2s, [&] { return XCheckTypedWindowEvent(d, w, SelectionNotify, &event) == True; }) &&
      event.xselection.property != None) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, property, 0, 1024, True, AnyPropertyType, &type, &format, &count, &after, &data) ==
            Success &&
        data)
      text.assign(reinterpret_cast<const char*>(data), count);
    if (data) XFree(data);
  }
  XDestroyWindow(d, w);
  return text;
}

// The name field: a child window of the editor's window.
bool FieldOpen(Display* d, Window parent) {
  Window root, up, *editors = nullptr, *fields = nullptr;
  unsigned nEditors = 0, nFields = 0;
  bool open = false;
  if (XQueryTree(d, parent, &root, &up, &editors, &nEditors) && nEditors > 0 &&
      XQueryTree(d, editors[0], &root, &up, &fields, &nFields))
    open = nFields > 0;
  if (editors) XFree(editors);
  if (fields) XFree(fields);
  return open;
}

TEST(EditorX11Host, NameFieldEditsInTheMiddleCutsCopiesAndPastes) {
  Display* d = OpenDisplay();
  ASSERT_NE(d, nullptr) << "no X server";
  test::TestHost vst;
  ASSERT_TRUE(vst.Load());
  char name[] = "PAD: Star Tone";
  vst.Dispatch(vst::effSetProgramName, 0, 0, name);
  const Window parent = MakeParent(d, 24);
  ASSERT_EQ(vst.Dispatch(vst::effEditOpen, 0, 0, Handle(parent)), 1);
  Idle(vst, 200ms);
  auto openField = [&](Display* user) {
    MoveTo(874, 306);
    test::Xdotool({"click", "1"});
    return WaitUntil(10s, [&] { return FieldOpen(user, parent); });
  };

  // The caret to the ':', which goes, a '-' in its place; the rest cut, then pasted back in
  // front of the '-'.
  std::string cut;
  ASSERT_TRUE(WhilePumping(vst, [&](Display* user) {
    if (!openField(user)) return false;
    test::Xdotool({"key", "Home", "Right", "Right", "Right", "Delete", "minus", "shift+End", "ctrl+x"});
    WaitUntil(10s, [&] { return (cut = ReadClipboard(user)) == " Star Tone"; });
    test::Xdotool({"key", "Left", "ctrl+v", "Return"});
    return WaitUntil(10s, [&] { return !FieldOpen(user, parent); });
  })) << "the name field did not open, or stayed open after Enter";
  EXPECT_EQ(cut, " Star Tone") << "what was cut is on the clipboard for other programs";
  Idle(vst, 100ms);
  EXPECT_EQ(vst.DispatchText(vst::effGetProgramName), "PAD Star Tone-");

  // Another program's text pasted after the first character: the 27-byte field takes as
  // much as fits, and never half a character.
  std::string pasted = "ab";
  for (int i = 0; i < 20; ++i) pasted += "\xC3\xA9";
  const std::string expected = "P" + pasted.substr(0, 12) + "AD Star Tone-";
  std::string copied;
  {
    ClipboardOwner owner(pasted);
    ASSERT_TRUE(WhilePumping(vst, [&](Display* user) {
      if (!openField(user)) return false;
      test::Xdotool({"key", "Home", "Right", "ctrl+v"});
      if (!WaitUntil(10s, [&] { return owner.Served() > 0; })) return false;
      test::Xdotool({"key", "ctrl+a", "ctrl+c"});
      WaitUntil(10s, [&] { return (copied = ReadClipboard(user)) == expected; });
      test::Xdotool({"key", "Return"});
      return WaitUntil(10s, [&] { return !FieldOpen(user, parent); });
    })) << "the name field did not open, the paste was never asked for, or Enter left the field open";
  }
  EXPECT_EQ(copied, expected) << "Ctrl+A, Ctrl+C";
  Idle(vst, 100ms);
  EXPECT_EQ(vst.DispatchText(vst::effGetProgramName), expected);

  EXPECT_EQ(vst.Dispatch(vst::effEditClose), 1);
  XDestroyWindow(d, parent);
  XCloseDisplay(d);
}

}  // namespace
}  // namespace tessaron
