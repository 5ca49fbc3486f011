#include "editor/IEditor.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <sstream>

#include "editor/BitmapCache.h"
#include "host/IParameter.h"
#include "host/IPluginBase.h"
#include "host/Text.h"
#include "platform/FileSystem.h"
#include "platform/Folders.h"

namespace tessaron {
namespace {

// The instrument as the editor sees it, when attached through the plug-in binding.
class PluginInstrument final : public EditorInstrument {
 public:
  explicit PluginInstrument(IPluginBase& plug) : plug_(plug) {}
  std::recursive_mutex& InstrumentMutex() override { return plug_.GetMutex(); }
  const IParameter* Param(int index) override { return plug_.GetParam(index); }
  void SetParamFromEditor(int index, double normalized) override { plug_.SetParamFromEditor(index, normalized); }
  void BeginParamEdit(int index) override { plug_.BeginInformHostOfParamChange(index); }
  void EndParamEdit(int index) override { plug_.EndInformHostOfParamChange(index); }
  void GuiIdle() override { plug_.OnEditorIdle(); }
  void EditorResized() override { plug_.EditorSizeChanged(); }

 private:
  IPluginBase& plug_;
};

// A window onto part of a bitmap, so that drawing lands clipped to the draw rectangle
// without every drawing operation knowing about clipping.
class ClipView final : public IGfxBitmap {
 public:
  ClipView(IGfxBitmap& base, const GfxRect& r) : base_(base), rect_(r) {}
  GfxPixel* Pixels() override {
    if (rect_.Empty() || base_.IsEmpty()) return nullptr;
    // Bottom-up storage: the view's first stored row is its bottom row.
    return base_.Row(base_.IsBottomUp() ? rect_.bottom - 1 : rect_.top) + rect_.left;
  }
  int Width() const override { return rect_.Width(); }
  int Height() const override { return rect_.Height(); }
  int Span() const override { return base_.Span(); }
  bool IsBottomUp() const override { return base_.IsBottomUp(); }
  bool Resize(int, int) override { return false; }

 private:
  IGfxBitmap& base_;
  GfxRect rect_;
};

GfxRect Offset(GfxRect r, int dx, int dy) { return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy}; }

}  // namespace

int KeyCodeForCharacter(int c) {
  if (c == ' ') return kKeySpace;
  if (c >= '0' && c <= '9') return kKeyDigit0 + (c - '0');
  if (c >= 'A' && c <= 'Z') return kKeyLetterA + (c - 'A');
  if (c >= 'a' && c <= 'z') return kKeyLetterA + (c - 'a');
  return kKeyNone;
}

IEditor::IEditor(std::unique_ptr<EditorPlatform> platform, int width, int height)
    : platform_(std::move(platform)), width_(width), height_(height) {
  if (!platform_) platform_ = CreateEditorPlatform(*this);
}

IEditor::~IEditor() {
  // The window goes first: it may still deliver events to the controls.
  if (platform_) platform_->CloseWindow();
  platform_.reset();
  while (!controls_.empty()) controls_.pop_back();  // last first
}

// ---- Attaching ----

void IEditor::Attach(IPluginBase& plug) {
  adapter_ = std::make_unique<PluginInstrument>(plug);
  AttachInstrument(*adapter_);
}

void IEditor::AttachInstrument(EditorInstrument& instrument) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  instrument_ = &instrument;
  for (auto& c : controls_) {
    const IParameter* param = Param(c->ParamIdx());
    if (param) c->ReceiveValue(param->GetNormalized());
  }
  surface_ = std::make_unique<GfxSysBitmap>(width_, height_);
  scratch_ = std::make_unique<GfxMemBitmap>(width_, height_);
}

int IEditor::AttachControl(std::unique_ptr<IControl> control) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  controls_.push_back(std::move(control));
  return NControls() - 1;
}

