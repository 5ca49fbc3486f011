#include "engine/MidiQueue.h"

#include <algorithm>
#include <new>

namespace tessaron {

MidiQueue::MidiQueue() { Resize(1024); }

void MidiQueue::Compact() {
  if (readIndex_ == 0) return;
  std::copy(messages_.begin() + readIndex_, messages_.begin() + count_, messages_.begin());
  count_ -= readIndex_;
  readIndex_ = 0;
}

bool MidiQueue::Reallocate(int32_t slots) {
  try {
    std::vector<MidiMessage> bigger(static_cast<size_t>(slots));
    std::copy(messages_.begin(), messages_.begin() + count_, bigger.begin());
    messages_.swap(bigger);
  } catch (const std::bad_alloc&) {
    return false;
  }
  capacity_ = slots;
  return true;
}

bool MidiQueue::Resize(int32_t maxBlockSize) {
  Compact();
  int64_t wanted = std::max<int64_t>({maxBlockSize, count_, 1});
  wanted = std::min<int64_t>(wanted, std::max(kMaxMessages, count_));
  int64_t slots = (wanted + kPageMessages - 1) / kPageMessages * kPageMessages;
  if (!Reallocate(int32_t(slots))) return false;
  granule_ = int32_t(slots);
  return true;
}

bool MidiQueue::Add(const MidiMessage& m) {
  if (count_ >= capacity_) {
    if (readIndex_ > 0) {
      Compact();
    } else {
      int64_t grown = int64_t(granule_) * (capacity_ / granule_ + 1);
      if (grown > kMaxMessages + int64_t(granule_) || !Reallocate(int32_t(grown))) return false;
    }
  }
  int32_t at = count_;
  if (readIndex_ < count_ && m.offset < messages_[size_t(count_ - 1)].offset) {
    at = readIndex_;
    for (int32_t j = count_ - 1; j >= readIndex_; --j) {
      if (messages_[size_t(j)].offset <= m.offset) {
        at = j + 1;
        break;
      }
    }
    std::copy_backward(messages_.begin() + at, messages_.begin() + count_,
                       messages_.begin() + count_ + 1);
  }
  messages_[size_t(at)] = m;
  ++count_;
  return true;
}

void MidiQueue::Rebase(int32_t elapsed) {
  Compact();
  for (int32_t i = 0; i < count_; ++i) messages_[size_t(i)].offset -= elapsed;
}

}  // namespace tessaron
