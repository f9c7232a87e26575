#!/usr/bin/env python3
"""The race itself, started by bench/race.sh inside its private desktop.

Latency rounds: each round starts every player once (the order turns by one
player each round) and in that one session measures
  start-up   exec to the first map of a window of the player's process
             (an X client watching the root for new windows, connected
             before the exec, the same for all);
  first sound  MPRIS Play in a player with a file loaded and stopped (for
             mpv: loaded and paused at its start) to the first sample above
             -40 dBFS at the sink, after RACE_IDLE_SECONDS stopped;
  pause      MPRIS Pause to the end of the sound (the sample after the last
             loud one before 0.3 s of quiet);
  resume     MPRIS Play to the first loud sample;
  volume     setting MPRIS Volume from 1.0 to 0.5 to the new level (the tone's
             peak per period past the midpoint in dB between the old and new
             levels, five periods in a row);
  seek       from the silent part of the tone file (20-40 s) MPRIS Seek to
             45 s: to the first loud sample;
  gap        a continuous tone cut in two files, played in a row: silence
             (runs of at least 1 ms below -40 dBFS) around the advance.
Each request waits a random 0 to 60 ms first (the same in a round for every
player), so that it falls at a random point of the sink's period.
CPU rounds: fresh sessions per player; CPU (sum over the threads'
schedstat, sampled every second) and wake-ups (voluntary and involuntary
context switches of all threads) of the player and of the sound server over
a window while it plays the MP3 (the window ending 20 s into playback,
where the memory is read too), paused, and idle (window shown, nothing
loaded, in the WMA's session before the WMA is loaded), and while it plays the
WMA (again ending 20 s in).
"""
import argparse
import json
import os
import random
import shutil
import signal
import statistics
import subprocess
import sys
import time

import dbus
from Xlib import X, display as xdisplay, error as xerror

from race_players import all_players
from race_sound import Missed, Recorder, gap, level_change, onset, sound_end
from thread_wakeups import snapshot

MPRIS = "org.mpris.MediaPlayer2"
PLAYER_IFACE = MPRIS + ".Player"
PROPS_IFACE = "org.freedesktop.DBus.Properties"
RATE = 44100


class Mpris:
    """One connection to the session bus, kept for the whole race: a request
    costs a message, not a process."""

    def __init__(self, bus, name):
        obj = bus.get_object(f"{MPRIS}.{name}", "/org/mpris/MediaPlayer2", introspect=False)
        self.player = dbus.Interface(obj, PLAYER_IFACE)
        self.root = dbus.Interface(obj, MPRIS)
        self.props = dbus.Interface(obj, PROPS_IFACE)
        self.tracklist = dbus.Interface(obj, MPRIS + ".TrackList")

    def call(self, method, *args):
        """Sends the request; returns the clock read right before it."""
        t = time.monotonic()
        getattr(self.player, method)(*args, timeout=5)
        return t

    def set_volume(self, value):
        t = time.monotonic()
        self.props.Set(PLAYER_IFACE, "Volume", dbus.Double(value, variant_level=1), timeout=5)
        return t

    def get(self, name):
        return self.props.Get(PLAYER_IFACE, name, timeout=5)

    def seek_to(self, seconds):
        """A relative Seek that lands at `seconds` (from the reported position)."""
        position = int(self.get("Position"))
        return self.call("Seek", dbus.Int64(int(seconds * 1e6) - position))