IBitmapControl* IEditor::AttachBackground(const char* name) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  IBitmap bitmap(LoadCachedBitmap(name), 1);
  auto control = std::make_unique<IBitmapControl>(this, 0, 0, bitmap);
  IBitmapControl* raw = control.get();
  if (!bitmap.image) raw->SetRect({0, 0, width_, height_});
  controls_.insert(controls_.begin(), std::move(control));
  // Indices shifted by one.
  if (captured_ >= 0) ++captured_;
  if (mouseOverIdx_ >= 0) ++mouseOverIdx_;
  return raw;
}

IControl* IEditor::GetControl(int index) const {
  return index >= 0 && index < NControls() ? controls_[static_cast<std::size_t>(index)].get() : nullptr;
}

// ---- Values ----

const IParameter* IEditor::Param(int index) const { return instrument_ ? instrument_->Param(index) : nullptr; }

void IEditor::SetParameterFromPlug(int index, double value, bool normalized) {
  ShowParameterValue(index, value, normalized);
}

void IEditor::ShowParameterValue(int paramIdx, double value, bool isNormalized) {
  // The audio thread calls this while the editor thread may hold the editor's lock for a
  // whole repaint: nothing here may wait.
  if (std::isnan(value) || paramIdx < 0 || paramIdx >= kHandOverParams) return;
  if (!isNormalized) {
    const IParameter* param = Param(paramIdx);
    if (!param) return;
    value = param->GetNormalized(value);
  }
  handedParam_[size_t(paramIdx)].store(value, std::memory_order_relaxed);
  handedParamBits_[size_t(paramIdx / 64)].fetch_or(uint64_t(1) << (paramIdx % 64), std::memory_order_release);
}

int IEditor::ReserveHandOverSlot(IControl* control) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  for (int s = 0; s < kHandOverControls; ++s) {
    if (!handOverControl_[size_t(s)]) {
      handOverControl_[size_t(s)] = control;
      return s;
    }
  }
  return -1;
}

void IEditor::HandControlValue(int slot, double value) {
  if (slot < 0 || slot >= kHandOverControls || std::isnan(value)) return;
  handedControl_[size_t(slot)].store(value, std::memory_order_relaxed);
  handedControlBits_.fetch_or(uint32_t(1) << slot, std::memory_order_release);
}

void IEditor::ApplyHandedValues() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ApplyHandedValuesLocked();
}

void IEditor::ApplyHandedValuesLocked() {
  // A bit taken before its value is read: a value stored meanwhile sets the bit again and
  // is taken up next time, so the latest value always arrives.
  for (size_t word = 0; word < handedParamBits_.size(); ++word) {
    uint64_t bits = handedParamBits_[word].exchange(0, std::memory_order_acquire);
    while (bits != 0) {
      const int bit = std::countr_zero(bits);
      bits &= bits - 1;
      const int paramIdx = int(word * 64) + bit;
      const double value = handedParam_[size_t(paramIdx)].load(std::memory_order_relaxed);
      for (auto& c : controls_) {
        if (c->ParamIdx() == paramIdx) c->ReceiveValue(value);
        for (int a = 0; a < c->NAuxParams(); ++a)
          if (c->AuxParamIdx(a) == paramIdx) c->ReceiveAuxValue(a, value);
      }
    }
  }
  uint32_t slots = handedControlBits_.exchange(0, std::memory_order_acquire);
  while (slots != 0) {
    const int slot = std::countr_zero(slots);
    slots &= slots - 1;
    if (IControl* c = handOverControl_[size_t(slot)]) {
      c->ReceiveValue(handedControl_[size_t(slot)].load(std::memory_order_relaxed));
      c->MarkDirty(false);
    }
  }
}

void IEditor::SetParamFromEditor(int paramIdx, double normalized) {
  if (instrument_) instrument_->SetParamFromEditor(paramIdx, normalized);
}

std::unique_lock<std::recursive_mutex> IEditor::LockInstrument() {
  if (!instrument_) return {};
  return std::unique_lock<std::recursive_mutex>(instrument_->InstrumentMutex());
}

// ---- Window ----

