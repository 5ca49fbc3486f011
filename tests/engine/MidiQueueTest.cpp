#include <gtest/gtest.h>

#include <vector>

#include "engine/MidiQueue.h"
#include "engine/NoteEventList.h"

namespace tessaron {
namespace {

MidiMessage Msg(int32_t offset, uint8_t tag) { return {offset, 0x90, tag, 1}; }

std::vector<uint8_t> Tags(const MidiQueue& q) {
  std::vector<uint8_t> tags;
  for (int32_t i = 0; i < q.Pending(); ++i) tags.push_back(q.PendingAt(i).data1);
  return tags;
}

TEST(MidiQueue, KeepsOffsetOrderWithEqualOffsetsInArrivalOrder) {
  MidiQueue q;
  q.Add(Msg(10, 1));
  q.Add(Msg(30, 2));
  q.Add(Msg(10, 3));  // after the other 10
  q.Add(Msg(0, 4));   // at the front
  q.Add(Msg(30, 5));  // appended
  q.Add(Msg(20, 6));
  EXPECT_EQ(Tags(q), (std::vector<uint8_t>{4, 1, 3, 6, 2, 5}));

  // A drained message is never overtaken: inserting goes no further back than the read index.
  ASSERT_TRUE(q.HasDue(5));
  EXPECT_EQ(q.Take().data1, 4);
  q.Add(Msg(-1, 7));
  EXPECT_EQ(Tags(q), (std::vector<uint8_t>{7, 1, 3, 6, 2, 5}));
}

TEST(MidiQueue, DrainAndRebaseShiftTheRemainder) {
  MidiQueue q;
  for (int32_t off : {0, 43, 44, 100}) q.Add(Msg(off, uint8_t(off)));
  std::vector<int32_t> taken;
  while (q.HasDue(44)) taken.push_back(q.Take().offset);
  EXPECT_EQ(taken, (std::vector<int32_t>{0, 43}));
  q.Rebase(44);
  ASSERT_EQ(q.Pending(), 2);
  EXPECT_EQ(q.PendingAt(0).offset, 0);
  EXPECT_EQ(q.PendingAt(1).offset, 56);
}

TEST(MidiQueue, AFullQueueLetsReleasesThroughAndCountsWhatItDrops) {
  MidiQueue q;
  const int32_t n = MidiQueue::kCapacity;
  for (int32_t i = 0; i < n; ++i) ASSERT_TRUE(q.Add(Msg(i, uint8_t(i & 0x7F))));
  EXPECT_FALSE(q.Add(Msg(5, 1)));          // a note-on is dropped
  EXPECT_FALSE(q.Add({7, 0xB0, 7, 100}));  // so is a controller
  EXPECT_EQ(q.Dropped(), 2);
  ASSERT_TRUE(q.Add({3, 0x80, 60, 0}));  // a note-off takes the latest note-on's place
  ASSERT_TRUE(q.Add({n, 0xB0, 64, 0}));  // and so does the pedal going up
  EXPECT_EQ(q.Dropped(), 4);
  EXPECT_EQ(q.Pending(), n);
  EXPECT_EQ(q.PendingAt(4).status, 0x80);  // in its place in time
  EXPECT_EQ(q.PendingAt(n - 1).status, 0xB0);
  EXPECT_EQ(q.PendingAt(n - 2).offset, n - 3);  // the two latest note-ons went

  // Drained slots make room again without dropping anything.
  q.Take();
  ASSERT_TRUE(q.Add(Msg(n + 5, 9)));
  EXPECT_EQ(q.Dropped(), 4);

  // Nothing but releases: the later of two for one key gives way, so a new one still fits.
  MidiQueue releases;
  for (int32_t i = 0; i < n; ++i) ASSERT_TRUE(releases.Add({i, 0x80, uint8_t(i % 100), 0}));
  ASSERT_TRUE(releases.Add({n, 0x80, 120, 0}));
  EXPECT_EQ(releases.PendingAt(n - 1).data1, 120);
  EXPECT_EQ(releases.Dropped(), 0);
}

TEST(NoteEventList, FirstInFirstOutAcrossWrapUpToItsCapacity) {
  NoteEventList list;
  int32_t next = 0, expect = 0;
  for (int round = 0; round < 5; ++round) {
    for (int i = 0; i < 300; ++i) ASSERT_TRUE(list.Push(Msg(next++, 0)));
    for (int i = 0; i < 200; ++i) {
      ASSERT_FALSE(list.Empty());
      EXPECT_EQ(list.Front().offset, expect++);
      list.PopFront();
    }
  }
  EXPECT_EQ(list.Size(), 500);
  while (!list.Empty()) {
    EXPECT_EQ(list.Front().offset, expect++);
    list.PopFront();
  }
  EXPECT_EQ(expect, next);
  for (int32_t i = 0; i < NoteEventList::kCapacity; ++i) ASSERT_TRUE(list.Push(Msg(i, 0)));
  EXPECT_TRUE(list.Full());
  EXPECT_FALSE(list.Push(Msg(0, 0)));
}

}  // namespace
}  // namespace tessaron
