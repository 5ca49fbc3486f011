#pragma once
// The panel's two-position switches: the plain bitmap switch under the panel's own name.
#include "editor/ISwitchControl.h"

namespace tessaron {

class IGLSwitchControl : public ISwitchControl {
 public:
  using ISwitchControl::ISwitchControl;
};

}  // namespace tessaron