bool IEditor::OpenWindow(void* parent) {
  if (!platform_) return false;
  // Opening again replaces the old window rather than leaking it.
  platform_->CloseWindow();
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!surface_) {
      surface_ = std::make_unique<GfxSysBitmap>(width_, height_);
      scratch_ = std::make_unique<GfxMemBitmap>(width_, height_);
    }
    captured_ = mouseOverIdx_ = -1;
    capturedBegan_ = false;
    textEntryControl_ = nullptr;
    textEntryState_ = kTextEntryIdle;
    idleCount_ = 0;
  }
  if (!platform_->OpenWindow(parent, width_, height_)) return false;
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  for (auto& c : controls_) {
    c->MarkDirty(false);
    c->OnWindowOpened();
  }
  nextTick_ = std::chrono::steady_clock::now();
  return true;
}

void IEditor::CloseWindow() {
  if (!platform_) return;
  if (cursorHidden_) ShowCursor();
  if (textEntryControl_) {
    platform_->DestroyTextEntry();
    textEntryControl_ = nullptr;
    textEntryState_ = kTextEntryIdle;
  }
  platform_->CloseWindow();
  // A gesture cut short by the closing window still ends for the host.
  if (captured_ >= 0 && capturedBegan_ && instrument_) {
    if (IControl* c = GetControl(captured_)) instrument_->EndParamEdit(c->ParamIdx());
  }
  captured_ = mouseOverIdx_ = -1;
  capturedBegan_ = false;
}

void IEditor::HostIdle() {
  if (!IsWindowOpen()) return;
  platform_->PumpEvents();
  if (!IsWindowOpen()) return;
  const auto now = std::chrono::steady_clock::now();
  if (now < nextTick_) return;
  const auto period = std::chrono::milliseconds(kTimerPeriodMs);
  nextTick_ += period;
  // A host that idles rarely gets one tick, not a burst of catch-up ticks.
  if (nextTick_ <= now) nextTick_ = now + period;
  OnTimer();
}

void IEditor::Resize(int width, int height) {
  if (width <= 0 || height <= 0 || width > kGfxMaxBitmapSide || height > kGfxMaxBitmapSide) return;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    width_ = width;
    height_ = height;
    surface_ = std::make_unique<GfxSysBitmap>(width_, height_);
    scratch_ = std::make_unique<GfxMemBitmap>(width_, height_);
  }
  if (instrument_) instrument_->EditorResized();
  if (IsWindowOpen()) platform_->ResizeWindow(width_, height_);
  InvalidateAll();
}

void IEditor::InvalidateAll() {
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    for (auto& c : controls_) c->MarkDirty(false);
  }
  if (IsWindowOpen()) platform_->Invalidate({0, 0, width_, height_});
}

// ---- Timer and drawing ----

bool IEditor::CollectDirty(GfxRect& rect) {
  bool any = false;
  rect = {};
  for (auto& c : controls_) {
    if (!c->NeedsRedraw()) continue;
    any = true;
    rect = Union(rect, c->GetRect());
  }
  rect = Intersection(rect, {0, 0, width_, height_});
  return any;
}

void IEditor::OnTimer() {
  if (textEntryControl_) {
    switch (textEntryState_) {
      case kTextEntryFocused:
      case kTextEntryDrawn: textEntryState_ = kTextEntryIdle; return;
      case kTextEntryCancel: RemoveTextEntry(); return;
      case kTextEntryCommit: {
        std::string text = platform_->TextEntryText();
        CutUtf8(text, static_cast<std::size_t>(kTextEntryReadLimit));
        IControl* control = textEntryControl_;
        RemoveTextEntry();
        auto lock = LockInstrument();
        control->TextFromTextEntry(text.c_str());
        return;
      }
      default: break;
    }
  }
  GfxRect dirty;
  bool any;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    ApplyHandedValuesLocked();
    any = CollectDirty(dirty);
  }
  if (any) {
    idleCount_ = 0;
    if (textEntryControl_) textEntryState_ = kTextEntryDrawn;
    if (IsWindowOpen()) platform_->Invalidate(dirty);
    return;
  }
  if (++idleCount_ > kIdleTicks) {
    idleCount_ = 0;
    if (instrument_) {
      auto lock = LockInstrument();
      instrument_->GuiIdle();
    }
  }
}

