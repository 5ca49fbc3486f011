#include <gtest/gtest.h>

#include "tests/render/SmfBuilder.h"
#include "tools/render/MidiFile.h"
#include "tools/render/Options.h"
#include "tools/render/TempoMap.h"

namespace tessaron {
namespace {

using test::Bytes;
using test::Smf;
using test::Track;

MidiFile Parse(const Bytes& bytes) {
  MidiFile f;
  std::string error;
  EXPECT_TRUE(ParseMidiFile(bytes, f, error)) << error;
  return f;
}

TEST(MidiFile, FormatZeroWithRunningStatusSysexAndEndOfTrack) {
  Track t;
  t.Event(0, {0x90, 60, 100})
      .Event(10, {62, 90})                       // running status: another note-on
      .Event(0, {0xF0, 0x03, 0x7E, 0x01, 0xF7})  // sysex is skipped
      .Event(5, {0xC1, 7})                       // program change: one data byte
      .Event(1, {8})                             // running status with one data byte
      .Event(4, {0x80, 60, 0})
      .End(30)
      .Event(0, {0x90, 1, 1});  // after the end marker: not part of the track
  const MidiFile f = Parse(Smf(0, 96, {t}));
  EXPECT_EQ(f.format, 0);
  EXPECT_EQ(f.division, 96);
  ASSERT_EQ(f.events.size(), 5u);
  const uint64_t ticks[] = {0, 10, 15, 16, 20};
  const uint8_t status[] = {0x90, 0x90, 0xC1, 0xC1, 0x80};
  const uint8_t data1[] = {60, 62, 7, 8, 60};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(f.events[i].tick, ticks[i]) << i;
    EXPECT_EQ(f.events[i].status, status[i]) << i;
    EXPECT_EQ(f.events[i].data1, data1[i]) << i;
  }
  EXPECT_EQ(f.events[1].data2, 90);
  EXPECT_EQ(f.events[2].size, 2);
  EXPECT_EQ(f.endTick, 50u);
}

TEST(MidiFile, FormatOneMergesTracksByTickKeepingTrackOrderOnTies) {
  Track conductor;
  conductor.Tempo(0, 250000).Event(0, {0xFF, 0x58, 0x04, 3, 2, 24, 8}).End(100);
  Track a;
  a.Event(10, {0x90, 60, 100}).Event(20, {0x80, 60, 0}).End();
  Track b;
  b.Event(5, {0xB0, 1, 64}).Event(5, {0x90, 64, 100}).Event(20, {0xE0, 0, 64}).End();
  // An unknown chunk between tracks is allowed.
  Bytes bytes = test::Header(1, 3, 480);
  test::AppendTrack(bytes, conductor);
  test::Append(bytes, {'X', 'y', 'z', 'w', 0, 0, 0, 2, 0xAA, 0xBB});
  test::AppendTrack(bytes, a);
  test::AppendTrack(bytes, b);
  const MidiFile f = Parse(bytes);
  ASSERT_EQ(f.events.size(), 5u);
  EXPECT_EQ(f.events[0].status, 0xB0);
  EXPECT_EQ(f.events[1].tick, 10u);
  EXPECT_EQ(f.events[1].data1, 60);  // track 2 before track 3 at tick 10
  EXPECT_EQ(f.events[2].data1, 64);
  EXPECT_EQ(f.events[3].tick, 30u);
  EXPECT_EQ(f.events[4].status, 0xE0);
  ASSERT_EQ(f.tempoChanges.size(), 1u);
  EXPECT_EQ(f.tempoChanges[0].microsPerQuarter, 250000u);
  ASSERT_EQ(f.timeSignatures.size(), 1u);
  EXPECT_EQ(f.timeSignatures[0].numerator, 3);
  EXPECT_EQ(f.timeSignatures[0].denominator, 4);
  EXPECT_EQ(f.endTick, 100u);

  // Format 2 holds independent patterns: the second plays when the first has ended.
  const MidiFile patterns = Parse(Smf(2, 480, {a, b}));
  ASSERT_EQ(patterns.events.size(), 5u);
  EXPECT_EQ(patterns.events[2].tick, 30u + 5u);
  EXPECT_EQ(patterns.endTick, 30u + 30u);
}

TEST(TempoMap, TempoChangesSetSamplePositionsAndTransport) {
  // 480 ticks per quarter at 120 bpm, then 60 bpm from tick 960, and 3/4 from tick 1920.
  Track t;
  t.Event(0, {0xFF, 0x58, 0x04, 4, 2, 24, 8}).Tempo(960, 1000000).Event(960, {0xFF, 0x58, 0x04, 3, 2, 24, 8}).End();
  const TempoMap map(Parse(Smf(0, 480, {t})));
  EXPECT_DOUBLE_EQ(map.SecondsAtTick(480), 0.5);
  EXPECT_DOUBLE_EQ(map.SecondsAtTick(960), 1.0);
  EXPECT_DOUBLE_EQ(map.SecondsAtTick(1440), 2.0);
  EXPECT_EQ(map.SampleAtTick(1, 48000.0), 50);
  EXPECT_EQ(map.SampleAtTick(1000, 48000.0), 48000 + 40 * 100);
  EXPECT_EQ(map.SampleAtTick(1, 44100.0), 46);  // 45.9375 rounds to the nearest sample

  auto p = map.PositionAtSeconds(0.75);
  EXPECT_DOUBLE_EQ(p.ppq, 1.5);
  EXPECT_DOUBLE_EQ(p.tempo, 120.0);
  EXPECT_DOUBLE_EQ(p.barStartPpq, 0.0);
  p = map.PositionAtSeconds(3.5);  // half a quarter into the first 3/4 bar
  EXPECT_DOUBLE_EQ(p.ppq, 4.5);
  EXPECT_DOUBLE_EQ(p.tempo, 60.0);
  EXPECT_DOUBLE_EQ(p.barStartPpq, 4.0);
  EXPECT_EQ(p.numerator, 3);
  p = map.PositionAtSeconds(7.0);  // quarter 8: the second 3/4 bar began at quarter 7
  EXPECT_DOUBLE_EQ(p.barStartPpq, 7.0);
  EXPECT_EQ(p.denominator, 4);
}

TEST(TempoMap, SmpteDivisionRunsOnAFixedClock) {
  Track t;
  t.Tempo(0, 1000000).End();                                                // ignored: the clock is in frames
  const uint16_t division = static_cast<uint16_t>((0x100 - 25) << 8 | 40);  // 25 fps, 40 ticks per frame
  const TempoMap map(Parse(Smf(0, division, {t})));
  EXPECT_DOUBLE_EQ(map.SecondsAtTick(1000), 1.0);
  EXPECT_EQ(map.SampleAtTick(250, 44100.0), 11025);
}

TEST(MidiFile, OnlyAFileWithoutAUsableHeaderOrATrackIsRefused) {
  Track good;
  good.Event(0, {0x90, 60, 100}).End();
  const Bytes valid = Smf(0, 480, {good});

  struct Case {
    const char* name;
    Bytes bytes;
    const char* reason;
  };
  std::vector<Case> cases;
  cases.push_back({"empty", {}, "too short"});
  cases.push_back({"not a header", Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 0, 0, 1, 1, 0xE0}, "no MThd"});
  cases.push_back({"header cut", Bytes(valid.begin(), valid.begin() + 10), "MThd header"});
  cases.push_back({"division 0", Smf(0, 0, {good}), "division"});
  cases.push_back({"no track", test::Header(1, 1, 480), "no track"});
  cases.push_back({"RIFF without data", Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'R', 'M', 'I', 'D'}, "data chunk"});
  // Found by fuzzing: an odd-length last chunk whose pad byte is missing.
  cases.push_back({"RIFF chunk without its pad byte",
                   Bytes{'R', 'I', 'F', 'F', 13, 0, 0, 0, 'R', 'M', 'I', 'D', 'd', 'i', 's', 'p', 1, 0, 0, 0, 7},
                   "data chunk"});

  for (const auto& c : cases) {
    MidiFile f;
    std::string error;
    EXPECT_FALSE(ParseMidiFile(c.bytes, f, error)) << c.name;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << c.name;
  }

  MidiFile f;
  std::string error;
  EXPECT_FALSE(LoadMidiFile("/nonexistent/song.mid", f, error));
  EXPECT_NE(error.find("cannot read MIDI file '/nonexistent/song.mid': No such file"), std::string::npos) << error;
}

