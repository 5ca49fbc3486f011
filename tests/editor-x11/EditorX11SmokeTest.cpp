// The editor's X11 window on a private Xvfb server, driven with xdotool: first the core
// with a recording instrument in this process, then the built module through the host ABI.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "editor/GfxPng.h"
#include "editor/IEditor.h"
#include "host/IParameter.h"
#include "tests/support/TestHost.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace tessaron {
namespace {

using namespace std::chrono_literals;

// The child keeps no handle on the test's output (CTest waits for it to close) and dies
// with the test, so a crashed test leaves no server behind.
int Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    const int devNull = open("/dev/null", O_RDWR);
    dup2(devNull, STDOUT_FILENO);
    dup2(devNull, STDERR_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

int RunTool(const std::vector<std::string>& args) {
  const pid_t pid = Spawn(args);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A server of our own on the first free display number, for the whole program.
class XvfbEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    for (int n = 91; n < 140 && pid_ <= 0; ++n) {
      struct stat st;
      const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
      const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
      if (stat(lock.c_str(), &st) == 0 || stat(socket.c_str(), &st) == 0) continue;
      const std::string name = std::string(":").append(std::to_string(n));
      pid_ = Spawn({TESSARON_XVFB, name, "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
      for (int i = 0; i < 100; ++i) {
        std::this_thread::sleep_for(50ms);
        if (Display* d = XOpenDisplay(name.c_str())) {
          XCloseDisplay(d);
          setenv("DISPLAY", name.c_str(), 1);
          return;
        }
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) break;  // lost the race for this number
      }
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }
  void TearDown() override {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  static bool Ready() { return std::getenv("DISPLAY") && pid_ > 0; }

 private:
  static inline pid_t pid_ = -1;
};

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
  RunTool({TESSARON_XDOTOOL, "mousemove", std::to_string(x0), std::to_string(y0)});
  pump();
  RunTool({TESSARON_XDOTOOL, "mousedown", "1"});
  pump();
  RunTool({TESSARON_XDOTOOL, "mousemove", std::to_string(x1), std::to_string(y1)});
  pump();
  RunTool({TESSARON_XDOTOOL, "mouseup", "1"});
}

class Recorder : public EditorInstrument {
 public:
  Recorder() { param.InitContinuous("Level", 0.5, 0.0, 1.0, 0.001, 1.0); }
  std::recursive_mutex& InstrumentMutex() override { return mutex; }
  const IParameter* Param(int i) override { return i == 0 ? &param : nullptr; }
  void SetParamFromEditor(int, double v) override { param.SetFromNormalized(v); log.push_back("set"); }
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

}  // namespace
}  // namespace tessaron
