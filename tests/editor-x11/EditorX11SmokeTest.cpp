// The editor's X11 window on a private Xvfb server, driven with xdotool: first the core
// with a recording instrument in this process, then the built module through the host ABI.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "editor/GfxPng.h"
#include "editor/IEditor.h"
#include "engine/ParameterIds.h"
#include "host/IParameter.h"
#include "editor/x11/X11Common.h"
#include "tests/support/QuietHost.h"
#include "tests/editor-x11/X11TestSupport.h"
#include "tests/support/TestHost.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace tessaron {
namespace {

using namespace std::chrono_literals;
using test::WaitUntil;
using test::XvfbEnvironment;

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);

// The host's side: a window at the top left of the screen to hold the editor.
struct HostWindow {
  HostWindow() {
    display = XOpenDisplay(nullptr);
    window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1125, 400, 0, 0, 0x303030);
    XMapWindow(display, window);
    XSync(display, False);
  }
  ~HostWindow() {
    if (window) XDestroyWindow(display, window);
    XCloseDisplay(display);
  }
  void* Handle() const { return reinterpret_cast<void*>(static_cast<uintptr_t>(window)); }
  // The window's pixels, saved beside the test as a PNG.
  GfxMemBitmap Screenshot(const std::string& name) {
    XSync(display, False);
    GfxMemBitmap shot(1125, 400);
    XImage* image = XGetImage(display, window, 0, 0, 1125, 400, AllPlanes, ZPixmap);
    if (!image) return shot;
    for (int y = 0; y < 400; ++y)
      for (int x = 0; x < 1125; ++x) shot.Row(y)[x] = 0xFF000000u | static_cast<GfxPixel>(XGetPixel(image, x, y));
    XDestroyImage(image);
    WritePNGFile(shot, std::string(TESSARON_ARTEFACT_DIR) + "/" + name);
    return shot;
  }
  Display* display;
  Window window;
};

template <class Idle>
void PumpFor(std::chrono::milliseconds span, Idle idle) {
  const auto end = std::chrono::steady_clock::now() + span;
  while (std::chrono::steady_clock::now() < end) {
    idle();
    std::this_thread::sleep_for(5ms);
  }
}

// A press, a move and a release as separate steps, with the editor pumped between them.
template <class Pump>
void Drag(int x0, int y0, int x1, int y1, Pump pump) {
  test::RunQuietly({TESSARON_XDOTOOL, "mousemove", std::to_string(x0), std::to_string(y0)});
  pump();
  test::RunQuietly({TESSARON_XDOTOOL, "mousedown", "1"});
  pump();
  test::RunQuietly({TESSARON_XDOTOOL, "mousemove", std::to_string(x1), std::to_string(y1)});
  pump();
  test::RunQuietly({TESSARON_XDOTOOL, "mouseup", "1"});
}

class Recorder : public EditorInstrument {
 public:
  Recorder() { param.InitContinuous("Level", 0.5, 0.0, 1.0, 0.001, 1.0); }
  std::recursive_mutex& InstrumentMutex() override { return mutex; }
  const IParameter* Param(int i) override { return i == 0 ? &param : nullptr; }
  void SetParamFromEditor(int, double v) override {
    param.SetFromNormalized(v);
    log.push_back("set");
  }
  void BeginParamEdit(int) override { log.push_back("begin"); }
  void EndParamEdit(int) override { log.push_back("end"); }
  void GuiIdle() override { ++idles; }
  void EditorResized() override {}
  std::recursive_mutex mutex;
  IParameter param;
  std::vector<std::string> log;
  int idles = 0;
};

// A vertical bar that follows drags and shows its value as a filled height.
class Bar : public IControl {
 public:
  Bar(IEditor* e, GfxRect r) : IControl(e, r, 0) {}
  void MouseDrag(int, int, int, int dy, const IMouseMod&) override { ChangeValueBy(-dy / 100.0); }
  bool Draw(IEditor& g) override {
    g.FillRect(rect_, 0xFF202020);
    const int h = static_cast<int>(rect_.Height() * value_);
    g.FillRect({rect_.left, rect_.bottom - h, rect_.right, rect_.bottom}, 0xFF40FF40);
    return true;
  }
};

