#include "shell/OptionsMenu.h"

#include <mutex>

#include "editor/EditorPlatform.h"
#include "editor/IEditor.h"
#include "host/ProgramFiles.h"
#include "host/Text.h"
#include "shell/Synth.h"
#include "shell/VersionCheck.h"
#include "shell/VersionSettings.h"

namespace tessaron {

namespace {

constexpr std::size_t kFileNameLength = 63;
constexpr std::size_t kConfirmationLimit = 1024;
constexpr const char* kFileNameRefused = "<>:\"/\\|?*";
constexpr const char* kProgramExtension = "fxp";
constexpr const char* kBankExtension = "fxb";
constexpr const char* kBankFileName = "Tessaron";
// The save dialog serves as a folder chooser; only the folder of its answer counts.
constexpr const char* kIgnoredFileName = "[file name is ignored]";
constexpr const char* kNoExtension = " ";
constexpr const char* kCannotLoad = "Cannot load file!";
constexpr const char* kCannotSave = "Cannot save file!";
constexpr const char* kCannotSaveConfiguration = "Cannot save the configuration!";
constexpr const char* kErrorCaption = "Error";

// The version check's view of the editor's dialogs.
class EditorVersionUi final : public VersionCheckUi {
 public:
  explicit EditorVersionUi(IEditor& editor) : editor_(editor) {}
  int ShowMessage(const std::string& text, const std::string& caption, int type) override {
    return editor_.ShowMessageBox(text.c_str(), caption.c_str(), type);
  }
  bool OpenPage(const std::string& url) override { return editor_.OpenWebPage(url.c_str()); }

 private:
  IEditor& editor_;
};

struct SharedFolderState {
  RememberedFolders folders;
  bool created = false;
};

SharedFolderState& FolderState() {
  static SharedFolderState state;
  return state;
}

// pattern holds one "%s".
std::string Format(std::string_view pattern, const std::string& value) {
  const std::size_t at = pattern.find("%s");
  std::string text(pattern.substr(0, at));
  text += value;
  text += pattern.substr(at + 2);
  CutUtf8(text, kConfirmationLimit - 1);
  return text;
}

}  // namespace

std::string FileNotWrittenText(const char* headline, const std::string& path, const std::string& reason) {
  std::string text = std::string(headline) + "\n\n\"" + path + "\" could not be written: " + reason + ".";
  text += " Any earlier version of this file is unchanged.";
  return text;
}

std::string ProgramFileName(const std::string& programName) {
  std::string name = programName;
  CutUtf8(name, kFileNameLength);
  for (char& c : name) {
    if (std::char_traits<char>::find(kFileNameRefused, std::char_traits<char>::length(kFileNameRefused), c)) c = '_';
  }
  return name;
}

std::string FolderOfPath(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos || slash < 1) return {};
  return path.substr(0, slash);
}

RememberedFolders& SharedFolders() { return FolderState().folders; }

void ForgetSharedFolders() { FolderState() = SharedFolderState{}; }

OptionsMenu::OptionsMenu(Synth& synth, IEditor& editor) : synth_(synth), editor_(editor) {}

