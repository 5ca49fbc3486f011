#include "tools/render/OwnInstrument.h"

#include "host/VstAbi.h"

namespace tessaron {

// The id Tessaron's record carries, as any host sees it; the renderer knows the
// instrument only through the ABI.
bool IsOwnInstrument(int32_t uniqueId) { return uniqueId == vst::FourCC('T', 's', 'r', 'n'); }

}  // namespace tessaron
