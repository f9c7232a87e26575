#!/usr/bin/env python3
"""Runs a command (normally tarn-engine-play) and reports what it cost.

    play_monitor.py [--label TEXT] [--memory-at SECONDS] [--timeout SECONDS] -- COMMAND...

Prints one summary: wall time, the CPU time of the process from wait4()
(user + system, all threads, exact), CPU seconds per minute of wall time, the
CPU of each thread (from /proc/PID/task/TID/schedstat, sampled every 0.5 s,
so the last half second may be missing), and resident and proportional set
size (/proc/PID/smaps_rollup, with the anonymous part) sampled at
--memory-at seconds and the largest seen. The command's own output goes to stderr so that stdout stays a report.
--timeout ends (SIGTERM) a command that runs longer, and says so.
"""
import argparse
import os
import subprocess
import sys
import time

from thread_wakeups import snapshot


def thread_cpu(pid):
    """{tid: (name, seconds on CPU)} for every thread of pid."""
    return {tid: (t[0], t[3] / 1e9) for tid, t in snapshot(pid).items()}


def memory_kb(pid):
    """(Rss, Pss, Anonymous) in kB from smaps_rollup, or None once the process
    is gone. Anonymous is the process's own memory (heap, stacks, buffers);
    the rest of Rss is mapped files, nearly all shared library code."""
    try:
        with open(f"/proc/{pid}/smaps_rollup") as f:
            fields = dict(line.split(":", 1) for line in f if ":" in line)
        return tuple(int(fields[k].split()[0]) for k in ("Rss", "Pss", "Anonymous"))
    except (OSError, KeyError, ValueError):
        return None


def describe(mem):
    rss, pss, anon = (kb / 1024 for kb in mem)
    return f"RSS {rss:.1f} MB, PSS {pss:.1f} MB, of which anonymous {anon:.1f} MB"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--label", default="run")
    parser.add_argument("--memory-at", type=float, default=30.0)
    parser.add_argument("--timeout", type=float, default=0,
                        help="end the command (SIGTERM) after this many seconds")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no command")

    start = time.monotonic()
    child = subprocess.Popen(command, stdout=sys.stderr)
    threads, at_mark, largest = {}, None, (0, 0, 0)
    timed_out = False
    while True:
        waited, status, usage = os.wait4(child.pid, os.WNOHANG)
        if waited:
            break
        if args.timeout and not timed_out and time.monotonic() - start >= args.timeout:
            print(f"[{args.label}] still running after {args.timeout:.0f} s: ended",
                  file=sys.stderr)
            child.terminate()
            timed_out = True
        threads.update(thread_cpu(child.pid))
        mem = memory_kb(child.pid)
        if mem:
            largest = max(largest, mem)
            if at_mark is None and time.monotonic() - start >= args.memory_at:
                at_mark = mem
        time.sleep(0.5)
    wall = time.monotonic() - start
    cpu = usage.ru_utime + usage.ru_stime
    code = os.waitstatus_to_exitcode(status)

    print(f"[{args.label}] exit {code}, wall {wall:.1f} s, CPU {cpu:.3f} s "
          f"(user {usage.ru_utime:.3f}, system {usage.ru_stime:.3f}), "
          f"{cpu * 60 / wall:.3f} CPU s per minute, "
          f"{usage.ru_nvcsw} voluntary context switches")
    for tid, (name, secs) in sorted(threads.items(), key=lambda t: -t[1][1]):
        role = "main" if tid == child.pid else "thread"
        print(f"[{args.label}]   {role:6} {name:16} {secs:.3f} s")
    if at_mark:
        print(f"[{args.label}] memory at {args.memory_at:.0f} s: {describe(at_mark)}")
    print(f"[{args.label}] memory largest: {describe(largest)}")
    return 0 if code == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
