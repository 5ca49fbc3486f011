// The editor's window inside a top-level host window of our own, opened through the host
// ABI and driven with real mouse input; then the editor core alone for what the instrument
// does not use. Needs a display: run under Wine on an X server.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "editor/IEditor.h"
#include "host/IParameter.h"
#include "tests/support/TestHost.h"

namespace tessaron {
namespace {

using namespace std::chrono_literals;

constexpr const wchar_t* kEditorClass = L"TessaronWndClass";
// Places on the panel (instrument/TessaronLayout.cpp), in the editor's client pixels: the
// glide switch is 32 pixels square at (490, 64); the master level knob 32 square at (47, 177);
// the version label's text sits right-aligned in (1027, 328)-(1075, 344).
constexpr POINT kSwitch{506, 80};
constexpr POINT kKnob{63, 193};
constexpr RECT kVersionLabel{1027, 328, 1075, 344};
// The program panel: its number box opens the list of programs, its name field the rename entry.
constexpr POINT kProgramNumber{740, 306};
constexpr POINT kProgramName{874, 306};
constexpr POINT kOptionsButton{998, 306};

// Runs the host's side for a while: its message loop and the editor idle call.
void Pump(const std::function<void()>& idle, std::chrono::milliseconds span) {
  const auto end = std::chrono::steady_clock::now() + span;
  do {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    idle();
    Sleep(5);
  } while (std::chrono::steady_clock::now() < end);
}

void Pump(test::TestHost& vst, std::chrono::milliseconds span) {
  Pump(
      [&] {
        if (vst.effect()) vst.Dispatch(vst::effEditIdle);
      },
      span);
}

class HostWindow {
 public:
  HostWindow(int width, int height) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TessaronTestHost";
    windowClass.hbrBackground = CreateSolidBrush(RGB(48, 48, 48));
    RegisterClassW(&windowClass);  // the second host finds it registered
    RECT frame{0, 0, width, height};
    AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
    window_ = CreateWindowExW(0, L"TessaronTestHost", L"Test Host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                              frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    if (window_) {
      ShowWindow(window_, SW_SHOW);
      UpdateWindow(window_);
      SetForegroundWindow(window_);
    }
  }
  ~HostWindow() {
    if (window_ && IsWindow(window_)) DestroyWindow(window_);
  }
  HWND Handle() const { return window_; }
  HWND Editor() const { return FindWindowExW(window_, nullptr, kEditorClass, nullptr); }

 private:
  HWND window_ = nullptr;
};

bool EditorClassRegistered() {
  WNDCLASSEXW info{};
  info.cbSize = sizeof(info);
  return GetClassInfoExW(GetModuleHandleA(TESSARON_MODULE_PATH), kEditorClass, &info) != FALSE;
}

// Real input: the pointer moved to a point of the editor, then the buttons as given.
void MouseAt(HWND editor, POINT point, DWORD buttons = 0) {
  ClientToScreen(editor, &point);
  SetCursorPos(point.x, point.y);
  if (!buttons) return;
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = buttons;
  SendInput(1, &input, sizeof(input));
}

void Key(WORD key) {
  INPUT input[2] = {};
  input[0].type = input[1].type = INPUT_KEYBOARD;
  input[0].ki.wVk = input[1].ki.wVk = key;
  input[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, input, sizeof(INPUT));
}

void Type(const wchar_t* text) {
  for (; *text; ++text) {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wScan = input[1].ki.wScan = *text;
    input[0].ki.dwFlags = KEYEVENTF_UNICODE;
    input[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
  }
}

// A visible window of the class: "#32768" popup menus, "#32770" dialogs and message boxes.
HWND Shown(const wchar_t* windowClass) {
  HWND window = FindWindowW(windowClass, nullptr);
  return window && IsWindowVisible(window) ? window : nullptr;
}

HWND OpenMenu() { return Shown(L"#32768"); }

void Click(const std::function<void()>& idle, HWND editor, POINT point) {
  MouseAt(editor, point);
  Pump(idle, 50ms);
  MouseAt(editor, point, MOUSEEVENTF_LEFTDOWN);
  Pump(idle, 50ms);
  MouseAt(editor, point, MOUSEEVENTF_LEFTUP);
  Pump(idle, 100ms);
}

void Click(test::TestHost& vst, HWND editor, POINT point) {
  Click(
      [&] {
        if (vst.effect()) vst.Dispatch(vst::effEditIdle);
      },
      editor, point);
}

std::vector<float> Parameters(test::TestHost& vst) {
  std::vector<float> values;
  for (int i = 0; i < vst.effect()->numParams; ++i) values.push_back(vst.GetParameter(i));
  return values;
}

// What the screen shows of a window's client area, saved as a 32-bit BMP beside the program.
struct Screenshot {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB, rows top-down
  uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x] & 0xFFFFFF; }
};

