#pragma once
// The keys that sound (held, sustained or fading), each with its own gate and
// level, iterated in ascending note order. At most 128 entries: a fixed table
// plus a sorted list of present notes, so the per-sample key loop touches only
// sounding keys and nothing here ever allocates.
// Threads: audio thread, under the instrument's lock.
#include <array>
#include <cstddef>
#include <cstdint>

namespace tessaron {

struct KeyState {
  bool gate = false;  // key held or sustained
  double level = 0.0;
};

class KeyStateMap {
 public:
  static constexpr int kNotes = 128;

  KeyStateMap() { Reset(44100.0); }

  // Empties the map and derives the coefficients for fs; the release uses the
  // default key release until SetRelease runs again. A rate that is not a
  // positive finite number keeps the old scale.
  void Reset(double fs);
  void SetRelease(double x);

  // Enters note with gate on at level 0; a note already present restarts.
  void Start(uint8_t note);
  void Clear() {
    ++listVersion_;
    count_ = 0;
    present_.fill(false);
    settled_ = false;
  }

  bool Contains(uint8_t note) const { return present_[note & 0x7F]; }
  // Write access may change a gate, so the ramps look at every key again.
  KeyState& operator[](uint8_t note) {
    settled_ = false;
    return states_[note & 0x7F];
  }
  const KeyState& At(uint8_t note) const { return states_[note & 0x7F]; }

  int Size() const { return count_; }
  bool Empty() const { return count_ == 0; }
  // i-th present note in ascending order.
  uint8_t NoteAt(int i) const { return notes_[size_t(i)]; }
  const KeyState& StateAt(int i) const { return states_[notes_[size_t(i)]]; }
  // Changes whenever a note enters or leaves the list.
  uint64_t ListVersion() const { return listVersion_; }

  // One sample of every key's attack or release; erases keys that reached 0.
  void StepRamps();
  // After StepRamps: every key is held at exactly full level (the attack stops at 1.0).
  bool Settled() const { return settled_; }

  bool hold = false;  // freezes every release once the last key is up

  double Scale() const { return scale_; }
  double AttackCoefficient() const { return attack_; }
  double ReleaseCoefficient() const { return release_; }

 private:
  std::array<KeyState, kNotes> states_{};
  std::array<bool, kNotes> present_{};
  std::array<uint8_t, kNotes> notes_{};
  int count_ = 0;
  uint64_t listVersion_ = 0;
  // Every key held at full level: a ramp step would change nothing. Cleared by
  // anything that can start, stop or release a key.
  bool settled_ = false;
  double scale_ = 0.0;
  double attack_ = 0.0;
  double release_ = 0.0;
};

}  // namespace tessaron
