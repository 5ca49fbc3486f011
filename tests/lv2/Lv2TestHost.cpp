#include "tests/lv2/Lv2TestHost.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>
#include <lv2/time/time.h>

#include "lv2/Lv2Instance.h"

namespace tessaron::test {

Lv2World& Lv2World::Get() {
  static Lv2World world;
  return world;
}

Lv2World::Lv2World() {
  uris_.reserve(4096);
  map_.handle = this;
  map_.map = [](LV2_URID_Map_Handle handle, const char* uri) { return static_cast<Lv2World*>(handle)->Map(uri); };
  unmap_.handle = this;
  unmap_.unmap = [](LV2_URID_Unmap_Handle handle, LV2_URID urid) {
    return static_cast<Lv2World*>(handle)->Unmap(urid);
  };
  world_ = lilv_world_new();
  LilvNode* bundle = lilv_new_file_uri(world_, nullptr, TESSARON_LV2_BUNDLE "/");
  lilv_world_load_bundle(world_, bundle);
  lilv_node_free(bundle);
  plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), Uri(lv2::kPluginUri));
}

Lv2World::~Lv2World() {
  for (LilvNode* node : nodes_) lilv_node_free(node);
  lilv_world_free(world_);
}

LV2_URID Lv2World::Map(const char* uri) {
  for (std::size_t i = 0; i < uris_.size(); ++i) {
    if (uris_[i] == uri) return static_cast<LV2_URID>(i + 1);
  }
  uris_.emplace_back(uri);
  return static_cast<LV2_URID>(uris_.size());
}

const char* Lv2World::Unmap(LV2_URID urid) const {
  return urid >= 1 && urid <= uris_.size() ? uris_[urid - 1].c_str() : nullptr;
}

const LilvNode* Lv2World::Uri(const char* uri) {
  nodes_.push_back(lilv_new_uri(world_, uri));
  return nodes_.back();
}

Lv2Instance::Lv2Instance(double rate, int block) : block_(block), blockOption_(block) {
  Lv2World& world = Lv2World::Get();
  if (!world.Plugin()) return;
  options_ = {
      {LV2_OPTIONS_INSTANCE, 0, world.Map(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t),
       world.Map(LV2_ATOM__Int), &blockOption_},
      {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr},
  };
  mapFeature_ = {LV2_URID__map, world.MapFeature()};
  unmapFeature_ = {LV2_URID__unmap, world.UnmapFeature()};
  optionsFeature_ = {LV2_OPTIONS__options, options_.data()};
  features_[0] = &mapFeature_;
  features_[1] = &unmapFeature_;
  features_[2] = &optionsFeature_;
  instance_ = lilv_plugin_instantiate(world.Plugin(), rate, features_);
  if (!instance_) return;
  const LilvPlugin* plugin = world.Plugin();
  const uint32_t ports = lilv_plugin_get_num_ports(plugin);
  std::vector<float> defaults(ports, 0.0f);
  lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, defaults.data());
  controls_.assign(defaults.begin(), defaults.begin() + lv2::kLeftOutPort);
  left_.assign(static_cast<std::size_t>(block), 0.0f);
  right_.assign(static_cast<std::size_t>(block), 0.0f);
  sequence_.assign(8192, 0);
  for (int i = 0; i < lv2::kLeftOutPort; ++i) lilv_instance_connect_port(instance_, i, &controls_[i]);
  lilv_instance_connect_port(instance_, lv2::kLeftOutPort, left_.data());
  lilv_instance_connect_port(instance_, lv2::kRightOutPort, right_.data());
  lilv_instance_connect_port(instance_, lv2::kEventsInPort, sequence_.data());
  lv2_atom_forge_init(&forge_, world.MapFeature());
  StartSequence();
  lilv_instance_activate(instance_);
}

Lv2Instance::~Lv2Instance() {
  if (!instance_) return;
  lilv_instance_deactivate(instance_);
  lilv_instance_free(instance_);
}

void Lv2Instance::SetBySymbol(const std::string& symbol, float value) {
  LilvNode* node = lilv_new_string(Lv2World::Get().World(), symbol.c_str());
  const LilvPort* port = lilv_plugin_get_port_by_symbol(Lv2World::Get().Plugin(), node);
  lilv_node_free(node);
  if (!port) throw std::runtime_error("no port " + symbol);
  const uint32_t index = lilv_port_get_index(Lv2World::Get().Plugin(), port);
  if (index >= controls_.size()) throw std::runtime_error("not a control port: " + symbol);
  controls_[index] = value;
}

