#pragma once
// One element of the editor panel. The editor calls the virtual operations below (kept in
// this slot order); concrete controls override what they need and inherit the defaults.
// Every member is touched on the editor thread, or under the editor's lock when a value
// arrives from the instrument (ReceiveValue, ReceiveAuxValue).
#include <string>
#include <vector>

#include "editor/GfxBitmap.h"
#include "editor/GfxDraw.h"
#include "editor/GfxText.h"

namespace tessaron {

class IEditor;
class ITextControl;

struct IMouseMod {
  bool L = false, R = false, S = false, C = false, A = false;  // left, right, shift, control, alt
};

// An image from the bitmap cache split into N equal frames, stacked top to bottom unless
// framesAreHorizontal.
struct IBitmap {
  IGfxBitmap* image = nullptr;  // owned by the bitmap cache
  int W = 0, H = 0, N = 1;
  bool framesAreHorizontal = false;

  IBitmap() = default;
  IBitmap(IGfxBitmap* bitmap, int frames, bool horizontal = false);
  int FrameWidth() const { return framesAreHorizontal && N > 0 ? W / N : W; }
  int FrameHeight() const { return !framesAreHorizontal && N > 0 ? H / N : H; }
  // The source rectangle of frame f, counted from 1.
  GfxRect Frame(int f) const;
};

inline bool Contains(const GfxRect& r, int x, int y) {
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}
inline bool Intersects(const GfxRect& a, const GfxRect& b) {
  return !a.Empty() && !b.Empty() && a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}
GfxRect Union(const GfxRect& a, const GfxRect& b);  // an empty side leaves the other
GfxRect Intersection(const GfxRect& a, const GfxRect& b);

class IControl {
 public:
  static constexpr double kGreyedWeight = 0.25;
  static constexpr int kDefaultTextEntryLength = 7;

  // paramIdx -1 for none; negative pseudo numbers name special controls.
  IControl(IEditor* editor, const GfxRect& rect, int paramIdx = -1);
  IControl(const IControl&) = delete;
  IControl& operator=(const IControl&) = delete;

  // ---- Virtual operations, in slot order ----
  virtual ~IControl() = default;
  virtual void MouseDown(int x, int y, const IMouseMod& mod);
  virtual void MouseUp(int x, int y, const IMouseMod& mod);
  virtual void MouseDrag(int x, int y, int dx, int dy, const IMouseMod& mod);
  // Back to the default value, when there is one, pushed to the instrument.
  virtual void MouseDoubleClick(int x, int y, const IMouseMod& mod);
  virtual void MouseWheel(int x, int y, const IMouseMod& mod, int steps);
  virtual bool KeyDown(int x, int y, int key);
  virtual void MouseOver(int x, int y, const IMouseMod& mod);
  virtual void MouseOut();
  virtual bool Draw(IEditor& graphics);
  // A value from the instrument. The first one becomes the default as well.
  virtual void ReceiveValue(double value);
  virtual void SetValueByUser(double value);
  // The text of a text entry this control opened, once committed.
  virtual void TextFromTextEntry(const char* text);
  virtual void Hide(bool hide);
  virtual void SetGreyed(bool greyed);
  virtual bool HitTest(int x, int y);
  // Clamps the value, flags the control for drawing and, when pushing, hands the value
  // to the instrument and refreshes the attached text controls.
  virtual void MarkDirty(bool pushToInstrument = true);
  virtual void MarkClean();
  virtual bool NeedsRedraw();
  // The editor window has just opened.
  virtual void OnWindowOpened();
  virtual void ReceiveAuxValue(int auxIndex, double value);

