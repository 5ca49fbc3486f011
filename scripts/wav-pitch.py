#!/usr/bin/env python3
"""Prints the RMS and the fundamental (Hz) of a stretch of a PCM WAV file's first channel.

usage: wav-pitch.py FILE FROM_SECONDS TO_SECONDS EXPECTED_HZ

The fundamental is searched from a little below half to a little above twice the expected
pitch, so an octave error shows as such: the first autocorrelation peak that comes close
to the best one, refined by a parabola through its neighbours.
"""
import math
import struct
import sys
import wave


def samples(path, start, end):
    with wave.open(path, "rb") as w:
        rate, width, channels = w.getframerate(), w.getsampwidth(), w.getnchannels()
        w.setpos(int(start * rate))
        frames = w.readframes(int((end - start) * rate))
    if width != 2:
        sys.exit(f"{path}: {8 * width}-bit samples; expected 16-bit PCM")
    values = struct.unpack(f"<{len(frames) // 2}h", frames)
    return rate, [v / 32768.0 for v in values[::channels]]


def fundamental(x, rate, expected):
    min_lag = max(2, int(rate / (expected * 2.2)))
    max_lag = int(rate / (expected * 0.45)) + 1
    n = len(x) - max_lag - 1
    def corr(lag):
        s = sum(a * b for a, b in zip(x[:n], x[lag:lag + n]))
        e0 = sum(a * a for a in x[:n])
        e1 = sum(b * b for b in x[lag:lag + n])
        return s / math.sqrt(e0 * e1 + 1e-300)
    r = {lag: corr(lag) for lag in range(min_lag - 1, max_lag + 2)}
    best = max(r[lag] for lag in range(min_lag, max_lag + 1))
    for lag in range(min_lag, max_lag + 1):
        a, b, c = r[lag - 1], r[lag], r[lag + 1]
        if b >= 0.9 * best and b >= a and b >= c:
            d = a - 2 * b + c
            return rate / (lag + (0.5 * (a - c) / d if d else 0.0))
    return 0.0


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    path, start, end, expected = sys.argv[1], float(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4])
    rate, x = samples(path, start, end)
    rms = math.sqrt(sum(v * v for v in x) / len(x)) if x else 0.0
    print(f"{rms:.6f} {fundamental(x, rate, expected) if rms > 0 else 0.0:.2f}")


if __name__ == "__main__":
    main()