class WindowWatch:
    """Waits for a window of a given process to be mapped."""

    def __init__(self):
        self.d = xdisplay.Display()
        self.root = self.d.screen().root
        self.pid_atom = self.d.intern_atom("_NET_WM_PID")
        self.root.change_attributes(event_mask=X.SubstructureNotifyMask)
        self.d.sync()

    def drain(self):
        while self.d.pending_events():
            self.d.next_event()

    def owner(self, window):
        try:
            prop = window.get_full_property(self.pid_atom, X.AnyPropertyType)
            return prop.value[0] if prop else None
        except xerror.XError:
            return None

    def wait_mapped(self, pid, timeout):
        import select
        deadline = time.monotonic() + timeout
        while True:
            if not self.d.pending_events():
                left = deadline - time.monotonic()
                if left <= 0:
                    return None
                select.select([self.d], [], [], min(left, 0.2))
                continue
            ev = self.d.next_event()
            now = time.monotonic()
            if ev.type == X.CreateNotify and not ev.override:
                try:  # its own map is reported wherever it is reparented
                    ev.window.change_attributes(event_mask=X.StructureNotifyMask)
                    mapped = ev.window.get_attributes().map_state != X.IsUnmapped
                except xerror.XError:
                    continue
                if mapped and self.owner(ev.window) == pid:
                    return now
            elif ev.type == X.MapNotify and not ev.override:
                if self.owner(ev.window) == pid:
                    return now


def cpu_wakeups(pids, seconds):
    """{pid: (CPU seconds per minute, wake-ups per second)} over a window."""
    first = {p: snapshot(p) for p in pids}
    last = {p: dict(s) for p, s in first.items()}
    start = time.monotonic()
    end = start + seconds
    while (now := time.monotonic()) < end:
        time.sleep(min(1.0, end - now))
        for p in pids:
            last[p].update(snapshot(p))
    span = time.monotonic() - start
    out = {}
    for p in pids:
        cpu = switches = 0
        for tid, t in last[p].items():
            b = first[p].get(tid, (t[0], 0, 0, 0))
            switches += t[1] - b[1] + t[2] - b[2]
            cpu += t[3] - b[3]
        out[p] = (cpu / 1e9 * 60 / span, switches / span)
    return out


def memory_mb(pid):
    """(VmRSS, Pss) in MB."""
    with open(f"/proc/{pid}/status") as f:
        rss = next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))
    with open(f"/proc/{pid}/smaps_rollup") as f:
        pss = next(int(line.split()[1]) for line in f if line.startswith("Pss:"))
    return rss / 1024, pss / 1024


class Session:
    """One run of one player, from exec to quit, with a fresh home."""

    def __init__(self, race, player, tag):
        self.race, self.player = race, player
        self.work = race.work
        home = os.path.join(race.work, "homes", f"{player.key}-{tag}")
        shutil.rmtree(home, ignore_errors=True)
        os.makedirs(home)
        player.seed(home)
        self.env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                        XDG_DATA_HOME=os.path.join(home, ".local", "share"),
                        XDG_CACHE_HOME=os.path.join(home, ".cache"))
        self.proc = None
        self.mpris = None
        self.log = open(os.path.join(race.work, f"{player.key}.log"), "a")

    def start(self):
        """Starts the player; returns the ms to its window, or raises Missed."""
        watch = self.race.watch
        watch.drain()
        t0 = time.monotonic()
        self.proc = subprocess.Popen(self.player.argv(self.work), env=self.env,
                                     stdin=subprocess.DEVNULL, stdout=self.log,
                                     stderr=subprocess.STDOUT)
        self.race.note_pid(self.proc.pid)
        mapped = watch.wait_mapped(self.proc.pid, 30)
        if mapped is None:
            raise Missed("no window within 30 s")
        bus = self.race.bus
        name = f"{MPRIS}.{self.player.bus_name}"
        deadline = time.monotonic() + 20
        while not bus.name_has_owner(name):
            if time.monotonic() > deadline or self.proc.poll() is not None:
                raise Missed(f"{name} not on the bus")
            time.sleep(0.05)
        self.mpris = Mpris(bus, self.player.bus_name)
        return 1000 * (mapped - t0)

    def wait_status(self, status, timeout):
        deadline = time.monotonic() + timeout
        while True:
            now = self.mpris.get("PlaybackStatus")
            if now == status:
                return
            if time.monotonic() > deadline:
                raise Missed(f"PlaybackStatus stayed {now}, not {status}")
            time.sleep(0.05)

    def wait_playing(self, timeout):
        """Waits until the reported position moves on (PlaybackStatus is not
        always right: mpv's MPRIS says Stopped while it plays a WMA)."""
        deadline = time.monotonic() + timeout
        first = self.mpris.get("Position")
        while time.monotonic() < deadline:
            time.sleep(0.1)
            if self.mpris.get("Position") - first >= 200000:
                return
        raise Missed(f"it did not play{self.log_error()}")

    def log_error(self):
        """The last line of the player's output that reports a failure."""
        self.log.flush()
        with open(self.log.name, errors="replace") as f:
            lines = [line.strip() for line in f]
        for word in ("unable", "fatal", "fail", "error"):
            hits = [line for line in lines if word in line.lower()]
            if hits:
                return f" (its log: {hits[0][:160]})"
        return ""

    def quit(self):
        if self.proc is None or self.proc.poll() is not None:
            self.log.close()
            return
        try:
            self.mpris.root.Quit(timeout=5)
            self.proc.wait(5)
        except (dbus.DBusException, AttributeError, subprocess.TimeoutExpired):
            self.proc.terminate()
            try:
                self.proc.wait(3)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log.close()


