#!/usr/bin/env python3
"""Silences inside a recording: the gaps a listener hears between files.

    quiet_runs.py RAW_FILE RATE CHANNELS [THRESHOLD] [MIN_MS]

RAW_FILE holds interleaved 32-bit float little-endian samples (as `parec
--format=float32le --raw` records them). Between the first and the last
sample of the first channel whose magnitude exceeds 0.1, every run of samples
below THRESHOLD (default 0.05) that lasts at least MIN_MS (default 0.5 ms, so
that a resampler's ringing at an edge does not count) is a gap. Prints each
gap in ms, their median and maximum, and how much sound lies between them.
"""
import array
import statistics
import sys


def main():
    if len(sys.argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    path, rate, channels = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    threshold = float(sys.argv[4]) if len(sys.argv) > 4 else 0.05
    min_frames = int(rate * (float(sys.argv[5]) if len(sys.argv) > 5 else 0.5) / 1000)
    samples = array.array("f")
    with open(path, "rb") as f:
        samples.frombytes(f.read())
    if sys.byteorder != "little":
        samples.byteswap()
    first = samples[0::channels]
    loud = [i for i, x in enumerate(first) if abs(x) > 0.1]
    if not loud:
        print("no sound recorded")
        return 1
    begin, end = loud[0], loud[-1] + 1
    gaps = []
    run = 0
    for x in first[begin:end]:
        if abs(x) < threshold:
            run += 1
            continue
        if run >= min_frames:
            gaps.append(run)
        run = 0
    ms = [g * 1000 / rate for g in gaps]
    print("gaps (ms):", " ".join(f"{g:.1f}" for g in ms) or "none")
    if ms:
        print(f"{len(ms)} gaps, median {statistics.median(ms):.1f} ms, max {max(ms):.1f} ms")
    print(f"sound {(end - begin - sum(gaps)) / rate:.4f} s from first to last sample")
    return 0


if __name__ == "__main__":
    sys.exit(main())
