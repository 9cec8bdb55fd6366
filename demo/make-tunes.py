#!/usr/bin/python3
"""Write the demo playlist: a few short pentatonic tunes as WAV files.

Usage: make-tunes.py OUTDIR

Output is 16-bit 44.1 kHz stereo and byte-for-byte the same on every run.
Only the standard library is used; the hot paths work on whole lists with
map() and list repetition so that no per-sample Python loop runs over the
full length of a tune.
"""

import math
import os
import sys
import wave
from array import array
from functools import partial
from operator import add, mul

RATE = 44100
PEAK = 0.89  # headroom below full scale after normalising

# Degrees of the scale in numbered notation; 4 and 7 are allowed as passing
# notes, although the melodies stay pentatonic.
SEMITONES = {"1": 0, "2": 2, "3": 4, "4": 5, "5": 7, "6": 9, "7": 11}

# name, title (for reference only; the page lists them), key as MIDI note
# of degree 1, beats per minute, melody, bass.
# Notation: degree, then ' (octave up) or , (octave down) marks, then
# '-' adds a beat, '_' halves, '.' dots.  "0" is a rest.
TUNES = [
    ("qingchen", "山间清晨", 74, 96,
     "3 5 6_ 1'_ 6 | 5 3_ 2_ 3- | 5 6 1' 2'_ 1'_ | 6 5_ 3_ 2- | 2_ 3_ 2 1-",
     "1- 5,- | 5,- 2- | 6,- 3- | 5,- 2- | 5,- 1-"),
    ("zhulin", "竹林风", 67, 108,
     "5 6 1' | 2'- 1'_ 6_ | 5 3_ 5_ 6 | 5-- | 3 5 6 | 1'- 6_ 5_ | 3 2_ 3_ 2 | 1--",
     "1-- | 5,-- | 1-- | 5,-- | 6,-- | 4,-- | 5,-- | 1--"),
    ("liushui", "流水", 72, 112,
     "1_ 2_ 3_ 5_ 6_ 5_ 3_ 2_ | 3_ 5_ 6_ 1'_ 6 5 | 6_ 1'_ 2'_ 3'_ 2'_ 1'_ 6_ 5_"
     " | 6_ 5_ 3_ 2_ 3- | 5_ 6_ 5_ 3_ 2_ 3_ 2_ 1_ | 2 6, 1-",
     "1- 5,- | 5,- 2- | 6,- 3- | 5,- 2- | 6,- 3- | 5,- 1-"),
    ("yueye", "月夜", 69, 72,
     "6, 1 2 3_ 5_ | 3- 2_ 1_ 6, | 1 2 3 5_ 3_ | 2 1_ 2_ 6,-",
     "6,- 3- | 1- 5,- | 5,- 2- | 6,---"),
]


def parse(notation, key):
    """Yield (midi note or None, beats) for a melody line."""
    for tok in notation.replace("|", " ").split():
        deg = tok[0]
        beats = 1.0 + tok.count("-")
        beats *= 0.5 ** tok.count("_")
        if "." in tok:
            beats *= 1.5
        if deg == "0":
            yield None, beats
            continue
        octave = tok.count("'") - tok.count(",")
        yield key + SEMITONES[deg] + 12 * octave, beats


def freq_of(midi):
    return 440.0 * 2.0 ** ((midi - 69) / 12.0)


_cycles = {}


def periodic(freq, partials, n):
    """n samples of a steady tone, built by repeating a short block.

    The block holds a whole number of cycles and is chosen so the pitch
    error from rounding its length stays well under a cent.
    """
    key = (freq, partials)
    block = _cycles.get(key)
    if block is None:
        period = RATE / freq
        best = None
        for cycles in range(1, 200):
            length = round(period * cycles)
            err = abs(length / cycles - period) / period
            if best is None or err < best[0]:
                best = (err, cycles, length)
            if err < 1e-4 and length > 400:
                break
        _, cycles, length = best
        w = 2.0 * math.pi * cycles / length
        block = [sum(a * math.sin(w * k * i) for k, a in partials)
                 for i in range(length)]
        _cycles[key] = block
    reps = n // len(block) + 1
    return (block * reps)[:n]