class Race:
    def __init__(self, args):
        self.args = args
        self.work = args.work
        self.media = args.media
        self.bus = dbus.SessionBus()
        self.watch = WindowWatch()
        self.results = {}  # measure -> player key -> [values]
        self.misses = {}  # measure -> player key -> [reasons]
        self.players = [p for key in args.players for p in all_players(args.build)
                        if p.key == key]
        self.loads = []
        self.touched = set()

    def note_pid(self, pid):
        with open(os.path.join(self.work, "pids"), "a") as f:
            f.write(f"{pid}\n")

    def add(self, measure, player, value):
        self.results.setdefault(measure, {}).setdefault(player.key, []).append(value)
        self.touched.add(measure)

    def miss(self, measure, player, reason):
        self.misses.setdefault(measure, {}).setdefault(player.key, []).append(reason)
        self.touched.add(measure)
        print(f"  {player.label}: {measure}: {reason}", flush=True)

    def measure(self, measure, player, fn):
        try:
            self.add(measure, player, fn())
        except (Missed, LookupError) as e:
            self.miss(measure, player, str(e))

    def note_load(self):
        self.loads.append(os.getloadavg()[0])

    def session(self, player, tag, expected, body):
        """Runs body(session) in a fresh session of the player; a measure of
        `expected` that it neither took nor missed is missed for the reason
        the session ended."""
        self.touched = set()
        s = Session(self, player, tag)
        reason = "not reached"
        try:
            body(s)
        except Missed as e:
            reason = str(e)
        except (dbus.DBusException, OSError, subprocess.SubprocessError, RuntimeError) as e:
            reason = f"{type(e).__name__}: {e}".splitlines()[0]
        finally:
            s.quit()
        for m in expected:
            if m not in self.touched:
                self.miss(m, player, reason)

    # ---- latency rounds
    LATENCY = ("startup", "first", "pause", "resume", "volume", "seek", "gap_mp3", "gap_wav",
               "roundtrip")

    def latency_session(self, player, tag):
        self.round = tag + 1
        self.session(player, tag, self.LATENCY, lambda s: self.latency_body(s, player))

    def latency_body(self, s, player):
        self.add("startup", player, s.start())
        time.sleep(1)  # what the player still does after its window shows
        round_trip = []
        for _ in range(5):
            t = time.monotonic()
            s.mpris.get("PlaybackStatus")
            round_trip.append(1000 * (time.monotonic() - t))
        self.add("roundtrip", player, statistics.median(round_trip))
        rec = Recorder(RATE, self.note_pid)
        self.requests = {}
        stopped_early = None
        try:
            if not rec.wait_started():
                raise Missed("the recorder did not start")
            s.mpris.set_volume(1.0)
            self.latency_requests(s, rec, os.path.join(self.media, "latency.mp3"))
        except Missed as e:  # what was requested until then is still read
            stopped_early = e
        finally:
            rec.stop()
        if self.args.keep:
            rec.save(os.path.join(self.args.keep, f"{player.key}-{self.round}"), self.requests)
        self.latency_analyse(player, rec)
        if stopped_early:
            raise stopped_early

    def latency_requests(self, s, rec, path):
        m = s.mpris
        # A sink mixes in periods (15 or 20 ms here) and every rewind (a
        # pause, a volume change, a flush over mixed audio) starts a new
        # one. With fixed waits, each request would fall at the same point
        # of the period the request before it started, round after round,
        # and that point, not the player, would set the figure. A random
        # wait of 0 to 60 ms first (three periods or more; the same in a
        # round for every player) puts each request at a random point of
        # the period.
        jitter = random.Random(self.round)

        def request(name, send, wait):
            time.sleep(jitter.uniform(0, 0.06))
            self.requests[name] = send()
            time.sleep(wait)
            rec.note_sink_latency()

        s.player.stopped_state(s, path)
        time.sleep(self.args.idle_seconds)
        request("first", lambda: m.call("Play"), 2.0)
        request("pause", lambda: m.call("Pause"), 1.0)
        request("resume", lambda: m.call("Play"), 1.0)
        request("volume", lambda: m.set_volume(0.5), 1.05)
        m.set_volume(1.0)
        time.sleep(0.3)
        m.seek_to(22)  # into the silent part
        time.sleep(1.5)
        request("seek", lambda: m.seek_to(45), 1.0)
        m.call("Stop")
        time.sleep(0.5)
        for kind in ("mp3", "wav"):
            files = [os.path.join(self.media, f"gap_{p}.{kind}") for p in ("a", "b")]

            def load_pair():
                t = time.monotonic()
                s.player.load(files, s)
                return t

            request(f"gap_{kind}", load_pair, 4.0)

    def latency_analyse(self, player, rec):
        """Reads the figures of the requests that were sent from the recording."""
        ms = lambda f: lambda t: 1000 * f(t)
        detect = {
            "first": ms(lambda t: onset(rec, t, 1.95)),
            "pause": ms(lambda t: sound_end(rec, t, 0.9)),
            "resume": ms(lambda t: onset(rec, t, 0.9)),
            "volume": ms(lambda t: level_change(rec, t)),
            "seek": ms(lambda t: onset(rec, t, 0.95)),
            "gap_mp3": lambda t: gap(rec, t, 2.0),
            "gap_wav": lambda t: gap(rec, t, 2.0),
        }
        for name, t in self.requests.items():
            self.measure(name, player, lambda: detect[name](t))

    # ---- CPU and memory rounds
    def cpu_session(self, player, tag, song, states):
        """states: "idle" (before loading) and/or the playing state, then
        "paused"; each gets its CPU and wake-up figures."""
        kind = song.split(".")[-1]
        expected = [f"{what}_{st}{who}" for st in states for what in ("cpu", "wake")
                    for who in ("", "_server")]
        expected += [f"mem_{st}_{m}" for st in states if st != "paused" for m in ("rss", "pss")]
        self.session(player, f"cpu{tag}-{kind}", expected,
                     lambda s: self.cpu_body(s, player, song, kind, states))

    def cpu_body(self, s, player, song, kind, states):
        w = self.args.cpu_seconds
        s.start()
        time.sleep(2)
        if "idle" in states:
            self.cpu_window(s, "idle", w)
        t_load = time.monotonic()
        s.player.load([os.path.join(self.media, song)], s)
        s.wait_playing(10)
        time.sleep(max(0.0, t_load + 20 - w - time.monotonic()))
        position = s.mpris.get("Position")
        self.cpu_window(s, kind, w)
        advanced = (s.mpris.get("Position") - position) / 1e6
        if advanced < 0.8 * w:
            raise Missed(f"played only {advanced:.1f} s in a {w:.0f} s window")
        self.add_memory(f"mem_{kind}", player, s.proc.pid)
        if "paused" in states:
            s.mpris.call("Pause")
            s.wait_status("Paused", 5)
            time.sleep(4)  # past whatever a player does in its first seconds paused
            self.cpu_window(s, "paused", w)

    def cpu_window(self, s, state, seconds):
        self.note_load()
        figures = cpu_wakeups([s.proc.pid, *self.args.pulse_pid], seconds)
        p_cpu, p_wake = figures[s.proc.pid]
        # The sound server may be several processes (PipeWire): summed.
        a_cpu = sum(figures[p][0] for p in self.args.pulse_pid)
        a_wake = sum(figures[p][1] for p in self.args.pulse_pid)
        self.add(f"cpu_{state}", s.player, p_cpu)
        self.add(f"cpu_{state}_server", s.player, a_cpu)
        self.add(f"wake_{state}", s.player, p_wake)
        self.add(f"wake_{state}_server", s.player, a_wake)
        if state == "idle":
            self.add_memory("mem_idle", s.player, s.proc.pid)

    def add_memory(self, measure, player, pid):
        rss, pss = memory_mb(pid)
        self.add(measure + "_rss", player, rss)
        self.add(measure + "_pss", player, pss)

    def run(self):
        players = self.players
        print("warm-up: every player started once, not measured", flush=True)
        for p in players:
            s = Session(self, p, "warm")
            try:
                s.start()
                time.sleep(1)
            except (Missed, dbus.DBusException, OSError, subprocess.SubprocessError) as e:
                print(f"  {p.label}: {e}", flush=True)
            finally:
                s.quit()
        n = len(players)
        for r in range(self.args.rounds):
            order = players[r % n:] + players[:r % n]
            print(f"latency round {r + 1}/{self.args.rounds}, load {os.getloadavg()[0]:.2f}",
                  flush=True)
            for p in order:
                self.note_load()
                self.latency_session(p, r)
        for r in range(self.args.cpu_rounds):
            order = players[r % n:] + players[:r % n]
            print(f"CPU round {r + 1}/{self.args.cpu_rounds}, load {os.getloadavg()[0]:.2f}",
                  flush=True)
            for p in order:
                self.cpu_session(p, r, "song.mp3", ("mp3", "paused"))
                self.cpu_session(p, r, "song.wma", ("idle", "wma"))


