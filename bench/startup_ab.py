"""Start-up of two builds of tarn-player, interleaved: exec to the main
window mapped (seen as bench/race.py sees it), each build started in turn
with a fresh home and ended with SIGTERM before the next start.

    startup_ab.py --work DIR --runs N PLAYER_A PLAYER_B

Run by bench/startup_ab.sh, which provides the private desktop."""
import argparse
import os
import shutil
import statistics
import subprocess
import time

from race import WindowWatch


def start_once(watch, player, home):
    shutil.rmtree(home, ignore_errors=True)
    os.makedirs(home)
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"))
    watch.drain()
    t0 = time.monotonic()
    proc = subprocess.Popen([player], env=env, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    mapped = watch.wait_mapped(proc.pid, 10)
    time.sleep(0.5)  # what the player does after its window shows
    proc.terminate()
    proc.wait(5)
    time.sleep(float(os.environ.get("AB_PAUSE", "0.5")))
    return None if mapped is None else 1000 * (mapped - t0)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--work", required=True)
    ap.add_argument("--runs", type=int, default=20)
    ap.add_argument("players", nargs=2)
    args = ap.parse_args()
    watch = WindowWatch()
    times = {p: [] for p in args.players}
    for run in range(args.runs):
        order = args.players if run % 2 == 0 else args.players[::-1]
        for p in order:
            ms = start_once(watch, p, os.path.join(args.work, "home"))
            if ms is not None:
                times[p].append(ms)
    for label, p in zip("AB", args.players):
        v = sorted(times[p])
        print(f"{label} {p}: median {statistics.median(v):.1f} ms "
              f"({v[0]:.1f} to {v[-1]:.1f}; {len(v)} of {args.runs} starts)")


if __name__ == "__main__":
    main()
