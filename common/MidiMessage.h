#pragma once
// The engine's own copy of a short MIDI message. The host binding has its own
// record and converts; the engine never includes host/.
#include <cstdint>

namespace tessaron::engine {

struct MidiMessage {
  int32_t offset = 0;  // samples from the start of the host block (later: of the control block)
  uint8_t status = 0;
  uint8_t data1 = 0;
  uint8_t data2 = 0;
};

static_assert(sizeof(MidiMessage) == 8, "queue sizing assumes 8-byte messages");

// Upper four bits of the status byte.
constexpr int kKindNoteOff = 0x8;
constexpr int kKindNoteOn = 0x9;
constexpr int kKindControlChange = 0xB;
constexpr int kKindPitchBend = 0xE;

inline int MessageKind(const MidiMessage& m) { return m.status >> 4; }

}  // namespace tessaron::engine
