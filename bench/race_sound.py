"""The null sink's monitor, recorded, and what bench/race.py reads from it.

The recorder is `parec --latency-msec=20` (with the 2 s default an idle null
sink runs 2 s periods and starts new streams late; RACE_RECORD_MS sets
another, 50 on PipeWire, where 20 would shorten the graph's period). A thread reads its output
and notes, for every chunk, how many frames had arrived and the monotonic
clock at that moment.

When a recorded sample is played at the sink: the null sink mixes ahead, up
to its configured latency B past the present, and hands what it mixed to the
monitor at once; so a sample reaches the recorder up to B before the sink
plays it. Chunks arrive late by varying amounts (the recorder's wake-up, the
20 ms fragments), never early, so the least late one places the timeline:
played(n) = n / rate + min over chunks of (arrival - frames so far / rate) + B,
with B read (pactl) after each request, once the change has happened. Played
is what the sink reports as playing, which a device would sound; the same for
every player.

A cork (Pause, Stop), a stream's volume change or a write over audio already
mixed makes the sink take back what it had mixed ahead and mix it again; the
monitor has handed the old version on by then and does not hand on the new
mix of that stretch (in recordings of every request kind the chunks' offset
never fell by more than 0.25 ms at a request: nothing is recorded twice). So
the old sound runs on in the recording up to where the sink had handed it on,
and the change shows from the sink's next hand-over. The chunks used are
those that arrived in the 0.9 s after the request (before the next one).

All detection reads the left channel (the test files are the same on both).
"""
import array
import json
import os
import subprocess
import threading
import time
import wave

FULL = 32768
LOUD = 0.01 * FULL  # -40 dBFS: the test tone is at -6 dBFS
AFTER = 0.9  # seconds of chunk arrivals after a request that place its samples


