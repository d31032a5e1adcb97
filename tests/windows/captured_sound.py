#!/usr/bin/env python3
"""Checks that the sound a device captured is the decoded sound.

usage: captured_sound.py CAPTURED.raw DECODED.wav

CAPTURED is what the sound device wrote (raw samples in the WAV's format).
It may hold silence the device added and gaps where an under-run dropped
sound; everything else must be the decoded sound, in order. Prints the
figures and exits 1 when less than 90 % of the decoded sound arrived or more
than 1 % of the captured sound is foreign.
"""
import array
import sys
import wave

BLOCK = 64  # samples looked up at a time


def main(captured_path, decoded_path):
    with wave.open(decoded_path) as w:
        if w.getsampwidth() != 2:
            print('decoded sound is not 16-bit')
            return 1
        frame = 2 * w.getnchannels()
        decoded = w.readframes(w.getnframes())
    with open(captured_path, 'rb') as f:
        captured = f.read()
    captured = captured[:len(captured) // frame * frame]

    n = len(decoded)
    i = j = 0
    matched = 0
    while i < n:
        block = decoded[i:i + 2 * BLOCK]
        if not any(block):
            i += len(block)  # silence matches anywhere: no evidence
            continue
        k = captured.find(block, j)
        while k >= 0 and (k - i) % frame != 0:
            k = captured.find(block, k + 1)
        if k < 0:
            i += len(block)  # dropped by the device or an under-run
            continue
        run = 0
        while i + run < n and k + run < len(captured) and decoded[i + run] == captured[k + run]:
            run += 1
        run -= run % 2
        matched += sum(1 for t in range(i, i + run, 2) if decoded[t] or decoded[t + 1])
        i += run
        j = k + run
        if run == 0:
            i += 2

    samples = array.array('h')
    samples.frombytes(captured)
    loud = sum(1 for s in samples if s != 0)
    foreign = max(0, loud - matched)
    audible = sum(1 for t in range(0, n, 2) if decoded[t] or decoded[t + 1])
    share = matched / audible if audible else 0.0
    print('captured %d samples, %d not silent; decoded %d samples; %d audible ones arrived in order '
          '(%.1f %%); %d captured samples foreign'
          % (len(samples), loud, n // 2, matched, 100 * share, foreign))
    return 0 if audible and share >= 0.9 and foreign <= loud // 100 else 1


if __name__ == '__main__':
    sys.exit(main(sys.argv[1], sys.argv[2]))
