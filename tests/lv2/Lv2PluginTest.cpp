// The LV2 edition as an LV2 host sees it: discovered through lilv, driven through its ports,
// atom input and state interface, and compared with the VST 2 module where both must agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <lv2/atom/atom.h>
#include <lv2/midi/midi.h>
#include <lv2/presets/presets.h>
#include <lv2/time/time.h>

#include "engine/ParameterIds.h"
#include "lv2/Lv2Instance.h"
#include "tests/abuse/CountingAllocator.h"
#include "tests/lv2/Lv2TestHost.h"
#include "tests/support/TestHost.h"

namespace tessaron::test {
namespace {

constexpr double kRate = 48000.0;
constexpr int kInitProgram = 63;  // the factory bank's "Init": the parameter defaults

std::string Key(const char* name) { return std::string(lv2::kPluginUri) + "#" + name; }

// Fundamental by normalised autocorrelation between 150 and 1000 Hz, refined by a parabola.
double Fundamental(const std::vector<float>& x, std::size_t from, std::size_t length) {
  const int minLag = static_cast<int>(kRate / 1000.0), maxLag = static_cast<int>(kRate / 150.0);
  std::vector<double> r(static_cast<std::size_t>(maxLag) + 2, 0.0);
  for (int lag = minLag - 1; lag <= maxLag + 1; ++lag) {
    double s = 0.0, e0 = 0.0, e1 = 0.0;
    for (std::size_t i = from; i < from + length; ++i) {
      s += double(x[i]) * x[i + lag];
      e0 += double(x[i]) * x[i];
      e1 += double(x[i + lag]) * x[i + lag];
    }
    r[lag] = s / std::sqrt(e0 * e1 + 1e-300);
  }
  int best = minLag;
  for (int lag = minLag; lag <= maxLag; ++lag) {
    if (r[lag] > r[best]) best = lag;
  }
  const double a = r[best - 1], b = r[best], c = r[best + 1];
  const double d = a - 2 * b + c;
  return kRate / (best + (d != 0.0 ? 0.5 * (a - c) / d : 0.0));
}

// First sample above 1 % of the peak.
std::size_t Onset(const std::vector<float>& x) {
  float peak = 0.0f;
  for (float v : x) peak = std::max(peak, std::fabs(v));
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (std::fabs(x[i]) > 0.01f * peak) return i;
  }
  return x.size();
}

// A VST 2 instance of the module built beside this bundle, opened at the test rate.
struct VstReference {
  TestHost host;
  VstReference() {
    if (!host.Load()) return;
    host.Dispatch(vst::effOpen);
    host.Dispatch(vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
    host.Dispatch(vst::effSetBlockSize, 0, 512);
    host.Dispatch(vst::effMainsChanged, 0, 1);
  }
};

TEST(Lv2Plugin, ListedWithTheParametersAsControlsTwoOutputsAndAMidiInput) {
  Lv2World& world = Lv2World::Get();
  const LilvPlugin* plugin = world.Plugin();
  ASSERT_NE(plugin, nullptr) << "bundle " << TESSARON_LV2_BUNDLE;
  ASSERT_EQ(lilv_plugin_get_num_ports(plugin), static_cast<uint32_t>(lv2::kPortCount));
  const LilvNode* input = world.Uri(LV2_CORE__InputPort);
  const LilvNode* output = world.Uri(LV2_CORE__OutputPort);
  const LilvNode* control = world.Uri(LV2_CORE__ControlPort);
  const LilvNode* audio = world.Uri(LV2_CORE__AudioPort);
  const LilvNode* atomPort = world.Uri(LV2_ATOM__AtomPort);
  EXPECT_EQ(lilv_plugin_get_num_ports_of_class(plugin, input, control, nullptr), static_cast<uint32_t>(kParameterCount));
  EXPECT_EQ(lilv_plugin_get_num_ports_of_class(plugin, output, audio, nullptr), 2u);
  EXPECT_EQ(lilv_plugin_get_num_ports_of_class(plugin, input, atomPort, nullptr), 1u);
  const LilvPort* events = lilv_plugin_get_port_by_index(plugin, lv2::kEventsInPort);
  EXPECT_TRUE(lilv_port_supports_event(plugin, events, world.Uri(LV2_MIDI__MidiEvent)));
  EXPECT_TRUE(lilv_port_supports_event(plugin, events, world.Uri(LV2_TIME__Position)));
  const LilvNode* instrument = lilv_plugin_class_get_uri(lilv_plugin_get_class(plugin));
  (void)instrument;  // the class needs the core schema loaded; the type is checked directly
  LilvNodes* types = lilv_world_find_nodes(world.World(), lilv_plugin_get_uri(plugin),
                                           world.Uri(LILV_NS_RDF "type"), world.Uri(LV2_CORE__InstrumentPlugin));
  EXPECT_EQ(lilv_nodes_size(types), 1u);
  lilv_nodes_free(types);

  // The controls follow the parameter table: names as the VST 2 module reports them,
  // ranges holding every value the parameter takes.
  VstReference vst;
  ASSERT_NE(vst.host.effect(), nullptr);
  std::vector<float> min(lv2::kPortCount), max(lv2::kPortCount), def(lv2::kPortCount);
  lilv_plugin_get_port_ranges_float(plugin, min.data(), max.data(), def.data());
  std::map<std::string, int> symbols;
  for (int i = 0; i < kParameterCount; ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
    ASSERT_TRUE(lilv_port_is_a(plugin, port, control)) << i;
    LilvNode* name = lilv_port_get_name(plugin, port);
    EXPECT_EQ(lilv_node_as_string(name), vst.host.ParamName(i)) << i;
    lilv_node_free(name);
    symbols[lilv_node_as_string(lilv_port_get_symbol(plugin, port))] = i;
    EXPECT_LT(min[i], max[i]) << i;
    EXPECT_TRUE(def[i] >= min[i] && def[i] <= max[i]) << i;
  }
  EXPECT_EQ(symbols.size(), static_cast<std::size_t>(kParameterCount)) << "symbols are unique";
  EXPECT_EQ(symbols.count("delay_time"), 1u);
  EXPECT_EQ(min[kSyncResetPhase], 0.0f);
  EXPECT_EQ(max[kSyncResetPhase], 360.0f);
  EXPECT_EQ(def[kSyncResetPhase], 45.0f);
  LilvScalePoints* points = lilv_port_get_scale_points(plugin, lilv_plugin_get_port_by_index(plugin, kGlideDirection));
  EXPECT_EQ(lilv_scale_points_size(points), 4u);
  lilv_scale_points_free(points);
}

TEST(Lv2Plugin, MiddleCThroughTheAtomPortSoundsAt261Hz) {
  Lv2Instance plugin(kRate);
  ASSERT_TRUE(plugin.Valid());
  plugin.Midi(100, {0x90, 60, 100});
  const auto out = plugin.Render(static_cast<int>(kRate));
  const auto first = std::find_if(out[0].begin(), out[0].end(), [](float v) { return v != 0.0f; }) - out[0].begin();
  EXPECT_GE(first, 100) << "nothing sounds before the note's frame";
  EXPECT_LE(first, 100 + 48) << "and it sounds within a control step of it";
  EXPECT_NEAR(Fundamental(out[0], 12000, 24000), 261.6, 0.5);
  for (float v : out[0]) ASSERT_TRUE(std::isfinite(v));
}

// The synced delay's time follows time:Position's tempo exactly as it follows a VST 2
// host's: the echo of a short note arrives when the module's does at the same tempo.
TEST(Lv2Plugin, TimePositionAt90BpmSetsTheSyncedDelayAsTheVst2ModuleDoes) {
  const auto setUpDelay = [](auto&& set) {
    set(kDelaySync, 1.0f);
    set(kDelayMix, 1.0f);  // the echo alone
    set(kDelayFeedback, 0.0f);
    set(kDelayVibe, 0.0f);
  };
  const int frames = static_cast<int>(kRate * 0.6);

  Lv2Instance plugin(kRate);
  ASSERT_TRUE(plugin.Valid());
  setUpDelay([&](int index, float normalized) { plugin.Control(index) = normalized; });  // 0/1 ranges
  plugin.Tempo(0, 90.0f);
  plugin.Midi(0, {0x90, 60, 100});
  plugin.Midi(480, {0x80, 60, 0});
  const std::size_t lv2Echo = Onset(plugin.Render(frames)[0]);

  VstReference vst;
  ASSERT_NE(vst.host.effect(), nullptr);
  ASSERT_EQ(vst.host.DispatchText(vst::effGetProgramNameIndexed, kInitProgram), "Init");
  vst.host.Dispatch(vst::effSetProgram, 0, kInitProgram);
  setUpDelay([&](int index, float normalized) { vst.host.SetParameter(index, normalized); });
  vst.host.timeInfo.tempo = 90.0;
  vst.host.timeInfo.sampleRate = kRate;
  vst.host.timeInfo.flags = vst::kVstTempoValid | vst::kVstTransportPlaying;
  vst.host.SendMidi({{0x90, 60, 100}}, 0);
  vst.host.SendMidi({{0x80, 60, 0}}, 480);
  std::vector<float> vstLeft;
  for (int done = 0; done < frames; done += 512) {
    std::vector<std::vector<float>> block(2, std::vector<float>(512));
    vst.host.ProcessReplacing(block, 512);
    vstLeft.insert(vstLeft.end(), block[0].begin(), block[0].end());
  }
  const std::size_t vstEcho = Onset(vstLeft);

  // "1/8" at 90 bpm is 333.3 ms; 120 bpm would give 250 ms.
  EXPECT_NEAR(lv2Echo / kRate * 1000.0, 333.3, 5.0);
  EXPECT_NEAR(static_cast<double>(lv2Echo), static_cast<double>(vstEcho), kRate * 0.001);
}

TEST(Lv2Plugin, StateRestoredIntoAFreshInstanceSavesTheSameBytesAndSoundsTheSame) {
  Lv2Instance first(kRate);
  ASSERT_TRUE(first.Valid());
  first.Midi(0, {0xC0, 5});  // a MIDI program change: the current program is not 0
  first.Run(0);
  first.Control(kVcfCutoff) = 0.35f;  // and edited
  first.Control(kGlideDirection) = 2.0f;
  first.Run(0);
  const StoredState saved = first.Save();
  ASSERT_EQ(saved.size(), 3u);
  const LV2_URID index = Lv2World::Get().Map(Key("programIndex").c_str());
  ASSERT_EQ(saved.count(index), 1u);
  EXPECT_EQ(saved.at(index).bytes, std::vector<uint8_t>({5, 0, 0, 0}));

  Lv2Instance second(kRate);
  ASSERT_TRUE(second.Valid());
  ASSERT_EQ(second.Restore(saved), LV2_STATE_SUCCESS);
  second.Run(0);  // its ports still hold the defaults: the restored sound stays
  EXPECT_EQ(second.Save(), saved);

  // Neither has rendered yet: the same note gives the same samples.
  first.Midi(0, {0x90, 57, 100});
  second.Midi(0, {0x90, 57, 100});
  const auto a = first.Render(24000);
  const auto b = second.Render(24000);
  double energy = 0.0;
  for (float v : a[0]) energy += double(v) * v;
  EXPECT_GT(energy, 1.0);
  EXPECT_EQ(a, b);
}

TEST(Lv2Plugin, EveryFactoryPresetLoadsItsProgram) {
  Lv2World& world = Lv2World::Get();
  ASSERT_NE(world.Plugin(), nullptr);
  VstReference vst;
  ASSERT_NE(vst.host.effect(), nullptr);
  Lv2Instance plugin(kRate);
  ASSERT_TRUE(plugin.Valid());

  LilvNodes* presets = lilv_plugin_get_related(world.Plugin(), world.Uri(LV2_PRESETS__Preset));
  ASSERT_EQ(lilv_nodes_size(presets), 64u);
  int loaded = 0;
  LILV_FOREACH(nodes, it, presets) {
    const LilvNode* preset = lilv_nodes_get(presets, it);
    const std::string uri = lilv_node_as_uri(preset);
    const int program = std::stoi(uri.substr(uri.size() - 2)) - 1;
    lilv_world_load_resource(world.World(), preset);
    LilvState* state = lilv_state_new_from_world(world.World(), world.MapFeature(), preset);
    ASSERT_NE(state, nullptr) << uri;
    EXPECT_EQ(std::string(lilv_state_get_label(state)),
              vst.host.DispatchText(vst::effGetProgramNameIndexed, program))
        << uri;
    lilv_state_restore(
        state, plugin.Raw(),
        [](const char* symbol, void* user, const void* value, uint32_t size, uint32_t type) {
          if (size == sizeof(float) && type == Lv2World::Get().Map(LV2_ATOM__Float)) {
            static_cast<Lv2Instance*>(user)->SetBySymbol(symbol, *static_cast<const float*>(value));
          }
        },
        &plugin, 0, nullptr);
    lilv_state_free(state);
    plugin.Run(0);

    // The instrument now holds the program's values: its program chunk, read by the VST 2
    // module, gives the parameters the module has for that factory program.
    const StoredValue chunk = plugin.Save().at(Lv2World::Get().Map(Key("program").c_str()));
    vst.host.Dispatch(vst::effSetProgram, 0, program);
    std::vector<float> expected;
    for (int i = 0; i < kParameterCount; ++i) expected.push_back(vst.host.GetParameter(i));
    ASSERT_EQ(vst.host.SetChunk(chunk.bytes, false), 1) << uri;
    for (int i = 0; i < kParameterCount; ++i) {
      EXPECT_NEAR(vst.host.GetParameter(i), expected[i], 1e-5) << uri << " parameter " << i;
    }
    ++loaded;
  }
  lilv_nodes_free(presets);
  EXPECT_EQ(loaded, 64);
}

TEST(Lv2Plugin, HostileStateIsRefusedAndChangesNothing) {
  Lv2Instance plugin(kRate);
  ASSERT_TRUE(plugin.Valid());
  plugin.Control(kVcfResonance) = 0.7f;
  plugin.Run(0);
  const StoredState good = plugin.Save();
  ASSERT_EQ(good.size(), 3u);
  const LV2_URID bank = Lv2World::Get().Map(Key("bank").c_str());
  const LV2_URID program = Lv2World::Get().Map(Key("program").c_str());
  const LV2_URID index = Lv2World::Get().Map(Key("programIndex").c_str());
  // A new instance is on the factory "Init", the program the ports' defaults describe.
  EXPECT_EQ(good.at(index).bytes, std::vector<uint8_t>({63, 0, 0, 0}));

  std::vector<StoredState> hostile;
  hostile.push_back({});  // nothing at all
  std::mt19937 random(20);
  for (const LV2_URID key : {bank, program}) {
    StoredState empty = good;
    empty[key].bytes.clear();
    hostile.push_back(empty);
    for (std::size_t cut : {std::size_t(1), std::size_t(7), good.at(key).bytes.size() / 2,
                            good.at(key).bytes.size() - 1}) {
      StoredState truncated = good;
      truncated[key].bytes.resize(cut);
      hostile.push_back(truncated);
    }
    StoredState longer = good;
    longer[key].bytes.push_back(0);
    hostile.push_back(longer);
    for (int n = 0; n < 20; ++n) {
      StoredState noise = good;
      for (uint8_t& b : noise[key].bytes) b = static_cast<uint8_t>(random());
      hostile.push_back(noise);
    }
    StoredState wrongType = good;
    wrongType[key].type = Lv2World::Get().Map(LV2_ATOM__String);
    hostile.push_back(wrongType);
  }
  for (const int32_t bad : {-1, 64, 1 << 30}) {
    StoredState outOfRange = good;
    outOfRange[index].bytes.assign(reinterpret_cast<const uint8_t*>(&bad), reinterpret_cast<const uint8_t*>(&bad) + 4);
    hostile.push_back(outOfRange);
  }
  StoredState shortIndex = good;
  shortIndex[index].bytes.resize(2);
  hostile.push_back(shortIndex);

  for (std::size_t i = 0; i < hostile.size(); ++i) {
    EXPECT_NE(plugin.Restore(hostile[i]), LV2_STATE_SUCCESS) << "case " << i;
    plugin.Run(0);
    ASSERT_EQ(plugin.Save(), good) << "case " << i;
  }
  EXPECT_EQ(plugin.Restore(good), LV2_STATE_SUCCESS);
}

TEST(Lv2Plugin, RunAllocatesNothingWhateverTheHostSends) {
  if (!CountingAllocations()) GTEST_SKIP() << "the sanitizer runtime owns operator new";
  WatchAllocations(true);
  Lv2Instance plugin(kRate, 512);
  WatchAllocations(false);
  ASSERT_TRUE(plugin.Valid());
  ASSERT_GT(WatchedAllocations(), 0) << "operator new is not interposed";
  std::vector<float> min(lv2::kPortCount), max(lv2::kPortCount);
  lilv_plugin_get_port_ranges_float(Lv2World::Get().Plugin(), min.data(), max.data(), nullptr);
  plugin.Render(512);
  ForgetAllocations();

  std::mt19937 random(7);
  const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  for (int block = 0; block < 1500; ++block) {
    const uint32_t frames = static_cast<uint32_t>(pick(0, 512));
    const uint32_t at = frames ? static_cast<uint32_t>(pick(0, static_cast<int>(frames) - 1)) : 0;
    const auto byte = [&] { return static_cast<uint8_t>(pick(0, 127)); };
    switch (pick(0, 7)) {
      case 0: plugin.Midi(at, {0x90, byte(), static_cast<uint8_t>(pick(1, 127))}); break;
      case 1: plugin.Midi(at, {0x80, byte(), 0}); break;
      case 2: plugin.Midi(at, {static_cast<uint8_t>(0xB0 | pick(0, 15)), byte(), byte()}); break;
      case 3: plugin.Midi(at, {0xE0, byte(), byte()}); break;
      case 4: plugin.Midi(at, {0xC0, static_cast<uint8_t>(pick(0, 63))}); break;
      case 5: plugin.Midi(at, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}); break;
      case 6: plugin.Tempo(at, static_cast<float>(pick(-10, 300))); break;
      default: {
        const int port = pick(0, kParameterCount - 1);
        plugin.Control(port) = min[port] + (max[port] - min[port]) * static_cast<float>(pick(0, 100)) / 100.0f;
      }
    }
    WatchAllocations(true);
    plugin.Run(frames);
    WatchAllocations(false);
    ASSERT_EQ(WatchedAllocations(), 0) << "block " << block;
  }
}

}  // namespace
}  // namespace tessaron::test