TEST(EditorX11, CoreWindowTakesClicksDrawsAndReopens) {
  ASSERT_TRUE(XvfbEnvironment::Ready()) << "Xvfb did not start";
  HostWindow host;
  Recorder recorder;
  IEditorWin editor;
  editor.Add<IControl>(GfxRect{0, 0, 1125, 400});  // stands in for the background
  editor.Add<Bar>(GfxRect{100, 100, 140, 300});
  editor.EnableMouseOver(true);
  editor.AttachInstrument(recorder);
  EXPECT_FALSE(editor.OpenWindow(nullptr));
  editor.CloseWindow();  // closing without a window is harmless
  ASSERT_TRUE(editor.OpenWindow(host.Handle()));
  PumpFor(200ms, [&] { editor.HostIdle(); });

  auto pump = [&] { PumpFor(100ms, [&] { editor.HostIdle(); }); };
  Drag(120, 200, 120, 150, pump);
  pump();
  ASSERT_GE(recorder.log.size(), 3u);
  EXPECT_EQ(recorder.log.front(), "begin");
  EXPECT_EQ(recorder.log.back(), "end");
  EXPECT_GT(recorder.param.Value(), 0.9);
  GfxMemBitmap shot = host.Screenshot("editor-x11-core.png");
  EXPECT_EQ(shot.PixelAt(120, 120) & 0xFFFFFF, 0x40FF40u) << "the raised bar is on the screen";

  PumpFor(1100ms, [&] { editor.HostIdle(); });
  EXPECT_GE(recorder.idles, 1) << "quiet ticks reach the instrument's idle";

  // Opening again replaces the window; the parent going first must not take us down.
  ASSERT_TRUE(editor.OpenWindow(host.Handle()));
  PumpFor(100ms, [&] { editor.HostIdle(); });
  XDestroyWindow(host.display, host.window);
  host.window = 0;
  XSync(host.display, False);
  PumpFor(100ms, [&] { editor.HostIdle(); });
  EXPECT_FALSE(editor.IsWindowOpen());
  editor.CloseWindow();
}

TEST(EditorX11, ModuleEditorOpensThroughTheHostAbi) {
  ASSERT_TRUE(XvfbEnvironment::Ready()) << "Xvfb did not start";
  test::TestHost vst;
  ASSERT_TRUE(vst.Load());
  if (!(vst.effect()->flags & vst::effFlagsHasEditor)) GTEST_SKIP() << "the instrument has no editor yet";
  HostWindow host;
  ASSERT_EQ(vst.Dispatch(vst::effEditOpen, 0, 0, host.Handle()), 1);
  PumpFor(200ms, [&] { vst.Dispatch(vst::effEditIdle); });
  vst.ClearCalls();
  // Drag the pitch-bend knob at the bottom left upwards.
  auto pump = [&] { PumpFor(100ms, [&] { vst.Dispatch(vst::effEditIdle); }); };
  Drag(56, 306, 56, 280, pump);
  pump();
  EXPECT_EQ(vst.CountCalls(vst::audioMasterBeginEdit), 1);
  EXPECT_EQ(vst.CountCalls(vst::audioMasterEndEdit), 1);
  EXPECT_EQ(vst.Dispatch(vst::effEditClose), 1);
  ASSERT_EQ(vst.Dispatch(vst::effEditOpen, 0, 0, host.Handle()), 1);
  PumpFor(200ms, [&] { vst.Dispatch(vst::effEditIdle); });
  host.Screenshot("editor-x11-module.png");
  vst.Close();  // closing the instance with the editor open
}

// Popup menus on the screen, seen from a connection of our own: mapped override-redirect
// windows that take clicks (the tooltip takes none). The server is held while we look so
// no window can vanish between listing and asking.
struct MenuWindow {
  Window id;
  int x, y, w, h;
};

std::vector<MenuWindow> OpenMenus(Display* display) {
  std::vector<MenuWindow> menus;
  XGrabServer(display);
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
    for (unsigned i = 0; i < count; ++i) {
      XWindowAttributes a;
      if (!XGetWindowAttributes(display, children[i], &a)) continue;
      if (a.override_redirect && a.map_state == IsViewable && (a.all_event_masks & ButtonPressMask))
        menus.push_back({children[i], a.x, a.y, a.width, a.height});
    }
    if (children) XFree(children);
  }
  XUngrabServer(display);
  XSync(display, False);
  return menus;
}