_envelopes = {}


def envelope(n, attack, tau):
    """Linear attack, exponential decay, short fade so notes end on zero."""
    key = (n, attack, tau)
    env = _envelopes.get(key)
    if env is None:
        a = max(1, int(attack * RATE))
        g = math.exp(-1.0 / (tau * RATE))
        fade = min(n // 4, int(0.04 * RATE))
        env = [min(1.0, i / a) * g ** i for i in range(n)]
        for i in range(fade):
            env[n - 1 - i] *= i / fade
        _envelopes[key] = env
    return env


_notes = {}


def note(freq, n, partials, attack, tau):
    key = (freq, n, partials, attack, tau)
    s = _notes.get(key)
    if s is None:
        s = list(map(mul, periodic(freq, partials, n), envelope(n, attack, tau)))
        _notes[key] = s
    return s


def mix_into(buf, start, samples):
    buf[start:start + len(samples)] = map(add, buf[start:start + len(samples)], samples)


PLUCK = ((1, 1.0), (2, 0.42), (3, 0.2), (4, 0.09), (5, 0.04))
BASS = ((1, 1.0), (2, 0.22), (3, 0.06))


def render(key, bpm, melody, bass):
    beat = 60.0 / bpm
    mel = list(parse(melody, key))
    low = list(parse(bass, key - 24))
    total_beats = sum(b for _, b in mel)
    tail = 1.2
    n = int((total_beats * beat + tail) * RATE)
    mel_buf = [0.0] * n
    bass_buf = [0.0] * n
    ring = 0.35 if bpm > 100 else 0.5  # plucked notes ring past their beat
    tau = 0.45 if bpm > 100 else 0.7

    t = 0.0
    for midi, beats in mel:
        if midi is not None:
            start = int(t * RATE)
            length = min(int((beats * beat + ring) * RATE), n - start)
            mix_into(mel_buf, start, note(freq_of(midi), length, PLUCK, 0.006, tau))
        t += beats * beat

    t = 0.0
    for midi, beats in low:
        if midi is not None:
            start = int(t * RATE)
            length = min(int((beats * beat + 0.3) * RATE), n - start)
            mix_into(bass_buf, start, note(freq_of(midi), length, BASS, 0.04, 1.6))
        t += beats * beat

    # A soft echo on the melody gives the dry synthesis a bit of room.
    d = int(0.27 * RATE)
    mix_into(mel_buf, d, list(map(partial(mul, 0.24), mel_buf[:n - d])))

    # Melody sits a little left of centre, bass in the middle.
    bass_buf = list(map(partial(mul, 0.42), bass_buf))
    left = list(map(add, map(partial(mul, 0.62), mel_buf), bass_buf))
    right = list(map(add, map(partial(mul, 0.48), mel_buf), bass_buf))
    del mel_buf, bass_buf

    # Gentle fade over the tail so the file ends in silence, not a cut.
    f = int(0.6 * RATE)
    fade = [i / f for i in range(f, 0, -1)]
    left[n - f:] = map(mul, left[n - f:], fade)
    right[n - f:] = map(mul, right[n - f:], fade)
    return left, right


def to_pcm(left, right):
    peak = max(max(left), -min(left), max(right), -min(right)) or 1.0
    scale = partial(mul, PEAK * 32767.0 / peak)
    inter = [0] * (2 * len(left))
    inter[0::2] = map(round, map(scale, left))
    inter[1::2] = map(round, map(scale, right))
    pcm = array("h", inter)
    if sys.byteorder == "big":
        pcm.byteswap()
    return pcm.tobytes()


def main(argv):
    if len(argv) != 2 or argv[1].startswith("-"):
        sys.stderr.write("usage: make-tunes.py OUTDIR\n")
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    for name, _title, key, bpm, melody, bass in TUNES:
        left, right = render(key, bpm, melody, bass)
        path = os.path.join(out, name + ".wav")
        tmp = path + ".tmp"
        with wave.open(tmp, "wb") as w:
            w.setnchannels(2)
            w.setsampwidth(2)
            w.setframerate(RATE)
            w.writeframes(to_pcm(left, right))
        os.replace(tmp, path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
