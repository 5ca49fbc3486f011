#include <gtest/gtest.h>

#include "host/ProgramFiles.h"
#include "tests/files/FilesTestSupport.h"

namespace tessaron::test {
namespace {

using namespace vst;

// What an instance tells its host.
struct Host {
  static inline std::vector<std::pair<int, float>> automations;
  static inline std::vector<std::vector<uint8_t>> midiOut;
  static VstIntPtr TESSARON_VSTCALL Callback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void* ptr,
                                             float opt) {
    if (opcode == audioMasterAutomate) automations.emplace_back(index, opt);
    if (opcode == audioMasterProcessEvents) {
      const auto* events = static_cast<const VstEvents*>(ptr);
      const auto* e = reinterpret_cast<const VstMidiEvent*>(events->events[0]);
      midiOut.push_back({static_cast<uint8_t>(e->midiData[0]), static_cast<uint8_t>(e->midiData[1]),
                         static_cast<uint8_t>(e->midiData[2])});
      return 1;
    }
    return 0;
  }
  Host() {
    automations.clear();
    midiOut.clear();
  }
};

// The instrument with its engine queue and key release observed.
struct Probe : Tessaron {
  Probe() : Tessaron(&Host::Callback) { FillEmptyPrograms(kProgramCount); }
  void QueueEngineMidi(const MidiMessage& msg) override { queued.push_back({msg.status, msg.data1, msg.data2}); }
  void ReleaseAllKeys() override { ++released; }
  void Send(uint8_t status, uint8_t data1, uint8_t data2 = 0) { HandleMidiMessage({0, status, data1, data2}); }
  std::vector<std::vector<uint8_t>> queued;
  int released = 0;
};

struct MidiFixture : ::testing::Test {
  PrivateHome home;
  Host host;
  Probe t;
  Configuration& config = t.GetConfiguration();
  Synth& shell = t;  // the instrument drains controllers through the shell
};

TEST_F(MidiFixture, MessageKindsGoWhereTheyBelong) {
  t.Send(0x93, 60, 100);  // any channel
  t.Send(0x80, 60, 0);
  t.Send(0xE5, 0, 64);
  t.Send(0xB0, 64, 127);  // sustain
  t.Send(0xB0, 7, 90);    // for the controller table, in time
  t.Send(0xA0, 60, 10);
  t.Send(0xD0, 10);
  t.Send(0xF8, 0);
  t.Send(0x40, 1, 2);
  t.Send(0xB0, 121, 0);
  t.Send(0xB0, 127, 0);
  t.Send(0xB3, 120, 0);
  t.Send(0xB0, 123, 0);
  // The shell keeps only learn and program changes; the engine classifies the rest once
  // (its own tests cover what it plays, ignores and releases).
  const std::vector<std::vector<uint8_t>> expected = {
      {0x93, 60, 100}, {0x80, 60, 0}, {0xE5, 0, 64},  {0xB0, 64, 127}, {0xB0, 7, 90},  {0xA0, 60, 10}, {0xD0, 10, 0},
      {0xF8, 0, 0},    {0x40, 1, 2},  {0xB0, 121, 0}, {0xB0, 127, 0},  {0xB3, 120, 0}, {0xB0, 123, 0}};
  EXPECT_EQ(t.queued, expected);
  EXPECT_EQ(t.released, 0);
  EXPECT_TRUE(Host::midiOut.empty());  // thru is off

  t.Send(0xC2, 9);
  EXPECT_EQ(t.CurrentProgram(), 9);
  t.Send(0xC0, 64);  // no such slot
  EXPECT_EQ(t.CurrentProgram(), 9);
  config.SetIgnoreProgramChange(true);
  config.SetMidiThru(true);
  t.Send(0xC0, 2);
  EXPECT_EQ(t.CurrentProgram(), 9);
  t.Send(0xF8, 0);
  t.ArmLearn(true, false);
  t.Send(0xB5, 1, 3);
  const std::vector<std::vector<uint8_t>> echoed = {{0xC0, 2, 0}, {0xF8, 0, 0}, {0xB5, 1, 3}};
  EXPECT_EQ(Host::midiOut, echoed);  // also what is ignored or swallowed
}

TEST_F(MidiFixture, ArmedLearnSwallowsControllersOnly) {
  t.ArmLearn(true, false);
  t.Send(0xB7, 1, 10);
  t.Send(0xB0, 64, 127);
  t.Send(0xB0, 30, 5);  // the last controller received is the pending one
  EXPECT_TRUE(t.queued.empty());
  t.Send(0x90, 60, 100);
  t.Send(0xB0, 123, 0);  // a channel mode is no controller to learn: the engine releases the keys
  EXPECT_EQ(t.queued.size(), 2u);
  EXPECT_EQ(t.Learn().PendingController(), 30);
  EXPECT_TRUE(t.Learn().Active());

  t.CaptureParameter(kDelayMix);
  EXPECT_FALSE(t.Learn().Active());
  EXPECT_EQ(config.Controller(30), kDelayMix);
  t.Send(0xB0, 30, 5);
  EXPECT_EQ(t.queued.size(), 3u);
}

TEST_F(MidiFixture, LearnAndUnlearnPairing) {
  struct Switch : LearnSwitchHook {
    int ended = 0;
    void LearnEnded() override { ++ended; }
  } learnSwitch;
  t.SetLearnSwitch(&learnSwitch);

  // Parameter first, then controller; the last parameter touched wins.
  config.SetController(11, kSynthLevel);
  t.ArmLearn(true, false);
  t.CaptureParameter(kOrganLevel);
  t.CaptureParameter(kSynthLevel);
  t.CaptureParameter(kParameterCount);  // not a parameter
  EXPECT_TRUE(t.Learn().Active());
  EXPECT_EQ(learnSwitch.ended, 0);
  t.Send(0xB0, 7, 0);
  EXPECT_EQ(config.Controller(7), kSynthLevel);
  EXPECT_EQ(config.Controller(11), Configuration::kUnassigned);  // one controller per parameter
  EXPECT_EQ(learnSwitch.ended, 1);
  // Inactive: nothing is captured.
  t.CaptureParameter(kOrganLevel);
  EXPECT_EQ(t.Learn().PendingParameter(), kSynthLevel);

  // A table may still map several parameters; unlearn by parameter removes all its controllers.
  config.SetController(8, kSynthLevel);
  t.ArmLearn(true, true);
  EXPECT_EQ(t.Learn().PendingController(), MidiLearn::kNone);
  t.CaptureParameter(kSynthLevel);
  EXPECT_EQ(config.Controller(7), Configuration::kUnassigned);
  EXPECT_EQ(config.Controller(8), Configuration::kUnassigned);
  EXPECT_FALSE(t.Learn().Active());
  EXPECT_EQ(t.Learn().GetMode(), MidiLearn::Mode::kLearn);
  EXPECT_EQ(learnSwitch.ended, 2);

  // Unlearn by controller removes only that entry.
  config.SetController(20, kOrganLevel);
  config.SetController(21, kOrganLevel);
  t.ArmLearn(true, true);
  t.Send(0xB0, 20, 1);
  EXPECT_EQ(config.Controller(20), Configuration::kUnassigned);
  EXPECT_EQ(config.Controller(21), kOrganLevel);

  // The switch turned off by hand ends learn without touching the table.
  t.ArmLearn(true, false);
  t.CaptureParameter(kOrganLevel);
  t.ArmLearn(false, false);
  t.Send(0xB0, 40, 1);
  EXPECT_EQ(config.Controller(40), Configuration::kUnassigned);
  EXPECT_EQ(learnSwitch.ended, 3);
}

TEST_F(MidiFixture, ResetDisarmsLearnBeforeItsParameterPass) {
  for (float rate : {44100.0f, 48000.0f}) {
    t.ArmLearn(true, false);
    t.Send(0xB0, 30, 5);
    ASSERT_TRUE(t.Learn().Active());
    // A host's suspend, then a new rate: both reset.
    AEffect* effect = t.GetAEffect();
    effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, rate);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    EXPECT_FALSE(t.Learn().Active()) << rate;
    EXPECT_EQ(config.Controller(30), Configuration::kUnassigned) << rate;
  }
}

