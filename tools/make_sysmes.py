#!/usr/bin/env python3
"""Writes data/sysMes.wav: a short, soft two-note chime (our own message sound)."""
import math, struct, sys, wave

RATE = 22050
NOTES = [(880.0, 0.00, 0.22), (1318.5, 0.09, 0.30)]  # A5 then E6, overlapping
LENGTH = 0.42

def sample(t):
    v = 0.0
    for freq, start, dur in NOTES:
        u = t - start
        if 0 <= u < dur:
            attack = min(1.0, u / 0.006)
            decay = math.exp(-u * 9.0)
            v += 0.32 * attack * decay * (math.sin(2 * math.pi * freq * u)
                                          + 0.25 * math.sin(4 * math.pi * freq * u))
    return max(-1.0, min(1.0, v))

out = sys.argv[1] if len(sys.argv) > 1 else "data/sysMes.wav"
with wave.open(out, "wb") as w:
    w.setnchannels(1)
    w.setsampwidth(2)
    w.setframerate(RATE)
    frames = b"".join(struct.pack("<h", int(sample(i / RATE) * 32767))
                      for i in range(int(LENGTH * RATE)))
    w.writeframes(frames)