Screenshot Capture(HWND window, const char* file) {
  Screenshot shot;
  RECT client{};
  GetClientRect(window, &client);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  shot.width = client.right;
  shot.height = client.bottom;
  if (shot.width <= 0 || shot.height <= 0) return shot;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = shot.width;
  info.bmiHeader.biHeight = -shot.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (dib && bits) {
    HGDIOBJ previous = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, shot.width, shot.height, screen, origin.x, origin.y, SRCCOPY);
    GdiFlush();
    const auto* first = static_cast<const uint32_t*>(bits);
    shot.pixels.assign(first, first + static_cast<std::size_t>(shot.width) * shot.height);
    SelectObject(memory, previous);
  }
  if (dib) DeleteObject(dib);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (FILE* out = std::fopen(file, "wb")) {
    const DWORD imageBytes = static_cast<DWORD>(shot.pixels.size() * 4);
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    header.bfSize = header.bfOffBits + imageBytes;
    std::fwrite(&header, sizeof(header), 1, out);
    std::fwrite(&info.bmiHeader, sizeof(info.bmiHeader), 1, out);
    std::fwrite(shot.pixels.data(), 1, imageBytes, out);
    std::fclose(out);
  }
  return shot;
}

// A drawn panel has many colours; a window left unpainted has one or two.
std::size_t Colours(const Screenshot& shot) {
  std::set<uint32_t> seen;
  for (uint32_t p : shot.pixels) seen.insert(p & 0xFFFFFF);
  return seen.size();
}

// Outline text drawn with grey coverage leaves pale pixels and pixels between them and the
// background; a failed font leaves the area flat.
int TextPixels(const Screenshot& shot, const RECT& area) {
  int pale = 0;
  for (int y = area.top; y < area.bottom && y < shot.height; ++y)
    for (int x = area.left; x < area.right && x < shot.width; ++x) {
      const uint32_t p = shot.At(x, y);
      const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      pale += r > 150 && g > 150 && b > 150;
    }
  return pale;
}

struct TooltipSearch {
  HWND owner, found;
};

BOOL CALLBACK FindTooltip(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<TooltipSearch*>(data);
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  // A popup made with a child window for parent is owned by that child's top-level window.
  if (lstrcmpiW(name, L"tooltips_class32") == 0 && IsWindowVisible(window) &&
      GetWindow(window, GW_OWNER) == search->owner)
    search->found = window;
  return search->found == nullptr;
}

