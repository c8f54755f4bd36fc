#!/usr/bin/env python3
"""Generates the camera-shutter sound that plays at every capture.

The program plays a RIFF WAVE file: PCM, one channel, 11025 samples per second, 8 bits per
sample, exactly 5090 samples (about 0.46 s). The sound is synthesised here, deterministically,
so the committed file can always be rebuilt byte for byte:

    python3 scripts/make-shutter-sound.py resources/sounds/camera.wav

Two mechanical clicks (the shutter opening, then the mirror dropping back), each a burst of
filtered noise with a damped metallic ring and a soft low thump, fading to silence.
Standard library only.
"""

import math
import sys
import wave

RATE = 11025
SAMPLES = 5090


class Noise:
    """A small linear congruential generator: the same samples on every Python."""

    def __init__(self, seed):
        self.state = seed

    def next(self):
        self.state = (self.state * 1103515245 + 12345) & 0x7FFFFFFF
        return self.state / 0x3FFFFFFF - 1.0  # -1 .. 1


def click(t, start, loudness, ring_hz, noise):
    """One click at `start` seconds: noise attack, metallic ring, low thump."""
    dt = t - start
    if dt < 0:
        return 0.0
    burst = noise.next() * math.exp(-dt / 0.006)
    ring = math.sin(2 * math.pi * ring_hz * dt) * math.exp(-dt / 0.025)
    thump = math.sin(2 * math.pi * 95 * dt) * math.exp(-dt / 0.045)
    attack = min(1.0, dt / 0.0006)
    return loudness * attack * (0.62 * burst + 0.28 * ring + 0.35 * thump)


def samples():
    noise = Noise(20050619)
    smoothed = 0.0
    for i in range(SAMPLES):
        t = i / RATE
        value = click(t, 0.004, 1.0, 1870, noise) + click(t, 0.150, 0.8, 1430, noise)
        # A one-pole low-pass takes the hiss off the noise bursts.
        smoothed += 0.55 * (value - smoothed)
        # The last 20 ms fade out, so the sound ends on silence without a click of its own.
        fade = min(1.0, (SAMPLES - 1 - i) / (0.020 * RATE))
        level = max(-1.0, min(1.0, smoothed * fade))
        yield 128 + round(level * 120)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make-shutter-sound.py OUTPUT.wav")
    data = bytes(samples())
    assert len(data) == SAMPLES
    with wave.open(sys.argv[1], "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(1)  # 8-bit PCM: unsigned bytes, silence at 128
        out.setframerate(RATE)
        out.writeframes(data)


if __name__ == "__main__":
    main()
