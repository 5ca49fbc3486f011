#include "editor/IControl.h"

#include <algorithm>
#include <cmath>

#include "editor/IEditor.h"
#include "host/IParameter.h"

namespace tessaron {

IBitmap::IBitmap(IGfxBitmap* bitmap, int frames, bool horizontal)
    : image(bitmap), N(std::max(1, frames)), framesAreHorizontal(horizontal) {
  if (image) {
    W = image->Width();
    H = image->Height();
  }
}

GfxRect IBitmap::Frame(int f) const {
  f = std::clamp(f, 1, std::max(1, N));
  const int fw = FrameWidth(), fh = FrameHeight();
  if (framesAreHorizontal) return {(f - 1) * fw, 0, f * fw, fh};
  return {0, (f - 1) * fh, fw, f * fh};
}

GfxRect Union(const GfxRect& a, const GfxRect& b) {
  if (a.Empty()) return b;
  if (b.Empty()) return a;
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

GfxRect Intersection(const GfxRect& a, const GfxRect& b) {
  GfxRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
  return r.Empty() ? GfxRect{} : r;
}

IControl::IControl(IEditor* editor, const GfxRect& rect, int paramIdx)
    : editor_(editor), rect_(rect), paramIdx_(paramIdx) {}

void IControl::MouseDown(int, int, const IMouseMod&) {}
void IControl::MouseUp(int, int, const IMouseMod&) {}
void IControl::MouseDrag(int, int, int, int, const IMouseMod&) {}

void IControl::MouseDoubleClick(int, int, const IMouseMod&) {
  if (defaultValue_ < 0.0) return;
  value_ = defaultValue_;
  MarkDirty(true);
}

void IControl::MouseWheel(int, int, const IMouseMod&, int) {}
bool IControl::KeyDown(int, int, int) { return false; }
void IControl::MouseOver(int, int, const IMouseMod&) {}
void IControl::MouseOut() {}
bool IControl::Draw(IEditor&) { return true; }

void IControl::ReceiveValue(double value) {
  if (defaultValue_ < 0.0) {
    value_ = defaultValue_ = value;
    return;
  }
  if (value == value_) return;
  value_ = value;
  MarkDirty(false);
  redraw_ = true;
}

void IControl::SetValueByUser(double value) {
  if (value == value_) return;
  value_ = value;
  MarkDirty(true);
}

void IControl::TextFromTextEntry(const char*) {}

void IControl::Hide(bool hide) {
  hidden_ = hide;
  MarkDirty(false);
}

void IControl::SetGreyed(bool greyed) {
  greyed_ = greyed;
  MarkDirty(false);
}

bool IControl::HitTest(int x, int y) { return Contains(rect_, x, y); }

void IControl::MarkDirty(bool pushToInstrument) {
  // NaN compares false both ways and would slip through std::clamp.
  if (std::isnan(value_)) value_ = clampLo_;
  value_ = std::clamp(value_, clampLo_, std::max(clampLo_, clampHi_));
  dirty_ = true;
  if (!pushToInstrument || paramIdx_ < 0 || !editor_) return;
  editor_->SetParamFromEditor(paramIdx_, value_);
  const IParameter* param = editor_->Param(paramIdx_);
  if (!param) return;
  if (valueDisplay_) {
    char text[kParamTextSize];
    param->FormatForHost(param->Value(), false, text, true);
    std::string shown = text;
    shown += ' ';
    shown += param->LabelForHost();
    valueDisplay_->SetTextFromPlug(shown.c_str());
  }
  if (nameDisplay_) nameDisplay_->SetTextFromPlug(param->Name());
}

void IControl::MarkClean() { dirty_ = redraw_ = false; }
bool IControl::NeedsRedraw() { return dirty_ || redraw_; }
void IControl::OnWindowOpened() {}
void IControl::ReceiveAuxValue(int, double) {}

int IControl::AddAuxParam(int paramIdx) {
  auxParams_.push_back(paramIdx);
  return NAuxParams() - 1;
}

int IControl::AuxParamIdx(int auxIndex) const {
  return auxIndex >= 0 && auxIndex < NAuxParams() ? auxParams_[static_cast<std::size_t>(auxIndex)] : -1;
}

void IControl::ChangeValueBy(double delta) {
  value_ += delta;
  MarkDirty(true);
}

// ---- IBitmapControl ----

IBitmapControl::IBitmapControl(IEditor* editor, int x, int y, const IBitmap& bitmap, int paramIdx, GfxBlendChoice blend)
    : IControl(editor, {x, y, x + bitmap.FrameWidth(), y + bitmap.FrameHeight()}, paramIdx),
      bitmap_(bitmap),
      blend_(blend) {}

bool IBitmapControl::Draw(IEditor& graphics) {
  if (!bitmap_.image) return true;
  const int n = bitmap_.N;
  const int frame = n < 2 ? 1 : std::clamp(static_cast<int>((n - 1) * value_ + 0.5) + 1, 1, n);
  graphics.DrawBitmap(bitmap_, frame, rect_, blend_, BlendWeight());
  return true;
}

// ---- ITextControl ----

ITextControl::ITextControl(IEditor* editor, const GfxRect& rect, const GfxTextStyle& style, const char* text)
    : IControl(editor, rect), text_(text ? text : "") {
  textStyle_ = style;
}

bool ITextControl::Draw(IEditor& graphics) {
  if (text_.empty()) return true;
  GfxRect r = rect_;
  return graphics.DrawText(textStyle_, text_.c_str(), r);
}

void ITextControl::SetTextFromPlug(const char* text) {
  const char* t = text ? text : "";
  if (text_ == t) return;
  text_ = t;
  MarkDirty(false);
}

}  // namespace tessaron
