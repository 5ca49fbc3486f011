#pragma once
// tessaron-snapshot: the instrument's editor drawn off-screen into a PNG, by an instance
// built in this process (the renderer itself only ever reaches a module through the ABI).
#include <string>
#include <utility>
#include <vector>

namespace tessaron {

struct SnapshotRequest {
  std::string pngPath;
  std::string program;  // empty: the instrument's first program
  bool programIsNumber = false;
  int programNumber = 0;
  std::vector<std::pair<int, float>> params;  // index and normalised value, after the program
  bool tweakOpen = false;                     // the tweak row shown open
};

// Builds an instance in this process, selects the program and parameters asked for and
// writes the editor as its window would show it into writePath (request.pngPath names
// it in messages). False with a message on failure.
bool WriteEditorSnapshot(const SnapshotRequest& request, const std::string& writePath, std::string& error);

}  // namespace tessaron
