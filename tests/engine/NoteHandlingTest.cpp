#include <gtest/gtest.h>

#include "tests/engine/SoundEngineTestFixture.h"

namespace tessaron {
namespace {

using testing::EngineRig;

size_t FirstNonZero(const std::vector<double>& x) {
  for (size_t i = 0; i < x.size(); ++i) {
    if (x[i] != 0.0) return i;
  }
  return x.size();
}

TEST(NoteHandling, LateNoteIsPushedHalfABlockWhileThePedalKeepsItsSample) {
  EngineRig rig;
  rig.Sections(false, true, false);
  rig.Set(kOrgan16, 1.0);  // 16' so that the key's own pitch sounds
  ASSERT_EQ(rig.engine.ControlBlockLength(), 44);

  rig.On(60, 100);
  rig.Cc(64, 127, 100);
  ASSERT_EQ(rig.engine.Queue().Pending(), 2);
  EXPECT_EQ(rig.engine.Queue().PendingAt(0).offset, 100);  // the pedal, unadjusted
  EXPECT_EQ(rig.engine.Queue().PendingAt(0).status, 0xB0);
  EXPECT_EQ(rig.engine.Queue().PendingAt(1).offset, 122);

  rig.Render(256, 256);
  // Silence is exact until the key fires at sample 34 of the third control block.
  EXPECT_EQ(FirstNonZero(rig.left), 122u);
  EXPECT_TRUE(rig.engine.Sustain());
}

TEST(NoteHandling, PedalFiresAtItsOwnSampleBeforeAnAdjustedRelease) {
  EngineRig rig;
  rig.On(60, 0);
  rig.Cc(64, 1, 100);  // value 1 already counts as down
  rig.Off(60, 80);     // becomes 102: after the pedal
  rig.Render(256, 256);
  EXPECT_TRUE(rig.engine.Held().Empty());
  ASSERT_TRUE(rig.engine.Keys().Contains(60));
  EXPECT_TRUE(rig.engine.Keys().At(60).gate);
  EXPECT_NE(rig.engine.StringEnvelope().State(), Envelope::kRelease);

  rig.Cc(64, 0);
  rig.Render(44, 44);
  EXPECT_FALSE(rig.engine.Keys().At(60).gate);
  EXPECT_EQ(rig.engine.StringEnvelope().State(), Envelope::kRelease);
  EXPECT_EQ(rig.engine.Channel(0).envelope.State(), Envelope::kRelease);
}

TEST(NoteHandling, VelocityZeroIsANoteOffAtItsSample) {
  EngineRig rig;
  rig.On(64);
  rig.Render(440);
  ASSERT_TRUE(rig.engine.Keys().At(64).gate);
  rig.Send(10, 0x93, 64, 0);  // any channel
  rig.Render(10, 10);
  EXPECT_TRUE(rig.engine.Keys().At(64).gate);
  rig.Render(34, 34);
  EXPECT_FALSE(rig.engine.Keys().At(64).gate);
  EXPECT_TRUE(rig.engine.Held().Empty());
}

TEST(NoteHandling, PitchBendAndWheelTakeEffectAtTheControlBlock) {
  struct Case {
    uint8_t lsb, msb;
    double bend;
  };
  for (const Case& c : {Case{0, 64, 0.0}, Case{0, 0, -1.0}, Case{127, 127, 0.9998779296875}}) {
    EngineRig rig;
    rig.Send(0, 0xE0, c.lsb, c.msb);
    rig.Render(1, 1);
    EXPECT_EQ(rig.engine.PitchBend(), c.bend);
  }
  EngineRig rig;
  rig.Cc(1, 127);
  rig.Cc(7, 99);
  rig.Render(1, 1);
  EXPECT_EQ(rig.engine.Wheel(), 1.0);
  ASSERT_EQ(rig.host.controllers.size(), 1u);
  EXPECT_EQ(rig.host.controllers[0].controller, 7);
  EXPECT_EQ(rig.host.controllers[0].value, 99);
}

TEST(NoteHandling, KeysATritoneApartShareOneChannelEnvelope) {
  EngineRig rig;
  rig.On(60);
  rig.On(66);
  rig.Render(440);
  rig.Off(60);
  rig.Render(44);
  EXPECT_NE(rig.engine.Channel(0).envelope.State(), Envelope::kRelease);
  rig.Off(66);
  rig.Render(44);
  EXPECT_EQ(rig.engine.Channel(0).envelope.State(), Envelope::kRelease);
}

TEST(NoteHandling, AKeyStruckTwiceIsReleasedByOneNoteOff) {
  EngineRig rig;
  rig.On(60);
  rig.On(60);
  rig.Render(44);
  EXPECT_EQ(rig.engine.Held().Count(60), 2u);
  rig.Off(60);
  rig.Render(44);
  EXPECT_TRUE(rig.engine.Held().Empty());
  EXPECT_FALSE(rig.engine.Keys().At(60).gate);
  EXPECT_TRUE(rig.engine.Keys().hold);
}

TEST(NoteHandling, ReleasedKeyFadesWhileOthersAreHeldAndFreezesWhenTheLastIsUp) {
  EngineRig rig;
  rig.On(60);
  rig.On(64);
  rig.Render(4400);
  EXPECT_EQ(rig.engine.Keys().At(60).level, 1.0);
  rig.Off(60);
  rig.Render(440);
  const double fading = rig.engine.Keys().At(60).level;
  EXPECT_GT(fading, 0.0);
  EXPECT_LT(fading, 1.0);
  rig.Off(64);
  rig.Render(440);
  EXPECT_TRUE(rig.engine.Keys().hold);
  // Key levels freeze; the section envelopes fade the chord instead.
  EXPECT_LT(std::fabs(rig.engine.Keys().At(60).level - fading), fading * 0.2);
  EXPECT_EQ(rig.engine.Keys().At(64).level, 1.0);
}

TEST(NoteHandling, AllNotesOffSilencesAtOnceWhileQueuedNotesStillPlay) {
  for (uint8_t controller : {uint8_t(120), uint8_t(123)}) {
    EngineRig rig;
    rig.On(60);
    rig.Cc(64, 127);
    rig.Render(440);
    ASSERT_TRUE(rig.engine.Keys().Contains(60));

    rig.On(67, 30);
    rig.Cc(controller, 0, 10);
    // No waiting for the offset.
    EXPECT_TRUE(rig.engine.Keys().Empty());
    EXPECT_TRUE(rig.engine.Held().Empty());
    EXPECT_FALSE(rig.engine.Sustain());
    EXPECT_EQ(rig.engine.StringEnvelope().State(), Envelope::kRelease);
    EXPECT_EQ(rig.engine.Channel(0).envelope.State(), Envelope::kRelease);

    rig.Render(44, 44);
    EXPECT_TRUE(rig.engine.Keys().Contains(67));
    EXPECT_FALSE(rig.engine.Keys().Contains(60));
  }
}

TEST(NoteHandling, NoteDuringTheStringTailDropsTheOldChord) {
  EngineRig rig;
  rig.Sections(false, false, true);
  rig.Set(kStringRelease, 0.6);  // long String release
  rig.On(60);
  rig.On(64);
  rig.Render(4400);
  rig.Off(60);
  rig.Off(64);
  rig.Render(4400);
  ASSERT_GT(rig.engine.StringEnvelope().Level(), 0.0);
  ASSERT_EQ(rig.engine.Keys().Size(), 2);

  rig.On(67);
  rig.Render(1, 1);
  ASSERT_EQ(rig.engine.Keys().Size(), 1);
  EXPECT_EQ(rig.engine.Keys().NoteAt(0), 67);
  // One attack step from 0.
  EXPECT_NEAR(rig.engine.Keys().At(67).level, 1.1111111111111112 * rig.engine.Keys().AttackCoefficient(), 1e-15);
  EXPECT_EQ(rig.engine.StringEnvelope().State(), Envelope::kAttack);
}

TEST(NoteHandling, NoteWithANegativeOffsetDoesNotBlockLaterNotes) {
  EngineRig rig;
  rig.On(60, -5);
  rig.On(64, 3);
  rig.Render(44, 44);
  EXPECT_TRUE(rig.engine.Keys().Contains(60));
  EXPECT_TRUE(rig.engine.Keys().Contains(64));
  EXPECT_TRUE(rig.engine.NoteEvents().Empty());
}

TEST(NoteHandling, IgnoredKindsAndHighDataBits) {
  EngineRig rig;
  rig.Send(0, 0xA0, 60, 100);  // key pressure
  rig.Send(0, 0xC0, 5, 0);     // program change belongs to the shell
  rig.Send(0, 0xD0, 60, 0);    // channel pressure
  rig.Send(0, 0xF8, 0, 0);     // clock
  rig.Cc(121, 0);
  EXPECT_EQ(rig.engine.Queue().Pending(), 0);

  rig.Send(0, 0x90, 0x80 | 60, 100);  // a malformed note byte keeps within the key range
  rig.Render(44, 44);
  EXPECT_TRUE(rig.engine.Keys().Contains(60));
}

TEST(NoteHandling, AlternateModeSwitchesWaveformPerPhrase) {
  EngineRig rig;
  rig.Set(kWaveAlternate, 0.0);  // "On"
  ASSERT_TRUE(rig.engine.Settings().alternate);
  bool saw[3];
  for (int phrase = 0; phrase < 3; ++phrase) {
    rig.On(60);
    rig.On(64);  // a second key of the phrase does not switch in "Mono"
    rig.Render(44, 44);
    saw[phrase] = rig.engine.SawRamp().Gate();
    EXPECT_NE(rig.engine.SawRamp().Gate(), rig.engine.SquareRamp().Gate());
    rig.Off(60);
    rig.Off(64);
    rig.Render(44, 44);
  }
  EXPECT_TRUE(saw[0]);  // the first selection is the sawtooth
  EXPECT_FALSE(saw[1]);
  EXPECT_TRUE(saw[2]);
  rig.Set(kWaveform, 2);  // changing the waveform while alternating toggles once
  EXPECT_FALSE(rig.engine.SawRamp().Gate());

  // Without alternation, the waveform choice decides both gates.
  EngineRig plain;
  const bool expected[3][2] = {{true, false}, {false, true}, {true, true}};
  for (int w = 0; w < 3; ++w) {
    plain.Set(kWaveform, w);
    EXPECT_EQ(plain.engine.SawRamp().Gate(), expected[w][0]);
    EXPECT_EQ(plain.engine.SquareRamp().Gate(), expected[w][1]);
  }
}

}  // namespace
}  // namespace tessaron
