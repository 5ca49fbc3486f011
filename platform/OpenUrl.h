#pragma once
// Hands a web address to the desktop's browser without waiting for it.

namespace tessaron::platform {

// False when the address is empty or the desktop cannot be asked.
bool OpenUrl(const char* url);

}  // namespace tessaron::platform
