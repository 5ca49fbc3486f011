#include "engine/NoteEventList.h"

#include <new>

namespace tessaron {

bool NoteEventList::Reserve(int32_t n) {
  int64_t slots = 1;
  while (slots < n) slots <<= 1;
  if (slots <= int64_t(ring_.size())) return true;
  if (slots > (int64_t(1) << 24)) return false;
  try {
    std::vector<MidiMessage> bigger(static_cast<size_t>(slots));
    for (int32_t i = 0; i < size_; ++i) bigger[size_t(i)] = ring_[size_t((head_ + i) & mask_)];
    ring_.swap(bigger);
  } catch (const std::bad_alloc&) {
    return false;
  }
  mask_ = int32_t(slots - 1);
  head_ = 0;
  return true;
}

bool NoteEventList::Push(const MidiMessage& m) {
  if (size_ >= int32_t(ring_.size()) && !Reserve(size_ + 1)) return false;
  ring_[size_t((head_ + size_) & mask_)] = m;
  ++size_;
  return true;
}

}  // namespace tessaron
