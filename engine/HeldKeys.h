#pragma once
// The keys physically down. Equivalent to a sorted list of note numbers with
// duplicates (a key struck twice without release counts twice), kept as a count
// per note so that no key sequence can make it allocate.
// Threads: audio thread, under the instrument's lock.
#include <array>
#include <cstdint>

namespace tessaron {

class HeldKeys {
 public:
  static constexpr int kNotes = 128;

  void Add(uint8_t note) {
    ++counts_[note & 0x7F];
    ++total_;
  }
  // Removes every copy of note.
  void Remove(uint8_t note) {
    total_ -= counts_[note & 0x7F];
    counts_[note & 0x7F] = 0;
  }
  void Clear() {
    counts_.fill(0);
    total_ = 0;
  }
  bool Empty() const { return total_ == 0; }
  uint64_t Size() const { return total_; }
  bool Contains(uint8_t note) const { return counts_[note & 0x7F] != 0; }
  uint32_t Count(uint8_t note) const { return counts_[note & 0x7F]; }

 private:
  std::array<uint32_t, kNotes> counts_{};
  uint64_t total_ = 0;
};

}  // namespace tessaron
