#pragma once
// The rows the instrument defines its parameters from, for consumers that need the table
// without an instance (the LV2 binding's port ranges and its generated description).
#include "engine/ParameterIds.h"
#include "host/IParameter.h"

namespace tessaron {

struct ParamRow {
  EParam id;
  const char* name;
  double min, max, defaultValue, step, shape;
  DisplayFormatter formatter;  // continuous rows only
  const char* const* texts;    // choice rows only
  int count;
};

// index is 0 .. kParameterCount - 1.
const ParamRow& ParameterRow(int index);

}  // namespace tessaron
