// Where the Windows module keeps its settings, and that a new instance reads them back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "platform/Folders.h"
#include "tests/abi/FilesHomeSupport.h"
#include "tests/support/TestHost.h"

namespace tessaron::test {
namespace {

using namespace vst;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

TEST(WindowsConfiguration, FileLivesInLocalAppDataAndANewInstanceReadsIt) {
  namespace fs = std::filesystem;
  ConfiguredHome home;  // no file to begin with
  const std::string appData = platform::LocalAppDataFolder();
  // The per-user, per-machine folder, not the roaming one.
  ASSERT_TRUE(Lower(appData).ends_with("\\appdata\\local")) << appData;
  const fs::path file = fs::path(appData) / "GreyLanternLabs" / "tessaron.ini";
  ASSERT_FALSE(fs::exists(file));

  {
    TestHost first;
    ASSERT_TRUE(first.Load());
    first.Dispatch(effOpen);
  }
  ASSERT_TRUE(fs::is_regular_file(file)) << "the first instance creates " << file.string();

  std::ofstream(file, std::ios::binary | std::ios::app) << "[MIDI Global]\r\nMIDI Thru=true\r\n";
  TestHost second;
  ASSERT_TRUE(second.Load());
  second.Dispatch(effOpen);
  second.Dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
  second.Dispatch(effSetBlockSize, 0, 256);
  second.Dispatch(effMainsChanged, 0, 1);
  second.SendMidi({{0x90, 60, 100}});
  ASSERT_EQ(second.midiOut.size(), 1u) << "the setting written to the file reaches a new instance";
  EXPECT_EQ(second.midiOut[0].status, 0x90);
}

}  // namespace
}  // namespace tessaron::test
