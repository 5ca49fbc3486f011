#include "tools/render/OwnInstrument.h"

#include "engine/Tessaron.h"

namespace tessaron {

bool IsOwnInstrument(int32_t uniqueId) { return uniqueId == kTessaronUniqueId; }

}  // namespace tessaron
