#pragma once
// MIDI learn: pairs the next parameter touched with the next controller received,
// or removes assignments in unlearn mode. The pairs live in the configuration's
// controller table.
#include <cstdint>

namespace tessaron {

class Configuration;

// What learn needs of the editor's learn switch: when learn ends on its own, the
// switch goes dark (value 0, redrawn) without reaching the instrument.
class LearnSwitchHook {
 public:
  virtual ~LearnSwitchHook() = default;
  virtual void LearnEnded() = 0;
};

class MidiLearn {
 public:
  enum class Mode { kLearn = 0, kUnlearn = 1 };
  static constexpr int32_t kNone = -1;

  // The switch's left click: clears what is pending, takes the mode from the face
  // the switch shows and arms learn when the switch's new value is on.
  void Arm(bool active, bool unlearnFace);

  // A reset: learn ends without touching the table, and the switch goes dark.
  void Disarm();

  // Each runs Resolve when learn is armed and the number is in range.
  void CaptureParameter(int index, int parameterCount, Configuration& config);
  void CaptureController(int controller, Configuration& config);

  bool Active() const { return active_; }
  Mode GetMode() const { return mode_; }
  int32_t PendingController() const { return pendingController_; }
  int32_t PendingParameter() const { return pendingParameter_; }

  // The switch belongs to the editor; nullptr until the layout creates it.
  void SetSwitch(LearnSwitchHook* hook) { switch_ = hook; }

 private:
  void Resolve(Configuration& config);

  bool active_ = false;
  Mode mode_ = Mode::kLearn;
  int32_t pendingController_ = kNone;
  int32_t pendingParameter_ = kNone;
  LearnSwitchHook* switch_ = nullptr;
};

}  // namespace tessaron
