#pragma once
// The built-in demo: five bars of chords under a melody, as if read from a file.
#include "tools/render/MidiFile.h"

namespace tessaron {

MidiFile DemoPhrase();

}  // namespace tessaron
