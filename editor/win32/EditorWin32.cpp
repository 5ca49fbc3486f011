// The editor on Windows: a child window "Tessaron" of class "TessaronWndClass" in the
// host's editor frame, driven by the host's own message loop. Texts cross to Windows as
// UTF-16 so that names and paths outside the ANSI code page survive.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <wininet.h>

// <windows.h> maps MessageBox to MessageBoxA, which would rename our override; the
// system's box is called as MessageBoxW by name.
#ifdef MessageBox
#undef MessageBox
#endif

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "editor/EditorPlatform.h"
#include "editor/IEditor.h"
#include "platform/OpenUrl.h"

namespace tessaron {
namespace {

constexpr const wchar_t* kClassName = L"TessaronWndClass";
constexpr const wchar_t* kWindowName = L"Tessaron";
constexpr UINT_PTR kTimerId = 2;
constexpr std::size_t kEditBufferChars = 1024;
constexpr std::size_t kPathChars = 4096;
// While the host calls its editor idle this often, that call drives the editor's ticks
// and the window's own timer stays quiet, so that ticks never come twice as fast.
constexpr auto kHostIdleWindow = std::chrono::milliseconds(200);

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(n, 0)), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string Narrow(const wchar_t* text, int length = -1) {
  if (!text || length == 0) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string narrow(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, narrow.data(), n, nullptr, nullptr);
  if (length < 0 && !narrow.empty()) narrow.pop_back();  // the counted terminator
  return narrow;
}

HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

// One class for every editor window of the library: registered by the first open window,
// unregistered when the last one closes.
std::mutex classLock;
int openWindows = 0;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK EntryProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

bool AcquireClass() {
  std::lock_guard<std::mutex> hold(classLock);
  if (openWindows == 0) {
    WNDCLASSW windowClass{};
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = &WindowProc;
    windowClass.hInstance = ThisModule();
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  }
  ++openWindows;
  return true;
}

void ReleaseClass() {
  std::lock_guard<std::mutex> hold(classLock);
  if (openWindows > 0 && --openWindows == 0) UnregisterClassW(kClassName, ThisModule());
}

IMouseMod Modifiers(WPARAM keys) {
  IMouseMod mod;
  mod.L = (keys & MK_LBUTTON) != 0;
  mod.R = (keys & MK_RBUTTON) != 0;
  mod.S = (keys & MK_SHIFT) != 0;
  mod.C = (keys & MK_CONTROL) != 0;
  mod.A = GetKeyState(VK_MENU) < 0;
  return mod;
}

int PointX(LPARAM lParam) { return static_cast<short>(LOWORD(lParam)); }
int PointY(LPARAM lParam) { return static_cast<short>(HIWORD(lParam)); }

class Win32EditorPlatform final : public EditorPlatform {
 public:
  explicit Win32EditorPlatform(IEditor& editor) : editor_(editor) {}
  ~Win32EditorPlatform() override { CloseWindow(); }

  bool OpenWindow(void* parent, int width, int height) override;
  void CloseWindow() override;
  bool IsWindowOpen() const override { return window_ != nullptr; }
  void PumpEvents() override { lastHostIdle_ = std::chrono::steady_clock::now(); }
  void Invalidate(const GfxRect& rect) override;
  void ResizeWindow(int width, int height) override;
  void CaptureMouse() override {
    if (window_) SetCapture(window_);
  }
  void ReleaseMouse() override {
    if (window_ && GetCapture() == window_) ReleaseCapture();
  }
  void HideCursor() override;
  void ShowCursor() override;
  bool ShowTooltip(const char* text) override;
  void HideTooltip() override;
  void RequestHover() override { TrackMouse(TME_HOVER | TME_LEAVE); }
  bool CreateTextEntry(const GfxRect& rect, const char* text, const GfxTextStyle& style, int maxLength) override;
  std::string TextEntryText() override;
  void DestroyTextEntry() override;
  // Windows' modal loops keep the host's windows alive, so the answers come before
  // these return.
  void MessageBox(const char* text, const char* caption, int type, MessageBoxDone done) override {
    const int answer = ModalMessageBox(text, caption, type);
    if (window_ && done) done(answer);
  }
  void PopupMenu(std::shared_ptr<EditorMenu> menu, int x, int y, MenuDone done) override {
    EditorMenuChoice choice;
    if (!menu || !window_) return;
    ModalMenu(*menu, x, y, choice);
    if (window_ && done) done(choice);
  }
  void RunFileDialog(const FileDialogRequest& request, FileDialogDone done) override {
    const std::string path = ModalFileDialog(request);
    if (window_ && done) done(path);
  }
  std::string ClipboardText() override;
  bool OpenWebPage(const char* url) override;
  std::string LibraryFolder() override;
  const char* BackEndDescription() const override { return "Windows GDI"; }

  LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleEntry(HWND entry, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  int ModalMessageBox(const char* text, const char* caption, int type);
  bool ModalMenu(EditorMenu& menu, int x, int y, EditorMenuChoice& choice);
  std::string ModalFileDialog(const FileDialogRequest& request);
  void TrackMouse(DWORD flags);
  void Press(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Release(UINT message, WPARAM wParam, LPARAM lParam);
  template <typename Call>
  void Dispatch(Call call);
  void InterruptPress();
  void EndPress();
  void BeginModal();
  void Show(HDC dc, const RECT& rect);
  void ForwardToHost(UINT message, WPARAM wParam, LPARAM lParam);
  HWND TopLevel() const { return window_ ? GetAncestor(window_, GA_ROOT) : nullptr; }
  HMENU BuildMenu(EditorMenu& root, EditorMenu& menu);
  void Forget(bool releaseClass);

  IEditor& editor_;
  HWND window_ = nullptr;
  bool ownsClass_ = false;
  HWND tooltip_ = nullptr;
  bool tooltipShowing_ = false;
  std::wstring tooltipText_;
  HWND entry_ = nullptr;
  WNDPROC entryProc_ = nullptr;
  HFONT entryFont_ = nullptr;
  HBRUSH entryBrush_ = nullptr;
  COLORREF entryColour_ = 0;
  bool cursorHidden_ = false;
  POINT savedCursor_{};
  bool tracking_ = false;
  std::chrono::steady_clock::time_point lastHostIdle_{};
  // The press being served: the release message that ends it (0 when none) and where the
  // pointer was last seen during it. A press cut short by a modal loop or a lost capture
  // ends once the editor call that was running returns (calls run at depth dispatching_).
  UINT pressRelease_ = 0;
  POINT pressPoint_{};
  bool pressInterrupted_ = false;
  int dispatching_ = 0;
  // Menus, message boxes and file dialogs run so far, and that count at the last left press.
  unsigned modalRuns_ = 0;
  unsigned leftPressModalRuns_ = 0;
};

bool Win32EditorPlatform::OpenWindow(void* parent, int width, int height) {
  CloseWindow();
  HWND parentWindow = static_cast<HWND>(parent);
  if (!parentWindow || !IsWindow(parentWindow) || !AcquireClass()) return false;
  ownsClass_ = true;
  window_ = CreateWindowExW(0, kClassName, kWindowName, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, width, height,
                            parentWindow, nullptr, ThisModule(), this);
  if (!window_) {
    ReleaseClass();
    ownsClass_ = false;
    return false;
  }
  return true;
}

void Win32EditorPlatform::CloseWindow() {
  if (window_) {
    DestroyTextEntry();
    HideTooltip();
    if (tooltip_) DestroyWindow(tooltip_);
    tooltip_ = nullptr;
    if (cursorHidden_) ShowCursor();
    // The core ends a gesture cut short by the closing window itself.
    pressRelease_ = 0;
    pressInterrupted_ = false;
    // WM_NCDESTROY clears window_.
    DestroyWindow(window_);
  }
  Forget(true);
}

// The window is gone, by our hand or with the host's frame. The class is given up only
// once the window is wholly destroyed, never from inside its own last message; a class
// left registered after the library unloads would point at code that is gone.
void Win32EditorPlatform::Forget(bool releaseClass) {
  window_ = nullptr;
  entry_ = nullptr;
  // The tooltip belongs to the host's top-level window, which may outlive ours or may
  // already have taken it along; a handle kept would never show a tip again.
  if (tooltip_ && IsWindow(tooltip_)) DestroyWindow(tooltip_);
  tooltip_ = nullptr;
  tooltipShowing_ = false;
  tracking_ = false;
  if (entryFont_) DeleteObject(entryFont_);
  if (entryBrush_) DeleteObject(entryBrush_);
  entryFont_ = nullptr;
  entryBrush_ = nullptr;
  if (releaseClass && ownsClass_) {
    ReleaseClass();
    ownsClass_ = false;
  }
}

void Win32EditorPlatform::Show(HDC dc, const RECT& rect) {
  IGfxBitmap* surface = editor_.Surface();
  if (!surface || surface->IsEmpty()) return;
  const int w = std::min<int>(rect.right, surface->Width()) - rect.left;
  const int h = std::min<int>(rect.bottom, surface->Height()) - rect.top;
  if (w <= 0 || h <= 0) return;
  if (HDC source = static_cast<HDC>(surface->DeviceContext())) {
    BitBlt(dc, rect.left, rect.top, w, h, source, rect.left, rect.top, SRCCOPY);
    return;
  }
  // A surface without a device context (none could be made): copy its pixels directly.
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = surface->Span();
  info.bmiHeader.biHeight = surface->IsBottomUp() ? surface->Height() : -surface->Height();
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  StretchDIBits(dc, rect.left, rect.top, w, h, rect.left,
                surface->IsBottomUp() ? surface->Height() - rect.top - h : rect.top, w, h, surface->Pixels(), &info,
                DIB_RGB_COLORS, SRCCOPY);
}

void Win32EditorPlatform::Invalidate(const GfxRect& rect) {
  if (!window_) return;
  // The surface is brought up to date at once; painting then only copies it.
  editor_.Paint(rect);
  const RECT r{rect.left, rect.top, rect.right, rect.bottom};
  InvalidateRect(window_, &r, FALSE);
  UpdateWindow(window_);
}

void Win32EditorPlatform::ResizeWindow(int width, int height) {
  if (!window_) return;
  RECT now{};
  GetClientRect(window_, &now);
  const int dx = width - (now.right - now.left), dy = height - (now.bottom - now.top);
  SetWindowPos(window_, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
  // Hosts that wrap the editor in child frames of their own expect those to grow with it.
  HWND frame = GetParent(window_);
  for (int level = 0; level < 2 && frame && (GetWindowLongPtrW(frame, GWL_STYLE) & WS_CHILD); ++level) {
    RECT r{};
    GetWindowRect(frame, &r);
    SetWindowPos(frame, nullptr, 0, 0, r.right - r.left + dx, r.bottom - r.top + dy,
                 SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    frame = GetParent(frame);
  }
}

void Win32EditorPlatform::HideCursor() {
  if (!window_ || cursorHidden_) return;
  GetCursorPos(&savedCursor_);
  ::ShowCursor(FALSE);
  cursorHidden_ = true;
}

void Win32EditorPlatform::ShowCursor() {
  if (!cursorHidden_) return;
  SetCursorPos(savedCursor_.x, savedCursor_.y);
  ::ShowCursor(TRUE);
  cursorHidden_ = false;
}

void Win32EditorPlatform::TrackMouse(DWORD flags) {
  if (!window_) return;
  TRACKMOUSEEVENT track{};
  track.cbSize = sizeof(track);
  track.dwFlags = flags;
  track.hwndTrack = window_;
  track.dwHoverTime = HOVER_DEFAULT;
  if (TrackMouseEvent(&track) && (flags & TME_LEAVE)) tracking_ = true;
}

bool Win32EditorPlatform::ShowTooltip(const char* text) {
  if (!window_) return false;
  if (!tooltip_) {
    INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&init);
    tooltip_ =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, ThisModule(), nullptr);
    if (!tooltip_) return false;
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_TRACK | TTF_ABSOLUTE;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(window_);
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 600);
  }
  tooltipText_ = Wide(text ? text : "");
  TOOLINFOW tool{};
  tool.cbSize = sizeof(tool);
  tool.hwnd = window_;
  tool.uId = reinterpret_cast<UINT_PTR>(window_);
  tool.lpszText = tooltipText_.data();
  SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  if (tooltipText_.empty()) {
    HideTooltip();
    return true;
  }
  POINT at{};
  GetCursorPos(&at);
  SendMessageW(tooltip_, TTM_TRACKPOSITION, 0, MAKELPARAM(at.x + 2, at.y + 20));
  SendMessageW(tooltip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
  tooltipShowing_ = true;
  return true;
}

void Win32EditorPlatform::HideTooltip() {
  if (!tooltip_ || !tooltipShowing_) return;
  TOOLINFOW tool{};
  tool.cbSize = sizeof(tool);
  tool.hwnd = window_;
  tool.uId = reinterpret_cast<UINT_PTR>(window_);
  SendMessageW(tooltip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
  tooltipShowing_ = false;
}

bool Win32EditorPlatform::CreateTextEntry(const GfxRect& rect, const char* text, const GfxTextStyle& style,
                                          int maxLength) {
  if (!window_) return false;
  DestroyTextEntry();
  DWORD align = ES_LEFT;
  if (style.align == kGfxAlignCentre) align = ES_CENTER;
  if (style.align == kGfxAlignRight) align = ES_RIGHT;
  entry_ = CreateWindowExW(0, L"EDIT", Wide(text ? text : "").c_str(), WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | align,
                           rect.left, rect.top, rect.Width(), rect.Height(), window_, nullptr, ThisModule(), nullptr);
  if (!entry_) return false;
  entryFont_ =
      CreateFontW(style.size, 0, 0, 0, (style.style & kGfxTextBold) ? FW_BOLD : FW_NORMAL,
                  (style.style & kGfxTextItalic) ? TRUE : FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, Wide(style.face).c_str());
  if (entryFont_) SendMessageW(entry_, WM_SETFONT, reinterpret_cast<WPARAM>(entryFont_), FALSE);
  entryColour_ = RGB(style.colour.R, style.colour.G, style.colour.B);
  entryBrush_ = CreateSolidBrush(GetSysColor(COLOR_WINDOW));
  if (maxLength > 0) SendMessageW(entry_, EM_SETLIMITTEXT, static_cast<WPARAM>(maxLength), 0);
  SetWindowLongPtrW(entry_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  entryProc_ =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrW(entry_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&EntryProc)));
  SendMessageW(entry_, EM_SETSEL, 0, -1);
  SetFocus(entry_);
  return true;
}

std::string Win32EditorPlatform::TextEntryText() {
  if (!entry_) return {};
  wchar_t buffer[kEditBufferChars] = {};
  const int n = GetWindowTextW(entry_, buffer, static_cast<int>(kEditBufferChars));
  return Narrow(buffer, n);
}

void Win32EditorPlatform::DestroyTextEntry() {
  if (entry_) {
    HWND entry = entry_;
    entry_ = nullptr;  // its focus loss while going away is no commit
    if (entryProc_) SetWindowLongPtrW(entry, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(entryProc_));
    DestroyWindow(entry);
    if (window_) SetFocus(window_);
  }
  entryProc_ = nullptr;
  if (entryFont_) DeleteObject(entryFont_);
  if (entryBrush_) DeleteObject(entryBrush_);
  entryFont_ = nullptr;
  entryBrush_ = nullptr;
}

LRESULT Win32EditorPlatform::HandleEntry(HWND entry, UINT message, WPARAM wParam, LPARAM lParam) {
  const WNDPROC proc = entryProc_;
  if (entry == entry_) {
    switch (message) {
      case WM_SETFOCUS: editor_.OnTextEntryEvent(TextEntryEvent::kFocusIn); break;
      case WM_KILLFOCUS: editor_.OnTextEntryEvent(TextEntryEvent::kFocusOut); break;
      case WM_KEYDOWN:
        if (wParam == VK_RETURN) {
          editor_.OnTextEntryEvent(TextEntryEvent::kEnter);
          return 0;
        }
        if (wParam == VK_ESCAPE) {
          editor_.OnTextEntryEvent(TextEntryEvent::kEscape);
          return 0;
        }
        break;
      case WM_CHAR:
        if (wParam == '\r' || wParam == 27) return 0;  // already handled; no beep
        break;
      case WM_GETDLGCODE: return DLGC_WANTALLKEYS | (proc ? CallWindowProcW(proc, entry, message, wParam, lParam) : 0);
      default: break;
    }
  }
  return proc ? CallWindowProcW(proc, entry, message, wParam, lParam) : DefWindowProcW(entry, message, wParam, lParam);
}

// Every menu, message box and file dialog starts here: the press that led to it (or that
// was held while a timer brought it up) is over for the editor, and no press before it
// may pair with one after it into a double click.
void Win32EditorPlatform::BeginModal() {
  ++modalRuns_;
  InterruptPress();
  ReleaseMouse();
}

int Win32EditorPlatform::ModalMessageBox(const char* text, const char* caption, int type) {
  BeginModal();
  // Owned by the host's top-level window, so that it stays in front of the host.
  return MessageBoxW(TopLevel(), Wide(text ? text : "").c_str(), Wide(caption ? caption : "").c_str(),
                     static_cast<UINT>(type));
}

HMENU Win32EditorPlatform::BuildMenu(EditorMenu& root, EditorMenu& menu) {
  HMENU handle = CreatePopupMenu();
  if (!handle) return nullptr;
  for (int i = 0; i < menu.NItems(); ++i) {
    EditorMenu::Item& item = menu.GetItem(i);
    if (item.flags & EditorMenu::kSeparator) {
      AppendMenuW(handle, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    UINT flags = MF_STRING;
    if (item.flags & EditorMenu::kMarked) flags |= MF_CHECKED;
    if (item.flags & EditorMenu::kGreyed) flags |= MF_GRAYED;
    if (item.flags & EditorMenu::kDisabled) flags |= MF_DISABLED;
    const std::wstring text = Wide(menu.DisplayText(i));
    if (item.subMenu) {
      HMENU sub = BuildMenu(root, *item.subMenu);
      AppendMenuW(handle, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(sub), text.c_str());
    } else {
      AppendMenuW(handle, flags, static_cast<UINT_PTR>(root.CommandOf(&menu, i)), text.c_str());
    }
  }
  return handle;
}

bool Win32EditorPlatform::ModalMenu(EditorMenu& menu, int x, int y, EditorMenuChoice& choice) {
  if (!window_) return false;
  BeginModal();
  HideTooltip();
  HMENU handle = BuildMenu(menu, menu);
  if (!handle) return false;
  POINT at{x, y};
  ClientToScreen(window_, &at);
  const int command = static_cast<int>(TrackPopupMenu(
      handle, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, 0, window_, nullptr));
  DestroyMenu(handle);  // sub-menus go with it
  EditorMenu* owner = nullptr;
  int index = -1;
  if (!menu.Resolve(command, owner, index)) return false;
  choice.menu = owner;
  choice.index = index;
  return true;
}

std::string Win32EditorPlatform::ModalFileDialog(const FileDialogRequest& request) {
  if (!window_) return {};
  BeginModal();
  // One filter entry: its description and its pattern are both the pattern list.
  std::wstring filter;
  if (!request.filter.empty()) {
    const std::wstring patterns = Wide(request.filter);
    filter = patterns + L'\0' + patterns + L'\0';
  }
  filter += L'\0';
  const std::wstring folder = Wide(request.folder);
  const std::wstring extension = request.extensions.empty() ? std::wstring() : Wide(request.extensions[0]);
  std::vector<wchar_t> path(kPathChars, L'\0');
  const std::wstring name = Wide(request.fileName);
  std::copy_n(name.begin(), std::min(name.size(), kPathChars - 1), path.begin());

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = window_;
  dialog.lpstrFilter = filter.size() > 1 ? filter.c_str() : nullptr;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = static_cast<DWORD>(path.size());
  dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
  dialog.Flags = OFN_NOCHANGEDIR | OFN_HIDEREADONLY | OFN_EXPLORER | OFN_PATHMUSTEXIST |
                 (request.save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
  const BOOL ok = request.save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
  return ok ? Narrow(path.data()) : std::string();
}

std::string Win32EditorPlatform::ClipboardText() {
  if (!window_ || !IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(window_)) return {};
  std::string text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
      // Bounded by the block's size: clipboard data need not end in a terminator.
      const std::size_t capacity = GlobalSize(data) / sizeof(wchar_t);
      std::size_t length = 0;
      while (length < capacity && chars[length]) ++length;
      text = Narrow(chars, static_cast<int>(length));
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

bool Win32EditorPlatform::OpenWebPage(const char* url) {
  DWORD state = 0;
  if (!InternetGetConnectedState(&state, 0)) return false;
  return platform::OpenUrl(url);
}

std::string Win32EditorPlatform::LibraryFolder() {
  std::vector<wchar_t> path(kPathChars, L'\0');
  const DWORD n = GetModuleFileNameW(ThisModule(), path.data(), static_cast<DWORD>(path.size()));
  if (n == 0 || n >= path.size()) return {};
  std::wstring file(path.data(), n);
  const std::size_t slash = file.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::string(".") : Narrow(file.substr(0, slash).c_str());
}

template <typename Call>
void Win32EditorPlatform::Dispatch(Call call) {
  ++dispatching_;
  call();
  if (--dispatching_ == 0 && pressInterrupted_) EndPress();
}

void Win32EditorPlatform::InterruptPress() {
  if (!pressRelease_) return;
  if (dispatching_ > 0)
    pressInterrupted_ = true;
  else
    EndPress();
}

// The press ends as if released where the pointer was last seen, so that the gesture it
// began ends for the host; its real release, whenever it comes, is then no one's.
void Win32EditorPlatform::EndPress() {
  if (!pressRelease_) return;
  pressRelease_ = 0;
  pressInterrupted_ = false;
  const POINT at = pressPoint_;
  Dispatch([&] { editor_.OnMouseUp(at.x, at.y, IMouseMod{}); });
}

void Win32EditorPlatform::Press(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const bool left = message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK;
  const UINT release = left                                                         ? WM_LBUTTONUP
                       : (message == WM_RBUTTONDOWN || message == WM_RBUTTONDBLCLK) ? WM_RBUTTONUP
                                                                                    : WM_MBUTTONUP;
  if (pressRelease_) {
    // One press at a time: a second button pressed meanwhile is ignored with its release,
    // so that the first press's gesture is neither cut short nor left open. A press whose
    // button is up again (or pressed anew) had its release go elsewhere, as a press that
    // captured nothing may, and is over.
    const WPARAM held = pressRelease_ == WM_LBUTTONUP   ? MK_LBUTTON
                        : pressRelease_ == WM_RBUTTONUP ? MK_RBUTTON
                                                        : MK_MBUTTON;
    if (release != pressRelease_ && (wParam & held)) return;
    EndPress();
  }
  // Windows pairs presses into double clicks by time and place alone (and for every
  // button). Only a left double click means anything here, and only when no menu, message
  // box or file dialog ran since its first press.
  const bool doubleClick = message == WM_LBUTTONDBLCLK && leftPressModalRuns_ == modalRuns_;
  if (left) leftPressModalRuns_ = modalRuns_;
  pressRelease_ = release;
  pressPoint_ = {PointX(lParam), PointY(lParam)};
  if (!entry_) SetFocus(window);
  Dispatch([&] {
    if (doubleClick)
      editor_.OnMouseDoubleClick(PointX(lParam), PointY(lParam), Modifiers(wParam));
    else
      editor_.OnMouseDown(PointX(lParam), PointY(lParam), Modifiers(wParam));
  });
}

void Win32EditorPlatform::Release(UINT message, WPARAM wParam, LPARAM lParam) {
  // A release of no press of ours (its press went to a menu, another window or another
  // button's press) does nothing; neither does one of a press already cut short.
  if (message != pressRelease_ || pressInterrupted_) return;
  pressRelease_ = 0;
  Dispatch([&] { editor_.OnMouseUp(PointX(lParam), PointY(lParam), Modifiers(wParam)); });
}

void Win32EditorPlatform::ForwardToHost(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND top = TopLevel();
  if (top && top != window_) PostMessageW(top, message, wParam, lParam);
}

LRESULT Win32EditorPlatform::Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      if (HDC dc = BeginPaint(window, &paint)) {
        Show(dc, paint.rcPaint);
        EndPaint(window, &paint);
      }
      return 0;
    }
    case WM_ERASEBKGND: return 1;  // the surface covers everything
    case WM_TIMER:
      if (wParam == kTimerId && std::chrono::steady_clock::now() - lastHostIdle_ > kHostIdleWindow)
        Dispatch([&] { editor_.OnTimer(); });
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK: Press(window, message, wParam, lParam); return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: Release(message, wParam, lParam); return 0;
    case WM_CAPTURECHANGED:
      // Capture taken by another window (or dropped by a modal loop) ends the press it served.
      if (reinterpret_cast<HWND>(lParam) != window) InterruptPress();
      return 0;
    case WM_MOUSEMOVE:
      if (!tracking_) TrackMouse(TME_LEAVE);
      if (pressRelease_ && !pressInterrupted_ && GetCapture() == window) {
        pressPoint_ = {PointX(lParam), PointY(lParam)};
        Dispatch([&] { editor_.OnMouseDrag(PointX(lParam), PointY(lParam), Modifiers(wParam)); });
      } else {
        editor_.OnMouseMove(PointX(lParam), PointY(lParam), Modifiers(wParam));
      }
      return 0;
    case WM_MOUSEHOVER: editor_.OnHover(); return 0;
    case WM_MOUSELEAVE:
      tracking_ = false;
      editor_.OnMouseLeave();
      return 0;
    case WM_MOUSEWHEEL: {
      POINT at{PointX(lParam), PointY(lParam)};  // screen coordinates for this message
      ScreenToClient(window, &at);
      editor_.OnMouseWheel(at.x, at.y, Modifiers(GET_KEYSTATE_WPARAM(wParam)), GET_WHEEL_DELTA_WPARAM(wParam));
      return 0;
    }
    case WM_KEYDOWN: {
      int key = kKeyNone;
      switch (wParam) {
        case VK_UP: key = kKeyUp; break;
        case VK_DOWN: key = kKeyDown; break;
        case VK_LEFT: key = kKeyLeft; break;
        case VK_RIGHT: key = kKeyRight; break;
        default:
          // Virtual-key codes of space, digits and letters are their upper-case characters.
          if (wParam == VK_SPACE || (wParam >= '0' && wParam <= '9') || (wParam >= 'A' && wParam <= 'Z'))
            key = KeyCodeForCharacter(static_cast<int>(wParam));
          break;
      }
      POINT at{};
      GetCursorPos(&at);
      ScreenToClient(window, &at);
      if (key == kKeyNone || !editor_.OnKeyDown(at.x, at.y, key)) ForwardToHost(message, wParam, lParam);
      return 0;
    }
    case WM_KEYUP: ForwardToHost(message, wParam, lParam); return 0;
    case WM_GETDLGCODE: return DLGC_WANTALLKEYS | DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_CTLCOLOREDIT:
      if (entry_ && reinterpret_cast<HWND>(lParam) == entry_ && entryBrush_) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, entryColour_);
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(entryBrush_);
      }
      break;
    case WM_DESTROY:
      KillTimer(window, kTimerId);
      // The core ends a gesture cut short by the window going.
      pressRelease_ = 0;
      pressInterrupted_ = false;
      break;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      Forget(false);
      return DefWindowProcW(window, message, wParam, lParam);
      break;
    default: break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* platform = reinterpret_cast<Win32EditorPlatform*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_CREATE && platform) {
    SetTimer(window, kTimerId, static_cast<UINT>(IEditor::kTimerPeriodMs), nullptr);
    SetFocus(window);
    return 0;
  }
  if (!platform || message == WM_NCCREATE) return DefWindowProcW(window, message, wParam, lParam);
  return platform->Handle(window, message, wParam, lParam);
}

LRESULT CALLBACK EntryProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* platform = reinterpret_cast<Win32EditorPlatform*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!platform) return DefWindowProcW(window, message, wParam, lParam);
  return platform->HandleEntry(window, message, wParam, lParam);
}

}  // namespace

std::unique_ptr<EditorPlatform> CreateEditorPlatform(IEditor& editor) {
  return std::make_unique<Win32EditorPlatform>(editor);
}

}  // namespace tessaron