void IEditor::DrawControl(IControl& control) { control.Draw(*this); }

void IEditor::Paint(const GfxRect& rect) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ApplyHandedValuesLocked();
  if (!surface_ || controls_.empty()) return;
  drawTarget_ = surface_.get();
  const GfxRect whole{0, 0, width_, height_};
  auto drawOver = [&](const GfxRect& area, IControl* always) {
    drawRect_ = Intersection(area, whole);
    if (drawRect_.Empty()) return;
    for (auto& c : controls_) {
      if (c.get() == always || (!c->IsHidden() && Intersects(c->GetRect(), drawRect_))) DrawControl(*c);
    }
  };
  if (strictDrawing_) {
    drawOver(rect, nullptr);
    for (auto& c : controls_) c->MarkClean();
  } else if (controls_[0]->NeedsRedraw()) {
    drawRect_ = Intersection(controls_[0]->GetRect(), whole);
    if (drawRect_.Empty()) drawRect_ = whole;
    for (std::size_t i = 0; i < controls_.size(); ++i) {
      IControl& c = *controls_[i];
      if (i == 0 || !c.IsHidden()) DrawControl(c);
      c.MarkClean();
    }
  } else {
    for (std::size_t i = 1; i < controls_.size(); ++i) {
      IControl* c = controls_[i].get();
      if (!c->NeedsRedraw()) continue;
      // A hidden control still clears its area, so what lies below shows again.
      drawOver(c->GetRect(), c->IsHidden() ? nullptr : c);
      c->MarkClean();
    }
  }
  drawRect_ = {};
}

void IEditor::DrawControlsInto(IGfxBitmap& target, const GfxRect& clip) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ApplyHandedValuesLocked();
  IGfxBitmap* saved = drawTarget_;
  drawTarget_ = &target;
  drawRect_ = Intersection(clip, {0, 0, target.Width(), target.Height()});
  if (!drawRect_.Empty()) {
    for (auto& c : controls_)
      if (!c->IsHidden() && Intersects(c->GetRect(), drawRect_)) DrawControl(*c);
  }
  drawRect_ = {};
  drawTarget_ = saved;
}

void IEditor::DrawBitmap(const IBitmap& bitmap, int frame, const GfxRect& dest, GfxBlendChoice blend, double weight) {
  if (!bitmap.image || !drawTarget_ || drawRect_.Empty()) return;
  GfxRect source = bitmap.Frame(frame);
  source.right = std::min(source.right, source.left + dest.Width());
  source.bottom = std::min(source.bottom, source.top + dest.Height());
  ClipView view(*drawTarget_, drawRect_);
  Blit(&view, bitmap.image, dest.left - drawRect_.left, dest.top - drawRect_.top, &source, weight,
       GfxModeForBlend(blend));
}

void IEditor::FillRect(const GfxRect& rect, GfxPixel colour, double weight, uint32_t mode) {
  if (!drawTarget_ || drawRect_.Empty()) return;
  const GfxRect r = Intersection(rect, drawRect_);
  if (r.Empty()) return;
  ClipView view(*drawTarget_, drawRect_);
  tessaron::FillRect(&view, r.left - drawRect_.left, r.top - drawRect_.top, r.Width(), r.Height(), colour, weight,
                     mode);
}

void IEditor::FillCircle(int cx, int cy, int radius, GfxPixel colour, double weight, uint32_t mode, bool antialiased) {
  if (!drawTarget_ || drawRect_.Empty()) return;
  ClipView view(*drawTarget_, drawRect_);
  tessaron::FillCircle(&view, cx - drawRect_.left, cy - drawRect_.top, radius, colour, weight, mode, antialiased);
}

