// Menus, message boxes and file dialogs of the module's editor on the private Xvfb server
// that the smoke test's environment starts (no window manager): the host's idle calls stay
// short while they are open, boxes answer the keyboard and belong to the host's top-level
// window, and a save over an existing bank asks first. Stand-in zenity and kdialog scripts
// on PATH play the desktop's dialogs.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/editor-x11/X11TestSupport.h"
#include "tests/support/TestHost.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace tessaron {
namespace {

using namespace std::chrono_literals;
using test::WaitUntil;
using test::Xdotool;
namespace fs = std::filesystem;

void Click(int x, int y) {
  Xdotool({"mousemove", std::to_string(x), std::to_string(y)});
  Xdotool({"click", "1"});
}
void Key(const char* key) { Xdotool({"key", key}); }

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A mapped child of the root: a menu (override-redirect) or a dialog found by its title.
struct ScreenWindow {
  Window id = 0;
  int x = 0, y = 0;
};

std::vector<ScreenWindow> TopWindows(Display* d, bool overrideRedirect, const char* title = nullptr) {
  std::vector<ScreenWindow> found;
  XGrabServer(d);
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) {
    for (unsigned i = 0; i < count; ++i) {
      XWindowAttributes a;
      if (!XGetWindowAttributes(d, children[i], &a) || a.map_state != IsViewable) continue;
      if (bool(a.override_redirect) != overrideRedirect) continue;
      if (overrideRedirect && !(a.all_event_masks & ButtonPressMask)) continue;  // the tooltip
      if (title) {
        char* name = nullptr;
        const bool same = XFetchName(d, children[i], &name) && name && std::string(name) == title;
        if (name) XFree(name);
        if (!same) continue;
      }
      found.push_back({children[i], a.x, a.y});
    }
    if (children) XFree(children);
  }
  XUngrabServer(d);
  XSync(d, False);
  return found;
}

// The options menu's item tops: 20 pixels an item, 9 a separator, from 2.
int OptionsItemY(const ScreenWindow& menu, int item) {
  int top = 2;
  for (int i = 0; i < item; ++i) top += (i == 3 || i == 8 || i == 12 || i == 17) ? 9 : 20;
  return menu.y + top + 10;
}
constexpr int kInitProgram = 2, kSaveBank = 7;
// How long the script leaves a menu, box or dialog open.
constexpr auto kHold = 700ms;

// The host: the module with its editor open in a top-level window, pumped by this thread
// while a script plays the user on another. Every idle call is timed.
class DialogHost {
 public:
  DialogHost() {
    display_ = XOpenDisplay(nullptr);
    if (!display_) {
      std::fprintf(stderr, "no connection to %s\n", std::getenv("DISPLAY"));
      return;
    }
    window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1125, 400, 0, 0, 0x303030);
    XStoreName(display_, window_, "Host");
    XMapWindow(display_, window_);
    XSync(display_, False);
    if (!vst_.Load()) {
      std::fprintf(stderr, "the module did not load: %s\n", test::LoadedModule::Get().Error().c_str());
      return;
    }
    loaded_ = vst_.Dispatch(vst::effEditOpen, 0, 0, Handle()) == 1;
    Pump(300ms);
    longest_ = {};  // opening draws the whole panel once; that is not what is measured
  }
  ~DialogHost() {
    if (loaded_) {
      vst_.Dispatch(vst::effEditClose);
      vst_.Close();
    }
    if (display_) {
      XDestroyWindow(display_, window_);
      XCloseDisplay(display_);
    }
  }
  bool Ready() const { return loaded_; }
  void CloseInstance() {
    if (!loaded_) return;
    vst_.Dispatch(vst::effEditClose);
    vst_.Close();
    loaded_ = false;
  }
  Window TopLevel() const { return window_; }
  void* Handle() const { return reinterpret_cast<void*>(static_cast<uintptr_t>(window_)); }
  test::TestHost& Vst() { return vst_; }
  std::string ProgramName() { return vst_.DispatchText(vst::effGetProgramName); }

  void Pump(std::chrono::milliseconds span) {
    const auto end = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < end) Idle();
  }
  // Runs the script on its own display connection while idling; true when it passed.
  bool Script(const std::function<bool(Display*)>& script) {
    std::atomic<bool> finished{false}, back{false};
    bool passed = false;
    std::thread user([&] {
      if (Display* d = XOpenDisplay(nullptr)) {
        passed = script(d);
        XCloseDisplay(d);
      }
      finished = true;
      // An idle call that waits for an answer the script could not give never returns:
      // fail at once rather than hang.
      if (!WaitUntil(20s, [&] { return back.load(); })) {
        std::fprintf(stderr, "effEditIdle never returned: it waits for the user\n");
        std::_Exit(1);
      }
    });
    while (!finished) Idle();
    back = true;
    user.join();
    Pump(100ms);
    return passed;
  }
  double LongestIdleMs() const { return longest_.count() / 1000.0; }

 private:
  void Idle() {
    const auto start = std::chrono::steady_clock::now();
    vst_.Dispatch(vst::effEditIdle);
    longest_ = std::max(
        longest_, std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start));
    std::this_thread::sleep_for(5ms);
  }

  Display* display_ = nullptr;
  Window window_ = 0;
  test::TestHost vst_;
  bool loaded_ = false;
  std::chrono::microseconds longest_{0};
};

