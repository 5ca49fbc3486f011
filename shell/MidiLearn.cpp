#include "shell/MidiLearn.h"

#include "shell/Configuration.h"

namespace tessaron {

void MidiLearn::Arm(bool active, bool unlearnFace) {
  pendingController_ = kNone;
  pendingParameter_ = kNone;
  mode_ = unlearnFace ? Mode::kUnlearn : Mode::kLearn;
  active_ = active;
}

void MidiLearn::Disarm() {
  if (!active_) return;
  active_ = false;
  if (switch_) switch_->LearnEnded();
}

void MidiLearn::CaptureParameter(int index, int parameterCount, Configuration& config) {
  if (!active_ || index < 0 || index >= parameterCount) return;
  pendingParameter_ = index;
  Resolve(config);
}

void MidiLearn::CaptureController(int controller, Configuration& config) {
  if (!active_ || controller < 0 || controller >= Configuration::kControllerCount) return;
  pendingController_ = controller;
  Resolve(config);
}

void MidiLearn::Resolve(Configuration& config) {
  const auto forgetParameter = [&](int32_t parameter) {
    for (int cc = 0; cc < Configuration::kControllerCount; ++cc) {
      if (config.Controller(cc) == parameter) config.SetController(cc, Configuration::kUnassigned);
    }
  };
  if (mode_ == Mode::kLearn) {
    if (pendingController_ == kNone || pendingParameter_ == kNone) return;
    // One controller per parameter: the new pair replaces older ones.
    forgetParameter(pendingParameter_);
    config.SetController(pendingController_, pendingParameter_);
    active_ = false;
  } else {
    if (pendingController_ != kNone) {
      config.SetController(pendingController_, Configuration::kUnassigned);
    } else if (pendingParameter_ != kNone) {
      forgetParameter(pendingParameter_);
    } else {
      return;
    }
    active_ = false;
    mode_ = Mode::kLearn;
  }
  if (switch_) switch_->LearnEnded();
}

}  // namespace tessaron
