"""Standard MIDI files for the benchmark scripts: format 0, 480 ticks per quarter at the
default 120 bpm, so 960 ticks a second."""
import struct

TICKS_PER_SECOND = 960


def _vlq(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.append((n & 0x7F) | 0x80)
        n >>= 7
    return bytes(reversed(out))


def write(path, notes, end=0.0):
    """notes: (start s, length s, key) at velocity 100; the track lasts at least `end` s.
    At the same tick a release comes before a new key."""
    events = []
    for start, length, key in notes:
        events.append((round(start * TICKS_PER_SECOND), 1, bytes([0x90, key, 100])))
        events.append((round((start + length) * TICKS_PER_SECOND), 0, bytes([0x80, key, 0])))
    events.sort(key=lambda e: (e[0], e[1]))
    data, now = b"", 0
    for tick, _, message in events:
        data += _vlq(tick - now) + message
        now = tick
    data += _vlq(max(0, round(end * TICKS_PER_SECOND) - now)) + b"\xff\x2f\x00"
    with open(path, "wb") as out:
        out.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480) + b"MTrk" + struct.pack(">I", len(data)) + data)


def held(keys, seconds):
    """Keys that go down together at the start and are held for `seconds`."""
    return [(0.0, seconds, key) for key in keys]


TEN_KEYS = (36, 43, 48, 52, 55, 60, 64, 67, 71, 74)
