#pragma once
// The two per-user folders the shell needs: where its configuration lives and
// where the user keeps documents (the first folder offered for program files).
#include <string>

namespace tessaron::platform {

// Per-user application-data folder (Windows: local application data; Linux:
// $XDG_CONFIG_HOME or ~/.config). Empty when the system cannot tell.
std::string LocalAppDataFolder();

// The user's documents folder (Windows: My Documents; Linux: the XDG documents
// folder, else ~/Documents when it exists, else the home folder). Empty when
// the system cannot tell.
std::string DocumentsFolder();

}  // namespace tessaron::platform