// The tooltip shown over a host's window, if one is on the screen.
HWND ShownTooltip(HWND host) {
  TooltipSearch search{host, nullptr};
  EnumWindows(&FindTooltip, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

class EditorWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(test::LoadedModule::Get().Entry(), nullptr) << test::LoadedModule::Get().Error();
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr) << "no display";
    ReleaseDC(nullptr, screen);
    ASSERT_TRUE(vst.Load());
    ASSERT_TRUE(vst.effect()->flags & vst::effFlagsHasEditor);
    vst.Dispatch(vst::effOpen);
    vst.Dispatch(vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
    vst.Dispatch(vst::effSetBlockSize, 0, 512);
    vst::ERect* rect = nullptr;
    ASSERT_EQ(vst.Dispatch(vst::effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    width = rect->right - rect->left;
    height = rect->bottom - rect->top;
  }
  test::TestHost vst;
  int width = 0, height = 0;
};

TEST_F(EditorWin32, OpensTakesAClickClosesAndReopens) {
  EXPECT_EQ(width, 1125);
  EXPECT_EQ(height, 400);
  HostWindow host(width, height);
  ASSERT_NE(host.Handle(), nullptr);
  ASSERT_EQ(vst.Dispatch(vst::effEditOpen, 0, 0, host.Handle()), 1);
  HWND editor = host.Editor();
  ASSERT_NE(editor, nullptr) << "no editor window in the host's";
  EXPECT_TRUE(EditorClassRegistered());
  RECT client{};
  GetClientRect(editor, &client);
  EXPECT_EQ(client.right, width);
  EXPECT_EQ(client.bottom, height);
  Pump(vst, 300ms);

  const Screenshot before = Capture(host.Handle(), "editor-win32-before.bmp");
  ASSERT_EQ(before.width, width);
  EXPECT_GT(Colours(before), 200u) << "the panel was not drawn";
  EXPECT_GT(TextPixels(before, kVersionLabel), 10) << "the version label has no text";

  const std::vector<float> start = Parameters(vst);
  vst.ClearCalls();
  Click(vst, editor, kSwitch);
  const std::vector<float> after = Parameters(vst);
  std::vector<int> changed;
  for (std::size_t i = 0; i < start.size(); ++i)
    if (start[i] != after[i]) changed.push_back(static_cast<int>(i));
  ASSERT_EQ(changed.size(), 1u) << "the click should move one switch";
  const int param = changed.front();
  EXPECT_EQ(vst.DispatchText(vst::effGetParamName, param).rfind("Glide", 0), 0u) << vst.ParamName(param);
  const std::vector<test::HostCall> automated = vst.CallsOf(vst::audioMasterAutomate);
  ASSERT_FALSE(automated.empty()) << "the host heard nothing";
  EXPECT_EQ(automated.back().index, param);
  EXPECT_EQ(automated.back().opt, after[static_cast<std::size_t>(param)]);
  EXPECT_EQ(vst.CountCalls(vst::audioMasterBeginEdit), vst.CountCalls(vst::audioMasterEndEdit));

  const Screenshot clicked = Capture(host.Handle(), "editor-win32-clicked.bmp");
  EXPECT_NE(clicked.At(kSwitch.x, kSwitch.y - 8), before.At(kSwitch.x, kSwitch.y - 8)) << "the switch was not redrawn";

  EXPECT_EQ(vst.Dispatch(vst::effEditClose), 1);
  Pump(vst, 50ms);
  EXPECT_FALSE(IsWindow(editor)) << "the editor window outlived its close";
  EXPECT_EQ(host.Editor(), nullptr);
  EXPECT_FALSE(EditorClassRegistered()) << "the class stays registered after the last window closed";

  ASSERT_EQ(vst.Dispatch(vst::effEditOpen, 0, 0, host.Handle()), 1);
  editor = host.Editor();
  ASSERT_NE(editor, nullptr) << "the editor did not open again";
  Pump(vst, 300ms);
  Click(vst, editor, kSwitch);
  EXPECT_EQ(vst.GetParameter(param), start[static_cast<std::size_t>(param)]) << "the second click did not switch back";
  const Screenshot reopened = Capture(host.Handle(), "editor-win32.bmp");
  EXPECT_GT(Colours(reopened), 200u);
  EXPECT_EQ(reopened.At(kSwitch.x, kSwitch.y - 8), before.At(kSwitch.x, kSwitch.y - 8));

  // Opening while open replaces the window.
  ASSERT_EQ(vst.Dispatch(vst::effEditOpen, 0, 0, host.Handle()), 1);
  Pump(vst, 100ms);
  EXPECT_FALSE(IsWindow(editor));
  EXPECT_NE(host.Editor(), nullptr);
  EXPECT_EQ(vst.Dispatch(vst::effEditClose), 1);
  EXPECT_FALSE(EditorClassRegistered());
}

// A popup menu runs its own loop inside the click that opened it, so the keys come from
// another thread; whatever it leaves open is escaped so that the click always returns.
TEST_F(EditorWin32, ProgramListAndRenameThroughTheSystemControls) {
  HostWindow host(width, height);
  ASSERT_EQ(vst.Dispatch(vst::effEditOpen, 0, 0, host.Handle()), 1);
  HWND editor = host.Editor();
  ASSERT_NE(editor, nullptr);
  Pump(vst, 200ms);
  ASSERT_EQ(vst.Dispatch(vst::effGetProgram), 0);

  bool menuSeen = false;
  std::thread user([&] {
    for (int i = 0; i < 200 && !OpenMenu(); ++i) Sleep(25);
    menuSeen = OpenMenu() != nullptr;
    if (menuSeen) {
      // The second sub-menu holds programs 16 to 31: down to it, into it, down to 21.
      for (WORD key : {VK_DOWN, VK_DOWN, VK_RIGHT, VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN}) {
        Sleep(100);
        Key(key);
      }
    }
    for (int i = 0; i < 50 && OpenMenu(); ++i) Sleep(20);
    for (int i = 0; i < 5 && OpenMenu(); ++i) {
      Key(VK_ESCAPE);
      Sleep(200);
    }
  });
  Click(vst, editor, kProgramNumber);
  user.join();
  EXPECT_TRUE(menuSeen) << "the program list did not open";
  Pump(vst, 100ms);
  EXPECT_EQ(vst.Dispatch(vst::effGetProgram), 21);

  Click(vst, editor, kProgramName);
  HWND entry = FindWindowExW(editor, nullptr, L"EDIT", nullptr);
  ASSERT_NE(entry, nullptr) << "no text entry over the name";
  EXPECT_EQ(GetFocus(), entry);
  Type(L"Wine Pad \u00e9");
  Key(VK_RETURN);
  Pump(vst, 200ms);
  EXPECT_FALSE(IsWindow(entry)) << "the entry stayed after Enter";
  EXPECT_EQ(vst.DispatchText(vst::effGetProgramName), "Wine Pad \xC3\xA9");
  Capture(host.Handle(), "editor-win32-renamed.bmp");
  EXPECT_EQ(vst.Dispatch(vst::effEditClose), 1);
}

// Escapes every menu or dialog of the class that opens until stopped, counting them.
class Escaper {
 public:
  explicit Escaper(const wchar_t* windowClass = L"#32768")
      : thread_([this, windowClass] {
          HWND last = nullptr;
          while (!stop_) {
            HWND shown = Shown(windowClass);
            if (shown && shown != last) ++seen_;
            last = shown;
            if (shown) Key(VK_ESCAPE);
            Sleep(shown ? 60 : 10);
          }
        }) {}
  ~Escaper() { Stop(); }
  int Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return seen_;
  }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<int> seen_{0};
  std::thread thread_;
};

// The double-click time is made long, so that every press pairs with the one before
// whatever the machine's speed; the system's own is put back afterwards.
class LongDoubleClickTime {
 public:
  LongDoubleClickTime() : saved_(GetDoubleClickTime()) { SetDoubleClickTime(5000); }
  ~LongDoubleClickTime() { SetDoubleClickTime(saved_); }

 private:
  UINT saved_;
};

// Windows pairs presses into double clicks by itself; a press that opened a menu must not
// pair with the next one, or that one opens nothing.
TEST_F(EditorWin32, APressBeforeAMenuNeverPairsWithOneAfterIt) {
  HostWindow host(width, height);
  ASSERT_EQ(vst.Dispatch(vst::effEditOpen, 0, 0, host.Handle()), 1);
  HWND editor = host.Editor();
  ASSERT_NE(editor, nullptr);
  Pump(vst, 200ms);
  LongDoubleClickTime longTime;

  // Double clicks do arrive: two clicks on the knob put it back to its default.
  const int knob = vst.effect()->numParams - 1;  // the master level comes last
  const float level = vst.GetParameter(knob);
  vst.SetParameter(knob, level > 0.5f ? 0.1f : 0.9f);
  Pump(vst, 100ms);
  Click(vst, editor, kKnob);
  Click(vst, editor, kKnob);
  ASSERT_FLOAT_EQ(vst.GetParameter(knob), level) << "no double click reached the editor";

  for (POINT button : {kOptionsButton, kProgramNumber}) {
    Escaper escaper;
    for (int i = 0; i < 3; ++i) Click(vst, editor, button);
    EXPECT_EQ(escaper.Stop(), 3) << "a quick click after a menu opened nothing";
  }
  EXPECT_EQ(vst.Dispatch(vst::effEditClose), 1);
}

// Every press that captures the mouse is released by its own release, whichever the button,
// and every gesture begun ends: after a middle click, a middle drag, a right click during a
// left drag, and the capture taken away mid-drag.
TEST_F(EditorWin32, EveryPressReleasesItsCaptureAndEndsItsGesture) {
  HostWindow host(width, height);
  ASSERT_EQ(vst.Dispatch(vst::effEditOpen, 0, 0, host.Handle()), 1);
  HWND editor = host.Editor();
  ASSERT_NE(editor, nullptr);
  Pump(vst, 200ms);
  vst.ClearCalls();
  auto balanced = [&](int begun, const char* what) {
    EXPECT_NE(GetCapture(), editor) << what << ": the mouse stays captured";
    EXPECT_EQ(vst.CountCalls(vst::audioMasterBeginEdit), begun) << what;
    EXPECT_EQ(vst.CountCalls(vst::audioMasterEndEdit), begun) << what << ": a gesture was left open";
  };

  {
    // The drag's press pairs with the click's: Windows makes it a middle double click,
    // which is a press like any other here.
    LongDoubleClickTime longTime;
    MouseAt(editor, kKnob);
    Pump(vst, 50ms);
    MouseAt(editor, kKnob, MOUSEEVENTF_MIDDLEDOWN);
    Pump(vst, 50ms);
    MouseAt(editor, kKnob, MOUSEEVENTF_MIDDLEUP);
    Pump(vst, 100ms);
    balanced(1, "middle click");

    MouseAt(editor, kKnob, MOUSEEVENTF_MIDDLEDOWN);
    Pump(vst, 50ms);
    MouseAt(editor, {kKnob.x, kKnob.y - 20}, MOUSEEVENTF_MOVE);
    Pump(vst, 50ms);
    MouseAt(editor, {kKnob.x, kKnob.y - 20}, MOUSEEVENTF_MIDDLEUP);
    Pump(vst, 100ms);
    balanced(2, "middle drag");
  }

  MouseAt(editor, kKnob, MOUSEEVENTF_LEFTDOWN);
  Pump(vst, 50ms);
  MouseAt(editor, {kKnob.x, kKnob.y - 10}, MOUSEEVENTF_MOVE);
  Pump(vst, 50ms);
  MouseAt(editor, {kKnob.x, kKnob.y - 10}, MOUSEEVENTF_RIGHTDOWN);
  Pump(vst, 50ms);
  MouseAt(editor, {kKnob.x, kKnob.y - 10}, MOUSEEVENTF_RIGHTUP);
  Pump(vst, 50ms);
  EXPECT_EQ(GetCapture(), editor) << "the right click ended the left drag";
  MouseAt(editor, {kKnob.x, kKnob.y - 10}, MOUSEEVENTF_LEFTUP);
  Pump(vst, 100ms);
  balanced(3, "right click during a left drag");

  MouseAt(editor, kKnob, MOUSEEVENTF_LEFTDOWN);
  Pump(vst, 50ms);
  ASSERT_EQ(GetCapture(), editor);
  SetCapture(host.Handle());  // the host takes the mouse mid-drag
  Pump(vst, 50ms);
  ReleaseCapture();
  MouseAt(editor, kKnob, MOUSEEVENTF_LEFTUP);
  Pump(vst, 100ms);
  balanced(4, "capture taken away");

  // A press that captures nothing (it commits the open rename) released outside the window
  // leaves the next press working.
  Click(vst, editor, kProgramName);
  ASSERT_NE(FindWindowExW(editor, nullptr, L"EDIT", nullptr), nullptr) << "no text entry over the name";
  MouseAt(editor, {kKnob.x + 40, kKnob.y}, MOUSEEVENTF_LEFTDOWN);
  Pump(vst, 50ms);
  MouseAt(editor, {kKnob.x + 40, -20}, MOUSEEVENTF_MOVE);
  Pump(vst, 50ms);
  MouseAt(editor, {kKnob.x + 40, -20}, MOUSEEVENTF_LEFTUP);
  Pump(vst, 100ms);
  MouseAt(editor, kKnob, MOUSEEVENTF_LEFTDOWN);
  Pump(vst, 50ms);
  MouseAt(editor, kKnob, MOUSEEVENTF_LEFTUP);
  Pump(vst, 100ms);
  balanced(5, "press after one released outside");
  EXPECT_EQ(vst.Dispatch(vst::effEditClose), 1);
}

TEST_F(EditorWin32, ClosingMidDragEndsTheEdit) {
  HostWindow host(width, height);
  ASSERT_EQ(vst.Dispatch(vst::effEditOpen, 0, 0, host.Handle()), 1);
  HWND editor = host.Editor();
  ASSERT_NE(editor, nullptr);
  Pump(vst, 200ms);
  vst.ClearCalls();
  MouseAt(editor, kKnob);
  Pump(vst, 50ms);
  MouseAt(editor, kKnob, MOUSEEVENTF_LEFTDOWN);
  Pump(vst, 50ms);
  MouseAt(editor, {kKnob.x, kKnob.y - 30}, MOUSEEVENTF_MOVE);
  Pump(vst, 100ms);
  EXPECT_EQ(GetCapture(), editor) << "the drag did not capture the mouse";
  EXPECT_EQ(vst.CountCalls(vst::audioMasterBeginEdit), 1);
  EXPECT_EQ(vst.Dispatch(vst::effEditClose), 1);
  EXPECT_EQ(vst.CountCalls(vst::audioMasterEndEdit), 1) << "the host was left inside an edit";
  EXPECT_NE(GetCapture(), editor);
  MouseAt(editor, {kKnob.x, kKnob.y - 40}, MOUSEEVENTF_LEFTUP);
  Pump(vst, 100ms);
  EXPECT_FALSE(IsWindow(editor));
  EXPECT_FALSE(EditorClassRegistered());
  EXPECT_EQ(vst.CountCalls(vst::audioMasterEndEdit), 1);
}

TEST_F(EditorWin32, HostWindowGoingFirstAndInstanceClosingWithTheEditorOpen) {
  {
    HostWindow host(width, height);
    ASSERT_EQ(vst.Dispatch(vst::effEditOpen, 0, 0, host.Handle()), 1);
    Pump(vst, 100ms);
  }  // the host's window is destroyed with the editor in it
  Pump(vst, 100ms);
  EXPECT_EQ(vst.Dispatch(vst::effEditClose), 1);
  EXPECT_FALSE(EditorClassRegistered());

  HostWindow host(width, height);
  ASSERT_EQ(vst.Dispatch(vst::effEditOpen, 0, 0, host.Handle()), 1);
  HWND editor = host.Editor();
  Pump(vst, 100ms);
  vst.Close();
  EXPECT_FALSE(IsWindow(editor));
  EXPECT_FALSE(EditorClassRegistered());
  Pump(vst, 100ms);
}

class Recorder : public EditorInstrument {
 public:
  Recorder() { param.InitContinuous("Level", 0.5, 0.0, 1.0, 0.001, 1.0); }
  std::recursive_mutex& InstrumentMutex() override { return mutex; }
  const IParameter* Param(int i) override { return i == 0 ? &param : nullptr; }
  void SetParamFromEditor(int, double v) override { param.SetFromNormalized(v); }
  void BeginParamEdit(int) override {}
  void EndParamEdit(int) override {}
  void GuiIdle() override {}
  void EditorResized() override {}
  std::recursive_mutex mutex;
  IParameter param;
};

// A control that asks the user something on every press, as the instrument's commands do.
class Asking : public IControl {
 public:
  Asking(IEditor* editor, const GfxRect& rect, bool file) : IControl(editor, rect), file_(file) {}
  void MouseDown(int, int, const IMouseMod&) override {
    ++asked;
    if (file_)
      editor_->PromptForFile(false, "", "", "fxp", nullptr);
    else
      editor_->ShowMessageBox("Once more?", "Asking", kMessageOk);
  }
  int asked = 0;

 private:
  bool file_;
};

TEST(EditorWin32Core, APressBeforeAMessageBoxOrFileDialogNeverPairsWithOneAfterIt) {
  Recorder recorder;
  IEditorWin editor;
  editor.Add<IControl>(GfxRect{0, 0, 1125, 400});
  Asking* box = editor.Add<Asking>(GfxRect{100, 100, 200, 200}, false);
  Asking* file = editor.Add<Asking>(GfxRect{300, 100, 400, 200}, true);
  editor.AttachInstrument(recorder);
  auto idle = [&] { editor.HostIdle(); };
  HostWindow host(1125, 400);
  ASSERT_TRUE(editor.OpenWindow(host.Handle()));
  HWND child = FindWindowExW(host.Handle(), nullptr, kEditorClass, nullptr);
  Pump(idle, 100ms);
  LongDoubleClickTime longTime;
  for (Asking* control : {box, file}) {
    Escaper escaper(L"#32770");
    for (int i = 0; i < 3; ++i) Click(idle, child, {control->GetRect().left + 50, control->GetRect().top + 50});
    EXPECT_EQ(escaper.Stop(), 3);
    EXPECT_EQ(control->asked, 3) << "a quick press after " << (control == box ? "a message box" : "a file dialog")
                                 << " asked nothing";
  }
  editor.CloseWindow();
}

// The core with a control that has a tooltip (the instrument's controls have none).
TEST(EditorWin32Core, TooltipShowsAgainAfterTheHostWindowWentWithTheEditor) {
  Recorder recorder;
  IEditorWin editor;
  editor.Add<IControl>(GfxRect{0, 0, 1125, 400});
  editor.Add<IControl>(GfxRect{100, 100, 140, 300}, 0)->SetTooltip("Level");
  editor.EnableMouseOver(true);
  editor.EnableTooltips(true);
  editor.AttachInstrument(recorder);
  auto idle = [&] { editor.HostIdle(); };
  auto hover = [&](HWND host) {
    HWND child = FindWindowExW(host, nullptr, kEditorClass, nullptr);
    MouseAt(child, {50, 50});
    Pump(idle, 50ms);
    MouseAt(child, {120, 200}, MOUSEEVENTF_MOVE);
    for (int i = 0; i < 40 && !ShownTooltip(host); ++i) Pump(idle, 50ms);
    return ShownTooltip(host) != nullptr;
  };
  {
    HostWindow host(1125, 400);
    ASSERT_TRUE(editor.OpenWindow(host.Handle()));
    Pump(idle, 100ms);
    EXPECT_TRUE(hover(host.Handle())) << "no tooltip over the control";
  }
  Pump(idle, 100ms);
  EXPECT_FALSE(editor.IsWindowOpen());
  editor.CloseWindow();
  HostWindow host(1125, 400);
  ASSERT_TRUE(editor.OpenWindow(host.Handle()));
  Pump(idle, 100ms);
  EXPECT_TRUE(hover(host.Handle())) << "no tooltip in the window opened after the host's went";
  editor.CloseWindow();
}

}  // namespace
}  // namespace tessaron
