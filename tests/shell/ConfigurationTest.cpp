#include "shell/Configuration.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "platform/Folders.h"
#include "shell/IniFile.h"

namespace tessaron {
namespace {

namespace fs = std::filesystem;

// Points HOME and XDG_CONFIG_HOME at a fresh temporary folder so that no test
// ever sees or changes a real user's files; restores them afterwards.
class ConfigurationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Save("HOME", savedHome_);
    Save("XDG_CONFIG_HOME", savedConfig_);
    std::string pattern = (fs::temp_directory_path() / "tessaron-config-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    home_ = root_ / "home";
    configHome_ = root_ / "config";
    fs::create_directories(home_);
    setenv("HOME", home_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", configHome_.c_str(), 1);
  }

  void TearDown() override {
    Restore("HOME", savedHome_);
    Restore("XDG_CONFIG_HOME", savedConfig_);
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  fs::path IniPath() const { return configHome_ / "GreyLanternLabs" / "tessaron.ini"; }

  void WriteIni(const std::string& text) {
    fs::create_directories(IniPath().parent_path());
    std::ofstream(IniPath(), std::ios::binary) << text;
  }

  std::string ReadIni() const {
    std::ifstream in(IniPath(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::optional<std::string> Key(const char* section, const char* key) const {
    return IniFile::Parse(ReadIni()).Find(section, key);
  }

  fs::path root_, home_, configHome_;

 private:
  static void Save(const char* name, std::optional<std::string>& slot) {
    if (const char* v = std::getenv(name)) slot = v;
  }
  static void Restore(const char* name, const std::optional<std::string>& slot) {
    if (slot)
      setenv(name, slot->c_str(), 1);
    else
      unsetenv(name);
  }
  std::optional<std::string> savedHome_, savedConfig_;
};

TEST_F(ConfigurationTest, FirstStartCreatesFolderAndEmptyFileAndKeepsInitialValues) {
  fs::create_directories(home_ / "Documents");
  Configuration config;
  config.LocateFile();

  EXPECT_EQ(config.FilePath(), IniPath().string());
  EXPECT_TRUE(fs::is_directory(IniPath().parent_path()));
  ASSERT_TRUE(fs::is_regular_file(IniPath()));
  EXPECT_EQ(fs::file_size(IniPath()), 0u);

  EXPECT_EQ(config.DocumentsFolder(), (home_ / "Documents").string());
  EXPECT_EQ(config.ProgramFilesFolder(), config.DocumentsFolder());
  EXPECT_EQ(config.StartupBank(), "");
  EXPECT_FALSE(config.MidiThru());
  EXPECT_FALSE(config.IgnoreProgramChange());
  for (int cc = 0; cc < Configuration::kControllerCount; ++cc) EXPECT_EQ(config.Controller(cc), -1) << cc;
  EXPECT_EQ(config.ReadConfiguration(), 0);
}

TEST_F(ConfigurationTest, MissingConfigHomeIsCreatedWithItsParents) {
  configHome_ = root_ / "deep" / "er" / "config";
  setenv("XDG_CONFIG_HOME", configHome_.c_str(), 1);
  Configuration config;
  config.LocateFile();
  EXPECT_TRUE(fs::is_regular_file(IniPath()));
}

TEST_F(ConfigurationTest, WithoutAnyBaseFolderNothingIsWritten) {
  Configuration config;
  config.LocateFileIn("", "/docs");
  EXPECT_EQ(config.FilePath(), "");
  EXPECT_EQ(config.ProgramFilesFolder(), "/docs");
  EXPECT_EQ(config.ReadConfiguration(), Configuration::kFileMissing);
  config.SetStartupBank("/b.fxb");
  config.WriteMidiSettings(-1);
  EXPECT_TRUE(fs::is_empty(root_ / "home"));
}

TEST_F(ConfigurationTest, FlagsReadTrueInAnyCaseOnlyAndEmptyOrMissingKeepThem) {
  WriteIni("[MIDI Global]\r\nMIDI Thru=TRUE\r\nIgnore Program Change=yes\r\n");
  Configuration config;
  config.LocateFile();
  EXPECT_TRUE(config.MidiThru());
  EXPECT_FALSE(config.IgnoreProgramChange());

  WriteIni("[MIDI Global]\r\nMIDI Thru=\r\n");  // present but empty, other key missing
  config.SetIgnoreProgramChange(true);
  EXPECT_EQ(config.ReadConfiguration(), 0);
  EXPECT_TRUE(config.MidiThru());
  EXPECT_TRUE(config.IgnoreProgramChange());

  WriteIni("[midi global]\nmidi thru=1\nignore program change=on\n");
  config.ReadConfiguration();
  EXPECT_FALSE(config.MidiThru());
  EXPECT_FALSE(config.IgnoreProgramChange());
}

TEST_F(ConfigurationTest, ControllerEntriesFollowTheLeadingIntegerRule) {
  WriteIni(
      "[MIDI Control]\n"
      "CC0=65\nCC1=abc\nCC2=12abc\nCC3=-5\nCC4=99\nCC5=0\nCC6=00\nCC7=-0\nCC8=\nCC9= 7 \n"
      "CC10=99999999999\nCC11=-99999999999\nCC119=3\nCC120=4\nCC07=9\n");
  Configuration config;
  config.SetController(8, 42);
  config.LocateFile();
  EXPECT_EQ(config.Controller(0), 65);
  EXPECT_EQ(config.Controller(1), -1);
  EXPECT_EQ(config.Controller(2), 12);
  EXPECT_EQ(config.Controller(3), -5);
  EXPECT_EQ(config.Controller(4), 99);
  EXPECT_EQ(config.Controller(5), 0);
  EXPECT_EQ(config.Controller(6), 0);
  EXPECT_EQ(config.Controller(7), -1);  // "-0" is zero not written as "0": unassigned; "CC07" is no key
  EXPECT_EQ(config.Controller(8), 42);  // key present without value: unchanged
  EXPECT_EQ(config.Controller(9), 7);
  EXPECT_EQ(config.Controller(10), 2147483647);
  EXPECT_EQ(config.Controller(11), -2147483647 - 1);
  EXPECT_EQ(config.Controller(119), 3);
  EXPECT_EQ(config.Controller(120), -1);  // beyond the table
  EXPECT_EQ(config.Controller(-1), -1);
}

TEST_F(ConfigurationTest, SaveWritesOnlyAssignedControllersInAscendingOrder) {
  WriteIni(
      "[Startup Bank]\nFile=/banks/old.fxb\n"
      "[Global]\nPath to Program Files=/p\n"
      "[MIDI Control]\nCC7=-5\nCC9=99\nCC3=0\nCC120=5\n"
      "[Other]\nkeep=me\n");
  Configuration config;
  config.LocateFile();
  config.SetController(11, 2);
  config.SetController(9, 99);
  config.SetMidiThru(true);
  config.WriteMidiSettings(-1);

  EXPECT_EQ(ReadIni(),
            "[Startup Bank]\nFile=/banks/old.fxb\n"
            "[Global]\nPath to Program Files=/p\n"
            "[MIDI Control]\nCC3=0\nCC9=99\nCC11=2\n"
            "[Other]\nkeep=me\n"
            "\n[MIDI Global]\nMIDI Thru=true\nIgnore Program Change=false\n");

  // Reading back gives the same table: the stale CC7=-5 is gone.
  Configuration again;
  again.LocateFile();
  EXPECT_EQ(again.Controller(7), -1);
  EXPECT_EQ(again.Controller(3), 0);
  EXPECT_EQ(again.Controller(9), 99);
  EXPECT_EQ(again.Controller(11), 2);
  EXPECT_TRUE(again.MidiThru());
}

TEST_F(ConfigurationTest, ToggleWritesStartupBankSectionAndOnlyItsSwitch) {
  WriteIni("[Startup Bank]\nStale=1\nFile=/a.fxb\n[MIDI Control]\nCC1=4\n");
  Configuration config;
  config.LocateFile();
  config.SetController(2, 5);
  config.SetMidiThru(true);
  config.WriteMidiSettings(Configuration::kMidiThruCommand);
  EXPECT_EQ(ReadIni(), "[Startup Bank]\nFile=/a.fxb\n[MIDI Control]\nCC1=4\n\n[MIDI Global]\nMIDI Thru=true\n");

  config.SetIgnoreProgramChange(true);
  config.WriteMidiSettings(Configuration::kIgnoreProgramChangeCommand);
  EXPECT_EQ(Key("MIDI Global", "Ignore Program Change"), "true");
  EXPECT_FALSE(Key("MIDI Control", "CC2"));

  config.WriteMidiSettings(0);  // neither switch: the startup bank alone
  EXPECT_EQ(Key("MIDI Global", "MIDI Thru"), "true");
}

TEST_F(ConfigurationTest, StartupBankSetClearAndLongPaths) {
  Configuration config;
  config.LocateFile();
  const std::string longBank = "/" + std::string(299, 'b');
  config.SetStartupBank(longBank);
  EXPECT_EQ(Key("Startup Bank", "File"), longBank);

  config.ClearStartupBank();
  EXPECT_EQ(config.StartupBank(), "");
  EXPECT_EQ(ReadIni(), "[Startup Bank]\n");

  config.SetStartupBank("");
  EXPECT_EQ(ReadIni(), "[Startup Bank]\nFile=\n");
  config.ReadConfiguration();
  EXPECT_EQ(config.StartupBank(), "");

  config.SetStartupBank(longBank);
  for (std::size_t length : {70u, 300u, 1023u}) {
    const std::string folder = "/" + std::string(length - 1, 'f');
    config.WriteProgramFilesFolder(folder);
    Configuration reader;
    reader.LocateFile();
    EXPECT_EQ(reader.ProgramFilesFolder(), folder) << length;
    EXPECT_EQ(reader.StartupBank(), longBank);
  }
  config.WriteProgramFilesFolder("/" + std::string(1100, 'g'));
  Configuration reader;
  reader.LocateFile();
  EXPECT_EQ(reader.ProgramFilesFolder().size(), 1023u);

  // An unwritable name must not inject keys into the file.
  config.SetStartupBank("/x\n[MIDI Control]\nCC1=5");
  EXPECT_FALSE(Key("MIDI Control", "CC1"));
}

TEST_F(ConfigurationTest, MissingFileOnReloadReads11AndKeyDefaults) {
  WriteIni("[Startup Bank]\nFile=/a.fxb\n[MIDI Control]\nCC1=4\n[MIDI Global]\nMIDI Thru=true\n");
  Configuration config;
  config.LocateFile();
  ASSERT_EQ(config.Controller(1), 4);
  fs::remove(IniPath());
  EXPECT_EQ(config.ReadConfiguration(), Configuration::kFileMissing);
  EXPECT_EQ(config.StartupBank(), "");
  EXPECT_TRUE(config.MidiThru());
  EXPECT_EQ(config.Controller(1), -1);
  EXPECT_EQ(config.ProgramFilesFolder(), config.DocumentsFolder());
  EXPECT_FALSE(fs::exists(IniPath()));  // reading never creates it
}

TEST_F(ConfigurationTest, UnreadableFileIsNeverOverwritten) {
  fs::create_directories(IniPath());  // a folder where the file should be
  Configuration config;
  config.LocateFile();
  config.SetStartupBank("/a.fxb");
  config.WriteMidiSettings(-1);
  EXPECT_TRUE(fs::is_directory(IniPath()));
}

TEST_F(ConfigurationTest, DocumentsFolderFollowsUserDirsThenDocumentsThenHome) {
  EXPECT_EQ(platform::DocumentsFolder(), home_.string());
  fs::create_directories(home_ / "Documents");
  EXPECT_EQ(platform::DocumentsFolder(), (home_ / "Documents").string());

  fs::create_directories(configHome_);
  std::ofstream(configHome_ / "user-dirs.dirs")
      << "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/Mes \\\"Docs\\\"/\"\n";
  EXPECT_EQ(platform::DocumentsFolder(), (home_ / "Mes \"Docs\"").string());
  std::ofstream(configHome_ / "user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"/srv/docs\"\n";
  EXPECT_EQ(platform::DocumentsFolder(), "/srv/docs");
  std::ofstream(configHome_ / "user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"relative\"\n";
  EXPECT_EQ(platform::DocumentsFolder(), (home_ / "Documents").string());

  setenv("XDG_CONFIG_HOME", "not/absolute", 1);
  EXPECT_EQ(platform::LocalAppDataFolder(), (home_ / ".config").string());
}

}  // namespace
}  // namespace tessaron