// A screen area's pixels; saved as a PNG when named.
GfxMemBitmap ScreenArea(Display* display, int x, int y, int w, int h, const std::string& name = {}) {
  GfxMemBitmap shot(w, h);
  XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, static_cast<unsigned>(w),
                            static_cast<unsigned>(h), AllPlanes, ZPixmap);
  if (!image) return shot;
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) shot.Row(r)[c] = 0xFF000000u | static_cast<GfxPixel>(XGetPixel(image, c, r));
  XDestroyImage(image);
  if (!name.empty()) WritePNGFile(shot, std::string(TESSARON_ARTEFACT_DIR) + "/" + name);
  return shot;
}

bool SamePixels(GfxMemBitmap& a, GfxMemBitmap& b);

// A new window shows what lay under it until it is painted; a menu is painted once its
// bottom margin and frame show the menu's own colours and a second look finds no change.
bool MenuPainted(Display* display, const MenuWindow& m) {
  GfxMemBitmap first = ScreenArea(display, m.x, m.y, m.w, m.h);
  if ((first.PixelAt(m.w / 2, m.h - 2) & 0xFFFFFF) != (x11::Theme::kPanel & 0xFFFFFF) ||
      (first.PixelAt(m.w / 2, m.h - 1) & 0xFFFFFF) != (x11::Theme::kBorder & 0xFFFFFF))
    return false;
  std::this_thread::sleep_for(50ms);
  GfxMemBitmap second = ScreenArea(display, m.x, m.y, m.w, m.h);
  return SamePixels(first, second);
}

bool SamePixels(GfxMemBitmap& a, GfxMemBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int r = 0; r < a.Height(); ++r)
    for (int c = 0; c < a.Width(); ++c)
      if (a.PixelAt(c, r) != b.PixelAt(c, r)) return false;
  return true;
}

void Pointer(const std::string& action, int x = -1, int y = -1) {
  if (action == "mousemove")
    test::RunQuietly({TESSARON_XDOTOOL, "mousemove", std::to_string(x), std::to_string(y)});
  else
    test::RunQuietly({TESSARON_XDOTOOL, action, "1"});
}

