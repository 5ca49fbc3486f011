#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "instrument/Tessaron.h"
#include "host/ChunkBuffer.h"

namespace tessaron {
namespace {

// An instance as the entry point hands it out: every slot filled.
struct Instance {
  Tessaron t{nullptr};
  Instance() { t.FillEmptyPrograms(kProgramCount); }
};

ChunkBuffer BareDoubles(int count, double value) {
  ChunkBuffer b;
  for (int i = 0; i < count; ++i) b.PutDouble(value);
  return b;
}

TEST(ChunkBuffer, LittleEndianAppendsAndCheckedReads) {
  ChunkBuffer b;
  b.PutInt32(0x01020304);
  b.PutDouble(1.0);
  b.PutString("ab");
  ASSERT_EQ(b.Size(), 4 + 8 + 4 + 2);
  EXPECT_EQ(b.Data()[0], 0x04);
  EXPECT_EQ(b.Data()[3], 0x01);
  EXPECT_EQ(b.Data()[4 + 7], 0x3F);  // 1.0 = 3FF0... stored low byte first
  EXPECT_EQ(b.Data()[12], 2);

  int32_t i = 7;
  double d = 7;
  std::string s = "keep";
  EXPECT_EQ(b.GetInt32(i, 0), 4);
  EXPECT_EQ(i, 0x01020304);
  EXPECT_EQ(b.GetDouble(d, 4), 12);
  EXPECT_EQ(d, 1.0);
  EXPECT_EQ(b.GetString(s, 12), 18);
  EXPECT_EQ(s, "ab");

  i = 7;
  d = 7;
  EXPECT_EQ(b.GetInt32(i, -1), -1);
  EXPECT_EQ(b.GetInt32(i, 15), -1);
  EXPECT_EQ(b.GetDouble(d, 11), -1);
  EXPECT_EQ(i, 7);
  EXPECT_EQ(d, 7);

  // A string whose bytes are cut short: position moves on, text untouched.
  ChunkBuffer cut;
  cut.PutInt32(10);
  cut.PutBytes("abc", 3);
  s = "keep";
  EXPECT_EQ(cut.GetString(s, 0), 14);
  EXPECT_EQ(s, "keep");

  // Lengths that would move backwards or past any position are corrupt data.
  ChunkBuffer negative;
  negative.PutInt32(-4);
  EXPECT_EQ(negative.GetString(s, 0), -1);
  ChunkBuffer huge;
  huge.PutInt32(std::numeric_limits<int32_t>::max());
  EXPECT_EQ(huge.GetString(s, 0), -1);

  ChunkBuffer z;
  z.PutByte(1);
  z.Resize(5);
  EXPECT_EQ(z.Size(), 5);
  EXPECT_EQ(z.Data()[4], 0);
}

TEST(ChunkHeader, WrittenAndRecognised) {
  ChunkBuffer b;
  b.PutByte(9);
  IPluginBase::BeginChunk(b);
  const unsigned char expected[] = {'t', 'f', 'f', 'p', 0, 0, 1, 0};
  ASSERT_EQ(b.Size(), 8);
  EXPECT_EQ(std::memcmp(b.Data(), expected, 8), 0);
  int pos = 0;
  EXPECT_EQ(IPluginBase::ReadChunkHeader(b, pos), 0x00010000);
  EXPECT_EQ(pos, 8);

  ChunkBuffer none = BareDoubles(2, 0.5);
  pos = 0;
  EXPECT_EQ(IPluginBase::ReadChunkHeader(none, pos), 0);
  EXPECT_EQ(pos, 0);

  ChunkBuffer cut;
  cut.PutInt32(kChunkMagic);
  pos = 0;
  EXPECT_EQ(IPluginBase::ReadChunkHeader(cut, pos), 0);
  EXPECT_EQ(pos, -1);
}

TEST(ProgramStore, SlotsAfterConstructionAndSelection) {
  Tessaron t(nullptr);
  EXPECT_EQ(t.ProgramName(0), "PAD: Star Tone");  // the factory bank
  EXPECT_TRUE(t.GetSlot(0)->initialised);
  // A bank without programs; reselecting the current slot 0 makes it the first user preset.
  ChunkBuffer none;
  for (int i = 0; i < kProgramCount; ++i) {
    none.PutString("empty");
    none.PutByte(0);
  }
  t.UnserializePresets(none, 0);
  EXPECT_EQ(t.ProgramName(0), "user preset 1");
  EXPECT_FALSE(t.GetSlot(1)->initialised);
  // Selecting an empty slot turns it into a user preset holding the live values.
  t.GetParam(kDelayMix)->SetClamped(0.4);
  ASSERT_TRUE(t.SelectProgram(7));
  EXPECT_EQ(t.ProgramName(7), "user preset 2");
  EXPECT_EQ(t.CurrentProgram(), 7);
  ASSERT_TRUE(t.SelectProgram(8));
  EXPECT_EQ(t.ProgramName(8), "user preset 3");
  EXPECT_FALSE(t.SelectProgram(64));
  EXPECT_FALSE(t.SelectProgram(-1));
  EXPECT_EQ(t.CurrentProgram(), 8);

  t.FillEmptyPrograms(kProgramCount);
  for (int i = 0; i < kProgramCount; ++i) {
    EXPECT_TRUE(t.GetSlot(i)->initialised);
    if (i != 0 && i != 7 && i != 8) {
      EXPECT_EQ(t.ProgramName(i), "Empty");
    }
  }
  EXPECT_EQ(t.ProgramName(64), "");

  // Names are bounded whatever arrives.
  t.ModifyCurrentPreset(std::string(1000, 'x').c_str());
  EXPECT_EQ(t.ProgramName(8).size(), 255u);
}

TEST(ProgramStore, BankRoundTripAndUninitialisedSlots) {
  Instance a;
  for (int p = 0; p < kProgramCount; ++p) {
    a.t.SelectProgram(p);
    a.t.GetParam(kDelayTime)->SetClamped(p / 100.0);
    a.t.GetParam(kVcfCutoff)->SetClamped(1.0 - p / 100.0);
    a.t.ModifyCurrentPreset(("Program " + std::to_string(p)).c_str());
  }
  a.t.SelectProgram(5);
  ChunkBuffer bank;
  IPluginBase::BeginChunk(bank);
  ASSERT_TRUE(a.t.SerializePresets(bank));

  Instance b;
  int pos = 0;
  ASSERT_EQ(IPluginBase::ReadChunkHeader(bank, pos), kChunkVersion);
  EXPECT_EQ(b.t.UnserializePresets(bank, pos), bank.Size());
  for (int p = 0; p < kProgramCount; ++p) {
    EXPECT_EQ(b.t.ProgramName(p), "Program " + std::to_string(p));
  }
  // Current index stays 0 on the reader; its live values are program 0's.
  EXPECT_EQ(b.t.GetParam(kDelayTime)->Value(), 0.0);
  b.t.SelectProgram(42);
  EXPECT_EQ(b.t.GetParam(kDelayTime)->Value(), 0.42);
  EXPECT_EQ(b.t.GetParam(kVcfCutoff)->Value(), 1.0 - 0.42);

  // A bank whose slot 3 is flagged empty: the name is taken, the state is not read.
  ChunkBuffer sparse;
  for (int p = 0; p < kProgramCount; ++p) {
    sparse.PutString(p == 3 ? "Hole" : "Full");
    sparse.PutByte(p == 3 ? 0 : 1);
    if (p != 3) a.t.WriteState(sparse);
  }
  Tessaron c(nullptr);
  EXPECT_EQ(c.UnserializePresets(sparse, 0), sparse.Size());
  EXPECT_FALSE(c.GetSlot(3)->initialised);
  EXPECT_EQ(c.ProgramName(3), "Hole");
  EXPECT_TRUE(c.GetSlot(4)->initialised);

  // Cut short in slot 10: reading stops with -1, the slots before it are kept.
  ChunkBuffer cut = bank;
  cut.Resize(8 + 10 * (4 + 9 + 1 + 559) + 20);
  Instance d;
  int p = 0;
  IPluginBase::ReadChunkHeader(cut, p);
  EXPECT_EQ(d.t.UnserializePresets(cut, p), -1);
  EXPECT_EQ(d.t.ProgramName(9), "Program 9");
}

TEST(SynthPrograms, CopyPasteChooseAndInit) {
  Instance in;
  Tessaron& t = in.t;
  t.ChooseProgram(5);
  t.GetParam(kPhaserFeedback)->SetClamped(0.9);
  t.ModifyCurrentPreset("Five");
  t.CopyProgram();
  EXPECT_EQ(t.ClipboardSource(), 5);

  t.ChooseProgram(9);
  EXPECT_EQ(t.GetParam(kPhaserFeedback)->Value(), -0.3);
  t.PasteProgram();
  EXPECT_EQ(t.ProgramName(9), "Five");
  EXPECT_EQ(t.GetParam(kPhaserFeedback)->Value(), 0.9);

  // Choosing stores the edits of the program left behind.
  t.GetParam(kPhaserFeedback)->SetClamped(-1.0);
  t.ChooseProgram(2);
  t.ChooseProgram(9);
  EXPECT_EQ(t.GetParam(kPhaserFeedback)->Value(), -1.0);

  t.GetParam(kModSpeed)->SetClamped(20);
  t.GetParam(kDelaySync)->SetClamped(1);
  t.LoadInitProgram();
  EXPECT_EQ(t.ProgramName(9), "Init");
  for (int i = 0; i < kParameterCount; ++i) {
    EXPECT_NEAR(t.GetParam(i)->Value(), t.GetParam(i)->Default(), 1e-12) << i;
  }
}

}  // namespace
}  // namespace tessaron
