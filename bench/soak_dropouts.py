#!/usr/bin/env python3
"""Finds the silences in a soak recording and tells dropouts from switches.

    soak_dropouts.py RECORDING.wav

The recording is 16-bit mono. Every file of the soak playlist is one steady
tone, and files next to each other in the playlist differ by at least 40 Hz,
so a silence between two stretches of the same tone lies inside one file (a
dropout), and a silence between two different tones is a change of track (a
Next press or the end of a file). The player's own stops do not happen in a
soak; the silence before the first tone and after the last is left out.

A 10 ms window is silent when its RMS is under 1 % of full scale (the tones
play at 50 %). The tone on each side is measured over the 100 ms next to the
silence by zero crossings (a 10 Hz resolution). Prints one summary line per
kind, and every dropout with its time in the recording.
"""
import sys
import warnings
import wave

with warnings.catch_warnings():
    warnings.simplefilter("ignore", DeprecationWarning)  # fine up to Python 3.12
    import audioop

WINDOW_S = 0.010
SILENT_RMS = 0.01 * 32768
DROPOUT_S = 0.100
SHORT_S = 0.050
SIDE_S = 0.100
SAME_HZ = 20


def tone_hz(frames, rate):
    """The tone's frequency from zero crossings; None when there is too little."""
    if len(frames) < 4:
        return None
    return audioop.cross(frames, 2) / 2 / (len(frames) / 2 / rate)


def main():
    with wave.open(sys.argv[1]) as rec:
        assert rec.getsampwidth() == 2 and rec.getnchannels() == 1
        rate = rec.getframerate()
        data = rec.readframes(rec.getnframes())
    step = int(rate * WINDOW_S) * 2
    silent = [audioop.rms(data[i:i + step], 2) < SILENT_RMS for i in range(0, len(data), step)]

    # Runs of silent windows, as (first, past-last) window indices.
    runs, start = [], None
    for i, s in enumerate(silent + [False]):
        if s and start is None:
            start = i
        elif not s and start is not None:
            runs.append((start, i))
            start = None
    if runs and runs[0][0] == 0:
        runs.pop(0)  # before the first sound
    if runs and runs[-1][1] == len(silent):
        runs.pop()  # after the last

    side = int(rate * SIDE_S) * 2
    switches, dropouts, short_inside = [], [], 0
    for a, b in runs:
        length = (b - a) * WINDOW_S
        before = tone_hz(data[max(0, a * step - side):a * step], rate)
        after = tone_hz(data[b * step:b * step + side], rate)
        inside = before is not None and after is not None and abs(before - after) < SAME_HZ
        if not inside:
            switches.append(length)
        elif length > DROPOUT_S:
            dropouts.append((a * WINDOW_S, length, before))
        elif length > SHORT_S:
            short_inside += 1

    # Changes of tone, counted between 50 ms stretches of sound whose tone two
    # neighbours agree on (a stretch across a change gives a mixed figure).
    tones, chunk = [], step * 5
    for i in range(0, len(data) - chunk, chunk):
        piece = data[i:i + chunk]
        tones.append(tone_hz(piece, rate) if audioop.rms(piece, 2) >= SILENT_RMS else None)
    changes, held = 0, None
    for x, y in zip(tones, tones[1:]):
        if x is not None and y is not None and abs(x - y) < SAME_HZ:
            if held is not None and abs(held - x) >= SAME_HZ:
                changes += 1
            held = x

    total = len(silent) * WINDOW_S
    print(f"recording: {total:.1f} s, {changes} changes of tone (tracks), "
          f"{len(runs)} silences of 10 ms or more")
    if switches:
        switches.sort()
        print(f"at track changes: {len(switches)} silences, median "
              f"{switches[len(switches) // 2] * 1000:.0f} ms, longest {switches[-1] * 1000:.0f} ms")
    print(f"inside a file, 50 to 100 ms: {short_inside}")
    print(f"dropouts (inside a file, over 100 ms): {len(dropouts)}")
    for at, length, hz in dropouts:
        print(f"  at {at:.2f} s: {length * 1000:.0f} ms of silence in the {hz:.0f} Hz tone")


if __name__ == "__main__":
    main()