class Recorder:
    def __init__(self, rate, on_start=None):
        self.rate = rate
        self.data = bytearray()
        self.marks = []  # (frames so far, monotonic time of arrival)
        self.latencies = []  # (monotonic time, the sink's configured latency in s)
        self.proc = subprocess.Popen(
            ["parec", "--device=tarn_null.monitor",
             "--latency-msec=" + os.environ.get("RACE_RECORD_MS", "20"), "--format=s16le",
             "--channels=2", f"--rate={rate}", "--raw"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        if on_start:
            on_start(self.proc.pid)
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()
        self._left = None

    def _read(self):
        fd = self.proc.stdout.fileno()
        while True:
            chunk = os.read(fd, 1 << 16)
            now = time.monotonic()
            if not chunk:
                return
            self.data += chunk
            self.marks.append((len(self.data) // 4, now))

    def note_sink_latency(self):
        """Reads the null sink's configured latency now (after a request has
        taken effect; a new stream can change it)."""
        out = subprocess.run(["pactl", "list", "sinks"], capture_output=True, text=True).stdout
        sink = out[out.index("Name: tarn_null"):]
        line = next(l for l in sink.splitlines() if l.strip().startswith("Latency:"))
        self.latencies.append((time.monotonic(), int(line.split("configured")[1].split()[0]) / 1e6))

    def sink_latency_after(self, t):
        later = [b for when, b in self.latencies if when >= t]
        if not later:
            raise LookupError("no sink latency read after the request")
        return later[0]

    def wait_started(self, timeout=5.0):
        deadline = time.monotonic() + timeout
        while not self.marks and time.monotonic() < deadline:
            time.sleep(0.02)
        return bool(self.marks)

    def stop(self):
        self.proc.terminate()
        self.proc.wait()
        self.thread.join(2)
        samples = array.array("h")
        samples.frombytes(bytes(self.data[: len(self.data) // 4 * 4]))
        self._left = samples[0::2]

    def save(self, base, requests):
        """Writes the recording (base.wav) and the requests placed in it
        (base.json: the clock at each request, the chunk arrivals and the
        sink latencies read)."""
        with wave.open(base + ".wav", "wb") as w:
            w.setnchannels(2)
            w.setsampwidth(2)
            w.setframerate(self.rate)
            w.writeframes(bytes(self.data[: len(self.data) // 4 * 4]))
        with open(base + ".json", "w") as f:
            json.dump({"requests": requests,
                       "marks": self.marks, "latencies": self.latencies}, f)

    @property
    def left(self):
        return self._left

    def offset_near(self, t):
        best = None
        for frames, arrival in self.marks:
            if t <= arrival <= t + AFTER:
                off = arrival - frames / self.rate
                best = off if best is None else min(best, off)
        if best is None:
            raise LookupError("the recording does not reach that time")
        return best

    def frame_at(self, t):
        """The frame the sink plays at time t."""
        return max(0, round((t - self.offset_near(t) - self.sink_latency_after(t)) * self.rate))

    def time_of(self, frame, near):
        """When the sink plays `frame` (near time `near`)."""
        return frame / self.rate + self.offset_near(near) + self.sink_latency_after(near)


class Missed(Exception):
    """A measure whose change never showed at the sink; the text says why."""


def first_loud(x, start, end):
    end = min(end, len(x))
    for i in range(max(start, 0), end):
        if abs(x[i]) > LOUD:
            return i
    return None


def is_quiet(x, start, end):
    part = x[max(start, 0):min(end, len(x))]
    return len(part) > 0 and max(part) <= LOUD and -min(part) <= LOUD


def quiet_start(x, start, end, hold):
    """The first frame from `start` after which `hold` frames are quiet."""
    run = 0
    for i in range(max(start, 0), min(end, len(x))):
        if abs(x[i]) > LOUD:
            run = 0
        else:
            run += 1
            if run == hold:
                return i - hold + 1
    return None


def block_peaks(x, start, end, block):
    out = []
    for b in range(max(start, 0), min(end, len(x)) - block + 1, block):
        part = x[b:b + block]
        out.append(max(max(part), -min(part)))
    return out


def onset(rec, t_request, wait, quiet_before=0.3):
    """Seconds from the request to the first loud sample after it; the sink
    must have been quiet for `quiet_before` seconds before the request."""
    x, rate = rec.left, rec.rate
    n = rec.frame_at(t_request)
    if not is_quiet(x, n - int(quiet_before * rate), n):
        raise Missed("sound was already playing at the request")
    first = first_loud(x, n, n + int(wait * rate))
    if first is None:
        raise Missed(f"no sound within {wait:.0f} s")
    return rec.time_of(first, t_request) - t_request


def sound_end(rec, t_request, wait, hold=0.3):
    """Seconds from the request to the end of the sound (the sample after the
    last loud one before `hold` seconds of quiet)."""
    x, rate = rec.left, rec.rate
    n = rec.frame_at(t_request)
    if is_quiet(x, n - int(0.05 * rate), n):
        raise Missed("no sound at the request")
    end = quiet_start(x, n, n + int(wait * rate), int(hold * rate))
    if end is None:
        raise Missed(f"the sound went on for {wait:.0f} s")
    return rec.time_of(end, t_request) - t_request


def level_change(rec, t_request, settle=0.8):
    """Seconds from the request to the first of five blocks (one period of
    the 440 Hz tone each) whose peak lies past the midpoint, in dB, between
    the level before the request and the level `settle` seconds after."""
    x, rate = rec.left, rec.rate
    block = rate // 440 + 1
    n = rec.frame_at(t_request)
    before = sorted(block_peaks(x, n - int(0.2 * rate), n, block))
    after = sorted(block_peaks(x, n + int(settle * rate), n + int((settle + 0.2) * rate), block))
    if not before or not after:
        raise Missed("the recording is too short")
    old, new = before[len(before) // 2], after[len(after) // 2]
    if old <= LOUD or new <= LOUD:
        raise Missed("no tone around the request")
    if max(old, new) / min(old, new) < 1.41:  # 3 dB
        raise Missed(f"the level did not change ({old} to {new})")
    mid = (old * new) ** 0.5
    peaks = block_peaks(x, n, n + int(settle * rate), block)
    past = [(p < mid) == (new < mid) for p in peaks]
    for i in range(len(past) - 4):
        if all(past[i:i + 5]):
            return rec.time_of(n + i * block, t_request) - t_request
    raise Missed(f"no settled new level within {settle} s")


def gap(rec, t_load, first_length, wait=2.5, min_run=0.001, settled=0.3):
    """Silence (ms) at the automatic advance. The first file starts after
    `t_load`; from 0.5 s before its end, every quiet run of at least
    `min_run` seconds counts until the second file has sounded for `settled`
    seconds without one (so a stutter just after the advance counts too)."""
    x, rate = rec.left, rec.rate
    n = rec.frame_at(t_load)
    start = first_loud(x, n, n + 10 * rate)
    if start is None:
        raise Missed("the first file was not heard within 10 s")
    first_end = start + int(first_length * rate)
    hold, need = int(min_run * rate), int(settled * rate)
    quiet = run = loud = 0
    for i in range(first_end - rate // 2, min(first_end + int(wait * rate), len(x))):
        if abs(x[i]) > LOUD:
            if run >= hold:
                quiet += run
                loud = 0
            run = 0
            loud += 1
            if loud >= need and i > first_end:
                return 1000.0 * quiet / rate
        else:
            run += 1
    raise Missed(f"no second file within {wait} s of the first's end")
