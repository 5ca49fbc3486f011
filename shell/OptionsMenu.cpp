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

// The version check's view of the editor's dialogs. Each open box holds it alive, as
// the check's continuation uses it when the box is answered.
class EditorVersionUi final : public VersionCheckUi, public std::enable_shared_from_this<EditorVersionUi> {
 public:
  explicit EditorVersionUi(IEditor& editor) : editor_(editor) {}
  void ShowMessage(const std::string& text, const std::string& caption, int type,
                   std::function<void(int)> done) override {
    editor_.ShowMessageBox(text.c_str(), caption.c_str(), type,
                           [self = shared_from_this(), done = std::move(done)](int answer) {
                             if (done) done(answer);
                           });
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
  std::shared_ptr<EditorMenu> menu = Build();
  editor_.PopupMenu(menu, x, y, [self = *this, menu](const EditorMenuChoice& choice) mutable {
    const int command = CommandOf(*menu, choice);
    if (command != kCmdNone) self.Perform(command);
  });
}

void OptionsMenu::Confirm(const std::string& text, const char* caption, std::function<void()> then) {
  editor_.ShowMessageBox(text.c_str(), caption, kMessageYesNo, [then = std::move(then)](int answer) {
    if (answer != kAnswerNo) then();
  });
}

void OptionsMenu::ConfirmYes(const std::string& text, const char* caption, std::function<void()> then) {
  editor_.ShowMessageBox(text.c_str(), caption, kMessageYesNo, [then = std::move(then)](int answer) {
    if (answer == kAnswerYes) then();
  });
}

void OptionsMenu::ReportFailure(bool ok, const char* text) {
  if (!ok) editor_.ShowMessageBox(text, kErrorCaption, kMessageOk);
}

void OptionsMenu::ReportConfigurationWrite(bool ok, const std::string& reason) {
  if (ok) return;
  const std::string text = FileNotWrittenText(kCannotSaveConfiguration, synth_.GetConfiguration().FilePath(), reason);
  editor_.ShowMessageBox(text.c_str(), kErrorCaption, kMessageOk);
}

void OptionsMenu::Ask(bool save, const std::string& fileName, const std::string& folder, const char* extensions,
                      std::function<void(const std::string&)> then) {
  editor_.PromptForFile(save, fileName.c_str(), folder.c_str(), extensions,
                        [then = std::move(then)](const std::string& path) {
                          if (!path.empty()) then(path);
                        });
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
  // Continuations run after Perform has returned: they hold a copy of this light object
  // and pointers to what outlives the editor's window, and reach the shared folders anew.
  Synth* synth = &synth_;
  Configuration* settings = &config;
  OptionsMenu self = *this;

  switch (command) {
    case kCmdCopyProgram: synth_.CopyProgram(); break;
    case kCmdPasteProgram:
      Confirm("Do you really want to overwrite the current program?", "Paste Program",
              [synth] { synth->PasteProgram(); });
      break;
    case kCmdInitProgram:
      Confirm("Do you really want to initialize the current program?", "Initialize Program",
              [synth] { synth->LoadInitProgram(); });
      break;
    case kCmdLoadProgram:
    case kCmdLoadBank: {
      const bool bank = command == kCmdLoadBank;
      Ask(false, "", folders.programs, bank ? kBankExtension : kProgramExtension,
          [self, synth, bank](const std::string& path) mutable {
            SharedFolders().programs = FolderOfPath(path);
            self.ReportFailure(bank ? LoadBankFile(*synth, path) : LoadProgramFile(*synth, path), kCannotLoad);
          });
      break;
    }
    case kCmdSaveProgram:
    case kCmdSaveBank: {
      const bool bank = command == kCmdSaveBank;
      const std::string name =
          bank ? std::string(kBankFileName) : ProgramFileName(synth_.ProgramName(synth_.CurrentProgram()));
      Ask(true, name, folders.programs, bank ? kBankExtension : kProgramExtension,
          [self, synth, bank](const std::string& path) mutable {
            SharedFolders().programs = FolderOfPath(path);
            {
              IPluginBase::Lock lock(synth->GetMutex());
              synth->ModifyCurrentPreset();
            }
            std::string why;
            if (!(bank ? SaveBankFile(*synth, path, &why) : SaveProgramFile(*synth, path, &why))) {
              self.editor_.ShowMessageBox(FileNotWrittenText(kCannotSave, path, why).c_str(), kErrorCaption,
                                          kMessageOk);
            }
          });
      break;
    }
    case kCmdSelectStartupBank:
      Ask(false, "", folders.startupBanks, kBankExtension, [self, settings](const std::string& path) mutable {
        std::string why;
        self.ReportConfigurationWrite(settings->SetStartupBank(path, &why), why);
        SharedFolders().startupBanks = FolderOfPath(path);
      });
      break;
    case kCmdLoadStartupBank:
      Confirm(Format("The Startup Bank is:\n%s\n\nDo you really want to reload all programs?", config.StartupBank()),
              "Load Startup Bank", [self, synth, settings]() mutable {
                self.ReportFailure(LoadBankFile(*synth, settings->StartupBank()), kCannotLoad);
              });
      break;
    case kCmdUnselectStartupBank:
      Confirm(Format("The Startup Bank is:\n%s\n\nDo you really want to unselect it?", config.StartupBank()),
              "Unselect Startup Bank", [self, settings]() mutable {
                std::string why;
                self.ReportConfigurationWrite(settings->ClearStartupBank(&why), why);
              });
      break;
    case kCmdDefaultProgramFolder: {
      const std::string start = folders.programs.empty() ? editor_.DocumentsFolder() : folders.programs;
      Ask(true, kIgnoredFileName, start, kNoExtension, [self, settings](const std::string& path) mutable {
        std::string why;
        SharedFolders().programs = FolderOfPath(path);
        self.ReportConfigurationWrite(settings->WriteProgramFilesFolder(SharedFolders().programs, &why), why);
      });
      break;
    }
    case kCmdReloadConfiguration:
      ConfirmYes(Format("The INI configuration file is:\n%s\n\nDo you really want to reload it?", config.FilePath()),
                 "Reload Configuration", [self, synth]() mutable {
                   if (synth->ReadConfiguration() == Configuration::kFileMissing)
                     self.editor_.ShowMessageBox("The INI file does not exist.", "Problem with INI File", kMessageOk);
                 });
      break;
    case kCmdSaveConfiguration:
      ConfirmYes(Format("The INI configuration file is:\n%s\n\nDo you really want to overwrite it?", config.FilePath()),
                 "Save Configuration", [self, settings]() mutable {
                   std::string why;
                   self.ReportConfigurationWrite(settings->WriteMidiSettings(-1, &why), why);
                 });
      break;
    case kCmdMidiThru:
      config.SetMidiThru(!config.MidiThru());
      ReportConfigurationWrite(config.WriteMidiSettings(Configuration::kMidiThruCommand, &reason), reason);
      break;
    case kCmdIgnoreProgramChange:
      config.SetIgnoreProgramChange(!config.IgnoreProgramChange());
      ReportConfigurationWrite(config.WriteMidiSettings(Configuration::kIgnoreProgramChangeCommand, &reason), reason);
      break;
    case kCmdCheckForUpdate: CheckForUpdate(*std::make_shared<EditorVersionUi>(editor_)); break;
    case kCmdVisitHomePage: VisitHomePage(*std::make_shared<EditorVersionUi>(editor_)); break;
    default: break;  // separators and sub-menu titles
  }
}

}  // namespace tessaron