TEST_F(MidiFixture, ApplyControllerNotifiesOnlyOnChange) {
  config.SetController(7, kDelayMix);
  config.SetController(8, kGlideDirection);
  config.SetController(9, 66);  // stored, but no parameter
  config.SetController(1, kDelayMix);
  config.SetController(64, kDelayMix);
  t.GetParam(kDelayMix)->SetClamped(0.0);

  shell.ApplyController(7, 127);
  ASSERT_EQ(Host::automations.size(), 1u);
  EXPECT_EQ(Host::automations[0], std::make_pair(static_cast<int>(kDelayMix), 1.0f));
  EXPECT_EQ(t.GetParam(kDelayMix)->Value(), 1.0);
  shell.ApplyController(7, 127);  // the same value again
  EXPECT_EQ(Host::automations.size(), 1u);

  // Wheel and sustain keep their engine meaning whatever the table says.
  shell.ApplyController(1, 0);
  shell.ApplyController(64, 0);
  shell.ApplyController(9, 0);
  shell.ApplyController(119, 0);
  EXPECT_EQ(Host::automations.size(), 1u);

  shell.ApplyController(8, 127);
  EXPECT_EQ(t.GetParam(kGlideDirection)->Value(), 3.0);  // the last choice
  shell.ApplyController(8, 0);
  EXPECT_EQ(t.GetParam(kGlideDirection)->Value(), 0.0);
}

