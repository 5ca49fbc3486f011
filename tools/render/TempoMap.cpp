#include "tools/render/TempoMap.h"

#include <algorithm>
#include <cmath>

namespace tessaron {
namespace {

constexpr uint32_t kDefaultMicrosPerQuarter = 500000;  // 120 beats per minute

}  // namespace

TempoMap::TempoMap(const MidiFile& file) {
  if (file.division & 0x8000) {
    smpte = true;
    const int fps = -static_cast<int8_t>(file.division >> 8);
    const int perFrame = file.division & 0xFF;
    // 29 stands for 30 drop-frame, which runs at 29.97 frames per second.
    const double framesPerSecond = fps == 29 ? 30000.0 / 1001.0 : fps;
    const double secondsPerTick = 1.0 / (framesPerSecond * perFrame);
    segments.push_back({0, 0.0, secondsPerTick});
    ticksPerQuarter = 0.5 / secondsPerTick;  // quarter notes at 120 beats per minute
  } else {
    ticksPerQuarter = file.division;
    segments.push_back({0, 0.0, kDefaultMicrosPerQuarter * 1e-6 / ticksPerQuarter});
    for (const auto& change : file.tempoChanges) {
      const Segment& last = segments.back();
      const double seconds = last.seconds + static_cast<double>(change.tick - last.tick) * last.secondsPerTick;
      const double secondsPerTick = change.microsPerQuarter * 1e-6 / ticksPerQuarter;
      if (change.tick == last.tick) {
        segments.back().secondsPerTick = secondsPerTick;  // the later of two changes at one tick wins
      } else {
        segments.push_back({change.tick, seconds, secondsPerTick});
      }
    }
  }

  signatures.push_back({0, 4, 4});
  for (const auto& sig : file.timeSignatures) {
    if (sig.tick == signatures.back().tick) {
      signatures.back() = sig;
    } else {
      signatures.push_back(sig);
    }
  }
}

const TempoMap::Segment& TempoMap::SegmentAtTick(uint64_t tick) const {
  auto it =
      std::upper_bound(segments.begin(), segments.end(), tick, [](uint64_t t, const Segment& s) { return t < s.tick; });
  return *(it - 1);
}

const TempoMap::Segment& TempoMap::SegmentAtSeconds(double seconds) const {
  auto it = std::upper_bound(segments.begin(), segments.end(), seconds,
                             [](double t, const Segment& s) { return t < s.seconds; });
  return it == segments.begin() ? segments.front() : *(it - 1);
}

double TempoMap::SecondsAtTick(uint64_t tick) const {
  const Segment& s = SegmentAtTick(tick);
  return s.seconds + static_cast<double>(tick - s.tick) * s.secondsPerTick;
}

int64_t TempoMap::SampleAtTick(uint64_t tick, double sampleRate) const {
  return std::llround(SecondsAtTick(tick) * sampleRate);
}

TempoMap::Position TempoMap::PositionAtSeconds(double seconds) const {
  seconds = std::max(seconds, 0.0);
  const Segment& s = SegmentAtSeconds(seconds);
  const double tick = static_cast<double>(s.tick) + (seconds - s.seconds) / s.secondsPerTick;

  Position p;
  p.ppq = tick / ticksPerQuarter;
  p.tempo = smpte ? 120.0 : 60.0 / (s.secondsPerTick * ticksPerQuarter);

  // Each signature change starts a bar; bars then follow at the signature's length.
  auto it = std::upper_bound(signatures.begin(), signatures.end(), tick,
                             [](double t, const MidiTimeSignature& sig) { return t < static_cast<double>(sig.tick); });
  const MidiTimeSignature& sig = it == signatures.begin() ? signatures.front() : *(it - 1);
  const double barTicks = ticksPerQuarter * 4.0 * sig.numerator / sig.denominator;
  // The small bias keeps a position that lands on a bar line, give or take rounding, in the new bar.
  const double sinceChange = tick - static_cast<double>(sig.tick);
  const double barStartTick = static_cast<double>(sig.tick) + std::floor(sinceChange / barTicks + 1e-9) * barTicks;
  p.barStartPpq = barStartTick / ticksPerQuarter;
  p.numerator = sig.numerator;
  p.denominator = sig.denominator;
  return p;
}

}  // namespace tessaron
