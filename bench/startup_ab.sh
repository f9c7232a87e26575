#!/bin/bash
# Start-up of two builds of tarn-player, interleaved, in a private desktop
# (Xvfb with openbox, a session bus, a PulseAudio null sink):
#   bench/startup_ab.sh PLAYER_A PLAYER_B [RUNS]
# AB_PAUSE: seconds from one exit to the next start (default 0.5; each
# start follows the other build's exit).
# Prints the median time from exec to the mapped main window of each.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ $# -ge 2 ] || { echo "usage: bench/startup_ab.sh PLAYER_A PLAYER_B [RUNS]" >&2; exit 2; }
a=$(realpath "$1") b=$(realpath "$2") runs=${3:-20}
source "$here/x_session.sh"
work=$(mktemp -d)
pids=()
cleanup() {
    local p
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
start_private_desktop 60 69 "$work"
export NO_AT_BRIDGE=1 QT_ACCESSIBILITY=0
echo "start: $(uptime)"
PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 "$here/startup_ab.py" --work "$work" --runs "$runs" "$a" "$b"
echo "end: $(uptime)"
