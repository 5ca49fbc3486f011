#pragma once
// Note and sustain messages of the current control block, first in first out,
// with offsets relative to the control block. A ring buffer reserved at reset,
// so firing events does not allocate; it only grows if a flood outruns it.
// Threads: audio thread, under the instrument's lock.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/MidiMessage.h"

namespace tessaron {

class NoteEventList {
 public:
  NoteEventList() { Reserve(512); }

  // Makes room for at least n messages; keeps the waiting ones.
  bool Reserve(int32_t n);

  // Returns false (dropping m) only when memory cannot be obtained.
  bool Push(const engine::MidiMessage& m);

  bool Empty() const { return size_ == 0; }
  int32_t Size() const { return size_; }
  const engine::MidiMessage& Front() const { return ring_[size_t(head_)]; }
  void PopFront() {
    head_ = (head_ + 1) & mask_;
    --size_;
  }
  void Clear() { head_ = size_ = 0; }
  // Every waiting message becomes due at the first sample.
  void MarkOverdue() {
    for (int32_t i = 0; i < size_; ++i) ring_[size_t((head_ + i) & mask_)].offset = 0;
  }

 private:
  std::vector<engine::MidiMessage> ring_;  // power-of-two size
  int32_t mask_ = 0;
  int32_t head_ = 0;
  int32_t size_ = 0;
};

}  // namespace tessaron