bool IEditor::DrawText(GfxTextStyle& style, const char* text, GfxRect& rect, bool measureOnly) {
  if (measureOnly || !drawTarget_ || drawRect_.Empty()) {
    IGfxBitmap* target = drawTarget_ ? drawTarget_ : surface_.get();
    return tessaron::DrawText(target, style, text, rect, true);
  }
  ClipView view(*drawTarget_, drawRect_);
  GfxRect local = Offset(rect, -drawRect_.left, -drawRect_.top);
  return tessaron::DrawText(&view, style, text, local, false);
}

// ---- Events ----

int IEditor::FindHit(int x, int y, bool forMouseOver) const {
  for (int i = NControls() - 1; i >= 0; --i) {
    IControl* c = controls_[static_cast<std::size_t>(i)].get();
    if (c->IsHidden()) continue;
    if (c->IsGreyed() && !(forMouseOver && c->MouseOverWhenGreyed())) continue;
    if (c->HitTest(x, y)) return i;
  }
  return -1;
}

int IEditor::TargetOf(int x, int y) const { return captured_ >= 0 ? captured_ : FindHit(x, y, false); }

void IEditor::OnMouseDown(int x, int y, const IMouseMod& mod) {
  if (!platform_) return;
  platform_->HideTooltip();
  if (textEntryControl_) {
    textEntryState_ = kTextEntryCommit;
    return;
  }
  auto instrumentLock = LockInstrument();
  std::unique_lock<std::recursive_mutex> lock(mutex_);
  ApplyHandedValuesLocked();
  EndUnfinishedGesture();
  platform_->CaptureMouse();
  captured_ = -1;
  capturedBegan_ = false;
  const int hit = FindHit(x, y, false);
  if (hit < 0) return;
  captured_ = hit;
  lastX_ = x;
  lastY_ = y;
  IControl* c = GetControl(hit);
  if (c->ParamIdx() >= 0 && instrument_) {
    instrument_->BeginParamEdit(c->ParamIdx());
    capturedBegan_ = true;
  } else {
    UnlockForCommand(instrumentLock, lock);
  }
  c->MouseDown(x, y, mod);
}

void IEditor::EndUnfinishedGesture() {
  // A press while another gesture is under way (a second button) ends that gesture for
  // the host first: every begin gets its end.
  if (captured_ >= 0 && capturedBegan_ && instrument_) {
    if (IControl* previous = GetControl(captured_)) instrument_->EndParamEdit(previous->ParamIdx());
  }
  capturedBegan_ = false;
}

void IEditor::UnlockForCommand(std::unique_lock<std::recursive_mutex>& instrumentLock,
                               std::unique_lock<std::recursive_mutex>& editorLock) {
  // Controls without a parameter open menus and dialogs that wait for the user; audio
  // must not wait with them. They take the instrument's lock where they change it, and
  // the control list does not change while the editor lives.
  editorLock.unlock();
  if (instrumentLock.owns_lock()) instrumentLock.unlock();
}

void IEditor::OnMouseUp(int x, int y, const IMouseMod& mod) {
  if (!platform_) return;
  platform_->ReleaseMouse();
  auto instrumentLock = LockInstrument();
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const bool wasCaptured = captured_ >= 0;
  const bool began = capturedBegan_;
  const int target = TargetOf(x, y);
  captured_ = -1;
  capturedBegan_ = false;
  IControl* c = GetControl(target);
  if (!c) return;
  c->MouseUp(x, y, mod);
  // Only a gesture that was begun is ended: a release arriving from a press elsewhere
  // must not send the host an unmatched end.
  if (wasCaptured && began && c->ParamIdx() >= 0 && instrument_) instrument_->EndParamEdit(c->ParamIdx());
}

void IEditor::OnMouseDrag(int x, int y, const IMouseMod& mod) {
  auto instrumentLock = LockInstrument();
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ApplyHandedValuesLocked();
  IControl* c = GetControl(captured_);
  if (!c || (x == lastX_ && y == lastY_)) return;
  c->MouseDrag(x, y, x - lastX_, y - lastY_, mod);
  lastX_ = x;
  lastY_ = y;
}

