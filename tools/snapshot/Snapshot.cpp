#include "tools/snapshot/Snapshot.h"

#include <cerrno>
#include <cstring>

#include "editor/EditorSnapshot.h"
#include "editor/IEditor.h"
#include "instrument/Tessaron.h"

namespace tessaron {

bool WriteEditorSnapshot(const SnapshotRequest& options, const std::string& writePath, std::string& error) {
  Tessaron plug(nullptr);
  IEditor* editor = plug.Editor();
  if (!editor) {
    error = "the instrument has no editor";
    return false;
  }
  // Worded as the render's refusals are.
  if (!options.program.empty()) {
    int index = -1;
    if (options.programIsNumber) {
      if (options.programNumber >= plug.NPrograms()) {
        error = "program " + options.program + " does not exist (the instrument has " +
                std::to_string(plug.NPrograms()) + " programs, numbered from 0)";
        return false;
      }
      index = options.programNumber;
    } else {
      for (int i = 0; i < plug.NPrograms() && index < 0; ++i)
        if (plug.ProgramName(i) == options.program) index = i;
      if (index < 0) {
        error = "no program named '" + options.program + "' in the instrument";
        return false;
      }
    }
    plug.SelectProgram(index);
  }
  for (auto [index, value] : options.params) {
    if (index < 0 || index >= plug.NParams()) {
      error = "parameter " + std::to_string(index) + " does not exist (the instrument has " +
              std::to_string(plug.NParams()) + " parameters, numbered from 0)";
      return false;
    }
    plug.SetParamFromEditor(index, value);
  }
  plug.SetTweakRowOpen(options.tweakOpen);
  plug.RefreshEditorFromParams();
  plug.OnEditorIdle();  // the program selector's texts
  errno = 0;
  if (!RenderEditorSnapshot(*editor, writePath.c_str())) {
    const std::string why = errno ? std::strerror(errno) : "the picture could not be encoded";
    error = "cannot write '" + options.pngPath + "': " + why;
    return false;
  }
  return true;
}

}  // namespace tessaron
