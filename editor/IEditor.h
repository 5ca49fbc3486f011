#pragma once
// The editor's drawing and event core: the owned control list (drawing order bottom to
// top), the drawing surface, the redraw timer, and the routing of mouse, wheel and key
// events to controls and of values between controls and the instrument's parameters.
// The window system sits behind EditorPlatform; the instrument behind EditorInstrument.
//
// Threads: events, timer and drawing run on the editor thread. Values from the instrument
// arrive on any thread, the audio thread among them, and never wait: they are handed over
// through atomics that the editor thread takes up under its own lock before it draws or
// handles an event. Lock order on the editor thread is the instrument's lock first, then
// the editor's.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "editor/EditorPlatform.h"
#include "editor/GfxBitmap.h"
#include "editor/GfxDraw.h"
#include "editor/GfxSysBitmap.h"
#include "editor/GfxText.h"
#include "editor/IControl.h"
#include "host/IPluginEditor.h"

namespace tessaron {

class IParameter;
class IPluginBase;

// What the editor needs from the instrument it serves.
class EditorInstrument {
 public:
  virtual ~EditorInstrument() = default;
  virtual std::recursive_mutex& InstrumentMutex() = 0;
  // nullptr for an index outside the table.
  virtual const IParameter* Param(int index) = 0;
  virtual void SetParamFromEditor(int index, double normalized) = 0;
  virtual void BeginParamEdit(int index) = 0;
  virtual void EndParamEdit(int index) = 0;
  // The instrument's idle operation, after a stretch of quiet timer ticks.
  virtual void GuiIdle() = 0;
  virtual void EditorResized() = 0;
};

// Key codes handed to controls.
enum : int {
  kKeySpace = 0,
  kKeyUp = 1,
  kKeyDown = 2,
  kKeyLeft = 3,
  kKeyRight = 4,
  kKeyDigit0 = 5,    // to 14 for '9'
  kKeyLetterA = 15,  // to 40 for 'Z'; lower case maps to the same codes
  kKeyNone = -1,
};
// Space, digits and letters to key codes; kKeyNone for anything else.
int KeyCodeForCharacter(int character);

enum : int {
  kTextEntryIdle = 0,
  kTextEntryFocused = 1,
  kTextEntryDrawn = 2,
  kTextEntryCancel = 3,
  kTextEntryCommit = 4,
};

class IEditor : public IPluginEditor {
 public:
  static constexpr int kDefaultWidth = 1125;
  static constexpr int kDefaultHeight = 400;
  static constexpr int kFrameRate = 25;
  static constexpr int kTimerPeriodMs = 1000 / kFrameRate;
  static constexpr int kIdleTicks = 20;  // quiet ticks tolerated before the instrument's idle runs
  static constexpr int kTextEntryReadLimit = 32;
  static constexpr int kWheelDelta = 120;
  static constexpr const char* kBackgroundName = "img/back.png";

  // platform null: the window system of this build.
  explicit IEditor(std::unique_ptr<EditorPlatform> platform = nullptr, int width = kDefaultWidth,
                   int height = kDefaultHeight);
  ~IEditor() override;
  IEditor(const IEditor&) = delete;
  IEditor& operator=(const IEditor&) = delete;

  // ---- IPluginEditor ----
  void Attach(IPluginBase& plug) override;
  bool OpenWindow(void* parent) override;
  void CloseWindow() override;
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  void SetParameterFromPlug(int index, double value, bool normalized) override;
  void HostIdle() override;

  // Attaches an instrument directly (tests, and Attach through an adapter). Every control
  // with a parameter takes its parameter's normalised value.
  void AttachInstrument(EditorInstrument& instrument);
  EditorInstrument* Instrument() const { return instrument_; }

