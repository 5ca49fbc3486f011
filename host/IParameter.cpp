#include "host/IParameter.h"

#include <algorithm>
#include <cmath>

namespace tessaron {

void IParameter::InitContinuous(const char* name, double defaultValue, double min, double max, double step,
                                double shape) {
  if (type_ == kTypeNone) type_ = kTypeContinuous;
  CopyText(name_, sizeof(name_), name);
  label_[0] = '\0';
  group_[0] = '\0';
  value_.Store(defaultValue);
  default_ = defaultValue;
  min_ = min;
  step_ = step;
  max_ = std::max(max, min + step);
  precision_ = 0;
  for (double s = step; precision_ < 6 && s != std::floor(s); s *= 10.0) ++precision_;
  if (shape != 0.0) shape_ = shape;
}

void IParameter::AddDisplayText(int32_t value, const char* text) {
  DisplayText entry{value, {}};
  CopyText(entry.text, sizeof(entry.text), text);
  displayTexts_.push_back(entry);
}

bool IParameter::SetFromNormalized(double normalized) {
  if (std::isnan(normalized)) return false;
  normalized = std::clamp(normalized, 0.0, 1.0);
  double v = min_ + std::pow(normalized, shape_) * (max_ - min_);
  if (type_ != kTypeContinuous && step_ > 0.0) v = std::floor(v / step_ + 0.5) * step_;
  value_.Store(std::min(v, max_));
  return true;
}

double IParameter::GetNormalized(double realValue) const {
  if (std::isnan(realValue) || !(max_ > min_)) return 0.0;
  const double v = std::clamp(realValue, min_, max_);
  return std::pow((v - min_) / (max_ - min_), 1.0 / shape_);
}

void IParameter::SetClamped(double realValue) {
  if (std::isnan(realValue)) return;
  value_.Store(std::clamp(realValue, min_, std::max(min_, max_)));
}

const char* IParameter::DisplayTextFor(int32_t value) const {
  for (const DisplayText& entry : displayTexts_) {
    if (entry.value == value) return entry.text;
  }
  return nullptr;
}

void IParameter::FormatForHost(double value, bool isNormalized, char* text, bool useDisplayTexts) const {
  if (!text) return;
  if (isNormalized) {
    if (std::isnan(value)) value = GetNormalized();
    value = min_ + std::pow(std::clamp(value, 0.0, 1.0), shape_) * (max_ - min_);
  }
  if (const DisplayFormatter formatter = formatter_.Load()) {
    formatter(value, text);
    text[kParamTextSize - 1] = '\0';
    return;
  }
  if (useDisplayTexts) {
    const char* shown = DisplayTextFor(TruncateToInt(value));
    if (shown && shown[0] != '\0') {
      CopyText(text, kParamTextSize, shown);
      return;
    }
  }
  if (precision_ == 0) {
    FormatInteger(TruncateToInt(value), text, kParamTextSize);
  } else {
    FormatFixed(value, precision_, text, kParamTextSize);
  }
}

const char* IParameter::LabelForHost() const {
  const char* shown = DisplayTextFor(TruncateToInt(value_.Load()));
  if (shown && shown[0] != '\0') return "";
  return label_;
}

}  // namespace tessaron
