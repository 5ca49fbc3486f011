#pragma once
// Whether a loaded module is Tessaron itself, for advice that names its parameters.
// Kept apart from the render host's headers, whose names would meet the instrument's.
#include <cstdint>

namespace tessaron {

bool IsOwnInstrument(int32_t uniqueId);

}  // namespace tessaron