// The options menu opened by a click on its button, and the item at `item` chosen.
bool ChooseOption(Display* d, int item) {
  Click(998, 306);
  std::vector<ScreenWindow> menus;
  if (!WaitUntil(10s, [&] { return (menus = TopWindows(d, true)).size() == 1; })) return false;
  std::this_thread::sleep_for(350ms);  // past the guard against the opening click's release
  Click(menus.front().x + 30, OptionsItemY(menus.front(), item));
  return WaitUntil(10s, [&] { return TopWindows(d, true).empty(); });
}

// A stand-in for zenity or kdialog: records its arguments one a line, waits until the
// test releases it, then answers with the answer file's text (exit 0) or cancels (exit 1).
fs::path StandIn(const fs::path& folder, const char* name) {
  fs::create_directories(folder);
  const fs::path script = folder / name;
  std::ofstream(script) << "#!/bin/sh\n"
                           "PATH=/usr/bin:/bin\n"
                           "dir=$(dirname \"$0\")\n"
                           "echo $$ > \"$dir/pid\"\n"
                           "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$dir/args.tmp\"\n"
                           "mv \"$dir/args.tmp\" \"$dir/args\"\n"
                           "i=0; while [ ! -e \"$dir/release\" ] && [ $i -lt 400 ]; do sleep 0.05; i=$((i+1)); done\n"
                           "rm -f \"$dir/release\"\n"
                           "[ -e \"$dir/answer\" ] || exit 1\n"
                           "cat \"$dir/answer\"; echo\n";
  fs::permissions(script, fs::perms::owner_all);
  return folder;
}

class PathGuard {
 public:
  explicit PathGuard(const fs::path& path) : saved_(std::getenv("PATH") ? std::getenv("PATH") : "") {
    setenv("PATH", path.c_str(), 1);
  }
  ~PathGuard() { setenv("PATH", saved_.c_str(), 1); }

 private:
  std::string saved_;
};

