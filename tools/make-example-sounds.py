#!/usr/bin/env python3
"""Writes the short sound the example programs play (assets/examples/beep.wav).

Usage: make-example-sounds.py OUTPUT_FOLDER

The sound is a 0.3 s, 660 Hz tone at 22050 Hz, mono, 8-bit unsigned PCM, with a 10 ms rise
and a fall over the rest so that it neither clicks nor stops abruptly. It is computed with
the standard library alone, so the output is the same byte for byte on every machine.
"""
import math
import os
import struct
import sys

RATE = 22050
SECONDS = 0.3
PITCH = 660.0
RISE = 0.01


def tone():
    """The tone's samples as unsigned 8-bit values around 128."""
    count = int(RATE * SECONDS)
    samples = bytearray()
    for i in range(count):
        t = i / RATE
        envelope = min(t / RISE, 1.0) * (1.0 - i / count)
        samples.append(128 + round(100 * envelope * math.sin(2 * math.pi * PITCH * t)))
    return bytes(samples)


def write_wav(path, data):
    """Writes mono 8-bit PCM data as a RIFF WAVE file."""
    pad = b"\0" if len(data) % 2 else b""
    fmt = struct.pack("<HHIIHH", 1, 1, RATE, RATE, 1, 8)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    body += b"data" + struct.pack("<I", len(data)) + data + pad
    with open(path, "wb") as out:
        out.write(b"RIFF" + struct.pack("<I", len(body)) + body)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make-example-sounds.py OUTPUT_FOLDER")
    write_wav(os.path.join(sys.argv[1], "beep.wav"), tone())


if __name__ == "__main__":
    main()
