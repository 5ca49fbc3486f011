#pragma once
// Builds Standard MIDI File images byte by byte, so tests can state exactly
// what a file holds, including the broken ones.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace tessaron::test {

using Bytes = std::vector<uint8_t>;

inline void Append(Bytes& b, std::initializer_list<uint8_t> bytes) { b.insert(b.end(), bytes); }

inline void AppendVlq(Bytes& b, uint32_t v) {
  uint8_t tmp[4];
  int n = 0;
  do {
    tmp[n++] = v & 0x7F;
    v >>= 7;
  } while (v);
  while (n > 1) {
    b.push_back(tmp[--n] | 0x80);
  }
  b.push_back(tmp[0]);
}

inline void AppendU32(Bytes& b, uint32_t v) {
  Append(b, {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
}

// One track's events: delta, then raw bytes.
struct Track {
  Bytes body;
  Track& Event(uint32_t delta, std::initializer_list<uint8_t> bytes) {
    AppendVlq(body, delta);
    Append(body, bytes);
    return *this;
  }
  Track& Tempo(uint32_t delta, uint32_t micros) {
    return Event(delta, {0xFF, 0x51, 0x03, uint8_t(micros >> 16), uint8_t(micros >> 8), uint8_t(micros)});
  }
  Track& End(uint32_t delta = 0) { return Event(delta, {0xFF, 0x2F, 0x00}); }
};

inline Bytes Header(uint16_t format, uint16_t tracks, uint16_t division) {
  Bytes b{'M', 'T', 'h', 'd'};
  AppendU32(b, 6);
  Append(b, {uint8_t(format >> 8), uint8_t(format), uint8_t(tracks >> 8), uint8_t(tracks), uint8_t(division >> 8),
             uint8_t(division)});
  return b;
}

inline void AppendTrack(Bytes& b, const Track& t) {
  Append(b, {'M', 'T', 'r', 'k'});
  AppendU32(b, static_cast<uint32_t>(t.body.size()));
  b.insert(b.end(), t.body.begin(), t.body.end());
}

inline Bytes Smf(uint16_t format, uint16_t division, std::initializer_list<Track> tracks) {
  Bytes b = Header(format, static_cast<uint16_t>(tracks.size()), division);
  for (const Track& t : tracks) {
    AppendTrack(b, t);
  }
  return b;
}

}  // namespace tessaron::test