TEST(Startup, FactoryBankUnlessAStartupBankLoads) {
  PrivateHome home;
  {
    // No configuration at all: the factory bank, and an empty file appears.
    Tessaron t(nullptr);
    EXPECT_EQ(t.CurrentProgram(), 0);
    EXPECT_EQ(t.ProgramName(0), "PAD: Star Tone");
    EXPECT_EQ(t.ProgramName(31), "SEQ: Simple Air");
    EXPECT_EQ(t.GetParam(kEnvDecay)->Value(), 0.6640625);
    EXPECT_TRUE(fs::exists(home.Dir() / ".config" / "GreyLanternLabs" / "tessaron.ini"));
    t.ModifyCurrentPreset("Startup Sound");
    ASSERT_TRUE(SaveBankFile(t, home.File("startup.fxb")));
  }
  home.WriteConfiguration("[Startup Bank]\nFile=" + home.File("startup.fxb") + "\n");
  {
    Tessaron t(nullptr);
    EXPECT_EQ(t.ProgramName(0), "Startup Sound");
    EXPECT_EQ(t.GetConfiguration().StartupBank(), home.File("startup.fxb"));
  }
  home.WriteConfiguration("[Startup Bank]\nFile=" + home.File("missing.fxb") + "\n");
  {
    Tessaron t(nullptr);
    EXPECT_EQ(t.ProgramName(0), "PAD: Star Tone");
    EXPECT_EQ(t.GetConfiguration().StartupBank(), "");
    EXPECT_EQ(t.ReadConfiguration(), 0);  // until the configuration is read again
    EXPECT_EQ(t.GetConfiguration().StartupBank(), home.File("missing.fxb"));
  }
}

TEST(Startup, UnreadableStartupBankStaysInTheFile) {
  PrivateHome home;
  const std::string bank = home.File("unmounted/startup.fxb");
  home.WriteConfiguration("[Startup Bank]\nFile=" + bank + "\n");
  Tessaron t(nullptr);
  EXPECT_EQ(t.ProgramName(0), "PAD: Star Tone");
  Configuration& config = t.GetConfiguration();
  config.SetMidiThru(true);
  config.WriteMidiSettings(Configuration::kMidiThruCommand);
  config.WriteMidiSettings(-1);  // "Save Configuration"
  const std::vector<uint8_t> bytes = ReadBytes(config.FilePath());
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find("File=" + bank + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find("MIDI Thru=true"), std::string::npos) << text;

  // The user's own choice still changes it.
  config.SetStartupBank(home.File("other.fxb"));
  const std::vector<uint8_t> chosen = ReadBytes(config.FilePath());
  EXPECT_EQ(std::string(chosen.begin(), chosen.end()).find(bank), std::string::npos);
}

}  // namespace
}  // namespace tessaron::test