  // ---- Controls ----
  // Takes ownership; answers the index.
  int AttachControl(std::unique_ptr<IControl> control);
  template <class C, class... Args>
  C* Add(Args&&... args) {
    auto c = std::make_unique<C>(this, std::forward<Args>(args)...);
    C* raw = c.get();
    AttachControl(std::move(c));
    return raw;
  }
  // Loads the background image and puts a control showing it at index 0. Without the
  // image the control is still there and draws nothing.
  IBitmapControl* AttachBackground(const char* name = kBackgroundName);
  int NControls() const { return static_cast<int>(controls_.size()); }
  IControl* GetControl(int index) const;
  void SetKeyCatcher(IControl* control) { keyCatcher_ = control; }

  // Any thread, lock-free: the controls of paramIdx show value once the editor thread
  // takes it up (ApplyHandedValues). Indices from kHandOverParams on are not shown.
  void ShowParameterValue(int paramIdx, double value, bool isNormalized);
  static constexpr int kHandOverParams = 256;
  // A control without a parameter that the instrument sets from any thread (the learn
  // switch going dark): a slot reserved once, while the layout is built (-1 when none is
  // left), then HandControlValue(slot, value) lock-free.
  static constexpr int kHandOverControls = 8;
  int ReserveHandOverSlot(IControl* control);
  void HandControlValue(int slot, double value);
  // Editor thread: what was handed over reaches the controls. Drawing, the timer and the
  // events do this first; tests call it to see what the editor would show.
  void ApplyHandedValues();
  // A control's MarkDirty(push) lands here.
  void SetParamFromEditor(int paramIdx, double normalized);
  const IParameter* Param(int index) const;

  void SetStrictDrawing(bool on) { strictDrawing_ = on; }
  void EnableMouseOver(bool on) { mouseOver_ = on; }
  void EnableTooltips(bool on) { tooltips_ = on; }
  bool TooltipsEnabled() const { return tooltips_; }
  // Also tells the instrument and the window; the whole editor is drawn again.
  void Resize(int width, int height);

  // ---- Window events (editor thread; coordinates in editor pixels) ----
  void OnMouseDown(int x, int y, const IMouseMod& mod);
  void OnMouseUp(int x, int y, const IMouseMod& mod);
  void OnMouseDrag(int x, int y, const IMouseMod& mod);
  void OnMouseMove(int x, int y, const IMouseMod& mod);
  void OnMouseDoubleClick(int x, int y, const IMouseMod& mod);
  void OnMouseWheel(int x, int y, const IMouseMod& mod, int delta);
  // True when a control took the key.
  bool OnKeyDown(int x, int y, int key);
  void OnHover();
  void OnMouseLeave();
  void OnTextEntryEvent(TextEntryEvent event);
  void OnTimer();
  // Draws what the chosen strategy asks for; the platform then shows rect.
  void Paint(const GfxRect& rect);
  void InvalidateAll();

  // ---- Drawing (inside Control::Draw) ----
  IGfxBitmap* Surface() { return surface_.get(); }
  const GfxRect& DrawRect() const { return drawRect_; }
  void DrawBitmap(const IBitmap& bitmap, int frame, const GfxRect& dest, GfxBlendChoice blend = GfxBlendChoice::None,
                  double weight = 1.0);
  void FillRect(const GfxRect& rect, GfxPixel colour, double weight = 1.0, uint32_t mode = kGfxModeCopy);
  void FillCircle(int cx, int cy, int radius, GfxPixel colour, double weight = 1.0, uint32_t mode = kGfxModeCopy,
                  bool antialiased = true);
  bool DrawText(GfxTextStyle& style, const char* text, GfxRect& rect, bool measureOnly = false);
  // Every visible control in list order into target, clipped to clip; nothing marked clean.
  void DrawControlsInto(IGfxBitmap& target, const GfxRect& clip);

