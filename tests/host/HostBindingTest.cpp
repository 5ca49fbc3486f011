#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "instrument/Tessaron.h"
#include "host/HostIdentification.h"

namespace tessaron {
namespace {

using namespace vst;

TEST(HostIdentification, ProductAndVendorStrings) {
  EXPECT_EQ(ClassifyHostProduct("Cubase Pro"), 3);
  EXPECT_EQ(ClassifyHostProduct("REAPER64"), 1);
  EXPECT_EQ(ClassifyHostProduct("Live 11"), 9);
  EXPECT_EQ(ClassifyHostProduct("Digital Performer"), 23);
  EXPECT_EQ(ClassifyHostProduct(""), 0);
  EXPECT_EQ(ClassifyHostProduct("MyHost"), 0);
  EXPECT_EQ(ClassifyHostProduct("Cubase Live Edition"), 3);  // earlier entry wins
  EXPECT_EQ(ClassifyHostProduct("GarageBand Forte"), 22);
  EXPECT_EQ(ClassifyHostProduct("OpenMPT"), 30);
  EXPECT_EQ(ClassifyHostProduct("Ardour"), 28);
  EXPECT_EQ(ClassifyHostProduct("PRO TOOLS"), 0);
  EXPECT_EQ(ClassifyHostProduct("ProTools"), 2);

  EXPECT_TRUE(VendorWantsProgramChunks("Native Instruments"));
  EXPECT_TRUE(VendorWantsProgramChunks("JUCE VST Host"));
  EXPECT_FALSE(VendorWantsProgramChunks("native instruments host"));
  EXPECT_FALSE(VendorWantsProgramChunks(""));

  EXPECT_TRUE(HostLimitsToStereoInput(15));
  EXPECT_TRUE(HostLimitsToStereoInput(20));
  EXPECT_FALSE(HostLimitsToStereoInput(3));
}

// Records what an instance tells its host.
struct Recorder {
  static inline std::vector<std::pair<int, float>> automations;
  static inline int updateDisplays = 0;
  static inline int timeQueries = 0;
  static inline VstTimeInfo time{};
  static VstIntPtr TESSARON_VSTCALL Callback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
    if (opcode == audioMasterAutomate) automations.emplace_back(index, opt);
    if (opcode == audioMasterUpdateDisplay) ++updateDisplays;
    if (opcode == audioMasterGetTime) {
      ++timeQueries;
      return reinterpret_cast<VstIntPtr>(&time);
    }
    return 0;
  }
  Recorder() {
    automations.clear();
    updateDisplays = 0;
    timeQueries = 0;
    time = VstTimeInfo{};
  }
};

TEST(HostBinding, EditorWritesAndProgramCommandsNotifyTheHost) {
  Recorder rec;
  Tessaron t(&Recorder::Callback);
  t.FillEmptyPrograms(kProgramCount);

  t.SetParamFromEditor(kVcfCutoff, 0.25);
  ASSERT_EQ(Recorder::automations.size(), 1u);
  EXPECT_EQ(Recorder::automations[0].first, kVcfCutoff);
  EXPECT_FLOAT_EQ(Recorder::automations[0].second, 0.25f);
  t.SetParamFromEditor(kVcfCutoff, std::numeric_limits<double>::quiet_NaN());  // ignored
  EXPECT_EQ(Recorder::automations.size(), 1u);

  Recorder::automations.clear();
  t.LoadInitProgram();
  // One notification per parameter for the writes, one more for the final report.
  ASSERT_EQ(Recorder::automations.size(), 2u * kParameterCount);
  EXPECT_FLOAT_EQ(Recorder::automations[kParameterCount + kVcfCutoff].second, 0.64f);

  Recorder::automations.clear();
  Recorder::updateDisplays = 0;  // loading the factory bank told the host once
  t.ChooseProgram(3);
  EXPECT_EQ(Recorder::updateDisplays, 1);
  EXPECT_EQ(Recorder::automations.size(), static_cast<std::size_t>(kParameterCount));
}

TEST(HostBinding, TimeQueriesHonourTheValidityFlags) {
  Recorder rec;
  Tessaron t(&Recorder::Callback);
  Recorder::time.samplePos = 99.6;
  Recorder::time.tempo = 133.0;
  Recorder::time.ppqPos = -1.0;
  Recorder::time.timeSigNumerator = 3;
  Recorder::time.timeSigDenominator = 8;
  Recorder::time.flags = kVstTimeSigValid | kVstTransportPlaying;
  EXPECT_EQ(t.GetSamplePos(), 100);
  EXPECT_EQ(t.GetTempo(), 0.0);  // tempo flag missing
  int num = -1, den = -1;
  t.GetTimeSig(&num, &den);
  EXPECT_EQ(num, 3);
  EXPECT_EQ(den, 8);

  TimeInfo info;
  info.tempo = 90.0;
  info.quarterNotePosition = 5.0;
  t.GetTime(&info);
  EXPECT_EQ(info.tempo, 90.0);               // kept
  EXPECT_EQ(info.quarterNotePosition, 5.0);  // kept
  EXPECT_EQ(info.samplePosition, 99.6);
  EXPECT_EQ(info.timeSignatureNumerator, 3);
  EXPECT_TRUE(info.playing);

  Recorder::time.flags = kVstTempoValid | kVstPpqPosValid;
  Recorder::time.ppqPos = 2.0;
  Recorder::time.samplePos = -50.0;
  t.GetTime(&info);
  EXPECT_EQ(info.tempo, 133.0);
  EXPECT_EQ(info.quarterNotePosition, 2.0);
  EXPECT_FALSE(info.playing);
  EXPECT_EQ(t.GetSamplePos(), 0);

  Recorder::time.flags = kVstTransportPlaying;  // none of the asked-for flags: nothing changes
  info.samplePosition = 1.0;
  t.GetTime(&info);
  EXPECT_EQ(info.samplePosition, 1.0);
}

TEST(HostBinding, UnusableRatesAndBlockSizesAreIgnored) {
  Tessaron t(nullptr);
  EXPECT_EQ(t.SampleRate(), 44100.0);
  EXPECT_EQ(t.BlockSize(), 1024);
  t.SetSampleRate(48000.0);
  t.SetSampleRate(0.0);
  t.SetSampleRate(-44100.0);
  t.SetSampleRate(std::numeric_limits<double>::quiet_NaN());
  t.SetSampleRate(std::numeric_limits<double>::infinity());
  EXPECT_EQ(t.SampleRate(), 48000.0);
  t.SetBlockSize(256);
  t.SetBlockSize(0);
  t.SetBlockSize(-1);
  t.SetBlockSize(kMaxBlockSize + 1);
  EXPECT_EQ(t.BlockSize(), 256);
  EXPECT_EQ(t.GetAEffect()->flags, 0x1131);
}

}  // namespace
}  // namespace tessaron
