#include <gtest/gtest.h>

#include "engine/ParameterIds.h"
#include "tests/abi/FilesHomeSupport.h"
#include "tests/support/TestHost.h"

namespace tessaron::test {
namespace {

using namespace vst;

struct Started {
  ConfiguredHome home;
  TestHost host;
  explicit Started(const std::string& configuration) : home(configuration) {
    EXPECT_TRUE(host.Load());
    host.Dispatch(effOpen);
    host.Dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    host.Dispatch(effSetBlockSize, 0, 256);
    host.Dispatch(effMainsChanged, 0, 1);
    host.ClearCalls();
  }
  void Render() {
    std::vector<std::vector<float>> out(2, std::vector<float>(256));
    host.ProcessReplacing(out, 256);
  }
};

TEST(MidiThroughHost, ThruEchoesEverythingAndProgramChangesObeyTheSwitch) {
  Started s("[MIDI Global]\nMIDI Thru=true\nIgnore Program Change=TRUE\n");
  s.host.SendMidi({{0x90, 60, 100}, {0xC0, 5, 0}, {0xB0, 121, 0}, {0xD0, 3, 0}, {0x80, 60, 0}});
  ASSERT_EQ(s.host.midiOut.size(), 5u);
  EXPECT_EQ(s.host.midiOut[1].status, 0xC0);  // echoed although ignored
  EXPECT_EQ(s.host.midiOut[1].data1, 5);
  EXPECT_EQ(s.host.midiOut[3].status, 0xD0);
  EXPECT_EQ(s.host.Dispatch(effGetProgram), 0);

  Started plain("");
  plain.host.SendMidi({{0xC3, 5, 0}});
  EXPECT_TRUE(plain.host.midiOut.empty());
  EXPECT_EQ(plain.host.Dispatch(effGetProgram), 5);
  EXPECT_EQ(plain.host.DispatchText(effGetProgramName), "KEY: Cheese");
}

TEST(MidiThroughHost, AssignedControllerDrivesItsParameter) {
  Started s("[MIDI Control]\nCC7=50\nCC1=50\n");  // 50 "Delay: Mix"; the wheel keeps its own meaning
  s.host.SetParameter(kDelayMix, 0.0f);
  s.host.ClearCalls();
  s.host.SendMidi({{0xB0, 7, 127}});
  s.Render();  // controllers take effect as the render call drains them
  const std::vector<HostCall> automations = s.host.CallsOf(audioMasterAutomate);
  ASSERT_EQ(automations.size(), 1u);
  EXPECT_EQ(automations[0].index, 50);
  EXPECT_FLOAT_EQ(automations[0].opt, 1.0f);
  EXPECT_FLOAT_EQ(s.host.GetParameter(kDelayMix), 1.0f);

  s.host.ClearCalls();
  s.host.SendMidi({{0xB2, 7, 127}, {0xB0, 1, 0}});  // the same value again; the wheel
  s.Render();
  EXPECT_EQ(s.host.CountCalls(audioMasterAutomate), 0);
  EXPECT_FLOAT_EQ(s.host.GetParameter(kDelayMix), 1.0f);
}

TEST(MidiThroughHost, HostIsToldTheControllerValueNotTheSnappedStep) {
  Started s("[MIDI Control]\nCC8=21\n");  // 21 "Glide: Direction", four choices
  s.host.SendMidi({{0xB0, 8, 64}});
  s.Render();
  const std::vector<HostCall> automations = s.host.CallsOf(audioMasterAutomate);
  ASSERT_EQ(automations.size(), 1u);
  EXPECT_EQ(automations[0].index, 21);
  EXPECT_FLOAT_EQ(automations[0].opt, float(64.0 / 127.0));
  EXPECT_FLOAT_EQ(s.host.GetParameter(kGlideDirection), float(2.0 / 3.0));  // the parameter itself snaps
}

}  // namespace
}  // namespace tessaron::test