std::unique_ptr<EditorMenu> OptionsMenu::Build() const {
  const Configuration& config = synth_.GetConfiguration();
  const unsigned noStartupBank = config.StartupBank().empty() ? EditorMenu::kDisabled : 0u;
  auto menu = std::make_unique<EditorMenu>();
  menu->AddItem("Copy Program");
  menu->AddItem("Paste Program", synth_.ClipboardEmpty() ? EditorMenu::kDisabled : 0u);
  menu->AddItem("Init Program");
  menu->AddSeparator();
  menu->AddItem("Load Program");
  menu->AddItem("Save Program");
  menu->AddItem("Load Bank");
  menu->AddItem("Save Bank");
  menu->AddSeparator();
  menu->AddItem("Select Startup Bank");
  menu->AddItem("Load Startup Bank", noStartupBank);
  menu->AddItem("Unselect Startup Bank", noStartupBank);
  menu->AddSeparator();
  menu->AddItem("Default Path for Program Files...");
  auto midi = std::make_unique<EditorMenu>();
  midi->AddItem("MIDI Thru", config.MidiThru() ? EditorMenu::kMarked : 0u);
  midi->AddItem("Ignore Program Change", config.IgnoreProgramChange() ? EditorMenu::kMarked : 0u);
  menu->AddSubMenu("Global MIDI Settings...", std::move(midi));
  menu->AddItem("Reload Configuration");
  menu->AddItem("Save Configuration");
  menu->AddSeparator();
  auto online = std::make_unique<EditorMenu>();
  online->AddItem("Check Online for Update");
  online->AddItem((std::string("Visit ") + kMakerDomain).c_str());
  menu->AddSubMenu("Go Online...", std::move(online));
  return menu;
}

int OptionsMenu::CommandOf(const EditorMenu& menu, const EditorMenuChoice& choice) {
  if (!choice.menu || choice.index < 0) return kCmdNone;
  if (choice.menu == &menu) return choice.index;
  if (choice.menu == menu.GetItem(kCmdMidiSettingsMenu).subMenu.get()) return kCmdMidiThru + choice.index;
  if (choice.menu == menu.GetItem(kCmdOnlineMenu).subMenu.get()) return kCmdCheckForUpdate + choice.index;
  return kCmdNone;
}

void OptionsMenu::Open(int x, int y) {
  auto menu = Build();
  EditorMenuChoice choice;
  if (!editor_.PopupMenu(*menu, x, y, choice)) return;
  const int command = CommandOf(*menu, choice);
  if (command != kCmdNone) Perform(command);
}

bool OptionsMenu::Confirm(const std::string& text, const char* caption) {
  return editor_.ShowMessageBox(text.c_str(), caption, kMessageYesNo) != kAnswerNo;
}

void OptionsMenu::ReportFailure(bool ok, const char* text) {
  if (!ok) editor_.ShowMessageBox(text, kErrorCaption, kMessageOk);
}

void OptionsMenu::ReportConfigurationWrite(bool ok, const std::string& reason) {
  if (ok) return;
  const std::string text =
      FileNotWrittenText(kCannotSaveConfiguration, synth_.GetConfiguration().FilePath(), reason);
  editor_.ShowMessageBox(text.c_str(), kErrorCaption, kMessageOk);
}

std::string OptionsMenu::Ask(bool save, const std::string& fileName, const std::string& folder,
                             const char* extensions) {
  return editor_.PromptForFile(save, fileName.c_str(), folder.c_str(), extensions);
}