// A menu runs its own event loop inside the click that opened it, so the host's thread
// stays in effEditIdle while it is open. The script plays the user on another thread
// (with its own display connection) while this thread keeps pumping; whatever the script
// leaves open is dismissed so the pump always gets its thread back.
bool ScriptWhilePumping(test::TestHost& vst, const std::function<bool(Display*)>& script) {
  std::atomic<bool> finished{false};
  bool passed = false;
  std::thread user([&] {
    Display* display = XOpenDisplay(nullptr);
    if (display) {
      passed = script(display);
      for (int i = 0; i < 5 && !OpenMenus(display).empty(); ++i) {
        test::RunQuietly({TESSARON_XDOTOOL, "key", "Escape"});
        WaitUntil(1s, [&] { return OpenMenus(display).empty(); });
      }
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

constexpr auto kMenuWait = 10s;
constexpr int kMenuItemHeight = 20;
constexpr int kMenuTop = 2;

// The middle of a menu window's item.
int ItemY(const MenuWindow& menu, int item) { return menu.y + kMenuTop + item * kMenuItemHeight + kMenuItemHeight / 2; }

TEST(EditorX11, ModuleMenusChooseAProgramAndCopyIt) {
  ASSERT_TRUE(XvfbEnvironment::Ready()) << "Xvfb did not start";
  test::TestHost vst;
  ASSERT_TRUE(vst.Load());
  if (!(vst.effect()->flags & vst::effFlagsHasEditor)) GTEST_SKIP() << "the instrument has no editor yet";
  HostWindow host;
  ASSERT_EQ(vst.Dispatch(vst::effEditOpen, 0, 0, host.Handle()), 1);
  PumpFor(200ms, [&] { vst.Dispatch(vst::effEditIdle); });
  ASSERT_EQ(vst.Dispatch(vst::effGetProgram), 0);

  // The number box opens the list below itself; the second sub-menu holds 16 to 31.
  constexpr int kChosen = 21;
  std::string failure;
  ASSERT_TRUE(ScriptWhilePumping(vst, [&](Display* d) {
    Pointer("mousemove", 740, 306);
    Pointer("click");
    std::vector<MenuWindow> menus;
    if (!WaitUntil(kMenuWait, [&] { return (menus = OpenMenus(d)).size() == 1; })) {
      failure = "the program list did not open";
      return false;
    }
    const MenuWindow list = menus.front();
    if (list.x != 728 || list.y != 314) failure = "the program list is not below the number box";
    Pointer("mousemove", list.x + 30, ItemY(list, 1));
    if (!WaitUntil(kMenuWait, [&] { return (menus = OpenMenus(d)).size() == 2; })) {
      failure = "the second sub-menu did not open";
      return false;
    }
    const MenuWindow sub = menus.front().id == list.id ? menus.back() : menus.front();
    if (sub.h < 16 * kMenuItemHeight) failure = "the sub-menu holds fewer than 16 programs";
    if (!WaitUntil(kMenuWait, [&] { return MenuPainted(d, sub); })) failure = "the sub-menu was not painted";
    ScreenArea(d, 0, 0, 1280, 800, "editor-x11-program-list.png");
    Pointer("mousemove", sub.x + 30, ItemY(sub, kChosen - 16));
    Pointer("click");
    if (!WaitUntil(kMenuWait, [&] { return OpenMenus(d).empty(); })) {
      failure = "the program list stayed open after the choice";
      return false;
    }
    return failure.empty();
  })) << failure;
  EXPECT_TRUE(WaitUntil(kMenuWait,
                        [&] {
                          vst.Dispatch(vst::effEditIdle);
                          return vst.Dispatch(vst::effGetProgram) == kChosen;
                        }))
      << "now on program " << vst.Dispatch(vst::effGetProgram);

  // "Copy Program" opens at the click; its only trace is "Paste Program" turning enabled.
  // Each menu must open, so the rows compared are always the menu's own.
  GfxMemBitmap copyRowBefore, pasteRowBefore, copyRowAfter, pasteRowAfter;
  auto openOptions = [&](Display* d, MenuWindow& options) {
    Pointer("mousemove", 998, 306);
    Pointer("click");
    std::vector<MenuWindow> menus;
    if (!WaitUntil(kMenuWait, [&] { return (menus = OpenMenus(d)).size() == 1; })) return false;
    options = menus.front();
    return WaitUntil(kMenuWait, [&] { return MenuPainted(d, options); });
  };
  ASSERT_TRUE(ScriptWhilePumping(vst, [&](Display* d) {
    MenuWindow options{};
    if (!openOptions(d, options)) return false;
    copyRowBefore = ScreenArea(d, options.x + 2, ItemY(options, 0) - 8, options.w - 4, 16);
    pasteRowBefore = ScreenArea(d, options.x + 2, ItemY(options, 1) - 8, options.w - 4, 16);
    Pointer("mousemove", options.x + 30, ItemY(options, 0));
    Pointer("click");
    return WaitUntil(kMenuWait, [&] { return OpenMenus(d).empty(); });
  })) << "the options menu did not open, or stayed open after Copy Program";
  PumpFor(100ms, [&] { vst.Dispatch(vst::effEditIdle); });
  EXPECT_EQ(vst.Dispatch(vst::effGetProgram), kChosen) << "copying leaves the program chosen";

  ASSERT_TRUE(ScriptWhilePumping(vst, [&](Display* d) {
    MenuWindow options{};
    if (!openOptions(d, options)) return false;
    copyRowAfter = ScreenArea(d, options.x + 2, ItemY(options, 0) - 8, options.w - 4, 16);
    pasteRowAfter = ScreenArea(d, options.x + 2, ItemY(options, 1) - 8, options.w - 4, 16);
    test::RunQuietly({TESSARON_XDOTOOL, "key", "Escape"});
    return WaitUntil(kMenuWait, [&] { return OpenMenus(d).empty(); });
  })) << "the options menu did not open again, or Escape left it open";
  EXPECT_TRUE(SamePixels(copyRowBefore, copyRowAfter)) << "the menu is drawn alike both times";
  EXPECT_FALSE(SamePixels(pasteRowBefore, pasteRowAfter)) << "Paste Program is enabled once a program is copied";
  EXPECT_EQ(vst.Dispatch(vst::effGetProgram), kChosen);

  // The editor still answers and closes cleanly.
  PumpFor(100ms, [&] { vst.Dispatch(vst::effEditIdle); });
  EXPECT_EQ(vst.Dispatch(vst::effEditClose), 1);
  vst.Close();
}

// Ends the program when a test outlives its limit: a hang fails at once, with its name,
// instead of at CTest's time-out.
class Watchdog {
 public:
  Watchdog(std::chrono::seconds limit, const char* what)
      : thread_([this, limit, what] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!done_cv_.wait_for(lock, limit, [this] { return done_; })) {
            std::fprintf(stderr, "hung: %s\n", what);
            std::_Exit(1);
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    done_cv_.notify_all();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable done_cv_;
  bool done_ = false;
  std::thread thread_;
};

// X errors outside the editor's own traps, on any connection of this process.
std::atomic<int> strayXErrors{0};
int CountXError(Display*, XErrorEvent*) {
  ++strayXErrors;
  return 0;
}

TEST(EditorX11, ModuleEditorOpensAndClosesWhileAnotherThreadPlays) {
  ASSERT_TRUE(XvfbEnvironment::Ready()) << "Xvfb did not start";
  test::QuietHost vst;
  ASSERT_TRUE(vst.Open(44100.0, 256)) << test::LoadedModule::Get().Error();
  if (!(vst.effect()->flags & vst::effFlagsHasEditor)) GTEST_SKIP() << "the instrument has no editor yet";
  const XErrorHandler previousHandler = XSetErrorHandler(CountXError);
  strayXErrors = 0;
  const Watchdog watchdog(120s, "editor opened and closed while another thread plays");
  HostWindow host;
  vst.Dispatch(vst::effSetProgram, 0, 0);
  for (uint8_t note : {48, 55, 60, 64, 67}) vst.Midi(0x90, note, 100);

  std::atomic<bool> stop{false}, finite{true};
  std::atomic<long> blocks{0};
  std::thread audio([&] {
    std::vector<float> left(256), right(256);
    for (long block = 0; !stop; ++block) {
      // Program changes arrive with the audio, and the editor is told of every parameter.
      if (block % 50 == 49) vst.Midi(0xC0, uint8_t(block / 50 % 64), 0);
      vst.ProcessFloat(left.data(), right.data(), 256);
      for (int i = 0; i < 256; ++i)
        if (!std::isfinite(left[i]) || !std::isfinite(right[i])) finite = false;
      ++blocks;
    }
  });
  // The audio thread must keep going whatever the editor is doing.
  auto audioMoves = [&] {
    const long before = blocks;
    return WaitUntil(10s, [&] { return blocks > before; });
  };

  constexpr int kCycles = 20;
  constexpr int kParams = kParameterCount;
  int opened = 0, closed = 0, stalls = 0;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    opened += vst.Dispatch(vst::effEditOpen, 0, 0, host.Handle()) == 1;
    // The pointer rests on the cutoff knob, whose hover text shows the parameter while
    // program changes rewrite it.
    test::RunQuietly({TESSARON_XDOTOOL, "mousemove", std::to_string(276 + cycle % 2), "80"});
    for (int frame = 0; frame < 6; ++frame) {
      vst.Dispatch(vst::effEditIdle);
      if (cycle % 2) {
        // Odd cycles: the host moves parameters while the editor shows them.
        for (int k = 0; k < 4; ++k)
          vst.SetParameter((cycle * 7 + frame * 4 + k) % kParams, float((cycle + frame + k) % 11) / 10.0f);
      }
      std::this_thread::sleep_for(15ms);
    }
    if (!audioMoves()) ++stalls;
    closed += vst.Dispatch(vst::effEditClose) == 1;
    XSync(host.display, False);
  }
  stop = true;
  audio.join();
  XSync(host.display, False);
  XSetErrorHandler(previousHandler);
  EXPECT_EQ(opened, kCycles);
  EXPECT_EQ(closed, kCycles);
  EXPECT_EQ(stalls, 0) << "the audio thread stood still while the editor was open";
  EXPECT_TRUE(finite) << "non-finite output";
  EXPECT_EQ(strayXErrors, 0);
  EXPECT_GT(blocks, kCycles);
}

}  // namespace
}  // namespace tessaron
