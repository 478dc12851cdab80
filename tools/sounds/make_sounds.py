#!/usr/bin/env python3
"""Writes the library's three built-in feedback sounds to resources/.

The sounds are PCM WAVE files, one channel, 44100 samples per second, 16 bits
per sample, with the plain 44-byte header, so that their stored sizes are
fixed: 107 (step accepted) 7,084 bytes, 111 (results delivered) 21,932 bytes,
109 (failure) 45,156 bytes. The output is deterministic; run this after
changing a sound and commit the files. The build embeds them in the library.

    python3 tools/sounds/make_sounds.py [output folder]
"""
import math
import os
import struct
import sys

RATE = 44100
HEADER_BYTES = 44


def envelope(i, n, attack, release):
    """Linear fade in and out (in samples), so that no sound starts or ends
    with a click."""
    a = min(1.0, i / attack) if attack else 1.0
    r = min(1.0, (n - 1 - i) / release) if release else 1.0
    return max(0.0, min(a, r))


def tone(n, notes, level):
    """`notes` is a list of (start fraction, frequency start, frequency end);
    each note lasts until the next starts. Phase is carried across notes."""
    out = []
    phase = 0.0
    bounds = [int(start * n) for start, _, _ in notes] + [n]
    for k, (_, f0, f1) in enumerate(notes):
        begin, end = bounds[k], bounds[k + 1]
        length = end - begin
        for j in range(length):
            f = f0 + (f1 - f0) * j / max(1, length - 1)
            phase += 2.0 * math.pi * f / RATE
            # A touch of the third harmonic makes the tone carry on small speakers.
            v = math.sin(phase) + 0.2 * math.sin(3.0 * phase)
            out.append(v * level * envelope(j, length, 220, 660))
    return out


def wave_file(samples):
    data = b"".join(struct.pack("<h", max(-32767, min(32767, int(round(v * 32767))))) for v in samples)
    fmt = struct.pack("<HHIIHH", 1, 1, RATE, RATE * 2, 2, 16)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


SOUNDS = {
    # A short rising blip: the instrument took the step.
    107: (7084, [(0.0, 1600.0, 2000.0)], 0.55),
    # Two quick ascending notes: the results are in.
    111: (21932, [(0.0, 1318.5, 1318.5), (0.45, 1760.0, 1760.0)], 0.5),
    # A long falling buzz: something failed.
    109: (45156, [(0.0, 1200.0, 900.0), (0.35, 600.0, 400.0)], 0.6),
}


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..", "resources")
    os.makedirs(folder, exist_ok=True)
    for sound_id, (size, notes, level) in SOUNDS.items():
        n = (size - HEADER_BYTES) // 2
        data = wave_file(tone(n, notes, level))
        assert len(data) == size, (sound_id, len(data), size)
        with open(os.path.join(folder, "sound_%d.wav" % sound_id), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
