#pragma once
// Note and sustain messages of the current control block, first in first out, with
// offsets relative to the control block. A ring of fixed capacity, built once, so firing
// events never allocates; the drain leaves in the queue what does not fit.
// Threads: audio thread, under the instrument's lock.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/MidiMessage.h"
#include "engine/MidiQueue.h"

namespace tessaron {

class NoteEventList {
 public:
  // Everything one drain can bring.
  static constexpr int32_t kCapacity = MidiQueue::kCapacity;
  static_assert((kCapacity & (kCapacity - 1)) == 0, "the ring wraps by mask");

  NoteEventList() : ring_(new MidiMessage[kCapacity]) {}

  // Returns false (dropping m) when the list is full.
  bool Push(const MidiMessage& m) {
    if (Full()) return false;
    ring_[size_t((head_ + size_) & kMask)] = m;
    ++size_;
    return true;
  }

  bool Empty() const { return size_ == 0; }
  bool Full() const { return size_ >= kCapacity; }
  int32_t Size() const { return size_; }
  const MidiMessage& Front() const { return ring_[size_t(head_)]; }
  void PopFront() {
    head_ = (head_ + 1) & kMask;
    --size_;
  }
  void Clear() { head_ = size_ = 0; }
  // Every waiting message becomes due at the first sample.
  void MarkOverdue() {
    for (int32_t i = 0; i < size_; ++i) ring_[size_t((head_ + i) & kMask)].offset = 0;
  }

 private:
  static constexpr int32_t kMask = kCapacity - 1;
  std::unique_ptr<MidiMessage[]> ring_;
  int32_t head_ = 0;
  int32_t size_ = 0;
};

}  // namespace tessaron
