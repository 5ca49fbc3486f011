#pragma once
// Standard MIDI File reader (formats 0, 1 and 2, bare or RIFF-wrapped). Tracks are
// merged into one list ordered by absolute tick; tempo and time-signature meta
// events are kept apart for the tempo map. Damage is read the way other players
// read it: what can be read is played, what cannot is skipped and reported once
// per kind. Only a file without a usable header or without any track is refused.
// Nothing is ever read past the end of the input.
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

// One kind of damage the reader worked around, where it was first met and how often.
struct MidiFileWarning {
  std::string what;
  int track = 0;      // from 1; 0 for the file as a whole
  size_t offset = 0;  // byte offset in the file of the first occurrence
  int count = 0;
};

struct MidiFile {
  int format = 0;
  int trackCount = 0;
  // Raw header division: ticks per quarter note, or (bit 15 set) SMPTE frames and ticks per frame.
  uint16_t division = 480;
  std::vector<MidiFileEvent> events;              // channel messages, stable-sorted by tick
  std::vector<MidiTempoChange> tempoChanges;      // sorted by tick
  std::vector<MidiTimeSignature> timeSignatures;  // sorted by tick
  uint64_t endTick = 0;                           // the latest channel event or end-of-track marker
  std::vector<MidiFileWarning> warnings;          // in the order first met
};

// "track 2, byte 1234: what (3 times)", one line.
std::string DescribeWarning(const MidiFileWarning& warning);

// Longest delta or absolute position a file may reach; keeps every later
// conversion to seconds and samples far from overflow.
constexpr uint64_t kMidiMaxTick = uint64_t{1} << 40;

// Parses a whole file image. Returns false with a short reason only for a file that
// has no usable header or no track.
bool ParseMidiFile(std::span<const uint8_t> bytes, MidiFile& out, std::string& error);

// Reads and parses a file; anything that can be read (a pipe too) is. Unreadable
// inputs are refused with the reason.
bool LoadMidiFile(const std::string& path, MidiFile& out, std::string& error);

}  // namespace tessaron
