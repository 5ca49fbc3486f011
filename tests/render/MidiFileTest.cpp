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

MidiFile Parse(const Bytes& bytes)
{
    MidiFile f;
    std::string error;
    EXPECT_TRUE(ParseMidiFile(bytes, f, error)) << error;
    return f;
}

TEST(MidiFile, FormatZeroWithRunningStatusSysexAndEndOfTrack)
{
    Track t;
    t.Event(0, {0x90, 60, 100})
        .Event(10, {62, 90})                    // running status: another note-on
        .Event(0, {0xF0, 0x03, 0x7E, 0x01, 0xF7})  // sysex is skipped
        .Event(5, {0xC1, 7})                    // program change: one data byte
        .Event(1, {8})                          // running status with one data byte
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

TEST(MidiFile, FormatOneMergesTracksByTickKeepingTrackOrderOnTies)
{
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
}

TEST(TempoMap, TempoChangesSetSamplePositionsAndTransport)
{
    // 480 ticks per quarter at 120 bpm, then 60 bpm from tick 960, and 3/4 from tick 1920.
    Track t;
    t.Event(0, {0xFF, 0x58, 0x04, 4, 2, 24, 8})
        .Tempo(960, 1000000)
        .Event(960, {0xFF, 0x58, 0x04, 3, 2, 24, 8})
        .End();
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

TEST(TempoMap, SmpteDivisionRunsOnAFixedClock)
{
    Track t;
    t.Tempo(0, 1000000).End();  // ignored: the clock is in frames
    const uint16_t division = static_cast<uint16_t>((0x100 - 25) << 8 | 40);  // 25 fps, 40 ticks per frame
    const TempoMap map(Parse(Smf(0, division, {t})));
    EXPECT_DOUBLE_EQ(map.SecondsAtTick(1000), 1.0);
    EXPECT_EQ(map.SampleAtTick(250, 44100.0), 11025);
}

TEST(MidiFile, MalformedFilesAreRefusedWithAReason)
{
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
    cases.push_back({"format 2", Smf(2, 480, {good}), "format 2"});
    cases.push_back({"format 0 with two tracks", Smf(0, 480, {good, good}), "2 tracks"});
    cases.push_back({"division 0", Smf(0, 0, {good}), "division"});
    Bytes missing = test::Header(1, 2, 480);
    test::AppendTrack(missing, good);
    cases.push_back({"missing track", missing, "2 tracks announced, 1 found"});
    cases.push_back({"truncated track", Bytes(valid.begin(), valid.end() - 2), "past the end"});
    Bytes badId = valid;
    badId[14] = 0x01;
    cases.push_back({"bad chunk id", badId, "bad chunk id"});
    cases.push_back({"running status first", Smf(0, 480, {Track().Event(0, {60, 100}).End()}), "no previous status"});
    cases.push_back({"status in data", Smf(0, 480, {Track().Event(0, {0x90, 60, 0x90}).End()}), "data byte"});
    cases.push_back({"cut message", Smf(0, 480, {Track().Event(0, {0x90, 60})}), "truncated channel"});
    Track cutDelta;
    cutDelta.body = {0x00, 0x90, 60, 1, 0x81};
    cases.push_back({"cut delta", Smf(0, 480, {cutDelta}), "truncated delta"});
    Track longDelta;
    longDelta.body = {0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x90, 60, 1};
    cases.push_back({"long delta", Smf(0, 480, {longDelta}), "four bytes"});
    cases.push_back({"meta too long", Smf(0, 480, {Track().Event(0, {0xFF, 0x01, 0x20, 'a'})}), "meta event length"});
    cases.push_back({"sysex too long", Smf(0, 480, {Track().Event(0, {0xF0, 0x10, 1})}), "system exclusive length"});
    cases.push_back({"tempo zero", Smf(0, 480, {Track().Tempo(0, 0).End()}), "tempo of zero"});
    cases.push_back({"real-time byte", Smf(0, 480, {Track().Event(0, {0xF8}).End()}), "0xF8"});

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
    EXPECT_NE(error.find("cannot read"), std::string::npos);
}

TEST(RenderOptions, ParsesValuesStrictly)
{
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

    EXPECT_EQ(ParseOptions({"--demo", "--help"}, o, error), ParseResult::Help);
    const std::vector<std::vector<std::string>> bad = {
        {"--demo"},                                     // no output
        {"-o", "x.wav"},                                // nothing to play
        {"--demo", "--midi", "a.mid", "-o", "x.wav"},   // both sources
        {"--demo", "-o", "x.wav", "--rate", "44100x"},
        {"--demo", "-o", "x.wav", "--rate", "0"},
        {"--demo", "-o", "x.wav", "--block", "0"},
        {"--demo", "-o", "x.wav", "--tail", "nan"},
        {"--demo", "-o", "x.wav", "--tail", "-1"},
        {"--demo", "-o", "x.wav", "--param", "3"},
        {"--demo", "-o", "x.wav", "--param", "3=1.5"},
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