void Lv2Instance::StartSequence() {
  lv2_atom_forge_set_buffer(&forge_, reinterpret_cast<uint8_t*>(sequence_.data()),
                            sequence_.size() * sizeof(uint64_t));
  lv2_atom_forge_sequence_head(&forge_, &frame_, 0);
}

void Lv2Instance::Midi(uint32_t frame, std::vector<uint8_t> bytes) {
  lv2_atom_forge_frame_time(&forge_, frame);
  lv2_atom_forge_atom(&forge_, static_cast<uint32_t>(bytes.size()), Lv2World::Get().Map(LV2_MIDI__MidiEvent));
  lv2_atom_forge_write(&forge_, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

void Lv2Instance::Tempo(uint32_t frame, float beatsPerMinute) {
  Lv2World& world = Lv2World::Get();
  lv2_atom_forge_frame_time(&forge_, frame);
  LV2_Atom_Forge_Frame object;
  lv2_atom_forge_object(&forge_, &object, 0, world.Map(LV2_TIME__Position));
  lv2_atom_forge_key(&forge_, world.Map(LV2_TIME__beatsPerMinute));
  lv2_atom_forge_float(&forge_, beatsPerMinute);
  lv2_atom_forge_key(&forge_, world.Map(LV2_TIME__speed));
  lv2_atom_forge_float(&forge_, 1.0f);
  lv2_atom_forge_pop(&forge_, &object);
}

void Lv2Instance::Run(uint32_t frames) {
  lv2_atom_forge_pop(&forge_, &frame_);
  lilv_instance_run(instance_, frames);
  StartSequence();
}

std::vector<std::vector<float>> Lv2Instance::Render(int frames) {
  std::vector<std::vector<float>> out(2);
  for (int done = 0; done < frames;) {
    const int n = std::min(block_, frames - done);
    Run(static_cast<uint32_t>(n));
    out[0].insert(out[0].end(), left_.begin(), left_.begin() + n);
    out[1].insert(out[1].end(), right_.begin(), right_.begin() + n);
    done += n;
  }
  return out;
}

namespace {

const LV2_State_Interface* StateOf(LilvInstance* instance) {
  return static_cast<const LV2_State_Interface*>(lilv_instance_get_extension_data(instance, LV2_STATE__interface));
}

}  // namespace

StoredState Lv2Instance::Save() {
  StoredState state;
  const LV2_State_Interface* iface = StateOf(instance_);
  if (!iface) return state;
  const auto store = [](LV2_State_Handle handle, uint32_t key, const void* value, size_t size, uint32_t type,
                        uint32_t) {
    auto* s = static_cast<StoredState*>(handle);
    const auto* bytes = static_cast<const uint8_t*>(value);
    (*s)[key] = StoredValue{type, std::vector<uint8_t>(bytes, bytes + size)};
    return LV2_STATE_SUCCESS;
  };
  if (iface->save(lilv_instance_get_handle(instance_), store, &state, LV2_STATE_IS_POD, features_) !=
      LV2_STATE_SUCCESS) {
    state.clear();
  }
  return state;
}

LV2_State_Status Lv2Instance::Restore(const StoredState& state) {
  const LV2_State_Interface* iface = StateOf(instance_);
  if (!iface) return LV2_STATE_ERR_UNKNOWN;
  const auto retrieve = [](LV2_State_Handle handle, uint32_t key, size_t* size, uint32_t* type,
                           uint32_t* flags) -> const void* {
    const auto* s = static_cast<const StoredState*>(handle);
    const auto it = s->find(key);
    if (it == s->end()) return nullptr;
    *size = it->second.bytes.size();
    *type = it->second.type;
    *flags = LV2_STATE_IS_POD;
    // An empty value still answers a pointer, as a host holding a zero-length chunk would.
    static const uint8_t kNothing = 0;
    return it->second.bytes.empty() ? &kNothing : it->second.bytes.data();
  };
  return iface->restore(lilv_instance_get_handle(instance_), retrieve, const_cast<StoredState*>(&state), 0,
                        features_);
}

}  // namespace tessaron::test