void IEditor::OnMouseMove(int x, int y, const IMouseMod& mod) {
  if (!mouseOver_) return;
  auto instrumentLock = LockInstrument();
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const int target = captured_ >= 0 ? captured_ : FindHit(x, y, true);
  const int previous = mouseOverIdx_;
  if (IControl* c = GetControl(target)) c->MouseOver(x, y, mod);
  if (previous != target) {
    if (IControl* p = GetControl(previous)) p->MouseOut();
  }
  mouseOverIdx_ = target;
  if (tooltips_ && previous != target && platform_) {
    platform_->HideTooltip();
    platform_->RequestHover();
  }
}

void IEditor::OnHover() {
  if (!tooltips_ || !platform_) return;
  std::string text;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (IControl* c = GetControl(mouseOverIdx_)) text = c->Tooltip();
  }
  platform_->ShowTooltip(text.c_str());
}

void IEditor::OnMouseLeave() {
  if (platform_) platform_->HideTooltip();
  auto instrumentLock = LockInstrument();
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  for (auto& c : controls_) c->MouseOut();
  mouseOverIdx_ = -1;
}

void IEditor::OnMouseDoubleClick(int x, int y, const IMouseMod& mod) {
  auto instrumentLock = LockInstrument();
  std::unique_lock<std::recursive_mutex> lock(mutex_);
  ApplyHandedValuesLocked();
  const int hit = FindHit(x, y, false);
  IControl* c = GetControl(hit);
  if (!c) return;
  const bool hasParam = c->ParamIdx() >= 0 && instrument_;
  if (!c->DoubleClickAsSingle()) {
    if (!hasParam) {
      UnlockForCommand(instrumentLock, lock);
      c->MouseDoubleClick(x, y, mod);
      return;
    }
    // A gesture of its own, so the host records the reset as one edit.
    instrument_->BeginParamEdit(c->ParamIdx());
    c->MouseDoubleClick(x, y, mod);
    instrument_->EndParamEdit(c->ParamIdx());
    return;
  }
  EndUnfinishedGesture();
  captured_ = hit;
  lastX_ = x;
  lastY_ = y;
  capturedBegan_ = hasParam;
  if (hasParam) instrument_->BeginParamEdit(c->ParamIdx());
  if (platform_) platform_->CaptureMouse();
  if (!hasParam) UnlockForCommand(instrumentLock, lock);
  c->MouseDown(x, y, mod);
}

void IEditor::OnMouseWheel(int x, int y, const IMouseMod& mod, int delta) {
  if (textEntryControl_) {
    textEntryState_ = kTextEntryCancel;
    return;
  }
  const int steps = delta / kWheelDelta;
  auto instrumentLock = LockInstrument();
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ApplyHandedValuesLocked();
  if (IControl* c = GetControl(TargetOf(x, y))) c->MouseWheel(x, y, mod, steps);
}

bool IEditor::OnKeyDown(int x, int y, int key) {
  if (key == kKeyNone) return false;
  auto instrumentLock = LockInstrument();
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ApplyHandedValuesLocked();
  const int target = TargetOf(x, y);
  if (target > 0) return GetControl(target)->KeyDown(x, y, key);
  return keyCatcher_ ? keyCatcher_->KeyDown(x, y, key) : false;
}

// ---- Text entry ----

bool IEditor::CreateTextEntry(IControl* control, const GfxTextStyle& style, const GfxRect& rect, const char* text) {
  if (!control || !IsWindowOpen() || textEntryControl_) return false;
  if (!platform_->CreateTextEntry(rect, text ? text : "", style, control->TextEntryLength())) return false;
  textEntryControl_ = control;
  textEntryState_ = kTextEntryIdle;
  return true;
}

void IEditor::OnTextEntryEvent(TextEntryEvent event) {
  if (!textEntryControl_) return;
  switch (event) {
    case TextEntryEvent::kFocusIn: textEntryState_ = kTextEntryFocused; break;
    case TextEntryEvent::kFocusOut:
    case TextEntryEvent::kEnter:
      // Escape decided already; a focus change on the way out must not overturn it.
      if (textEntryState_ != kTextEntryCancel) textEntryState_ = kTextEntryCommit;
      break;
    case TextEntryEvent::kEscape: textEntryState_ = kTextEntryCancel; break;
  }
}