  // ---- State ----
  const GfxRect& GetRect() const { return rect_; }
  void SetRect(const GfxRect& rect) { rect_ = rect; }
  int ParamIdx() const { return paramIdx_; }
  void SetParamIdx(int index) { paramIdx_ = index; }
  double GetValue() const { return value_; }
  void SetValue(double value) { value_ = value; }
  double DefaultValue() const { return defaultValue_; }
  void SetDefaultValue(double value) { defaultValue_ = value; }
  void SetClamp(double lo, double hi) {
    clampLo_ = lo;
    clampHi_ = hi;
  }
  double ClampLo() const { return clampLo_; }
  double ClampHi() const { return clampHi_; }
  bool IsHidden() const { return hidden_; }
  bool IsGreyed() const { return greyed_; }
  bool IsDirty() const { return dirty_; }
  // Drawing strength: greyed controls show faintly.
  double BlendWeight() const { return greyed_ ? kGreyedWeight : 1.0; }

  bool DoubleClickAsSingle() const { return dblAsSingleClick_; }
  void SetDoubleClickAsSingle(bool on) { dblAsSingleClick_ = on; }
  bool MouseOverWhenGreyed() const { return mouseOverWhenGreyed_; }
  void SetMouseOverWhenGreyed(bool on) { mouseOverWhenGreyed_ = on; }

  const std::string& Tooltip() const { return tooltip_; }
  void SetTooltip(const char* text) { tooltip_ = text ? text : ""; }

  // Text controls that follow this control's parameter; not owned (the editor owns both).
  void SetValueDisplayControl(ITextControl* control) { valueDisplay_ = control; }
  void SetNameDisplayControl(ITextControl* control) { nameDisplay_ = control; }

  // Parameters besides the main one whose changes this control wants to hear.
  int AddAuxParam(int paramIdx);
  int NAuxParams() const { return static_cast<int>(auxParams_.size()); }
  int AuxParamIdx(int auxIndex) const;

  GfxTextStyle& TextStyle() { return textStyle_; }
  void SetTextStyle(const GfxTextStyle& style) { textStyle_ = style; }
  int TextEntryLength() const { return textEntryLength_; }
  void SetTextEntryLength(int length) { textEntryLength_ = length; }

  IEditor* Editor() const { return editor_; }

 protected:
  // value += delta, as a user action on the parameter.
  void ChangeValueBy(double delta);

  IEditor* editor_;
  GfxRect rect_;
  int paramIdx_;
  double value_ = 0.0;
  double defaultValue_ = -1.0;
  double clampLo_ = 0.0, clampHi_ = 1.0;
  bool hidden_ = false;
  bool greyed_ = false;
  bool dirty_ = false;
  bool redraw_ = false;
  bool dblAsSingleClick_ = false;
  bool mouseOverWhenGreyed_ = false;
  int textEntryLength_ = kDefaultTextEntryLength;
  std::string tooltip_;
  GfxTextStyle textStyle_;
  ITextControl* valueDisplay_ = nullptr;
  ITextControl* nameDisplay_ = nullptr;
  std::vector<int> auxParams_;
};

// A bitmap showing the frame that matches its value; with one frame, the plain picture
// (the editor background is one).
class IBitmapControl : public IControl {
 public:
  IBitmapControl(IEditor* editor, int x, int y, const IBitmap& bitmap, int paramIdx = -1,
                 GfxBlendChoice blend = GfxBlendChoice::None);
  bool Draw(IEditor& graphics) override;
  const IBitmap& Bitmap() const { return bitmap_; }
  void SetBitmap(const IBitmap& bitmap) { bitmap_ = bitmap; }

 protected:
  IBitmap bitmap_;
  GfxBlendChoice blend_;
};

// A line of text drawn with its style; also the value and name displays of other controls.
class ITextControl : public IControl {
 public:
  ITextControl(IEditor* editor, const GfxRect& rect, const GfxTextStyle& style, const char* text = "");
  bool Draw(IEditor& graphics) override;
  // Changing the text marks the control for drawing.
  void SetTextFromPlug(const char* text);
  const std::string& Text() const { return text_; }

 protected:
  std::string text_;
};

}  // namespace tessaron
