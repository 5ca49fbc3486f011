#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "engine/ParameterIds.h"
#include "tests/abi/AbiTestSupport.h"

namespace tessaron::test {
namespace {

using namespace vst;

const char* const kNames[66] = {"Pitch Bend Amount",
                                "Mod.Wheel Amount",
                                "Synth: Volume",
                                "Organ: Volume",
                                "String: Volume",
                                "Synth: Panorama",
                                "Organ: Panorama",
                                "String: Panoram",
                                "Organ: 2'",
                                "Organ: 4'",
                                "Organ: 8'",
                                "Organ: 16'",
                                "Osc.1: Fine Tune",
                                "Osc.1: Octave",
                                "Osc.2: Coarse Tune",
                                "Osc.2: Octave",
                                "Osc.: Sync",
                                "Osc.: Octave Mod.",
                                "Glide: Amount",
                                "Glide: Speed",
                                "Glide: Enable",
                                "Glide: Direction",
                                "Waveform Selection: Waveform",
                                "Waveform Selection: Alternate",
                                "Waveform Selection: Enable",
                                "VCF: Cutoff",
                                "VCF: Resonance",
                                "VCF: Envelope",
                                "Envelope: Attack",
                                "Envelope: Decay",
                                "Envelope: Sustain",
                                "Envelope: Release",
                                "LFO: Routing",
                                "LFO: Reset",
                                "LFO: Waveshape",
                                "Modulation: Speed",
                                "Modulation: Slope",
                                "Modulation: Delay",
                                "Modulation: Depth",
                                "String: Footages",
                                "String: Timbre",
                                "String: Attack",
                                "String: Release",
                                "Phaser: Speed",
                                "Phaser: Feedback",
                                "Phaser: String",
                                "Phaser: Synth",
                                "Phaser: Organ",
                                "Delay: Time",
                                "Delay: Feedback",
                                "Delay: Mix",
                                "Delay: Double",
                                "Delay: Sync",
                                "Delay: Vibe",
                                "Delay: Ping-Pong",
                                "Tweak: Master Tune",
                                "Tweak: Sync Reset",
                                "Tweak: Sync Reset Phase",
                                "Tweak: Key Release",
                                "Tweak: Ensemble LFO 1 Speed",
                                "Tweak: Ensemble LFO 2 Speed",
                                "Tweak: Ensemble LFO 1 Depth",
                                "Tweak: Ensemble LFO 2 Depth",
                                "Tweak: Delay Vibe Speed",
                                "Tweak: Delay Vibe Depth",
                                "Synth: Volume"};

const char* const kDefaultDisplays[66] = {
    "2",        "0.10",     "-6.0", "-oo",   "-oo",  "50:50", "50:50", "50:50", "0.00", "0.00", "1.00",
    "0.00",     "0.000",    "Off",  "0.000", "Off",  "Off",   "Off",   "0.00",  "0.18", "Mono", "A",
    "Sawtooth", "Off",      "Mono", "4186",  "0.00", "0.000", "0.00",  "0.00",  "1.00", "0.10", "FM",
    "Mono",     "Triangle", "4.60", "0.00",  "0.0",  "0.00",  "50:50", "0.50",  "0.20", "0.30", "0.19",
    "-0.300",   "Off",      "Off",  "Off",   "0.50", "0.30",  "100:0", "Off",   "Off",  "On",   "Off",
    "0.00",     "Off",      "45",   "0.30",  "0.72", "5.00",  "0.12",  "0.04",  "0.02", "0.20", "-6.0"};

TEST(Module, RecordAsTheHostSeesIt) {
  ASSERT_NE(LoadedModule::Get().Entry(), nullptr) << LoadedModule::Get().Error();
  TestHost host;
  ASSERT_TRUE(host.Load());
  const AEffect* e = host.effect();
  EXPECT_EQ(e->magic, 0x56737450);
  EXPECT_EQ(e->numPrograms, 64);
  EXPECT_EQ(e->numParams, 66);
  EXPECT_EQ(e->numInputs, 0);
  EXPECT_EQ(e->numOutputs, 2);
  EXPECT_EQ(e->uniqueID, 0x5473726E);
  EXPECT_EQ(e->version, 10001);
  EXPECT_EQ(e->flags, 0x1131);  // with the editor
  EXPECT_EQ(e->initialDelay, 0);
  EXPECT_EQ(e->ioRatio, 1.0f);
  EXPECT_EQ(e->realQualities, 0);
  EXPECT_EQ(e->user, &host);
  EXPECT_NE(e->object, nullptr);
  for (char c : e->future) EXPECT_EQ(c, 0);
  EXPECT_NE(e->process, nullptr);
  EXPECT_NE(e->processReplacing, nullptr);
  EXPECT_NE(e->processDoubleReplacing, nullptr);

  // The second export builds an instance just the same.
  LoadedModule::EntryPoint alias = LoadedModule::Get().SymbolEntry("main");
  ASSERT_NE(alias, nullptr);
  AEffect* other = alias(nullptr);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(other->magic, 0x56737450);
  EXPECT_NE(other, e);
  other->dispatcher(other, effClose, 0, 0, nullptr, 0.0f);
}

TEST(Module, InstancesBuiltFromSeveralThreads) {
  std::vector<std::thread> threads;
  std::vector<int> built(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&built, t] {
      for (int i = 0; i < 5; ++i) {
        AEffect* e = LoadedModule::Get().Entry()(nullptr);
        if (!e) continue;
        built[t] += e->numParams == 66;
        e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int n : built) EXPECT_EQ(n, 5);
}

using Dispatcher = OpenedInstance;

TEST_F(Dispatcher, FixedAnswers) {
  EXPECT_EQ(host.Dispatch(effGetPlugCategory), 2);
  EXPECT_EQ(host.Dispatch(effGetVstVersion), 2400);
  EXPECT_EQ(host.Dispatch(effIdentify), 0x4E764566);
  EXPECT_EQ(host.Dispatch(effGetTailSize), 0);
  EXPECT_EQ(host.Dispatch(effGetVendorVersion), 10001);
  EXPECT_EQ(host.Dispatch(effCanBeAutomated, 999), 1);
  EXPECT_EQ(host.Dispatch(effProcessVarIo), 0);
  intptr_t answer = 0;
  EXPECT_EQ(host.DispatchText(effGetEffectName, 0, &answer), "Tessaron");
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(host.DispatchText(effGetVendorString, 0, &answer), "Grey Lantern Labs");
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(host.DispatchText(effGetProductString, 0, &answer), "");
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(host.Dispatch(effGetEffectName), 0);  // null text buffer

  // The editor is 1125 x 400; it cannot open without a parent window.
  ERect* rect = nullptr;
  EXPECT_EQ(host.Dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->bottom, 400);
  EXPECT_EQ(rect->right, 1125);
  EXPECT_EQ(host.Dispatch(effEditOpen), 0);
  EXPECT_EQ(host.Dispatch(effEditClose), 1);

  MidiKeyName key{};
  key.thisKeyNumber = 60;
  std::strcpy(key.keyName, "junk");
  EXPECT_EQ(host.Dispatch(effGetMidiKeyName, 0, 0, &key), 0);
  EXPECT_STREQ(key.keyName, "");

  VstSpeakerArrangement* in = nullptr;
  VstSpeakerArrangement* out = nullptr;
  EXPECT_EQ(host.Dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&in), &out), 1);
  ASSERT_TRUE(in && out);
  EXPECT_EQ(in->type, -1);
  EXPECT_EQ(in->numChannels, 0);
  EXPECT_EQ(out->type, 1);
  EXPECT_EQ(out->numChannels, 2);
}

TEST_F(Dispatcher, CanDoPinsAndVendorSpecific) {
  auto canDo = [this](const char* text) { return host.Dispatch(effCanDo, 0, 0, const_cast<char*>(text)); };
  EXPECT_EQ(canDo("receiveVstTimeInfo"), 1);
  EXPECT_EQ(canDo("receiveVstMidiEvent"), 1);
  EXPECT_EQ(canDo("sendVstMidiEvent"), 1);
  EXPECT_EQ(canDo("receiveVstEvents"), 1);
  EXPECT_EQ(canDo("sendVstEvents"), 1);
  EXPECT_EQ(canDo("hasCockosExtensions"), static_cast<intptr_t>(0xBEEF0000));
  EXPECT_EQ(canDo("hasCockosViewAsConfig"), static_cast<intptr_t>(0xBEEF0000));
  EXPECT_EQ(canDo("bypass"), 0);
  EXPECT_EQ(canDo("ReceiveVstMidiEvent"), 0);
  EXPECT_EQ(host.Dispatch(effCanDo), 0);

  VstPinProperties pin{};
  std::strcpy(pin.shortLabel, "kept");
  EXPECT_EQ(host.Dispatch(effGetOutputProperties, 0, 0, &pin), 1);
  EXPECT_EQ(pin.flags, 3);
  EXPECT_STREQ(pin.label, "Output 1");
  EXPECT_STREQ(pin.shortLabel, "kept");
  EXPECT_EQ(host.Dispatch(effGetOutputProperties, 1, 0, &pin), 1);
  EXPECT_EQ(pin.flags, 1);
  EXPECT_STREQ(pin.label, "Output 2");
  EXPECT_EQ(host.Dispatch(effGetOutputProperties, 2, 0, &pin), 0);
  EXPECT_EQ(host.Dispatch(effGetOutputProperties, -1, 0, &pin), 0);
  EXPECT_EQ(host.Dispatch(effGetInputProperties, 0, 0, &pin), 0);
  EXPECT_EQ(host.Dispatch(effGetOutputProperties, 0, 0, nullptr), 0);

  char text[128] = "untouched";
  EXPECT_EQ(host.Dispatch(effVendorSpecific, 8, 35, text), 0);       // continuous
  EXPECT_EQ(host.Dispatch(effVendorSpecific, 8, 13, text), 0xBEEF);  // choice
  EXPECT_EQ(host.Dispatch(effVendorSpecific, 8, 66, text), 0);
  EXPECT_STREQ(text, "untouched");
  EXPECT_EQ(host.Dispatch(effVendorSpecific, 7, 25, text, 0.0f), 0xBEEF);
  EXPECT_STREQ(text, "8.2");
  EXPECT_EQ(host.Dispatch(effVendorSpecific, 7, 21, text, 1.0f), 0xBEEF);
  EXPECT_STREQ(text, "D");
  std::strcpy(text, "untouched");
  EXPECT_EQ(host.Dispatch(effVendorSpecific, 7, 66, text, 0.5f), 0xBEEF);
  EXPECT_STREQ(text, "untouched");
  EXPECT_EQ(host.Dispatch(effVendorSpecific, 7, 0, nullptr, 0.5f), 0);
  EXPECT_EQ(host.Dispatch(effVendorSpecific, 7, 25, text, std::numeric_limits<float>::quiet_NaN()), 0xBEEF);
  EXPECT_EQ(host.Dispatch(effVendorSpecific, 3, 0, text), 0);
}

TEST_F(Dispatcher, ParameterNamesDisplaysAndHostWrites) {
  host.Dispatch(effSetProgram, 0, 63);  // the factory bank's "Init" holds the defaults
  for (int i = 0; i < 66; ++i) {
    EXPECT_EQ(host.ParamName(i), kNames[i]) << i;
    EXPECT_EQ(host.ParamDisplay(i), kDefaultDisplays[i]) << i << " " << kNames[i];
    EXPECT_EQ(host.DispatchText(effGetParamLabel, i), "") << i;
  }
  EXPECT_EQ(host.ParamName(kParameterCount), "");
  EXPECT_EQ(host.ParamDisplay(-1), "");

  host.ClearCalls();
  host.SetParameter(kSynthLevel, 1.0f);
  EXPECT_EQ(host.ParamDisplay(kSynthLevel), "0.0");
  host.SetParameter(kGlideDirection, 0.4f);
  EXPECT_EQ(host.ParamDisplay(kGlideDirection), "B");
  EXPECT_FLOAT_EQ(host.GetParameter(kGlideDirection), 1.0f / 3.0f);
  host.SetParameter(kModSpeed, 0.5f);
  EXPECT_EQ(host.ParamDisplay(kModSpeed), "6.25");
  host.SetParameter(kVcfCutoff, 0.0f);
  EXPECT_EQ(host.ParamDisplay(kVcfCutoff), "8.2");
  host.SetParameter(kDelaySync, 1.0f);  // synced delay time shows a division
  EXPECT_EQ(host.ParamDisplay(kDelayTime), "1/8");
  host.SetParameter(kDelaySync, 0.0f);
  EXPECT_EQ(host.ParamDisplay(kDelayTime), "0.50");
  EXPECT_EQ(host.CountCalls(audioMasterAutomate), 0);  // host writes are not echoed

  // Out of range, NaN and invalid indices.
  host.SetParameter(kBendRange, 2.0f);
  EXPECT_EQ(host.ParamDisplay(kBendRange), "24");
  host.SetParameter(kBendRange, -1.0f);
  EXPECT_EQ(host.ParamDisplay(kBendRange), "-24");
  host.SetParameter(kBendRange, std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(host.ParamDisplay(kBendRange), "-24");
  host.SetParameter(kParameterCount, 0.5f);
  host.SetParameter(-1, 0.5f);
  EXPECT_EQ(host.GetParameter(-1), 0.0f);
  EXPECT_EQ(host.GetParameter(kParameterCount), 0.0f);
  EXPECT_FLOAT_EQ(host.GetParameter(kVcfCutoff), 0.0f);
  EXPECT_FLOAT_EQ(host.GetParameter(kMasterLevel), 0.5f);
}

TEST_F(Dispatcher, TextToParameter) {
  auto set = [this](int index, const char* text) {
    return host.Dispatch(effString2Parameter, index, 0, const_cast<char*>(text));
  };
  EXPECT_EQ(set(13, "On"), 1);
  EXPECT_EQ(host.ParamDisplay(kOsc1Octave), "On");
  EXPECT_EQ(set(13, "Maybe"), 0);
  EXPECT_EQ(set(13, "on"), 0);  // case-sensitive
  EXPECT_EQ(host.ParamDisplay(kOsc1Octave), "On");
  EXPECT_EQ(set(22, "Mix"), 1);
  EXPECT_FLOAT_EQ(host.GetParameter(kWaveform), 1.0f);
  EXPECT_EQ(set(35, "100"), 1);
  EXPECT_EQ(host.ParamDisplay(kModSpeed), "25.00");
  EXPECT_EQ(set(35, " 1.234"), 1);
  EXPECT_EQ(host.ParamDisplay(kModSpeed), "1.23");  // not snapped, shown with the precision
  EXPECT_EQ(set(0, "-7"), 1);
  EXPECT_EQ(host.ParamDisplay(kBendRange), "-7");
  EXPECT_EQ(set(0, "nonsense"), 1);  // not a number reads as 0
  EXPECT_EQ(host.ParamDisplay(kBendRange), "0");
  EXPECT_EQ(set(66, "1"), 0);
  EXPECT_EQ(host.Dispatch(effString2Parameter, 0, 0, nullptr), 1);
}

TEST_F(Dispatcher, ProgramsSwitchStoreAndRename) {
  EXPECT_EQ(host.Dispatch(effGetProgram), 0);
  intptr_t answer = 0;
  EXPECT_EQ(host.DispatchText(effGetProgramNameIndexed, 63, &answer), "Init");
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(host.DispatchText(effGetProgramNameIndexed, 64, &answer), "");
  EXPECT_EQ(answer, 0);

  host.SetParameter(kDelayTime, 0.2f);
  host.Dispatch(effSetProgram, 0, 5);
  EXPECT_EQ(host.Dispatch(effGetProgram), 5);
  EXPECT_FLOAT_EQ(host.GetParameter(kDelayTime), 0.5f);
  host.SetParameter(kDelayTime, 0.9f);
  host.Dispatch(effSetProgram, 0, 0);
  EXPECT_FLOAT_EQ(host.GetParameter(kDelayTime), 0.2f);  // edits were stored on leaving
  host.Dispatch(effSetProgram, 0, 5);
  EXPECT_FLOAT_EQ(host.GetParameter(kDelayTime), 0.9f);

  // Out of range: stores the live values, changes nothing else.
  host.SetParameter(kDelayTime, 0.3f);
  host.Dispatch(effSetProgram, 0, 64);
  host.Dispatch(effSetProgram, 0, -1);
  EXPECT_EQ(host.Dispatch(effGetProgram), 5);
  host.Dispatch(effSetProgram, 0, 1);
  host.Dispatch(effSetProgram, 0, 5);
  EXPECT_FLOAT_EQ(host.GetParameter(kDelayTime), 0.3f);

  char name[64] = "Bright Lead";
  host.Dispatch(effSetProgramName, 0, 0, name);
  EXPECT_EQ(host.DispatchText(effGetProgramName), "Bright Lead");
  EXPECT_EQ(host.DispatchText(effGetProgramNameIndexed, 5), "Bright Lead");
  host.SetParameter(kDelayTime, 0.7f);
  char empty[4] = "";
  host.Dispatch(effSetProgramName, 0, 0, empty);  // keeps the name, stores the values
  EXPECT_EQ(host.DispatchText(effGetProgramName), "Bright Lead");
  host.Dispatch(effSetProgram, 0, 1);
  host.SetParameter(kDelayTime, 0.0f);
  host.Dispatch(effSetProgram, 0, 5);
  EXPECT_FLOAT_EQ(host.GetParameter(kDelayTime), 0.7f);

  // A long name is kept whole in the slot but never written past 64 bytes of a host buffer.
  std::string longName(300, 'n');
  host.Dispatch(effSetProgramName, 0, 0, longName.data());
  EXPECT_EQ(host.DispatchText(effGetProgramName).size(), 63u);
}

TEST_F(Dispatcher, MidiEventsAndBadInput) {
  EXPECT_EQ(host.SendMidi({}), 1);
  EXPECT_EQ(host.Dispatch(effProcessEvents, 0, 0, nullptr), 0);
  EXPECT_EQ(host.SendMidi({{0x90, 60, 100}, {0x80, 60, 0}, {0xB0, 123, 0}}), 1);

  // A list with a null entry, a system-exclusive event and an unknown type.
  VstMidiSysexEvent sysex{};
  sysex.type = kVstSysExType;
  sysex.byteSize = sizeof(sysex);
  sysex.dumpBytes = 3;
  char dump[3] = {static_cast<char>(0xF0), 1, static_cast<char>(0xF7)};
  sysex.sysexDump = dump;
  VstEvent unknown{};
  unknown.type = 99;
  struct {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[3];
  } list{3, 0, {nullptr, reinterpret_cast<VstEvent*>(&sysex), &unknown}};
  EXPECT_EQ(host.Dispatch(effProcessEvents, 0, 0, &list), 1);

  // Every opcode with null pointers and an invalid index must answer without harm.
  for (int op = 0; op < 100; ++op) {
    if (op == effClose) continue;
    host.Dispatch(op, -1, 0, nullptr, std::numeric_limits<float>::quiet_NaN());
  }
  EXPECT_EQ(host.Dispatch(effGetVstVersion), 2400);

  // A record whose object is gone answers 0.
  AEffect copy = *host.effect();
  copy.object = nullptr;
  EXPECT_EQ(copy.dispatcher(&copy, effGetVstVersion, 0, 0, nullptr, 0.0f), 0);
  EXPECT_EQ(copy.getParameter(&copy, 0), 0.0f);
  copy.setParameter(&copy, 0, 0.5f);
  copy.processReplacing(&copy, nullptr, nullptr, 64);
}

}  // namespace
}  // namespace tessaron::test
