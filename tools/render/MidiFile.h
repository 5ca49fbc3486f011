#pragma once
// Standard MIDI File reader (formats 0 and 1). Tracks are merged into one list
// ordered by absolute tick; tempo and time-signature meta events are kept apart
// for the tempo map. Malformed input is refused with a one-line reason, never
// read past its end.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tessaron {

struct MidiFileEvent {
    uint64_t tick = 0;
    uint8_t status = 0;  // channel message status, 0x80..0xEF
    uint8_t data1 = 0;
    uint8_t data2 = 0;
    uint8_t size = 0;  // 2 or 3 bytes
};

struct MidiTempoChange {
    uint64_t tick = 0;
    uint32_t microsPerQuarter = 500000;
};

struct MidiTimeSignature {
    uint64_t tick = 0;
    int numerator = 4;
    int denominator = 4;
};

struct MidiFile {
    int format = 0;
    int trackCount = 0;
    // Raw header division: ticks per quarter note, or (bit 15 set) SMPTE frames and ticks per frame.
    uint16_t division = 480;
    std::vector<MidiFileEvent> events;           // channel messages, stable-sorted by tick
    std::vector<MidiTempoChange> tempoChanges;   // sorted by tick
    std::vector<MidiTimeSignature> timeSignatures;  // sorted by tick
    uint64_t endTick = 0;  // the latest channel event or end-of-track marker
};

// Longest delta or absolute position a file may reach; keeps every later
// conversion to seconds and samples far from overflow.
constexpr uint64_t kMidiMaxTick = uint64_t{1} << 40;

// Parses a whole file image. On failure returns false and sets error to a short reason.
bool ParseMidiFile(std::span<const uint8_t> bytes, MidiFile& out, std::string& error);

// Reads and parses a file; unreadable files are refused like malformed ones.
bool LoadMidiFile(const std::string& path, MidiFile& out, std::string& error);

}  // namespace tessaron
