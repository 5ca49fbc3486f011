#include "engine/MidiQueue.h"

#include <algorithm>

namespace tessaron {

MidiQueue::MidiQueue() : messages_(new MidiMessage[kCapacity]) {}

int MidiQueue::ReleaseTarget(const MidiMessage& m) {
  const int kind = MessageKind(m);
  if (kind == kKindNoteOff) return m.data1 & 0x7F;
  if (kind == kKindControlChange && m.data1 == 64 && m.data2 == 0) return 128;
  return -1;
}

void MidiQueue::Compact() {
  if (readIndex_ == 0) return;
  std::copy(messages_.get() + readIndex_, messages_.get() + count_, messages_.get());
  count_ -= readIndex_;
  readIndex_ = 0;
}

void MidiQueue::Erase(int32_t at) {
  const int target = ReleaseTarget(messages_[size_t(at)]);
  if (target >= 0) --releases_[size_t(target)];
  std::copy(messages_.get() + at + 1, messages_.get() + count_, messages_.get() + at);
  --count_;
}

bool MidiQueue::MakeRoomFor(const MidiMessage& m) {
  if (ReleaseTarget(m) < 0) return false;
  for (int32_t j = count_ - 1; j >= readIndex_; --j) {
    if (ReleaseTarget(messages_[size_t(j)]) < 0) {
      Erase(j);
      ++dropped_;
      return true;
    }
  }
  // All releases: with more slots than targets, one target is released twice with no
  // note between, and its later release is redundant.
  for (size_t t = 0; t < releases_.size(); ++t) {
    if (releases_[t] < 2) continue;
    for (int32_t j = count_ - 1; j >= readIndex_; --j) {
      if (ReleaseTarget(messages_[size_t(j)]) == int(t)) {
        Erase(j);
        return true;
      }
    }
  }
  return false;
}

bool MidiQueue::Add(const MidiMessage& m) {
  if (count_ >= kCapacity) Compact();
  if (count_ >= kCapacity && !MakeRoomFor(m)) {
    ++dropped_;
    return false;
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
    std::copy_backward(messages_.get() + at, messages_.get() + count_, messages_.get() + count_ + 1);
  }
  messages_[size_t(at)] = m;
  ++count_;
  const int target = ReleaseTarget(m);
  if (target >= 0) ++releases_[size_t(target)];
  return true;
}

MidiMessage MidiQueue::Take() {
  const MidiMessage m = messages_[size_t(readIndex_++)];
  const int target = ReleaseTarget(m);
  if (target >= 0) --releases_[size_t(target)];
  return m;
}

void MidiQueue::Rebase(int32_t elapsed) {
  Compact();
  for (int32_t i = 0; i < count_; ++i) messages_[size_t(i)].offset -= elapsed;
}

void MidiQueue::Clear() {
  readIndex_ = count_ = 0;
  releases_.fill(0);
}

}  // namespace tessaron