void IEditor::RemoveTextEntry() {
  textEntryControl_ = nullptr;
  textEntryState_ = kTextEntryIdle;
  if (platform_) platform_->DestroyTextEntry();
}

// ---- Services ----

void IEditor::ShowMessageBox(const char* text, const char* caption, int type, MessageBoxDone done) {
  if (!IsWindowOpen()) return;
  platform_->MessageBox(text ? text : "", caption ? caption : "", type, std::move(done));
}

void IEditor::PopupMenu(std::shared_ptr<EditorMenu> menu, int x, int y, MenuDone done) {
  if (!IsWindowOpen() || !menu) return;
  platform_->PopupMenu(std::move(menu), x, y, [this, done = std::move(done)](const EditorMenuChoice& choice) {
    InvalidateAll();
    if (done) done(choice);
  });
}

void IEditor::PromptForFile(bool save, const char* fileName, const char* folder, const char* extensions,
                            FileDialogDone done) {
  if (!IsWindowOpen()) return;
  if (!done) done = [](const std::string&) {};  // a caller that only wants the dialog shown
  FileDialogRequest request;
  request.save = save;
  request.fileName = fileName ? fileName : "";
  request.folder = folder && *folder ? folder : (!lastFolder_.empty() ? lastFolder_ : AppDataFolder());
  std::istringstream list(extensions ? extensions : "");
  for (std::string ext; list >> ext;) {
    if (request.extensions.empty()) CutUtf8(ext, 15);
    if (!request.filter.empty()) request.filter += ';';
    request.filter += "*." + ext;
    request.extensions.push_back(ext);
  }
  auto answered = [this, save, extensions = request.extensions, done = std::move(done)](const std::string& answer) {
    if (answer.empty()) return done({});
    const std::string path = save ? WithDefaultExtension(answer, extensions) : answer;
    const std::size_t slash = path.find_last_of("/\\");
    const std::string chosenFolder = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    // Dialogs that let anything through are held to what the caller can use.
    if (!platform::DirectoryExists(chosenFolder) || (!save && !platform::FileExists(path))) return done({});
    auto accept = [this, path, chosenFolder, done] {
      lastFolder_ = chosenFolder;
      done(path);
    };
    // The dialog asked about the name it returned, if at all; the file written is
    // another one when the extension was added here.
    if (path != answer && platform::FileExists(path)) {
      ShowMessageBox(ReplaceQuestion(path).c_str(), kReplaceCaption,
                     kMessageYesNo | kMessageIconWarning | kMessageDefaultButton2, [accept, done](int reply) {
                       if (reply == kAnswerYes)
                         accept();
                       else
                         done({});
                     });
      return;
    }
    accept();
  };
  platform_->RunFileDialog(request, std::move(answered));
}

std::string IEditor::DocumentsFolder() { return platform::DocumentsFolder(); }
std::string IEditor::AppDataFolder() { return platform::LocalAppDataFolder(); }
std::string IEditor::LibraryFolder() { return platform_ ? platform_->LibraryFolder() : std::string(); }
std::string IEditor::ClipboardText() { return IsWindowOpen() ? platform_->ClipboardText() : std::string(); }

void IEditor::HideCursor() {
  if (!IsWindowOpen() || cursorHidden_) return;
  platform_->HideCursor();
  cursorHidden_ = true;
}

void IEditor::ShowCursor() {
  if (!cursorHidden_) return;
  cursorHidden_ = false;
  if (platform_) platform_->ShowCursor();
}

bool IEditor::OpenWebPage(const char* url) { return platform_ && url && *url && platform_->OpenWebPage(url); }
const char* IEditor::BackEndDescription() const { return platform_ ? platform_->BackEndDescription() : ""; }

}  // namespace tessaron
