#!/usr/bin/env python3
"""Wake-ups and CPU of running processes, per thread, over a window of time.

    thread_wakeups.py [--label TEXT] [--seconds N] NAME=PID [NAME=PID...]

For each process, reads /proc/PID/task/*/status (voluntary_ctxt_switches and
nonvoluntary_ctxt_switches), /proc/PID/task/*/comm and
/proc/PID/task/*/schedstat (nanoseconds on a CPU) at the start of the window
and then every second, and prints per thread and for the whole process the
context switches per second and the CPU used. A voluntary switch is the
thread going to sleep, so every one is followed by a wake-up; a
non-voluntary one is the thread being preempted while it still had work (it
is counted too: the scheduler switched to it once more). A thread born during
the window counts from zero; one that ended during it counts up to the last
second it was seen (marked "ended"). A thread that lived less than a second
may be missed.
"""
import argparse
import os
import sys
import time


def snapshot(pid):
    """{tid: (name, voluntary, nonvoluntary, cpu ns)} of every thread of pid."""
    out = {}
    try:
        tids = os.listdir(f"/proc/{pid}/task")
    except OSError:
        return out
    for tid in tids:
        base = f"/proc/{pid}/task/{tid}"
        try:
            with open(f"{base}/comm") as f:
                name = f.read().strip()
            fields = {}
            with open(f"{base}/status") as f:
                for line in f:
                    key, _, value = line.partition(":")
                    fields[key] = value.strip()
            with open(f"{base}/schedstat") as f:
                ns = int(f.read().split()[0])
            out[int(tid)] = (name, int(fields["voluntary_ctxt_switches"]),
                             int(fields["nonvoluntary_ctxt_switches"]), ns)
        except (OSError, KeyError, ValueError, IndexError):
            continue
    return out


def report(label, name, before, last, ended, seconds):
    """before: the first snapshot; last: each thread's last one seen;
    ended: tids gone by the end."""
    rows = []
    for tid in sorted(last):
        b = before.get(tid, (last[tid][0], 0, 0, 0))
        a = last[tid]
        rows.append((a[0], tid, (a[1] - b[1], a[2] - b[2], a[3] - b[3])))
    total = [0, 0, 0]
    print(f"[{label}] {name}: {seconds:.1f} s")
    for comm, tid, d in rows:
        total = [t + x for t, x in zip(total, d)]
        print(f"  {comm:<18} {tid:>8}  {(d[0] + d[1]) / seconds:8.2f}/s "
              f"(voluntary {d[0]}, preempted {d[1]})  CPU {d[2] / 1e6:8.1f} ms"
              + ("  ended" if tid in ended else ""))
    print(f"  {'whole process':<27}  {(total[0] + total[1]) / seconds:8.2f}/s "
          f"(voluntary {total[0]}, preempted {total[1]})  CPU {total[2] / 1e6:8.1f} ms "
          f"({total[2] / 1e9 / seconds * 60:.3f} s per minute)")
    return (total[0] + total[1]) / seconds, total[2] / 1e9


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--label", default="window")
    parser.add_argument("--seconds", type=float, default=30.0)
    parser.add_argument("processes", nargs="+", help="NAME=PID")
    args = parser.parse_args()
    procs = []
    for p in args.processes:
        name, _, pid = p.rpartition("=")
        procs.append((name or pid, int(pid)))
    start = time.monotonic()
    before = [snapshot(pid) for _, pid in procs]
    last = [dict(b) for b in before]
    end = start + args.seconds
    while True:
        now = time.monotonic()
        if now >= end:
            break
        time.sleep(min(1.0, end - now))
        current = [snapshot(pid) for _, pid in procs]
        for seen, c in zip(last, current):
            seen.update(c)
    seconds = time.monotonic() - start
    for (name, pid), b, seen, c in zip(procs, before, last, current):
        if not c:
            print(f"[{args.label}] {name}: process {pid} is gone", file=sys.stderr)
            return 1
        report(args.label, name, b, seen, set(seen) - set(c), seconds)
    return 0


if __name__ == "__main__":
    sys.exit(main())
