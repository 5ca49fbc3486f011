// The options menu and the program selector on the real instrument: entries and their
// conditions, the program commands, program and bank files through the file dialogs,
// the startup bank and configuration commands, and the previous/next buttons.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <set>
#include <thread>

#include "editor/IGLPresetMenu.h"
#include "host/ProgramFiles.h"
#include "shell/OptionsMenu.h"
#include "shell/VersionSettings.h"
#include "tests/editor/PanelTestSupport.h"

namespace tessaron::test {
namespace {

namespace fs = std::filesystem;

constexpr int kMenuX = 990, kMenuY = 305;

void Menu(Panel& p, const std::string& item) {
  p.platform->onMenu = Choose(item);
  p.Click(kMenuX, kMenuY);
}

std::vector<std::string> Texts(const EditorMenu& menu) {
  std::vector<std::string> texts;
  for (int i = 0; i < menu.NItems(); ++i) texts.push_back(menu.GetItem(i).text);
  return texts;
}

TEST(OptionsMenu, EntriesConditionsAndCommandNumbers) {
  Panel p;
  OptionsMenu options(*p.plug, *p.editor);
  auto menu = options.Build();
  EXPECT_EQ(Texts(*menu), (std::vector<std::string>{"Copy Program", "Paste Program", "Init Program", "", "Load Program",
                                                    "Save Program", "Load Bank", "Save Bank", "", "Select Startup Bank",
                                                    "Load Startup Bank", "Unselect Startup Bank", "",
                                                    "Default Path for Program Files...", "Global MIDI Settings...",
                                                    "Reload Configuration", "Save Configuration", "", "Go Online..."}));
  for (int i : {3, 8, 12, 17}) EXPECT_TRUE(menu->GetItem(i).flags & EditorMenu::kSeparator);
  EXPECT_FALSE(menu->GetItem(1).Enabled());   // empty copy buffer
  EXPECT_FALSE(menu->GetItem(10).Enabled());  // no startup bank
  EXPECT_FALSE(menu->GetItem(11).Enabled());
  EditorMenu& midi = *menu->GetItem(14).subMenu;
  EditorMenu& online = *menu->GetItem(18).subMenu;
  EXPECT_EQ(Texts(midi), (std::vector<std::string>{"MIDI Thru", "Ignore Program Change"}));
  EXPECT_EQ(Texts(online), (std::vector<std::string>{"Check Online for Update", std::string("Visit ") + kMakerDomain}));
  EXPECT_EQ(OptionsMenu::CommandOf(*menu, {menu.get(), 16}), kCmdSaveConfiguration);
  EXPECT_EQ(OptionsMenu::CommandOf(*menu, {&midi, 1}), kCmdIgnoreProgramChange);
  EXPECT_EQ(OptionsMenu::CommandOf(*menu, {&online, 1}), kCmdVisitHomePage);
  EXPECT_EQ(OptionsMenu::CommandOf(*menu, {}), kCmdNone);

  // MIDI Thru: ticked once on, and each choice writes the switch.
  Menu(p, "MIDI Thru");
  EXPECT_TRUE(p.plug->GetConfiguration().MidiThru());
  EXPECT_NE(p.ConfigurationText().find("MIDI Thru=true"), std::string::npos) << p.ConfigurationText();
  EXPECT_TRUE(options.Build()->GetItem(14).subMenu->GetItem(0).flags & EditorMenu::kMarked);
  Menu(p, "MIDI Thru");
  EXPECT_FALSE(p.plug->GetConfiguration().MidiThru());
  EXPECT_NE(p.ConfigurationText().find("MIDI Thru=false"), std::string::npos);

  // While the menu waits for the user, audio and the instrument's other callers go on.
  bool instrumentFree = false, editorFree = false;
  p.platform->onMenu = [&](EditorMenu&, EditorMenuChoice&) {
    std::thread([&] {
      std::unique_lock<std::recursive_mutex> a(p.plug->GetMutex(), std::try_to_lock);
      std::unique_lock<std::recursive_mutex> b(p.editor->Mutex(), std::try_to_lock);
      instrumentFree = a.owns_lock();
      editorFree = b.owns_lock();
    }).join();
    return false;
  };
  p.Click(kMenuX, kMenuY);
  EXPECT_TRUE(instrumentFree);
  EXPECT_TRUE(editorFree);

  Menu(p, std::string("Visit ") + kMakerDomain);
  EXPECT_EQ(p.platform->pages, (std::vector<std::string>{kHomePageUrl}));
  EXPECT_TRUE(p.platform->messages.empty());
}

TEST(OptionsMenu, PasteTakesTheCopiedValuesAndTheSourcesCurrentName) {
  Panel p;
  p.plug->ChooseProgram(5);
  p.plug->SetParamFromEditor(kVcfCutoff, 0.123);
  const double copied = p.Value(kVcfCutoff);
  Menu(p, "Copy Program");
  p.plug->SetParamFromEditor(kVcfCutoff, 0.9);
  p.plug->ModifyCurrentPreset("Renamed Later");
  p.plug->ChooseProgram(9);
  p.platform->answers = {kAnswerNo};
  Menu(p, "Paste Program");
  EXPECT_NE(p.Value(kVcfCutoff), copied);
  ASSERT_EQ(p.platform->messages.size(), 1u);
  EXPECT_EQ(p.platform->messages[0].text, "Do you really want to overwrite the current program?");
  EXPECT_EQ(p.platform->messages[0].caption, "Paste Program");
  EXPECT_EQ(p.platform->messages[0].type, kMessageYesNo);
  Menu(p, "Paste Program");
  EXPECT_EQ(p.Value(kVcfCutoff), copied);
  EXPECT_EQ(p.plug->ProgramName(9), "Renamed Later");
  EXPECT_EQ(p.plug->CurrentProgram(), 9);
}

TEST(OptionsMenu, InitResetsEveryParameterAndNamesTheProgram) {
  Panel p;
  p.plug->ChooseProgram(3);
  const std::string name = p.plug->ProgramName(3);
  p.platform->answers = {kAnswerNo};
  Menu(p, "Init Program");
  EXPECT_EQ(p.plug->ProgramName(3), name);
  EXPECT_EQ(p.platform->messages.back().text, "Do you really want to initialize the current program?");
  EXPECT_EQ(p.platform->messages.back().caption, "Initialize Program");
  Menu(p, "Init Program");
  EXPECT_EQ(p.plug->ProgramName(3), "Init");
  for (int i = 0; i < kParameterCount; ++i) EXPECT_NEAR(p.Value(i), p.plug->GetParam(i)->Default(), 1e-9) << i;
  // The controls follow.
  EXPECT_EQ(p.Row(7)->GetValue(), p.plug->GetParam(kBendRange)->GetNormalized());
}

TEST(OptionsMenu, ProgramAndBankFilesRoundTripThroughTheDialogs) {
  Panel p;
  const fs::path dir = p.home.Dir() / "presets";
  fs::create_directories(dir / "taken.fxp");  // a folder where a file should go
  p.plug->ModifyCurrentPreset("Bass: low/high?");
  p.plug->SetParamFromEditor(kDelayMix, 0.25);
  const double saved = p.Value(kDelayMix);

  p.platform->dialogAnswers = {(dir / "bass.fxp").string()};
  Menu(p, "Save Program");
  ASSERT_EQ(p.platform->dialogs.size(), 1u);
  const FileDialogRequest& save = p.platform->dialogs[0];
  EXPECT_TRUE(save.save);
  EXPECT_EQ(save.fileName, "Bass_ low_high_");
  EXPECT_EQ(save.folder, p.plug->GetConfiguration().ProgramFilesFolder());
  EXPECT_EQ(save.extensions, (std::vector<std::string>{"fxp"}));
  EXPECT_TRUE(fs::exists(dir / "bass.fxp"));
  EXPECT_TRUE(p.platform->messages.empty());

  p.plug->SetParamFromEditor(kDelayMix, 0.75);
  p.platform->dialogAnswers = {(dir / "bass.fxp").string()};
  Menu(p, "Load Program");
  EXPECT_FALSE(p.platform->dialogs.back().save);
  EXPECT_EQ(p.platform->dialogs.back().folder, dir.string());  // remembered
  EXPECT_EQ(p.Value(kDelayMix), saved);

  p.platform->dialogAnswers = {(dir / "all.fxb").string()};
  Menu(p, "Save Bank");
  EXPECT_EQ(p.platform->dialogs.back().fileName, "Tessaron");
  EXPECT_EQ(p.platform->dialogs.back().extensions, (std::vector<std::string>{"fxb"}));
  p.plug->ChooseProgram(7);
  p.plug->ModifyCurrentPreset("Scratch");
  p.platform->dialogAnswers = {(dir / "all.fxb").string()};
  Menu(p, "Load Bank");
  EXPECT_NE(p.plug->ProgramName(7), "Scratch");
  EXPECT_EQ(p.plug->ProgramName(0), "Bass: low/high?");
  EXPECT_TRUE(p.platform->messages.empty());

  // Failures name themselves; a cancelled dialog does nothing.
  p.platform->dialogAnswers = {(dir / "taken.fxp").string()};
  Menu(p, "Save Program");
  ASSERT_EQ(p.platform->messages.size(), 1u);
  EXPECT_EQ(p.platform->messages[0].text,
            "Cannot save file!\n\n\"" + (dir / "taken.fxp").string() +
                "\" could not be written: Is a directory. Any earlier version of this file is unchanged.");
  EXPECT_EQ(p.platform->messages[0].caption, "Error");
  EXPECT_EQ(p.platform->messages[0].type, kMessageOk);
  p.platform->dialogAnswers = {(dir / "all.fxb").string()};
  Menu(p, "Load Program");
  ASSERT_EQ(p.platform->messages.size(), 2u);
  EXPECT_EQ(p.platform->messages[1].text, "Cannot load file!");
  Menu(p, "Load Bank");
  EXPECT_EQ(p.platform->messages.size(), 2u);
}

std::set<std::string> FilesBelow(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) names.insert(entry.path().string());
  return names;
}

// A disk that takes only a few bytes per file: every save fails, says which file and why,
// and leaves the earlier file byte for byte, with no temporary file behind.
TEST(OptionsMenu, FailedSavesKeepTheOldFilesAndSayWhy) {
  Panel p;
  const std::string bank = p.home.File("all.fxb"), program = p.home.File("one.fxp");
  const std::string ini = p.plug->GetConfiguration().FilePath();
  p.platform->dialogAnswers = {bank, program};
  Menu(p, "Save Bank");
  Menu(p, "Save Program");
  for (int cc = 0; cc < 16; ++cc) p.plug->GetConfiguration().SetController(cc, cc);
  Menu(p, "Save Configuration");
  ASSERT_EQ(p.platform->messages.size(), 1u);  // the confirmation
  const std::vector<uint8_t> oldBank = ReadBytes(bank), oldProgram = ReadBytes(program), oldIni = ReadBytes(ini);
  constexpr rlim_t kLimit = 64;
  ASSERT_GT(oldIni.size(), kLimit);
  const std::set<std::string> files = FilesBelow(p.home.Dir());
  p.plug->ModifyCurrentPreset("Changed");
  p.platform->messages.clear();

  const auto saveOnAFullDisk = [&] {
    std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
    const rlimit limit{kLimit, kLimit};
    setrlimit(RLIMIT_FSIZE, &limit);
    p.platform->dialogAnswers = {bank, program};
    Menu(p, "Save Bank");
    Menu(p, "Save Program");
    Menu(p, "MIDI Thru");
    const std::string why = "\" could not be written: File too large. Any earlier version of this file is unchanged.";
    const std::vector<std::string> expected = {"Cannot save file!\n\n\"" + bank + why,
                                               "Cannot save file!\n\n\"" + program + why,
                                               "Cannot save the configuration!\n\n\"" + ini + why};
    std::vector<std::string> shown;
    for (const AskedMessage& m : p.platform->messages) {
      shown.push_back(m.text);
      if (m.caption != "Error" || m.type != kMessageOk) shown.push_back("not an OK error box");
    }
    for (const std::string& text : shown) std::fprintf(stderr, "[%s]\n", text.c_str());
    _exit(shown == expected ? 0 : 1);
  };
  EXPECT_EXIT(saveOnAFullDisk(), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadBytes(bank), oldBank);
  EXPECT_EQ(ReadBytes(program), oldProgram);
  EXPECT_EQ(ReadBytes(ini), oldIni);
  EXPECT_EQ(FilesBelow(p.home.Dir()), files);
}

TEST(OptionsMenu, StartupBankAndConfigurationCommandsWriteTheFile) {
  Panel p;
  const std::string bank = p.home.File("start.fxb");
  ASSERT_TRUE(SaveBankFile(*p.plug, bank));
  p.platform->dialogAnswers = {bank};
  Menu(p, "Select Startup Bank");
  EXPECT_EQ(p.platform->dialogs.back().folder, p.plug->GetConfiguration().DocumentsFolder());
  EXPECT_EQ(p.plug->GetConfiguration().StartupBank(), bank);
  EXPECT_NE(p.ConfigurationText().find("File=" + bank), std::string::npos) << p.ConfigurationText();

  p.plug->ChooseProgram(2);
  p.plug->ModifyCurrentPreset("Changed");
  Menu(p, "Load Startup Bank");
  EXPECT_EQ(p.platform->messages.back().text,
            "The Startup Bank is:\n" + bank + "\n\nDo you really want to reload all programs?");
  EXPECT_EQ(p.platform->messages.back().caption, "Load Startup Bank");
  EXPECT_NE(p.plug->ProgramName(2), "Changed");

  fs::remove(bank);
  Menu(p, "Load Startup Bank");
  EXPECT_EQ(p.platform->messages.back().text, "Cannot load file!");

  Menu(p, "Unselect Startup Bank");
  EXPECT_EQ(p.platform->messages.back().text,
            "The Startup Bank is:\n" + bank + "\n\nDo you really want to unselect it?");
  EXPECT_TRUE(p.plug->GetConfiguration().StartupBank().empty());
  EXPECT_EQ(p.ConfigurationText().find(bank), std::string::npos);

  // The folder chooser stores the folder of whatever path it returns.
  const fs::path presets = p.home.Dir() / "My Presets";
  fs::create_directories(presets);
  p.platform->dialogAnswers = {(presets / "[file name is ignored]").string()};
  Menu(p, "Default Path for Program Files...");
  EXPECT_EQ(p.platform->dialogs.back().fileName, "[file name is ignored]");
  EXPECT_TRUE(p.platform->dialogs.back().extensions.empty());
  EXPECT_EQ(p.plug->GetConfiguration().ProgramFilesFolder(), presets.string());
  EXPECT_NE(p.ConfigurationText().find("Path to Program Files=" + presets.string()), std::string::npos);
  EXPECT_EQ(SharedFolders().programs, presets.string());

  // Reload: only Yes goes on; a missing file is reported.
  const std::string ini = p.plug->GetConfiguration().FilePath();
  fs::remove(ini);
  p.platform->answers = {kAnswerNo};
  Menu(p, "Reload Configuration");
  EXPECT_EQ(p.platform->messages.back().caption, "Reload Configuration");
  EXPECT_EQ(p.platform->messages.back().text,
            "The INI configuration file is:\n" + ini + "\n\nDo you really want to reload it?");
  Menu(p, "Reload Configuration");
  EXPECT_EQ(p.platform->messages.back().text, "The INI file does not exist.");
  EXPECT_EQ(p.platform->messages.back().caption, "Problem with INI File");
  EXPECT_EQ(p.platform->messages.back().type, kMessageOk);

  p.plug->GetConfiguration().SetController(7, kSynthLevel);
  Menu(p, "Save Configuration");
  EXPECT_NE(p.ConfigurationText().find("CC7=2"), std::string::npos) << p.ConfigurationText();
}

TEST(ProgramSelector, ListRenamePreviousAndNext) {
  Panel p;
  p.plug->ChooseProgram(18);
  std::vector<std::string> titles;
  std::string item, ticked;
  p.platform->onMenu = [&](EditorMenu& menu, EditorMenuChoice& choice) {
    titles = Texts(menu);
    EditorMenu& second = *menu.GetItem(1).subMenu;
    item = second.GetItem(0).text;
    for (int i = 0; i < second.NItems(); ++i)
      if (second.GetItem(i).flags & EditorMenu::kMarked) ticked = second.GetItem(i).text;
    choice = {menu.GetItem(2).subMenu.get(), 3};
    return true;
  };
  p.Click(740, 305);  // the number box
  EXPECT_EQ(titles, (std::vector<std::string>{"00 - 15", "16 - 31", "32 - 47", "48 - 63"}));
  EXPECT_EQ(item, ("16: " + p.plug->ProgramName(16)).substr(0, 31));
  EXPECT_EQ(ticked.substr(0, 4), "18: ");
  EXPECT_EQ(p.plug->CurrentProgram(), 35);
  EXPECT_EQ(p.Row<IGLPresetMenu>(1)->NumberText(), "35");

  // The name box opens the entry; a click elsewhere commits it on the next tick.
  p.Click(800, 305);
  ASSERT_TRUE(p.platform->entryOpen);
  EXPECT_EQ(p.platform->entryText, p.plug->ProgramName(35));
  EXPECT_EQ(p.platform->entryMaxLength, 27);
  p.platform->entryText = "Warm Pad";
  p.Click(10, 10);
  p.editor->OnTimer();
  EXPECT_EQ(p.plug->ProgramName(35), "Warm Pad");
  EXPECT_EQ(p.Row<IGLPresetMenu>(1)->NameText(), "Warm Pad");
  p.Click(800, 305);
  p.platform->entryText = "";
  p.Click(10, 10);
  p.editor->OnTimer();
  EXPECT_EQ(p.plug->ProgramName(35), "Warm Pad");

  p.plug->ChooseProgram(0);
  p.Click(710, 300);  // previous
  EXPECT_EQ(p.plug->CurrentProgram(), 63);
  p.Click(760, 300);  // next
  EXPECT_EQ(p.plug->CurrentProgram(), 0);
  p.Click(760, 300);
  EXPECT_EQ(p.plug->CurrentProgram(), 1);
}

TEST(OptionsMenu, FileNamesAndFolders) {
  EXPECT_EQ(ProgramFileName("Bass: low/high?"), "Bass_ low_high_");
  EXPECT_EQ(ProgramFileName("<a>|b\\c\"d*"), "_a__b_c_d_");
  EXPECT_EQ(ProgramFileName(std::string(80, 'x')).size(), 63u);
  EXPECT_EQ(ProgramFileName(std::string(62, 'x') + "\xC3\xA9"), std::string(62, 'x'));  // no half "é"
  EXPECT_EQ(FolderOfPath("D:\\Presets\\[file name is ignored]"), "D:\\Presets");
  EXPECT_EQ(FolderOfPath("/home/u/a.fxp"), "/home/u");
  EXPECT_EQ(FolderOfPath("/a.fxp"), "");
  EXPECT_EQ(FolderOfPath("a.fxp"), "");
}

}  // namespace
}  // namespace tessaron::test