# ---- the table
ROWS = [
    ("startup", "start-up: exec to window mapped (ms)"),
    ("first", "first sound: Play, file loaded and stopped (ms)"),
    ("pause", "Pause to the last sound (ms)"),
    ("resume", "resume: Play to the first sound (ms)"),
    ("seek", "seek (from silence into the tone) to the new audio (ms)"),
    ("volume", "volume 1.0 to 0.5 to the new level (ms)"),
    ("gap_mp3", "gap at the automatic advance, MP3 (ms)"),
    ("gap_wav", "gap at the automatic advance, WAV (ms)"),
    ("cpu_mp3", "CPU, playing the MP3: player (s per minute)"),
    ("cpu_mp3_server", "CPU, playing the MP3: sound server (s per minute)"),
    ("cpu_wma", "CPU, playing the WMA: player (s per minute)"),
    ("cpu_wma_server", "CPU, playing the WMA: sound server (s per minute)"),
    ("cpu_paused", "CPU, paused: player (s per minute)"),
    ("cpu_paused_server", "CPU, paused: sound server (s per minute)"),
    ("cpu_idle", "CPU, idle (nothing loaded): player (s per minute)"),
    ("cpu_idle_server", "CPU, idle: sound server (s per minute)"),
    ("wake_mp3", "wake-ups, playing the MP3: player (per s)"),
    ("wake_mp3_server", "wake-ups, playing the MP3: sound server (per s)"),
    ("wake_wma", "wake-ups, playing the WMA: player (per s)"),
    ("wake_wma_server", "wake-ups, playing the WMA: sound server (per s)"),
    ("wake_paused", "wake-ups, paused: player (per s)"),
    ("wake_paused_server", "wake-ups, paused: sound server (per s)"),
    ("wake_idle", "wake-ups, idle: player (per s)"),
    ("wake_idle_server", "wake-ups, idle: sound server (per s)"),
    ("mem_mp3_rss", "RSS after 20 s of the MP3 (MB)"),
    ("mem_mp3_pss", "PSS after 20 s of the MP3 (MB)"),
    ("mem_wma_rss", "RSS after 20 s of the WMA (MB)"),
    ("mem_wma_pss", "PSS after 20 s of the WMA (MB)"),
    ("mem_idle_rss", "RSS idle, window shown (MB)"),
    ("mem_idle_pss", "PSS idle, window shown (MB)"),
    ("roundtrip", "MPRIS round trip, Get PlaybackStatus (ms)"),
]


