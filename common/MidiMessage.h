#pragma once
// The MIDI records the binding hands to the instrument and takes from it for output, and
// the one set of status and controller numbers every layer classifies them by.
#include <cstdint>

namespace tessaron {

struct MidiMessage {
  int32_t offset = 0;  // samples from the start of the host block (in the engine later: of the control block)
  uint8_t status = 0;
  uint8_t data1 = 0;
  uint8_t data2 = 0;
};

static_assert(sizeof(MidiMessage) == 8, "queue sizing assumes 8-byte messages");

struct SysExMessage {
  int32_t offset = 0;
  int32_t size = 0;
  const uint8_t* data = nullptr;  // valid only during the call
};

// Upper four bits of the status byte.
constexpr int kKindNoteOff = 0x8;
constexpr int kKindNoteOn = 0x9;
constexpr int kKindControlChange = 0xB;
constexpr int kKindProgramChange = 0xC;
constexpr int kKindPitchBend = 0xE;

// Controller numbers with a fixed meaning; 120 and up are channel modes.
constexpr int kControllerModWheel = 1;
constexpr int kControllerSustain = 64;
constexpr int kControllerAllSoundOff = 120;
constexpr int kControllerAllNotesOff = 123;
constexpr int kFirstChannelMode = 120;

inline int MessageKind(const MidiMessage& m) { return m.status >> 4; }

}  // namespace tessaron
