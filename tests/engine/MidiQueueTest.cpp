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

TEST(MidiQueue, SizedInWholePagesForTheBlockSize) {
  MidiQueue q;
  EXPECT_EQ(q.Capacity(), 1024);
  struct Case {
    int32_t block, slots;
  };
  for (const Case& c : {Case{1, 512}, Case{512, 512}, Case{513, 1024}, Case{4096, 4096}, Case{0, 512},
                        Case{-7, 512}}) {
    ASSERT_TRUE(q.Resize(c.block));
    EXPECT_EQ(q.Capacity(), c.slots) << c.block;
    EXPECT_EQ(q.Granule(), c.slots) << c.block;
  }
  // Absurd sizes are capped rather than allocated.
  ASSERT_TRUE(q.Resize(2000000000));
  EXPECT_EQ(q.Capacity(), MidiQueue::kMaxMessages);
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

TEST(MidiQueue, FullQueueCompactsBeforeItGrowsByTheGranule) {
  MidiQueue q;
  ASSERT_TRUE(q.Resize(512));
  for (int i = 0; i < 512; ++i) ASSERT_TRUE(q.Add(Msg(i, uint8_t(i & 0x7F))));
  EXPECT_EQ(q.Capacity(), 512);
  q.Take();
  q.Take();
  ASSERT_TRUE(q.Add(Msg(1000, 1)));  // room made by moving the waiting ones forward
  EXPECT_EQ(q.Capacity(), 512);
  EXPECT_EQ(q.Pending(), 511);
  ASSERT_TRUE(q.Add(Msg(1001, 2)));
  ASSERT_TRUE(q.Add(Msg(5, 3)));  // full without drained slots: grows by one granule
  EXPECT_EQ(q.Capacity(), 1024);
  EXPECT_EQ(q.Pending(), 513);
  EXPECT_EQ(q.PendingAt(3).offset, 5);
  EXPECT_EQ(q.PendingAt(4).offset, 5);
  EXPECT_EQ(q.PendingAt(4).data1, 3);

  // Resizing never drops waiting messages.
  ASSERT_TRUE(q.Resize(16));
  EXPECT_EQ(q.Capacity(), 1024);
  EXPECT_EQ(q.Pending(), 513);
}

TEST(NoteEventList, FirstInFirstOutAcrossWrapAndGrowth) {
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
}

}  // namespace
}  // namespace tessaron
