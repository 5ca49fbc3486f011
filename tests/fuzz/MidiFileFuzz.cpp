// Feeds arbitrary bytes to the MIDI file reader, then walks the tempo map it
// yields as the renderer does: every event's time, and the transport between.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/render/MidiFile.h"
#include "tools/render/TempoMap.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// The renderer refuses longer songs before placing any event.
constexpr double kMaxSongSeconds = 24.0 * 3600.0;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace tessaron;
  MidiFile file;
  std::string error;
  if (!ParseMidiFile({data, size}, file, error)) {
    Check(!error.empty() && error.find('\n') == std::string::npos);
    return 0;
  }
  Check(file.trackCount > 0);
  for (const auto& w : file.warnings) {
    Check(w.count > 0 && w.offset <= size);
    Check(DescribeWarning(w).find('\n') == std::string::npos);
  }
  uint64_t previous = 0;
  for (const auto& e : file.events) {
    Check(e.tick >= previous && e.tick <= file.endTick && e.tick <= kMidiMaxTick);
    Check(e.status >= 0x80 && e.status <= 0xEF && e.data1 <= 0x7F && e.data2 <= 0x7F);
    Check(e.size == 2 || e.size == 3);
    previous = e.tick;
  }
  for (const auto& s : file.timeSignatures) {
    Check(s.numerator > 0 && s.denominator >= 1 && s.denominator <= 128);
  }

  const TempoMap tempo(file);
  const double length = tempo.SecondsAtTick(file.endTick);
  Check(std::isfinite(length) && length >= 0.0);
  if (length > kMaxSongSeconds) return 0;
  double before = 0.0;
  for (const auto& e : file.events) {
    const double seconds = tempo.SecondsAtTick(e.tick);
    Check(seconds >= before && seconds <= length);
    before = seconds;
    Check(tempo.SampleAtTick(e.tick, 768000.0) >= 0);
  }
  for (double seconds : {0.0, length * 0.37, length, length + 1.0}) {
    const TempoMap::Position p = tempo.PositionAtSeconds(seconds);
    Check(std::isfinite(p.ppq) && std::isfinite(p.tempo) && std::isfinite(p.barStartPpq));
    Check(p.tempo > 0.0 && p.barStartPpq <= p.ppq + 1e-6 * (1.0 + p.ppq));
  }
  return 0;
}