def fmt(v):
    return f"{v:.0f}" if abs(v) >= 100 else f"{v:.1f}" if abs(v) >= 1 else f"{v:.2f}"


def cell(values, misses, notes, player):
    """notes: {text: number}, shared by the whole table."""

    def note(text):
        return notes.setdefault(f"{player}: {text}", len(notes) + 1)

    reasons = "; ".join(sorted(set(misses)))
    if not values:
        return f"—[{note(reasons or 'not measured')}]"
    text = fmt(statistics.median(values))
    if len(values) > 1:
        text += f" ({fmt(min(values))}–{fmt(max(values))})"
    if misses:
        text += f" [{note(f'missed in {len(misses)} of {len(values) + len(misses)} rounds: {reasons}')}]"
    return text


def table(raw):
    players = raw["players"]
    lines = ["| figure | " + " | ".join(label for _, label in players) + " |",
             "|---|" + "---|" * len(players)]
    notes = {}
    for key, title in ROWS:
        if key not in raw["results"] and key not in raw["misses"]:
            continue
        cells = [cell(raw["results"].get(key, {}).get(pk, []),
                      raw["misses"].get(key, {}).get(pk, []), notes, label)
                 for pk, label in players]
        lines.append(f"| {title} | " + " | ".join(cells) + " |")
    lines.append("")
    lines.append("Median (min–max) over the rounds; a dash is a figure the player did not"
                 " give, for the reason in the note.")
    lines += [f"[{n}] {text}" for text, n in notes.items()]
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--media", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--pulse-pid", type=int, nargs="+", required=True)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--cpu-rounds", type=int, default=2)
    parser.add_argument("--cpu-seconds", type=float, default=8)
    parser.add_argument("--idle-seconds", type=float, default=4)
    parser.add_argument("--players", nargs="+", required=True)
    parser.add_argument("--keep", help="folder for each latency session's recording")
    parser.add_argument("--table", required=True)
    parser.add_argument("--raw", required=True)
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))

    start = time.time()
    load_start = open("/proc/loadavg").read().split()[:3]
    race = Race(args)
    print(f"{time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime(start))}: load average "
          f"{' '.join(load_start)} on {os.cpu_count()} cores", flush=True)
    try:
        race.run()
    except KeyboardInterrupt:
        print("interrupted: no table", file=sys.stderr)
        return 130
    load_end = open("/proc/loadavg").read().split()[:3]
    raw = {"players": [(p.key, p.label) for p in race.players], "results": race.results,
           "misses": race.misses, "load_start": load_start, "load_end": load_end,
           "load_during": race.loads, "minutes": (time.time() - start) / 60,
           "settings": vars(args)}
    with open(args.raw, "w") as f:
        json.dump(raw, f, indent=1)
    text = table(raw)
    text += (f"\n\nLoad average (1, 5, 15 min) at the start {' '.join(load_start)}, at the end "
             f"{' '.join(load_end)}; 1-minute load at each session: "
             f"{min(race.loads):.2f} to {max(race.loads):.2f}. "
             f"{args.rounds} latency rounds, {args.cpu_rounds} CPU rounds of "
             f"{args.cpu_seconds:.0f} s windows; {raw['minutes']:.1f} minutes.\n")
    with open(args.table, "w") as f:
        f.write(text)
    print(text)
    print(f"load average: {' '.join(load_end)}")


if __name__ == "__main__":
    sys.exit(main())
