#pragma once
// The one instrument this module builds. Defined by the instrument, so that the entry
// point needs nothing beyond the binding.
#include "host/VstAbi.h"

namespace tessaron {

class IPluginVst;

// Answers a new instrument, or nullptr.
IPluginVst* CreateInstrument(vst::AudioMasterCallback host);

}  // namespace tessaron
