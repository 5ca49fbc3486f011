#pragma once
// The control ports carry each parameter's real value in its own range, the value the
// generated description's ranges, defaults and presets are written in; the instrument
// takes normalised 0..1 values. The one mapping between the two, shared by the plug-in,
// its UI and the description generator.
namespace tessaron::lv2 {

// The real value a normalised value selects, snapped to the grid of a choice parameter,
// as the instrument itself would store it. 0 for an index outside the table.
float ToPortValue(int parameter, float normalized);

// The normalised value for a port value, which is first clamped into the parameter's
// range. NaN stays NaN (the instrument ignores it); 0 for an index outside the table.
float FromPortValue(int parameter, float portValue);

}  // namespace tessaron::lv2
