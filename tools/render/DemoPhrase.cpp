#include "tools/render/DemoPhrase.h"

#include <algorithm>
#include <initializer_list>

namespace tessaron {
namespace {

constexpr uint16_t kTicksPerQuarter = 480;
constexpr uint64_t kBar = 4 * kTicksPerQuarter;
constexpr uint32_t kMicrosPerQuarter = 400000;  // 150 beats per minute
// Chord notes stop a little early so the next chord strikes fresh keys.
constexpr uint64_t kChordGap = 30;

struct Note {
  uint64_t start;
  uint64_t length;
  uint8_t key;
};

void AddNote(MidiFile& f, uint64_t start, uint64_t length, uint8_t key, uint8_t velocity) {
  f.events.push_back({start, 0x90, key, velocity, 3});
  f.events.push_back({start + length, 0x80, key, 64, 3});
}

}  // namespace

MidiFile DemoPhrase() {
  MidiFile f;
  f.format = 0;
  f.trackCount = 1;
  f.division = kTicksPerQuarter;
  f.tempoChanges.push_back({0, kMicrosPerQuarter});
  f.timeSignatures.push_back({0, 4, 4});

  // A minor: Am9, Fmaj7, C, G, then home to A minor.
  const std::initializer_list<uint8_t> chords[] = {
      {45, 52, 55, 59, 60}, {41, 48, 52, 57, 64}, {48, 55, 60, 64}, {43, 50, 55, 59, 62}, {45, 52, 57, 60, 64}};
  uint64_t bar = 0;
  for (const auto& chord : chords) {
    const uint64_t length = kBar - kChordGap;
    for (uint8_t key : chord) {
      AddNote(f, bar * kBar, length, key, 76);
    }
    ++bar;
  }

  constexpr uint64_t q = kTicksPerQuarter;
  constexpr uint64_t e = q / 2;
  const Note melody[] = {
      {0, q, 76},
      {q, e, 74},
      {q + e, e, 72},
      {2 * q, q, 71},
      {3 * q, q, 72},
      {kBar, 3 * q, 69},
      {kBar + 3 * q, q, 72},
      {2 * kBar, q, 79},
      {2 * kBar + q, e, 76},
      {2 * kBar + q + e, e, 74},
      {2 * kBar + 2 * q, q, 72},
      {2 * kBar + 3 * q, q, 76},
      {3 * kBar, 2 * q, 74},
      {3 * kBar + 2 * q, q, 71},
      {3 * kBar + 3 * q, q, 67},
      {4 * kBar, 4 * q, 69},
  };
  for (const Note& n : melody) {
    AddNote(f, n.start, n.length - 10, n.key, 100);
  }

  // A gentle swell of the modulation wheel under the last chord.
  for (int i = 0; i <= 8; ++i) {
    f.events.push_back({4 * kBar + static_cast<uint64_t>(i) * e, 0xB0, 1, static_cast<uint8_t>(i * 6), 3});
  }
  f.events.push_back({5 * kBar, 0xB0, 1, 0, 3});

  // Releases before strikes at the same tick, so a repeated key sounds again.
  std::stable_sort(f.events.begin(), f.events.end(), [](const MidiFileEvent& a, const MidiFileEvent& b) {
    if (a.tick != b.tick) {
      return a.tick < b.tick;
    }
    return (a.status & 0xF0) == 0x80 && (b.status & 0xF0) != 0x80;
  });
  f.endTick = f.events.back().tick;
  return f;
}

}  // namespace tessaron
