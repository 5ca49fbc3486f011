#include "lv2/PortValues.h"

#include <algorithm>
#include <cmath>

#include "instrument/ParameterTable.h"

namespace tessaron::lv2 {

// The arithmetic is the parameter record's own (SetFromNormalized, GetNormalized), on the
// table's row, so that a port value and the instrument's value agree step for step.

float ToPortValue(int parameter, float normalized) {
  if (parameter < 0 || parameter >= kParameterCount) return 0.0f;
  const ParamRow& row = ParameterRow(parameter);
  const double n = std::isnan(normalized) ? 0.0 : std::clamp(static_cast<double>(normalized), 0.0, 1.0);
  double v = row.min + std::pow(n, row.shape) * (row.max - row.min);
  if (row.texts && row.step > 0.0) v = std::floor(v / row.step + 0.5) * row.step;
  return static_cast<float>(std::min(v, row.max));
}

float FromPortValue(int parameter, float portValue) {
  if (parameter < 0 || parameter >= kParameterCount) return 0.0f;
  if (std::isnan(portValue)) return portValue;
  const ParamRow& row = ParameterRow(parameter);
  const double v = std::clamp(static_cast<double>(portValue), row.min, row.max);
  return static_cast<float>(std::pow((v - row.min) / (row.max - row.min), 1.0 / row.shape));
}

}  // namespace tessaron::lv2
