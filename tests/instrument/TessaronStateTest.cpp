#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "host/ChunkBuffer.h"
#include "instrument/Tessaron.h"

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

TEST(TessaronState, WriteStateLayout) {
  Instance in;
  in.t.ModifyCurrentPreset("PAD: Star Tone");
  in.t.GetParam(kBendRange)->SetClamped(-24);
  ChunkBuffer b;
  ASSERT_TRUE(in.t.WriteState(b));
  ASSERT_EQ(b.Size(), 564);
  EXPECT_EQ(std::memcmp(b.Data(), "Tessaron_1.0.0", 14), 0);
  const unsigned char indexAndLength[] = {0, 0, 0, 0, 0x0E, 0, 0, 0};
  EXPECT_EQ(std::memcmp(b.Data() + 14, indexAndLength, 8), 0);
  EXPECT_EQ(std::memcmp(b.Data() + 22, "PAD: Star Tone", 14), 0);
  double v = 0;
  b.GetDouble(v, 36);
  EXPECT_EQ(v, -24.0);
  b.GetDouble(v, 36 + 8 * kVcfCutoff);
  EXPECT_EQ(v, 0.3635759893);  // the factory bank's first program
  b.GetDouble(v, 36 + 8 * kMasterLevel);
  EXPECT_EQ(v, 0.5);
}

TEST(TessaronState, ReadStateTaggedUntaggedTruncatedAndClamped) {
  Instance in;
  Tessaron& t = in.t;

  ChunkBuffer tagged;
  t.GetParam(kDelayTime)->SetClamped(0.25);
  t.WriteState(tagged);
  t.GetParam(kDelayTime)->SetClamped(0.75);
  EXPECT_EQ(t.ReadState(tagged, 0), tagged.Size());
  EXPECT_EQ(t.GetParam(kDelayTime)->Value(), 0.25);

  // Bare values, as the framework default writes them.
  ChunkBuffer bare = BareDoubles(kParameterCount, 0.5);
  EXPECT_EQ(t.ReadState(bare, 0), 528);
  EXPECT_EQ(t.GetParam(kBendRange)->Value(), 0.5);  // no snapping
  EXPECT_EQ(t.GetParam(kMasterLevel)->Value(), 0.5);

  // 100 bytes: 12 whole values, the 13th becomes 0 clamped, the rest stay.
  ChunkBuffer shortBare = BareDoubles(kParameterCount, 5.0);
  shortBare.Resize(100);
  t.GetParam(kOsc1Octave)->SetClamped(1);
  EXPECT_EQ(t.ReadState(shortBare, 0), -1);
  EXPECT_EQ(t.GetParam(kBendRange)->Value(), 5.0);
  EXPECT_EQ(t.GetParam(kWheelAmount)->Value(), 1.0);  // 5.0 clamped into 0..1
  EXPECT_EQ(t.GetParam(kOrgan16)->Value(), 1.0);
  EXPECT_EQ(t.GetParam(kOsc1Fine)->Value(), 0.0);
  EXPECT_EQ(t.GetParam(kOsc1Octave)->Value(), 1.0);
  EXPECT_EQ(t.GetParam(kMasterLevel)->Value(), 0.5);

  // A tagged state cut inside its name applies nothing and fails.
  ChunkBuffer cutName;
  cutName.PutBytes("Tessaron_1.0.0", 14);
  cutName.PutInt32(0);
  cutName.PutInt32(40);
  cutName.PutBytes("abc", 3);
  EXPECT_EQ(t.ReadState(cutName, 0), -1);
  EXPECT_EQ(t.GetParam(kMasterLevel)->Value(), 0.5);

  // A NaN in stored data cannot reach the engine: the value stays.
  ChunkBuffer withNaN = BareDoubles(kParameterCount, 0.5);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::memcpy(withNaN.Data() + 8 * kSynthLevel, &nan, 8);
  t.GetParam(kSynthLevel)->SetClamped(0.3);
  EXPECT_EQ(t.ReadState(withNaN, 0), 528);
  EXPECT_EQ(t.GetParam(kSynthLevel)->Value(), 0.3);
}

TEST(TessaronParameters, DelaySyncSwitchesTheTimeDisplay) {
  Tessaron t(nullptr);
  t.SelectProgram(kProgramCount - 1);  // the factory bank's "Init" holds the defaults
  char text[kParamTextSize];
  const IParameter& time = *t.GetParam(kDelayTime);
  time.FormatForHost(time.Value(), false, text);
  EXPECT_STREQ(text, "0.50");
  t.GetParam(kDelaySync)->SetFromNormalized(1.0);
  t.OnParamChange(kDelaySync);
  time.FormatForHost(time.Value(), false, text);
  EXPECT_STREQ(text, "1/8");
  t.GetParam(kDelaySync)->SetFromNormalized(0.0);
  t.OnParamChange(kDelaySync);
  time.FormatForHost(time.Value(), false, text);
  EXPECT_STREQ(text, "0.50");
}

}  // namespace
}  // namespace tessaron
