#pragma once
// Messages waiting for their control block, kept sorted by sample offset (equal
// offsets in arrival order). Sized from the host's block size at reset, so that
// adding and draining do not allocate in normal use.
// Threads: audio thread or the host's event thread, always under the instrument's lock.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/MidiMessage.h"

namespace tessaron {

class MidiQueue {
 public:
  // Storage is sized in whole pages of messages.
  static constexpr int32_t kPageBytes = 4096;
  static constexpr int32_t kPageMessages = kPageBytes / int32_t(sizeof(MidiMessage));
  // Refuses absurd sizes rather than allocating them.
  static constexpr int32_t kMaxMessages = 1 << 20;

  MidiQueue();

  // Sizes the queue for a host block of maxBlockSize samples, never below the
  // messages still waiting (which move to the front). That size is also the
  // growth step. Returns false (and keeps the old storage) if memory fails.
  bool Resize(int32_t maxBlockSize);

  // Inserts m after every waiting message whose offset is not greater than its
  // own. Returns false when the queue cannot grow; m is then dropped.
  bool Add(const MidiMessage& m);

  // True when the first waiting message has an offset below limit.
  bool HasDue(int32_t limit) const {
    return readIndex_ < count_ && messages_[size_t(readIndex_)].offset < limit;
  }
  MidiMessage Take() { return messages_[size_t(readIndex_++)]; }

  // Moves the waiting messages to the front and shifts their offsets by -elapsed.
  void Rebase(int32_t elapsed);

  void Clear() { readIndex_ = count_ = 0; }

  int32_t Pending() const { return count_ - readIndex_; }
  const MidiMessage& PendingAt(int32_t i) const { return messages_[size_t(readIndex_ + i)]; }
  int32_t Capacity() const { return capacity_; }
  int32_t Granule() const { return granule_; }

 private:
  void Compact();
  bool Reallocate(int32_t slots);

  std::vector<MidiMessage> messages_;  // size() == capacity_
  int32_t capacity_ = 0;
  int32_t granule_ = kPageMessages;
  int32_t readIndex_ = 0;
  int32_t count_ = 0;
};

}  // namespace tessaron
