#pragma once
// Converts between MIDI ticks, seconds and musical position for one file's
// tempo and time-signature changes. With an SMPTE division the clock is fixed
// and musical positions are read at the default 120 beats per minute.
#include <cstdint>
#include <vector>

#include "tools/render/MidiFile.h"

namespace tessaron {

class TempoMap {
 public:
  explicit TempoMap(const MidiFile& file);

  double SecondsAtTick(uint64_t tick) const;
  // Sample index an event at this tick falls on, rounded to the nearest sample.
  int64_t SampleAtTick(uint64_t tick, double sampleRate) const;

  // Musical state at a time, for the host's time information.
  struct Position {
    double ppq = 0.0;          // quarter notes since the start
    double tempo = 120.0;      // beats per minute
    double barStartPpq = 0.0;  // start of the current bar in quarter notes
    int numerator = 4;
    int denominator = 4;
  };
  Position PositionAtSeconds(double seconds) const;

 private:
  struct Segment {
    uint64_t tick;
    double seconds;
    double secondsPerTick;
  };
  const Segment& SegmentAtSeconds(double seconds) const;
  const Segment& SegmentAtTick(uint64_t tick) const;

  double ticksPerQuarter = 480.0;
  bool smpte = false;
  std::vector<Segment> segments;              // never empty, ascending
  std::vector<MidiTimeSignature> signatures;  // never empty, ascending
};

}  // namespace tessaron
