#pragma once
// The MIDI records the binding hands to the instrument and takes from it for output.
#include <cstdint>

namespace tessaron {

struct MidiMessage {
  int32_t offset = 0;  // frames from the start of the next audio block
  uint8_t status = 0;
  uint8_t data1 = 0;
  uint8_t data2 = 0;
};

struct SysExMessage {
  int32_t offset = 0;
  int32_t size = 0;
  const uint8_t* data = nullptr;  // valid only during the call
};

}  // namespace tessaron
