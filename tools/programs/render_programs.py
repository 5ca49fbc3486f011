#!/usr/bin/python3
"""Renders every factory program with a phrase that suits its category, measures it
and writes the listening material for docs/sounds/.

For each program: a WAV render (kept in the work folder), a spectrogram with the
waveform above it (PNG), a short Ogg Vorbis excerpt, and one line of measurements
(peak, RMS, spectral centroid, stereo width, attack and release times) in
measurements.txt. Not part of the build; needs python3-numpy, python3-matplotlib, sox
and vorbis-tools (oggenc).

  tools/programs/render_programs.py --render BUILD/tools/render/tessaron-render
      [--bank FILE.fxb] [--only N ...] [--phrase NAME] [--work DIR] [--docs docs/sounds]
      [--no-media]

--phrase plays one phrase for every program; "full-chord" (a low key under a wide
chord) is the level check: no program should pass 0 dBFS with it.

--bank plays another bank file through the instrument's startup bank setting, so an
edited bank can be heard without rebuilding the module. The renders run with HOME
and XDG_CONFIG_HOME pointed at the work folder: a user's own configuration is never
read or changed.
"""
import argparse
import os
import struct
import subprocess
import sys

import numpy as np

RATE = 44100
TEMPO_BPM = 120
TICKS = 480
EXCERPT_SECONDS = 5.0

# ----------------------------------------------------------------------------
# Phrases. Each is a list of (start beat, length in beats, key); 120 beats per
# minute, so one beat is half a second.

CHORDS = [  # held chords, each struck fresh: pads, strings, brass, keys
    *[(0.0, 5.5, k) for k in (48, 55, 60, 64)],
    *[(6.0, 5.5, k) for k in (45, 52, 57, 60, 67)],
]
STABS = [  # synth: a rhythm of short chords, then one held
    *[(b, 0.4, k) for b in (0, 0.75, 1.5, 2.5, 3.0) for k in (48, 55, 60, 63)],
    *[(4.0, 4.0, k) for k in (44, 51, 56, 60, 63)],
]
MELODY = [  # leads: legato, each note overlapping the next so glides are heard
    (0.0, 1.1, 60), (1.0, 0.6, 62), (1.5, 0.6, 63), (2.0, 2.1, 67), (4.0, 1.1, 65),
    (5.0, 0.6, 63), (5.5, 0.6, 62), (6.0, 2.0, 60),
]
SEQUENCE = [  # sequences: sixteenths, short and detached
    (i * 0.25, 0.18, k) for i, k in enumerate([48, 55, 60, 63, 67, 63, 60, 55] * 2 + [46, 53, 58, 62, 65, 62, 58, 53] * 2)
]
BASS = [  # basses: an eighth-note line in the low register
    (i * 0.5, 0.4 if i % 4 != 3 else 0.2, k)
    for i, k in enumerate([36, 36, 48, 36, 39, 36, 43, 34, 36, 36, 48, 36, 41, 43, 46, 31])
]
GESTURE = [  # effects: one low key, then a high pair over it
    (0.0, 6.0, 48), (3.0, 3.0, 60), (3.0, 3.0, 67),
]
FULL_CHORD = [  # any program: a low key under a wide chord, the loudest common case
    (0.0, 2.0, k) for k in (36, 48, 55, 64)
]

PHRASES = {'chords': CHORDS, 'stabs': STABS, 'melody': MELODY, 'sequence': SEQUENCE, 'bass': BASS,
           'gesture': GESTURE, 'full-chord': FULL_CHORD}
PHRASE_OF_PREFIX = {
    'PAD': 'chords', 'STR': 'chords', 'BRS': 'chords', 'KEY': 'chords',
    'SYN': 'stabs', 'LED': 'melody', 'SEQ': 'sequence', 'BAS': 'bass', 'SFX': 'gesture',
}