void OptionsMenu::Perform(int command) {
  Configuration& config = synth_.GetConfiguration();
  std::string reason;  // why a file was not written
  SharedFolderState& shared = FolderState();
  if (!shared.created) {
    shared.created = true;
    shared.folders.programs = config.ProgramFilesFolder();
    shared.folders.startupBanks = editor_.DocumentsFolder();
  }
  RememberedFolders& folders = shared.folders;

  switch (command) {
    case kCmdCopyProgram:
      synth_.CopyProgram();
      break;
    case kCmdPasteProgram:
      if (Confirm("Do you really want to overwrite the current program?", "Paste Program")) synth_.PasteProgram();
      break;
    case kCmdInitProgram:
      if (Confirm("Do you really want to initialize the current program?", "Initialize Program")) {
        synth_.LoadInitProgram();
      }
      break;
    case kCmdLoadProgram:
    case kCmdLoadBank: {
      const bool bank = command == kCmdLoadBank;
      const std::string path = Ask(false, "", folders.programs, bank ? kBankExtension : kProgramExtension);
      if (path.empty()) break;
      folders.programs = FolderOfPath(path);
      ReportFailure(bank ? LoadBankFile(synth_, path) : LoadProgramFile(synth_, path), kCannotLoad);
      break;
    }
    case kCmdSaveProgram:
    case kCmdSaveBank: {
      const bool bank = command == kCmdSaveBank;
      const std::string name = bank ? std::string(kBankFileName)
                                    : ProgramFileName(synth_.ProgramName(synth_.CurrentProgram()));
      const std::string path = Ask(true, name, folders.programs, bank ? kBankExtension : kProgramExtension);
      if (path.empty()) break;
      folders.programs = FolderOfPath(path);
      {
        IPluginBase::Lock lock(synth_.GetMutex());
        synth_.ModifyCurrentPreset();
      }
      if (!(bank ? SaveBankFile(synth_, path, &reason) : SaveProgramFile(synth_, path, &reason))) {
        editor_.ShowMessageBox(FileNotWrittenText(kCannotSave, path, reason).c_str(), kErrorCaption, kMessageOk);
      }
      break;
    }
    case kCmdSelectStartupBank: {
      const std::string path = Ask(false, "", folders.startupBanks, kBankExtension);
      if (path.empty()) break;
      ReportConfigurationWrite(config.SetStartupBank(path, &reason), reason);
      folders.startupBanks = FolderOfPath(path);
      break;
    }
    case kCmdLoadStartupBank:
      if (Confirm(Format("The Startup Bank is:\n%s\n\nDo you really want to reload all programs?", config.StartupBank()),
                  "Load Startup Bank")) {
        ReportFailure(LoadBankFile(synth_, config.StartupBank()), kCannotLoad);
      }
      break;
    case kCmdUnselectStartupBank:
      if (Confirm(Format("The Startup Bank is:\n%s\n\nDo you really want to unselect it?", config.StartupBank()),
                  "Unselect Startup Bank")) {
        ReportConfigurationWrite(config.ClearStartupBank(&reason), reason);
      }
      break;
    case kCmdDefaultProgramFolder: {
      const std::string start = folders.programs.empty() ? editor_.DocumentsFolder() : folders.programs;
      const std::string path = Ask(true, kIgnoredFileName, start, kNoExtension);
      if (path.empty()) break;
      folders.programs = FolderOfPath(path);
      ReportConfigurationWrite(config.WriteProgramFilesFolder(folders.programs, &reason), reason);
      break;
    }
    case kCmdReloadConfiguration:
      if (editor_.ShowMessageBox(
              Format("The INI configuration file is:\n%s\n\nDo you really want to reload it?", config.FilePath()).c_str(),
              "Reload Configuration", kMessageYesNo) == kAnswerYes &&
          synth_.ReadConfiguration() == Configuration::kFileMissing) {
        editor_.ShowMessageBox("The INI file does not exist.", "Problem with INI File", kMessageOk);
      }
      break;
    case kCmdSaveConfiguration:
      if (editor_.ShowMessageBox(
              Format("The INI configuration file is:\n%s\n\nDo you really want to overwrite it?", config.FilePath())
                  .c_str(),
              "Save Configuration", kMessageYesNo) == kAnswerYes) {
        ReportConfigurationWrite(config.WriteMidiSettings(-1, &reason), reason);
      }
      break;
    case kCmdMidiThru:
      config.SetMidiThru(!config.MidiThru());
      ReportConfigurationWrite(config.WriteMidiSettings(Configuration::kMidiThruCommand, &reason), reason);
      break;
    case kCmdIgnoreProgramChange:
      config.SetIgnoreProgramChange(!config.IgnoreProgramChange());
      ReportConfigurationWrite(config.WriteMidiSettings(Configuration::kIgnoreProgramChangeCommand, &reason),
                               reason);
      break;
    case kCmdCheckForUpdate: {
      EditorVersionUi ui(editor_);
      CheckForUpdate(ui);
      break;
    }
    case kCmdVisitHomePage: {
      EditorVersionUi ui(editor_);
      VisitHomePage(ui);
      break;
    }
    default:
      break;  // separators and sub-menu titles
  }
}

}  // namespace tessaron
