#!/usr/bin/env bash
# CPU and resident memory of the player over 20 s with a track playing alone,
# then over the 20 s from the visualisation window's opening (its 15 s video,
# then its last picture standing), on the end-to-end suite's private desktop
# (tests/e2e/session.sh) and driven with its helpers. Results: bench/README.md.
#   bench/ui_vis_cpu.sh [BUILD_DIR]    (BUILD_DIR, default build, holds tarn-player)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
export TARN_E2E_DIR=${TARN_BENCH_OUT:-/tmp/tarn-bench-vis}
"$root/tests/e2e/session.sh" start "$TARN_E2E_DIR" "$build"
trap '"$root/tests/e2e/session.sh" stop "$TARN_E2E_DIR"' EXIT
(
  source "$root/tests/e2e/lib.sh"
  playing_tone
  cpu() { awk -v tck="$(getconf CLK_TCK)" '{ printf "%.2f\n", ($14 + $15) / tck }' "/proc/$player/stat"; }
  measure() { # label seconds
    local before after
    before=$(cpu); sleep "$2"; after=$(cpu)
    awk -v a="$before" -v b="$after" -v s="$2" -v l="$1" \
      -v r="$(awk '/VmRSS/ { print $2 }' "/proc/$player/status")" \
      'BEGIN { printf "%s: %.2f CPU s in %d s (%.2f %% of one core), resident %d KiB\n", l, b - a, s, 100 * (b - a) / s, r }'
  }
  measure "music alone" 20
  click "push button" Visualizitions
  answer "only a video"
  wait_for 5 "the visualisation window" window_named " "
  measure "music and the window, 20 s from its opening" 20
  hearing 440 || fail "the track was not heard beside the video"
  echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
)
