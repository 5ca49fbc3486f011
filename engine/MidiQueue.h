#pragma once
// Messages waiting for their control block, kept sorted by sample offset (equal
// offsets in arrival order). The capacity is fixed when the queue is built, so adding
// and draining never allocate.
//
// Overflow rule: a full queue drops a new message unless it is a release (a note-off or
// the sustain pedal going up). A release takes the place of the latest waiting message
// that is not one; when every waiting message is a release, the later of two releases of
// one key (which would change nothing) gives way. Dropped messages are counted. Channel
// modes 120 and 123 never wait here: they act at once.
// Threads: audio thread or the host's event thread, always under the instrument's lock.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/MidiMessage.h"

namespace tessaron {

class MidiQueue {
 public:
  // An event on every sample of an 8192-sample host block, and as many again still
  // waiting for later blocks.
  static constexpr int32_t kCapacity = 16384;

  MidiQueue();

  // Inserts m after every waiting message whose offset is not greater than its own.
  // Returns false when the overflow rule dropped m.
  bool Add(const MidiMessage& m);

  // True when the first waiting message has an offset below limit.
  bool HasDue(int32_t limit) const { return readIndex_ < count_ && messages_[size_t(readIndex_)].offset < limit; }
  const MidiMessage& Next() const { return messages_[size_t(readIndex_)]; }
  MidiMessage Take();

  // Moves the waiting messages to the front and shifts their offsets by -elapsed.
  void Rebase(int32_t elapsed);

  void Clear();

  int32_t Pending() const { return count_ - readIndex_; }
  const MidiMessage& PendingAt(int32_t i) const { return messages_[size_t(readIndex_ + i)]; }
  // Messages the overflow rule has dropped since the queue was built.
  int64_t Dropped() const { return dropped_; }

 private:
  // Key 0..127 for a note-off, 128 for the pedal going up, -1 for anything else.
  static int ReleaseTarget(const MidiMessage& m);
  void Compact();
  void Erase(int32_t at);
  bool MakeRoomFor(const MidiMessage& m);

  std::unique_ptr<MidiMessage[]> messages_;
  int32_t readIndex_ = 0;
  int32_t count_ = 0;
  std::array<int32_t, 129> releases_{};  // waiting releases per target
  int64_t dropped_ = 0;
};

}  // namespace tessaron
