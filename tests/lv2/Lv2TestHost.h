#pragma once
// A small LV2 host for tests, built on lilv: it finds the bundle the build wrote, makes
// instances with a URID map and block-length options, feeds the atom input and renders
// blocks; state goes through the plug-in's own state interface.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

namespace tessaron::test {

// One world with the built bundle loaded, and the URID map every instance shares.
class Lv2World {
 public:
  static Lv2World& Get();
  ~Lv2World();
  LilvWorld* World() const { return world_; }
  const LilvPlugin* Plugin() const { return plugin_; }
  LV2_URID Map(const char* uri);
  const char* Unmap(LV2_URID urid) const;
  LV2_URID_Map* MapFeature() { return &map_; }
  LV2_URID_Unmap* UnmapFeature() { return &unmap_; }
  // A node owned by the world for the lifetime of the tests.
  const LilvNode* Uri(const char* uri);

 private:
  Lv2World();
  LilvWorld* world_ = nullptr;
  const LilvPlugin* plugin_ = nullptr;
  std::vector<std::string> uris_;
  std::vector<LilvNode*> nodes_;
  LV2_URID_Map map_{};
  LV2_URID_Unmap unmap_{};
};

// What a state save stored: each key's type and bytes.
struct StoredValue {
  LV2_URID type = 0;
  std::vector<uint8_t> bytes;
  bool operator==(const StoredValue&) const = default;
};
using StoredState = std::map<LV2_URID, StoredValue>;

class Lv2Instance {
 public:
  explicit Lv2Instance(double rate = 48000.0, int block = 512);
  ~Lv2Instance();
  bool Valid() const { return instance_ != nullptr; }

  // Control port values are the host's: set them, then Run applies them.
  float& Control(int index) { return controls_[static_cast<std::size_t>(index)]; }
  void SetBySymbol(const std::string& symbol, float value);

  // Events for the next Run, at frame offsets within it.
  void Midi(uint32_t frame, std::vector<uint8_t> bytes);
  void Tempo(uint32_t frame, float beatsPerMinute);
  // One block of up to `block` frames; events queued so far go with it.
  void Run(uint32_t frames);
  // Renders frames in host blocks, events in the first.
  std::vector<std::vector<float>> Render(int frames);

  StoredState Save();
  LV2_State_Status Restore(const StoredState& state);
  LilvInstance* Raw() const { return instance_; }

 private:
  void StartSequence();

  int block_;
  int32_t blockOption_;
  std::vector<LV2_Options_Option> options_;
  LV2_Feature mapFeature_{}, unmapFeature_{}, optionsFeature_{};
  const LV2_Feature* features_[4] = {};
  LilvInstance* instance_ = nullptr;
  std::vector<float> controls_;
  std::vector<float> left_, right_;
  std::vector<uint64_t> sequence_;  // 8-byte aligned atom buffer
  LV2_Atom_Forge forge_{};
  LV2_Atom_Forge_Frame frame_{};
};

}  // namespace tessaron::test
