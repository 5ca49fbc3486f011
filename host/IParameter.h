#pragma once
// One automatable parameter: the real value in its own range, and the normalised
// 0..1 view that hosts and controls see.
//
// The value is written under the instrument's lock, but the editor reads it while drawing
// under its own lock only (taking the instrument's there would invert the lock order), so
// it is stored as a relaxed atomic. Everything else is fixed once the table is built.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/Text.h"

namespace tessaron {

// Writes the display text for a real value. text holds at least kParamTextSize bytes.
using DisplayFormatter = void (*)(double value, char* text);

constexpr std::size_t kParamTextSize = 64;  // every display text buffer, NUL included
constexpr std::size_t kParamNameSize = 32;  // name, label, group and display-text fields

class IParameter {
 public:
  enum Type : int { kTypeNone = 0, kTypeChoice = 3, kTypeContinuous = 4 };

  struct DisplayText {
    int32_t value;
    char text[kParamNameSize];
  };

  void InitContinuous(const char* name, double defaultValue, double min, double max, double step, double shape);
  void AddDisplayText(int32_t value, const char* text);

  // Host, editor and controller writes. Inputs outside 0..1 are clamped; NaN is ignored
  // and answers false, so a faulty host cannot push the value out of its range.
  bool SetFromNormalized(double normalized);
  double GetNormalized() const { return GetNormalized(value_.Load()); }
  double GetNormalized(double realValue) const;

  // text must hold kParamTextSize bytes.
  void FormatForHost(double value, bool isNormalized, char* text, bool useDisplayTexts = true) const;
  const char* LabelForHost() const;
  const char* Name() const { return name_; }

  // Real value clamped into [min, max], no step snapping (state readers, text entry).
  // NaN leaves the value as it is.
  void SetClamped(double realValue);

  void SetType(Type type) { type_ = type; }
  // The delay's sync switch swaps its time's formatter, also from a controller on the
  // audio thread while the editor formats the value: the pointer is a relaxed atomic too.
  void SetFormatter(DisplayFormatter formatter) { formatter_.Store(formatter); }

  DisplayFormatter Formatter() const { return formatter_.Load(); }
  Type GetType() const { return type_; }
  double Value() const { return value_.Load(); }
  double Min() const { return min_; }
  double Max() const { return max_; }
  double Step() const { return step_; }
  double Shape() const { return shape_; }
  double Default() const { return default_; }
  int Precision() const { return precision_; }
  const char* Label() const { return label_; }
  const char* Group() const { return group_; }
  const std::vector<DisplayText>& DisplayTexts() const { return displayTexts_; }
  // First display text for a whole value, nullptr when none.
  const char* DisplayTextFor(int32_t value) const;

 private:
  // Copyable, so that parameter tables stay plain vectors; copies happen only while a
  // table is built.
  class SharedValue {
   public:
    SharedValue() = default;
    SharedValue(const SharedValue& other) : v_(other.Load()) {}
    SharedValue& operator=(const SharedValue& other) {
      Store(other.Load());
      return *this;
    }
    double Load() const { return v_.load(std::memory_order_relaxed); }
    void Store(double v) { v_.store(v, std::memory_order_relaxed); }

   private:
    // Plain loads and stores on x86-64, and on i686 with SSE2; no lock in the audio path.
    static_assert(std::atomic<double>::is_always_lock_free);
    std::atomic<double> v_{0.0};
  };

  class SharedFormatter {
   public:
    SharedFormatter() = default;
    SharedFormatter(const SharedFormatter& other) : f_(other.Load()) {}
    SharedFormatter& operator=(const SharedFormatter& other) {
      Store(other.Load());
      return *this;
    }
    DisplayFormatter Load() const { return f_.load(std::memory_order_relaxed); }
    void Store(DisplayFormatter f) { f_.store(f, std::memory_order_relaxed); }

   private:
    std::atomic<DisplayFormatter> f_{nullptr};
  };

  SharedFormatter formatter_;
  Type type_ = kTypeNone;
  SharedValue value_;
  double min_ = 0.0;
  double max_ = 1.0;
  double step_ = 1.0;
  double shape_ = 1.0;
  double default_ = 0.0;
  int precision_ = 0;
  char name_[kParamNameSize] = {};
  char label_[kParamNameSize] = {};
  char group_[kParamNameSize] = {};
  std::vector<DisplayText> displayTexts_;
};

}  // namespace tessaron