def VarLen(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.insert(0, 0x80 | (value & 0x7F))
        value >>= 7
    return bytes(out)


def MidiFile(notes, velocity=96):
    """A format-0 Standard MIDI File with the tempo and the notes."""
    events = []
    for start, length, key in notes:
        on = round(start * TICKS)
        events.append((on, 1, bytes([0x90, key, velocity])))
        events.append((on + round(length * TICKS), 0, bytes([0x80, key, 64])))
    events.sort(key=lambda e: (e[0], e[1]))  # offs before ons at the same tick
    micros = 60_000_000 // TEMPO_BPM
    track = bytearray(b'\x00\xff\x51\x03' + micros.to_bytes(3, 'big'))
    track += b'\x00\xff\x58\x04\x04\x02\x18\x08'
    now = 0
    for tick, _, data in events:
        track += VarLen(tick - now) + data
        now = tick
    track += b'\x00\xff\x2f\x00'
    return (b'MThd' + struct.pack('>IHHH', 6, 0, 1, TICKS) + b'MTrk' + struct.pack('>I', len(track)) + bytes(track))


def LastRelease(notes):
    return max(n[0] + n[1] for n in notes) * 60.0 / TEMPO_BPM


# ----------------------------------------------------------------------------
# WAV reading (PCM 16/24/32 and 32-bit float), without third-party readers.

def ReadWav(path):
    data = open(path, 'rb').read()
    if data[:4] != b'RIFF' or data[8:12] != b'WAVE':
        raise ValueError(f'{path}: not a WAV file')
    pos, fmt, frames = 12, None, None
    while pos + 8 <= len(data):
        tag, size = data[pos:pos + 4], struct.unpack('<I', data[pos + 4:pos + 8])[0]
        body = data[pos + 8:pos + 8 + size]
        if tag == b'fmt ':
            fmt = struct.unpack('<HHIIHH', body[:16])
        elif tag == b'data':
            frames = body
        pos += 8 + size + (size & 1)
    code, channels, rate, _, _, bits = fmt
    if code == 0xFFFE:  # extensible: the sub-format's first two bytes carry the code
        code = struct.unpack('<H', data[data.find(b'fmt ') + 32:data.find(b'fmt ') + 34])[0]
    if code == 3:
        x = np.frombuffer(frames, dtype='<f4').astype(np.float64)
    elif bits == 16:
        x = np.frombuffer(frames, dtype='<i2') / 32768.0
    elif bits == 24:
        b = np.frombuffer(frames, dtype=np.uint8).reshape(-1, 3).astype(np.int32)
        v = b[:, 0] | (b[:, 1] << 8) | (b[:, 2] << 16)
        x = np.where(v >= 1 << 23, v - (1 << 24), v) / float(1 << 23)
    else:
        x = np.frombuffer(frames, dtype='<i4') / 2147483648.0
    return x.reshape(-1, channels).T, rate


# ----------------------------------------------------------------------------
# Measurements.

def Db(x):
    return 20.0 * np.log10(max(x, 1e-12))


def Measure(stereo, rate, last_release):
    left, right = stereo
    mono = 0.5 * (left + right)
    peak = float(np.max(np.abs(stereo)))
    loud = np.abs(mono) > 1e-4
    body = mono[loud] if loud.any() else mono
    rms = float(np.sqrt(np.mean(body ** 2)))
    # Spectral centroid over the sounding part, from a Hann-windowed average spectrum.
    n = 4096
    spectrum = np.zeros(n // 2 + 1)
    window = np.hanning(n)
    for start in range(0, len(mono) - n, n // 2):
        spectrum += np.abs(np.fft.rfft(mono[start:start + n] * window)) ** 2
    freqs = np.fft.rfftfreq(n, 1.0 / rate)
    centroid = float(np.sum(freqs * spectrum) / max(np.sum(spectrum), 1e-30))
    # Stereo width: side level against mid level.
    mid, side = 0.5 * (left + right), 0.5 * (left - right)
    width = float(np.sqrt(np.mean(side ** 2)) / max(np.sqrt(np.mean(mid ** 2)), 1e-12))
    # Envelope in 10 ms frames: attack to 90 % of the first second's peak, release
    # from the last key up down to -40 dB of the level held at that moment.
    frame = rate // 100
    env = np.sqrt(np.convolve(mono ** 2, np.ones(frame) / frame, mode='same'))
    first = int(np.argmax(env > 1e-4)) if (env > 1e-4).any() else 0
    early = env[first:first + 2 * rate]
    attack = float(np.argmax(early >= 0.9 * early.max()) / rate) if early.size else 0.0
    up = int(last_release * rate)
    held = env[max(up - frame, 0)]
    tail = env[up:]
    below = np.nonzero(tail < held * 0.01)[0]
    release = float(below[0] / rate) if below.size else float(len(tail) / rate)
    return dict(peak=Db(peak), rms=Db(rms), centroid=centroid, width=width, attack=attack,
                release=release)


def Picture(stereo, rate, title, path):
    import matplotlib
    matplotlib.use('Agg')
    import matplotlib.pyplot as plt
    import warnings
    warnings.filterwarnings('ignore', category=RuntimeWarning)  # log of silent spectrogram cells
    mono = 0.5 * (stereo[0] + stereo[1])
    t = np.arange(len(mono)) / rate
    fig, (wave, gram) = plt.subplots(2, 1, figsize=(6.4, 3.2), dpi=72, sharex=True,
                                     gridspec_kw={'height_ratios': [1, 2.2]})
    wave.plot(t, stereo[0], color='#3a6ea5', linewidth=0.4)
    wave.plot(t, stereo[1], color='#c2571a', linewidth=0.4, alpha=0.6)
    wave.set_ylim(-1, 1)
    wave.set_yticks([-1, 0, 1])
    wave.set_title(title, fontsize=10)
    gram.specgram(mono + 1e-7, NFFT=2048, Fs=rate, noverlap=1536, cmap='magma', vmin=-140, vmax=-20)
    gram.set_ylim(0, 8000)
    gram.set_ylabel('Hz', fontsize=8)
    gram.set_xlabel('s', fontsize=8)
    for ax in (wave, gram):
        ax.tick_params(labelsize=7)
    fig.tight_layout()
    fig.canvas.draw()
    rgba = np.asarray(fig.canvas.buffer_rgba())
    plt.close(fig)
    # A 64-colour palette keeps each picture small enough for the repository.
    from PIL import Image
    Image.fromarray(rgba[:, :, :3]).quantize(64).save(path, optimize=True)


def Slug(name):
    keep = ''.join(c.lower() if c.isalnum() else '-' for c in name)
    while '--' in keep:
        keep = keep.replace('--', '-')
    return keep.strip('-')


def ProgramNames():
    """Slot names, from the readable bank source."""
    here = os.path.dirname(os.path.abspath(__file__))
    source = os.path.join(here, '..', '..', 'resources', 'factory', 'programs.txt')
    names = []
    for line in open(source):
        line = line.split('#', 1)[0].strip()
        if line.startswith('[') and line.endswith(']'):
            names.append(line[1:-1])
    return names


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument('--render', required=True, help='path of tessaron-render')
    ap.add_argument('--bank', help='bank file to play instead of the built-in factory bank')
    ap.add_argument('--only', type=int, nargs='*', help='program numbers to render')
    ap.add_argument('--work', default='/tmp/tessaron-programs', help='folder for MIDI and WAV files')
    ap.add_argument('--docs', help='folder for pictures and excerpts (e.g. docs/sounds)')
    ap.add_argument('--phrase', choices=sorted(PHRASES), help='play this phrase for every program')
    ap.add_argument('--no-media', action='store_true', help='measure only')
    args = ap.parse_args()

    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    env = dict(os.environ)
    env['HOME'] = work
    env['XDG_CONFIG_HOME'] = os.path.join(work, 'config')
    config = os.path.join(env['XDG_CONFIG_HOME'], 'GreyLanternLabs')
    os.makedirs(config, exist_ok=True)
    ini = os.path.join(config, 'tessaron.ini')
    if args.bank:
        with open(ini, 'w') as f:
            f.write(f'[Startup Bank]\nFile={os.path.abspath(args.bank)}\n')
    elif os.path.exists(ini):
        os.remove(ini)

    names = ProgramNames()
    programs = args.only if args.only else range(len(names))
    lines = []
    for number in programs:
        name = names[number]
        prefix = name.split(':', 1)[0] if ':' in name else 'PAD'
        phrase = args.phrase or PHRASE_OF_PREFIX.get(prefix, 'chords')
        notes = PHRASES[phrase]
        midi = os.path.join(work, phrase + '.mid')
        with open(midi, 'wb') as f:
            f.write(MidiFile(notes))
        slug = f'{number:02d}-{Slug(name)}'
        wav = os.path.join(work, slug + '.wav')
        subprocess.run([args.render, '--program', str(number), '--midi', midi, '-o', wav, '--float',
                        '--tail', '4', '--quiet'], check=True, env=env)
        stereo, rate = ReadWav(wav)
        if not np.all(np.isfinite(stereo)):
            print(f'{slug}: NOT FINITE', file=sys.stderr)
            stereo = np.nan_to_num(stereo)
        m = Measure(stereo, rate, LastRelease(notes))
        line = (f"{number:2d} {name:32s} peak {m['peak']:6.1f} dB  rms {m['rms']:6.1f} dB  "
                f"centroid {m['centroid']:6.0f} Hz  width {m['width']:4.2f}  "
                f"attack {m['attack']:5.2f} s  release {m['release']:5.2f} s")
        print(line, flush=True)
        lines.append(line)
        if args.docs and not args.no_media:
            os.makedirs(args.docs, exist_ok=True)
            Picture(stereo, rate, name, os.path.join(args.docs, slug + '.png'))
            excerpt = os.path.join(work, slug + '-excerpt.wav')
            subprocess.run(['sox', '-q', '-V1', wav, '-b', '16', excerpt, 'trim', '0', str(EXCERPT_SECONDS),
                            'fade', 't', '0', str(EXCERPT_SECONDS), '0.4'], check=True)
            subprocess.run(['oggenc', '-Q', '-q', '-1', '-o', os.path.join(args.docs, slug + '.ogg'), excerpt],
                           check=True)
    with open(os.path.join(work, 'measurements.txt'), 'w') as f:
        f.write('\n'.join(lines) + '\n')


if __name__ == '__main__':
    main()
