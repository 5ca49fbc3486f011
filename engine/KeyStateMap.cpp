#include "engine/KeyStateMap.h"

#include <algorithm>
#include <cmath>

#include "engine/Envelope.h"

namespace tessaron {

namespace {
constexpr double kKeyAttackSetting = 0.01;
constexpr double kDefaultKeyRelease = 0.3;
}  // namespace

void KeyStateMap::Reset(double fs) {
  Clear();
  hold = false;
  if (std::isfinite(fs) && fs > 0.0) scale_ = kLn10 / fs;
  attack_ = RateOf(kKeyAttackSetting) * scale_;
  release_ = RateOf(kDefaultKeyRelease) * scale_;
}

void KeyStateMap::SetRelease(double x) { release_ = RateOf(x) * scale_; }

void KeyStateMap::Start(uint8_t note) {
  note &= 0x7F;
  settled_ = false;
  states_[note] = KeyState{true, 0.0};
  if (present_[note]) return;
  present_[note] = true;
  ++listVersion_;
  int i = count_;
  while (i > 0 && notes_[size_t(i - 1)] > note) {
    notes_[size_t(i)] = notes_[size_t(i - 1)];
    --i;
  }
  notes_[size_t(i)] = note;
  ++count_;
}

void KeyStateMap::StepRamps() {
  // A held chord spends most of its samples here with nothing to do.
  if (settled_) return;
  bool settled = true;
  const int count = count_;  // a local: the stores into notes_ would make it a reload
  int kept = 0;
  for (int i = 0; i < count; ++i) {
    const uint8_t note = notes_[size_t(i)];
    KeyState& k = states_[note];
    if (k.gate) {
      if (k.level < 1.0) k.level = std::min(1.0, k.level + (kRiseTarget - k.level) * attack_);
      settled = settled && k.level >= 1.0;
    } else if (k.level > 0.0) {
      if (!hold) k.level = std::max(0.0, k.level - (k.level - kFallTarget) * release_);
      settled = false;
    } else {
      present_[note] = false;
      continue;
    }
    notes_[size_t(kept++)] = note;
  }
  if (kept != count) ++listVersion_;
  count_ = kept;
  settled_ = settled;
}

}  // namespace tessaron
