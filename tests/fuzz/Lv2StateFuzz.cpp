// Feeds arbitrary state to the LV2 plug-in's restore, as a host reading a damaged project
// would: the input is the program index (4 bytes), the bank chunk's length (4 bytes), the
// bank chunk and then the program chunk. A refused restore must leave the saved state as
// it was; an accepted one must save again to the same bytes it restored from.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include "lv2/Lv2Instance.h"
#include "tests/fuzz/FuzzInstance.h"


namespace {

std::vector<std::string>& Uris() {
  static std::vector<std::string> uris;
  return uris;
}

LV2_URID Map(LV2_URID_Map_Handle, const char* uri) {
  auto& uris = Uris();
  for (std::size_t i = 0; i < uris.size(); ++i) {
    if (uris[i] == uri) return static_cast<LV2_URID>(i + 1);
  }
  uris.emplace_back(uri);
  return static_cast<LV2_URID>(uris.size());
}

struct Value {
  uint32_t type = 0;
  std::vector<uint8_t> bytes;
  bool operator==(const Value&) const = default;
};
using State = std::map<uint32_t, Value>;

LV2_URID_Map mapFeatureData{nullptr, &Map};
const LV2_Feature mapFeature{LV2_URID__map, &mapFeatureData};
const LV2_Feature* const features[] = {&mapFeature, nullptr};

struct Plugin {
  LV2_Handle handle = nullptr;
  const LV2_State_Interface* state = nullptr;
};

Plugin& Instance() {
  static Plugin plugin = [] {
    tessaron::fuzz::ScratchFolder();
    const LV2_Descriptor* descriptor = lv2_descriptor(0);
    Plugin p;
    p.handle = descriptor->instantiate(descriptor, 48000.0, "", features);
    if (!p.handle) std::abort();
    p.state = static_cast<const LV2_State_Interface*>(descriptor->extension_data(LV2_STATE__interface));
    descriptor->activate(p.handle);
    return p;
  }();
  return plugin;
}

State Save(const Plugin& p) {
  State saved;
  const auto store = [](LV2_State_Handle h, uint32_t key, const void* value, size_t size, uint32_t type, uint32_t) {
    const auto* bytes = static_cast<const uint8_t*>(value);
    (*static_cast<State*>(h))[key] = Value{type, std::vector<uint8_t>(bytes, bytes + size)};
    return LV2_STATE_SUCCESS;
  };
  if (p.state->save(p.handle, store, &saved, LV2_STATE_IS_POD, features) != LV2_STATE_SUCCESS) std::abort();
  return saved;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  Plugin& p = Instance();
  static State before = Save(p);
  if (size < 8) return 0;
  uint32_t bankLength = 0;
  std::memcpy(&bankLength, data + 4, 4);
  bankLength = static_cast<uint32_t>(std::min<std::size_t>(bankLength, size - 8));
  State input;
  input[Map(nullptr, (std::string(tessaron::lv2::kPluginUri) + "#programIndex").c_str())] =
      Value{Map(nullptr, "http://lv2plug.in/ns/ext/atom#Int"), std::vector<uint8_t>(data, data + 4)};
  const uint32_t chunk = Map(nullptr, "http://lv2plug.in/ns/ext/atom#Chunk");
  input[Map(nullptr, (std::string(tessaron::lv2::kPluginUri) + "#bank").c_str())] =
      Value{chunk, std::vector<uint8_t>(data + 8, data + 8 + bankLength)};
  input[Map(nullptr, (std::string(tessaron::lv2::kPluginUri) + "#program").c_str())] =
      Value{chunk, std::vector<uint8_t>(data + 8 + bankLength, data + size)};
  const auto retrieve = [](LV2_State_Handle h, uint32_t key, size_t* length, uint32_t* type,
                           uint32_t* flags) -> const void* {
    const State& s = *static_cast<const State*>(h);
    const auto it = s.find(key);
    if (it == s.end()) return nullptr;
    static const uint8_t nothing = 0;
    *length = it->second.bytes.size();
    *type = it->second.type;
    *flags = LV2_STATE_IS_POD;
    return it->second.bytes.empty() ? &nothing : it->second.bytes.data();
  };
  const LV2_State_Status status = p.state->restore(p.handle, retrieve, &input, 0, features);
  const State after = Save(p);
  if (status != LV2_STATE_SUCCESS) {
    if (!(after == before)) std::abort();
  } else {
    // What was restored saves again to itself once it has passed through the instrument.
    if (p.state->restore(p.handle, retrieve, const_cast<State*>(&after), 0, features) != LV2_STATE_SUCCESS) {
      std::abort();
    }
    if (!(Save(p) == after)) std::abort();
    before = after;
  }
  return 0;
}
