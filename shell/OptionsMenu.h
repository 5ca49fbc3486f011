#pragma once
// The options menu of the program panel: program clipboard and initialisation, program
// and bank files, the startup bank, the program folder, the global MIDI switches, the
// configuration file and the online entries. Runs on the editor thread with no lock
// held; every step that changes the instrument takes its lock.
#include <functional>
#include <memory>
#include <string>

namespace tessaron {

class EditorMenu;
class IEditor;
class Synth;
struct EditorMenuChoice;

// Command numbers: an item's position in the main menu, counted from 0, or the first
// number of its sub-menu plus its index there.
enum OptionsCommand : int {
  kCmdCopyProgram = 0,
  kCmdPasteProgram = 1,
  kCmdInitProgram = 2,
  kCmdLoadProgram = 4,
  kCmdSaveProgram = 5,
  kCmdLoadBank = 6,
  kCmdSaveBank = 7,
  kCmdSelectStartupBank = 9,
  kCmdLoadStartupBank = 10,
  kCmdUnselectStartupBank = 11,
  kCmdDefaultProgramFolder = 13,
  kCmdMidiSettingsMenu = 14,
  kCmdReloadConfiguration = 15,
  kCmdSaveConfiguration = 16,
  kCmdOnlineMenu = 18,
  kCmdMidiThru = 19,
  kCmdIgnoreProgramChange = 20,
  kCmdCheckForUpdate = 22,
  kCmdVisitHomePage = 23,
  kCmdNone = -1,
};

// A light value (two references): the continuations of its questions and dialogs keep a
// copy, so the menu object that opened them may be gone when they are answered. The
// editor drops them unanswered when its window closes.
class OptionsMenu {
 public:
  OptionsMenu(Synth& synth, IEditor& editor);

  // Builds the menu, opens it at (x, y); the chosen command runs when it closes.
  void Open(int x, int y);
  // The menu with every entry's current condition.
  std::unique_ptr<EditorMenu> Build() const;
  // The command of a chosen item of a menu from Build; kCmdNone without a choice.
  static int CommandOf(const EditorMenu& menu, const EditorMenuChoice& choice);
  // Questions and dialogs on the way answer later; the command goes on from there.
  void Perform(int command);

 private:
  // then runs unless the answer is No.
  void Confirm(const std::string& text, const char* caption, std::function<void()> then);
  // then runs on Yes alone.
  void ConfirmYes(const std::string& text, const char* caption, std::function<void()> then);
  void ReportFailure(bool ok, const char* text);
  void ReportConfigurationWrite(bool ok, const std::string& reason);
  // then gets the chosen path; a cancelled dialog ends the command.
  void Ask(bool save, const std::string& fileName, const std::string& folder, const char* extensions,
           std::function<void(const std::string&)> then);

  Synth& synth_;
  IEditor& editor_;
};

// The message for a save that failed: the headline, then a sentence naming the file and
// the system's reason.
std::string FileNotWrittenText(const char* headline, const std::string& path, const std::string& reason);

// The program name made fit for a file name: the characters that file systems refuse
// become underscores, and it is cut to 63 characters.
std::string ProgramFileName(const std::string& programName);
// The folder part of a path: cut at its last slash or backslash from position 1 on; a
// path without one gives an empty folder.
std::string FolderOfPath(const std::string& path);

// The folders the file dialogs start in, shared by every instance in the process and
// created from the first instance that performs a menu command.
struct RememberedFolders {
  std::string programs;
  std::string startupBanks;
};
RememberedFolders& SharedFolders();
// Forgets them, so that the next menu command creates them again (tests).
void ForgetSharedFolders();

}  // namespace tessaron