fs::path Scratch(const char* name) {
  const fs::path folder = fs::path(::testing::TempDir()) / ("tessaron-x11-dialogs-" + std::to_string(getpid())) / name;
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

TEST(EditorX11Dialogs, IdleCallsStayShortWhileAMenuABoxOrAFileDialogIsOpen) {
  ASSERT_TRUE(std::getenv("DISPLAY")) << "no X server";
  const fs::path bin = StandIn(Scratch("zenity-idle"), "zenity");
  const PathGuard path(bin);
  DialogHost host;
  ASSERT_TRUE(host.Ready());
  const std::string before = host.ProgramName();
  ASSERT_NE(before, "Init");

  // The menu stays open for a while, then Escape closes it.
  EXPECT_TRUE(host.Script([](Display* d) {
    Click(998, 306);
    if (!WaitUntil(10s, [&] { return TopWindows(d, true).size() == 1; })) return false;
    std::this_thread::sleep_for(kHold);
    Key("Escape");
    return WaitUntil(10s, [&] { return TopWindows(d, true).empty(); });
  })) << "the options menu did not open, or Escape left it open";

  // "Init Program" asks first; Escape is No, Enter is the first button, Yes. No window
  // manager hands the box the keyboard: it must take it itself.
  for (const char* key : {"Escape", "Return"}) {
    Window owner = 0;
    EXPECT_TRUE(host.Script([&](Display* d) {
      if (!ChooseOption(d, kInitProgram)) return false;
      std::vector<ScreenWindow> boxes;
      if (!WaitUntil(10s, [&] { return (boxes = TopWindows(d, false, "Initialize Program")).size() == 1; }))
        return false;
      XGetTransientForHint(d, boxes.front().id, &owner);
      std::this_thread::sleep_for(kHold);
      Key(key);
      return WaitUntil(10s, [&] { return TopWindows(d, false, "Initialize Program").empty(); });
    })) << "the question did not open, or "
        << key << " did not answer it";
    EXPECT_EQ(owner, host.TopLevel()) << "the box belongs to the host's top-level window";
    EXPECT_EQ(host.ProgramName(), std::string(key) == "Escape" ? before : "Init") << key;
  }

  // The file dialog runs as a child process that the idle calls watch.
  EXPECT_TRUE(host.Script([&](Display* d) {
    if (!ChooseOption(d, kSaveBank)) return false;
    if (!WaitUntil(10s, [&] { return fs::exists(bin / "args"); })) return false;
    std::this_thread::sleep_for(kHold);
    std::ofstream(bin / "release").flush();
    return WaitUntil(10s, [&] { return !fs::exists(bin / "release"); });
  })) << "the stand-in zenity did not run";

  std::printf("longest effEditIdle call with a menu, a box and a file dialog open: %.1f ms\n", host.LongestIdleMs());
  // The aim is 20 ms, which an idle machine meets; a loaded shared one stretches a call
  // that repaints the panel to 100 ms and more. A loop that waits for the user holds the
  // call for the whole time the script waits, kHold.
  EXPECT_LT(host.LongestIdleMs(), 250.0);
}

// Closing the editor while the file dialog runs ends the dialog's process and drops its
// answer; closing the instance while a box is open takes the box away.
TEST(EditorX11Dialogs, ClosingWithADialogOpenEndsItCleanly) {
  ASSERT_TRUE(std::getenv("DISPLAY")) << "no X server";
  const fs::path bin = StandIn(Scratch("zenity-close"), "zenity");
  const PathGuard path(bin);
  {
    DialogHost host;
    ASSERT_TRUE(host.Ready());
    EXPECT_TRUE(host.Script([&](Display* d) {
      return ChooseOption(d, kSaveBank) && WaitUntil(10s, [&] { return fs::exists(bin / "args"); });
    }));
    const pid_t child = std::stoi(ReadFile(bin / "pid"));
    ASSERT_EQ(kill(child, 0), 0) << "the stand-in runs";
    EXPECT_EQ(host.Vst().Dispatch(vst::effEditClose), 1);
    EXPECT_TRUE(WaitUntil(5s, [&] { return kill(child, 0) != 0; })) << "the dialog's process is ended and reaped";
    std::ofstream(bin / "answer") << (bin / "late.fxb").string();
    std::ofstream(bin / "release").flush();
    ASSERT_EQ(host.Vst().Dispatch(vst::effEditOpen, 0, 0, host.Handle()), 1);
    host.Pump(300ms);
    EXPECT_FALSE(fs::exists(bin / "late.fxb")) << "no answer reaches the command after the editor closed";

    EXPECT_TRUE(host.Script([&](Display* d) {
      return ChooseOption(d, kInitProgram) &&
             WaitUntil(10s, [&] { return TopWindows(d, false, "Initialize Program").size() == 1; });
    }));
    host.CloseInstance();
  }
  Display* d = XOpenDisplay(nullptr);
  ASSERT_TRUE(d);
  EXPECT_TRUE(TopWindows(d, false, "Initialize Program").empty()) << "the box went with the instance";
  XCloseDisplay(d);
}

// Saving over an existing bank: the desktop's dialog gets the exact name with its
// extension; when its answer lacks the extension, the editor asks about the file it will
// write. No leaves the old file as it was, Yes replaces it.
void SaveOverExistingBank(const char* dialog) {
  ASSERT_TRUE(std::getenv("DISPLAY")) << "no X server";
  const fs::path bin = Scratch(dialog);
  if (std::string(dialog) != "own") StandIn(bin, dialog);
  const PathGuard path(bin);
  const fs::path banks = Scratch((std::string(dialog) + "-banks").c_str());
  const fs::path bank = banks / "Tessaron.fxb";
  const std::string old = "an earlier bank, to be kept unless the user says otherwise";
  std::ofstream(bank, std::ios::binary) << old;
  std::ofstream(bin / "answer") << (banks / "Tessaron").string();
  DialogHost host;
  ASSERT_TRUE(host.Ready());

  for (const char* answer : {"No", "Yes"}) {
    EXPECT_TRUE(host.Script([&](Display* d) {
      if (!ChooseOption(d, kSaveBank)) return false;
      if (std::string(dialog) == "own") {
        // Our path box: typing replaces the offered path; Enter takes it.
        if (!WaitUntil(10s, [&] { return TopWindows(d, false, "Save As").size() == 1; })) return false;
        std::this_thread::sleep_for(300ms);
        Xdotool({"type", "--delay", "5", (banks / "Tessaron").string()});
        Key("Return");
      } else {
        if (!WaitUntil(10s, [&] { return fs::exists(bin / "args"); })) return false;
        std::ofstream(bin / "release").flush();
      }
      if (!WaitUntil(10s, [&] { return TopWindows(d, false, "Confirm Save As").size() == 1; })) return false;
      std::this_thread::sleep_for(300ms);
      // No is the default: Enter answers it; Left moves to Yes.
      if (std::string(answer) == "Yes") Key("Left");
      Key("Return");
      if (!WaitUntil(10s, [&] { return TopWindows(d, false, "Confirm Save As").empty(); })) return false;
      if (std::string(dialog) == "own" && std::string(answer) == "No") {
        // No goes back to the path box, which Escape cancels.
        if (!WaitUntil(10s, [&] { return TopWindows(d, false, "Save As").size() == 1; })) return false;
        std::this_thread::sleep_for(300ms);
        Key("Escape");
      }
      return WaitUntil(10s, [&] {
        return TopWindows(d, false, "Save As").empty() && TopWindows(d, false, "Confirm Save As").empty();
      });
    })) << dialog
        << ": no question about " << bank << " answered " << answer;
    if (std::string(answer) == "No")
      EXPECT_TRUE(ReadFile(bank) == old) << dialog << ": No must leave the file untouched";
    else
      EXPECT_EQ(ReadFile(bank).substr(0, 4), "CcnK") << dialog << ": Yes writes the bank";
  }

  const std::string args = ReadFile(bin / "args");
  const std::string attached = std::to_string(host.TopLevel());
  if (std::string(dialog) == "zenity") {
    const std::size_t name = args.find("--filename=");
    ASSERT_NE(name, std::string::npos) << args;
    EXPECT_EQ(args.substr(name, args.find('\n', name) - name).rfind("/Tessaron.fxb"), args.find('\n', name) - name - 13)
        << "zenity is given the name with its extension:\n"
        << args;
    EXPECT_NE(args.find("--confirm-overwrite\n"), std::string::npos) << args;
    EXPECT_NE(args.find("--attach=" + attached + "\n"), std::string::npos) << args;
  } else if (std::string(dialog) == "kdialog") {
    EXPECT_NE(args.find("--getsavefilename\n"), std::string::npos) << args;
    EXPECT_NE(args.find("/Tessaron.fxb\n"), std::string::npos) << "kdialog is given the name with its extension:\n"
                                                               << args;
    EXPECT_NE(args.find("--attach\n" + attached + "\n"), std::string::npos) << args;
  }
}

TEST(EditorX11Dialogs, SavingOverAnExistingBankAsksFirstWithZenity) { SaveOverExistingBank("zenity"); }
TEST(EditorX11Dialogs, SavingOverAnExistingBankAsksFirstWithKdialog) { SaveOverExistingBank("kdialog"); }
TEST(EditorX11Dialogs, SavingOverAnExistingBankAsksFirstWithThePathBox) { SaveOverExistingBank("own"); }

}  // namespace
}  // namespace tessaron
