#include "tools/render/OwnInstrument.h"

#include "instrument/Tessaron.h"

namespace tessaron {

bool IsOwnInstrument(int32_t uniqueId) { return uniqueId == kTessaronUniqueId; }

}  // namespace tessaron