// Each damaged file plays what can be read and says once, with the track and the
// byte, what it skipped.
TEST(MidiFile, DamagedFilesPlayWhatCanBeReadWithOneWarningPerKind) {
  struct Case {
    const char* name;
    Bytes bytes;
    std::vector<uint8_t> keys;  // note-on keys expected, in order
    const char* warning;        // "" for none
  };
  std::vector<Case> cases;

  // A music program's own files: velocities and volumes written as full bytes.
  Track loud;
  loud.Event(0, {0xB0, 7, 0xFF})
      .Event(0, {0x90, 60, 0xCC})
      .Event(10, {0x80, 60, 0xCC})
      .Event(0, {0x90, 0xC8, 100})  // no such key: dropped
      .Event(0, {0x90, 62, 90})
      .End(10);
  cases.push_back({"values above 127",
                   Smf(0, 480, {loud}),
                   {60, 62},
                   "track 1, byte 23: data byte above 127 in a channel message, read as 127 (3 times)"});

  Track twoNotes;
  twoNotes.Event(0, {0x90, 60, 100}).Event(10, {0x80, 60, 0}).Event(0, {0x90, 64, 100}).Event(10, {0x80, 64, 0}).End();
  const Bytes whole = Smf(0, 480, {twoNotes});
  cases.push_back({"cut short",
                   Bytes(whole.begin(), whole.end() - 8),
                   {60, 64},
                   "track 1, byte 34: the file ends inside this track; played what was read"});

  Track signature;
  signature
      .Event(0, {0xFF, 0x58, 0x04, 4, 0, 24, 8})  // 4/1 is a real signature
      .Event(0, {0xFF, 0x58, 0x04, 3, 9, 24, 8})
      .Event(0, {0xFF, 0x51, 0x04, 0x07, 0xA1, 0x20, 0})
      .Event(0, {0x90, 61, 100})
      .End(10);
  cases.push_back({"time signature and tempo", Smf(0, 480, {signature}), {61}, "track 1, byte 31: time signature"});
  cases.push_back({"tempo of the wrong length", Smf(0, 480, {signature}), {61}, "track 1, byte 39: tempo event"});

  Bytes rmid{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'R', 'M', 'I', 'D', 'd', 'a', 't', 'a'};
  test::AppendU32(rmid, 0);
  const Bytes inner = Smf(0, 480, {twoNotes});
  for (int i = 0; i < 4; ++i) {
    rmid[16 + i] = static_cast<uint8_t>(inner.size() >> (8 * i));
  }
  rmid.insert(rmid.end(), inner.begin(), inner.end());
  cases.push_back({"RIFF-wrapped", rmid, {60, 64}, ""});

  Bytes undercounted = test::Header(1, 1, 480);
  test::AppendTrack(undercounted, Track().Event(0, {0x90, 60, 100}).End(5));
  test::AppendTrack(undercounted, Track().Event(0, {0x91, 64, 100}).End(5));
  cases.push_back({"more tracks than counted", undercounted, {60, 64}, "byte 10: the header's track count"});

  Bytes junk = test::Header(1, 2, 480);
  test::AppendTrack(junk, Track().Event(0, {0x90, 60, 100}).End(5));
  test::Append(junk, {0x00, 0x01, 0x02});
  test::AppendTrack(junk, Track().Event(0, {0x91, 64, 100}).End(5));
  cases.push_back({"junk between tracks", junk, {60, 64}, "byte 30: bytes that are no chunk"});

  cases.push_back({"running status first",
                   Smf(1, 480, {Track().Event(0, {60, 100}).End(), Track().Event(0, {0x90, 65, 1}).End()}),
                   {65},
                   "track 1, byte 23: data byte with no running status"});
  cases.push_back({"real-time byte",
                   Smf(0, 480, {Track().Event(0, {0xF8}).Event(0, {0x90, 66, 1}).End()}),
                   {66},
                   "system common or real-time"});
  cases.push_back({"event past its track",
                   Smf(0, 480, {Track().Event(0, {0x90, 67, 1}).Event(0, {0xF0, 0x10, 1})}),
                   {67},
                   "track 1, byte 27: meta or system exclusive event longer than its track"});

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const MidiFile f = Parse(c.bytes);
    std::vector<uint8_t> keys;
    for (const auto& e : f.events) {
      if ((e.status & 0xF0) == 0x90) {
        keys.push_back(e.data1);
        EXPECT_LE(e.data2, 127);
      }
    }
    EXPECT_EQ(keys, c.keys);
    std::string all;
    for (const auto& w : f.warnings) {
      all += DescribeWarning(w) + "\n";
    }
    if (*c.warning == 0) {
      EXPECT_EQ(all, "");
    } else {
      EXPECT_NE(all.find(c.warning), std::string::npos) << all;
    }
  }

  // The signature and tempo that cannot be read leave the ones that can.
  const MidiFile f = Parse(Smf(0, 480, {signature}));
  ASSERT_EQ(f.timeSignatures.size(), 1u);
  EXPECT_EQ(f.timeSignatures[0].denominator, 1);
  EXPECT_TRUE(f.tempoChanges.empty());
}

