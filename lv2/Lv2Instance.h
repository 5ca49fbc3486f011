#pragma once
// What the LV2 plug-in instance offers its UI in the same process (instance-access):
// the instrument, driven as a VST 2 host would drive it, and the edits the instrument
// reported to its host, waiting for the UI to pass them on as port writes.
#include <array>
#include <atomic>

#include "engine/ParameterIds.h"
#include "host/VstAbi.h"

namespace tessaron::lv2 {

// Port indices: the parameters first, in parameter order.
constexpr int kFirstControlPort = 0;
constexpr int kLeftOutPort = kParameterCount;
constexpr int kRightOutPort = kParameterCount + 1;
constexpr int kEventsInPort = kParameterCount + 2;
constexpr int kPortCount = kParameterCount + 3;

constexpr char kPluginUri[] = "http://www.greylanternlabs.com/plugins/tessaron";
constexpr char kUiUri[] = "http://www.greylanternlabs.com/plugins/tessaron#ui";

// Filled on whatever thread the instrument calls its host from (the panel's, the audio
// thread for learned controllers); taken on the UI's thread. Lock-free both ways.
struct PendingEdits {
  std::array<std::atomic<float>, kParameterCount> value{};
  std::array<std::atomic<bool>, kParameterCount> changed{};
  std::atomic<bool> programChanged{false};  // every port may differ: write them all
  std::atomic<bool> resized{false};
  std::atomic<int> width{0};
  std::atomic<int> height{0};
};

class Lv2Instance {
 public:
  virtual ~Lv2Instance() = default;
  // The instrument's plug-in record; its dispatcher takes the editor opcodes as from a host.
  virtual vst::AEffect* Effect() = 0;
  virtual PendingEdits& EditsForUi() = 0;
};

}  // namespace tessaron::lv2