  // ---- Platform services (editor thread) ----
  EditorPlatform& Platform() { return *platform_; }
  bool IsWindowOpen() const { return platform_ && platform_->IsWindowOpen(); }
  // Menus, message boxes and file prompts answer through a continuation once closed,
  // which may be before they return (modal platforms) or from a later idle call. Without
  // an open window, or when the window closes first, the continuation is never called.
  // A box whose answer does not matter (an OK box) needs none.
  void ShowMessageBox(const char* text, const char* caption, int type, MessageBoxDone done = nullptr);
  void PopupMenu(std::shared_ptr<EditorMenu> menu, int x, int y, MenuDone done);
  // Text entry over rect for control; the text goes to its TextFromTextEntry on commit.
  bool CreateTextEntry(IControl* control, const GfxTextStyle& style, const GfxRect& rect, const char* text);
  int TextEntryState() const { return textEntryState_; }
  bool TextEntryOpen() const { return textEntryControl_ != nullptr; }
  // extensions: a space-separated list, the first being the default. The path is empty
  // on cancel. A save whose name gets the default extension added here asks before
  // replacing that file. The chosen folder is offered next time.
  void PromptForFile(bool save, const char* fileName, const char* folder, const char* extensions, FileDialogDone done);
  std::string DocumentsFolder();
  std::string AppDataFolder();
  std::string LibraryFolder();
  std::string ClipboardText();
  void HideCursor();
  void ShowCursor();
  bool OpenWebPage(const char* url);
  const char* BackEndDescription() const;

  std::recursive_mutex& Mutex() { return mutex_; }

 private:
  int FindHit(int x, int y, bool forMouseOver) const;
  int TargetOf(int x, int y) const;  // captured control, else topmost hit
  void RemoveTextEntry();
  void EndUnfinishedGesture();
  bool CollectDirty(GfxRect& rect);
  void DrawControl(IControl& control);
  std::unique_lock<std::recursive_mutex> LockInstrument();
  static void UnlockForCommand(std::unique_lock<std::recursive_mutex>& instrumentLock,
                               std::unique_lock<std::recursive_mutex>& editorLock);

  void ApplyHandedValuesLocked();

  // Written by any thread, taken up by the editor thread: the value first, then its bit.
  std::array<std::atomic<double>, kHandOverParams> handedParam_{};
  std::array<std::atomic<uint64_t>, kHandOverParams / 64> handedParamBits_{};
  std::array<IControl*, kHandOverControls> handOverControl_{};  // fixed once the layout is built
  std::array<std::atomic<double>, kHandOverControls> handedControl_{};
  std::atomic<uint32_t> handedControlBits_{0};

  std::unique_ptr<EditorPlatform> platform_;
  std::unique_ptr<EditorInstrument> adapter_;  // when attached through IPluginBase
  EditorInstrument* instrument_ = nullptr;
  int width_, height_;
  std::vector<std::unique_ptr<IControl>> controls_;
  IControl* keyCatcher_ = nullptr;
  int captured_ = -1;
  bool capturedBegan_ = false;  // a change gesture was announced for the captured control
  int lastX_ = -1, lastY_ = -1;
  int mouseOverIdx_ = -1;
  int idleCount_ = 0;
  bool strictDrawing_ = false;
  bool mouseOver_ = false;
  bool tooltips_ = false;
  bool cursorHidden_ = false;
  std::unique_ptr<GfxSysBitmap> surface_;
  std::unique_ptr<GfxMemBitmap> scratch_;
  GfxRect drawRect_;
  IGfxBitmap* drawTarget_ = nullptr;  // where Draw calls land: the surface or a snapshot
  IControl* textEntryControl_ = nullptr;
  int textEntryState_ = kTextEntryIdle;
  std::string lastFolder_;
  std::chrono::steady_clock::time_point nextTick_{};
  std::recursive_mutex mutex_;
};

// The editor together with the window system of this build.
class IEditorWin : public IEditor {
 public:
  explicit IEditorWin(int width = kDefaultWidth, int height = kDefaultHeight) : IEditor(nullptr, width, height) {}
};

}  // namespace tessaron