TEST(RenderOptions, ParsesValuesStrictly) {
  RenderOptions o;
  std::string error;
  ASSERT_EQ(ParseOptions({"--demo", "-o", "x.wav", "--rate=48000", "--program", "12", "--param", "3=0.25",
                          "--param=0=1", "--tail", "0.5", "--float"},
                         o, error),
            ParseResult::Run)
      << error;
  EXPECT_EQ(o.sampleRate, 48000);
  EXPECT_TRUE(o.programIsNumber);
  EXPECT_EQ(o.programNumber, 12);
  ASSERT_EQ(o.params.size(), 2u);
  EXPECT_EQ(o.params[0].index, 3);
  EXPECT_FLOAT_EQ(o.params[0].value, 0.25f);
  EXPECT_EQ(o.params[1].index, 0);
  EXPECT_DOUBLE_EQ(o.tailSeconds, 0.5);
  EXPECT_TRUE(o.floatSamples);

  ASSERT_EQ(ParseOptions({"--midi", "a.mid", "--output", "x.wav", "--program", "Warm Pad 2"}, o, error),
            ParseResult::Run);
  EXPECT_FALSE(o.programIsNumber);
  EXPECT_EQ(o.program, "Warm Pad 2");

  // Too small for a double is still a number in 0..1: it rounds to 0.
  ASSERT_EQ(ParseOptions({"--demo", "-o", "x.wav", "--param", "5=1e-400"}, o, error), ParseResult::Run) << error;
  EXPECT_EQ(o.params[0].value, 0.0f);

  EXPECT_EQ(ParseOptions({"--demo", "--help"}, o, error), ParseResult::Help);
  const std::vector<std::vector<std::string>> bad = {
      {"--demo"},                                    // no output
      {"-o", "x.wav"},                               // nothing to play
      {"--demo", "--midi", "a.mid", "-o", "x.wav"},  // both sources
      {"--demo", "-o", "x.wav", "--rate", "44100x"},
      {"--demo", "-o", "x.wav", "--rate", "0"},
      {"--demo", "-o", "x.wav", "--block", "0"},
      {"--demo", "-o", "x.wav", "--tail", "nan"},
      {"--demo", "-o", "x.wav", "--tail", "-1"},
      {"--demo", "-o", "x.wav", "--param", "3"},
      {"--demo", "-o", "x.wav", "--param", "3=1.5"},
      {"--demo", "-o", "x.wav", "--param", "3=-1e400"},
      {"--demo", "-o", "x.wav", "--tail", "1", "--tail", "2"},
      {"--demo", "-o", "x.wav", "--param", "-1=0.5"},
      {"--demo", "-o", "x.wav", "--program", "99999999999"},
      {"--demo", "-o", "x.wav", "--bogus"},
      {"--demo", "-o", "x.wav", "stray"},
      {"--demo", "-o"},
      {"--demo=1", "-o", "x.wav"},
  };
  for (const auto& args : bad) {
    error.clear();
    EXPECT_EQ(ParseOptions(args, o, error), ParseResult::Error) << args.back();
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace tessaron
