#!/usr/bin/env bash
# Soak test of the real player: a playlist of 300 short files (MP3, WAV and
# WMA, 2 to 6 s, each one steady tone) with Repeat on, played for MINUTES
# (default 30) under Xvfb + openbox with a private PulseAudio null sink, while
#   - the flag channel presses Next every second (`printf 1 > next2.ini` in
#     the application folder),
#   - the mini player opens (Ctrl+M) and closes (its Back button) every minute,
#   - the visualisation window opens and closes every five minutes.
# Reports the player's resident memory, open descriptors and threads (sampled
# every 10 s), the lines it printed, and the dropouts in a recording of the
# sink's monitor (bench/soak_dropouts.py says what counts as one).
# Usage: bench/soak.sh BUILD_DIR [MINUTES]. Not part of CI. Leaves the
# recording, the samples and the player's output in $TARN_SOAK_OUT (default
# /tmp/tarn-soak); the 300 files are kept there for the next run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: bench/soak.sh BUILD_DIR [MINUTES]}" && pwd)
minutes=${2:-30}
app=$build/src # the application folder: the executable's own
out=${TARN_SOAK_OUT:-/tmp/tarn-soak}
mkdir -p "$out/media"
rm -rf "$out/home" "$out/pulse" "$out/runtime" "$out"/*.wav "$out"/*.txt "$out"/*.log
source "$root/bench/x_session.sh"
# The processes the script starts go into `pids` and are stopped however it ends.
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT
fail() { echo "SOAK FAIL: $*"; exit 1; }

# The playlist: file i holds a tone of 300 + 40 (i mod 20) Hz, so files next
# to each other always differ by 40 Hz or more.
make_file() { # index
  local i=$1 hz=$((300 + 40 * ($1 % 20))) secs=$((2 + $1 * 7 % 5)) ext codec
  case $((i % 3)) in
    0) ext=mp3 codec="-c:a libmp3lame -b:a 128k -ar 44100" ;;
    1) ext=wav codec="-c:a pcm_s16le -ar 48000" ;;
    2) ext=wma codec="-c:a wmav2 -b:a 64k -ar 44100" ;;
  esac
  local f=$out/media/$(printf '%03d' "$i")-$hz.$ext
  [[ -s $f ]] || ffmpeg -nostdin -loglevel error -y -f lavfi \
    -i "aevalsrc=0.5*sin(2*PI*$hz*t):s=48000:d=$secs" -ac 2 $codec "$f"
  echo "$f"
}
export -f make_file; export out
seq 0 299 | xargs -P 2 -I{} bash -c 'make_file {}' | sort >"$out/soak.m3u"
[[ $(wc -l <"$out/soak.m3u") == 300 ]] || fail "the playlist has not 300 files"

start_x_session "${TARN_SOAK_DISPLAY:-:79}" "$out"
export XDG_RUNTIME_DIR=$out/runtime
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
rm -f "$app/back1.ini" "$app/stop1.ini" "$app/next2.ini"
parec -d tarn_null.monitor --latency-msec=20 --file-format=wav --format=s16le --channels=1 \
  --rate=16000 "$out/record.wav" & rec=$!; pids+=($rec)
# Repeat is on: a fresh settings folder holds no REP, whose default is on.
"$build/src/tarn-player" "$out/soak.m3u" >"$out/player.log" 2>&1 & player=$!; pids+=($player)
# The main window's title is the playing track's: it is the player's shown
# window that is neither the strip nor the visualisation window.
main_window() {
  local w
  for _ in $(seq 50); do
    for w in $(xdotool search --onlyvisible --pid "$player" --name . 2>/dev/null); do
      case $(xdotool getwindowname "$w") in 'Rude Re3' | ' ' | '') ;; *) echo "$w"; return 0 ;; esac
    done
    sleep 0.2
  done
  return 1
}
win=$(main_window) || fail "the main window did not appear"
xdotool windowactivate --sync "$win" key ctrl+s # the full view, where Visualizitions is
sleep 1

sample() { # seconds since start
  printf '%d %d %d %d\n' "$1" "$(awk '/VmRSS/ { print $2 }' "/proc/$player/status")" \
    "$(ls "/proc/$player/fd" | wc -l)" "$(ls "/proc/$player/task" | wc -l)" >>"$out/samples.txt"
}
shown_window() { # title pattern: the first mapped window that has it
  local w
  for w in $(xdotool search --name "$1" 2>/dev/null); do
    xwininfo -id "$w" | grep -q IsViewable && { echo "$w"; return 0; }
  done
  return 1
}
strip_window() { shown_window '^Rude Re3$'; }
vis_window() { shown_window '^ $'; }
open_visualisation() {
  local WIDTH HEIGHT X Y SCREEN WINDOW
  win=$(main_window) || return 0
  eval "$(xdotool getwindowgeometry --shell "$win")"
  local client_top=$((HEIGHT - 452)) # the full view's client area is 452 px high
  xdotool mousemove --window "$win" $(((3120 + 787) / 15)) $((client_top + (3720 + 127) / 15)) click 1
  sleep 0.7
  xdotool key Return # the notice
}
# A step that fails (a window not found in time) is skipped, not fatal.

note() { echo "$*" >>"$out/actions.txt"; }
echo "soak: $minutes min, player $player, output in $out"
echo "# seconds rss_kib fds threads" >"$out/samples.txt"
begin=$(date +%s)
end=$((begin + minutes * 60))
last=-1
while (($(date +%s) < end)); do
  t=$(($(date +%s) - begin))
  if ((t != last)); then
    last=$t
    kill -0 "$player" 2>/dev/null || fail "the player ended at $t s"
    printf 1 >"$app/next2.ini"
    ((t % 10 == 0)) && sample "$t"
    case $((t % 60)) in
      10) w=$(main_window) && timeout 5 xdotool windowactivate --sync "$w" key ctrl+m
          sleep 0.5; note "$t mini player opened: $(strip_window >/dev/null && echo yes || echo NO)" ;;
      40) s=$(strip_window) && xdotool mousemove --window "$s" 132 8 click 1 # Back
          sleep 0.5; note "$t mini player closed: $(strip_window >/dev/null && echo NO || echo yes)" ;;
    esac
    case $((t % 300)) in
      45) open_visualisation
          note "$t visualisation opened: $(vis_window >/dev/null && echo yes || echo NO)" ;;
      55) v=$(vis_window) && xdotool mousemove --window "$v" $(((2520 + 607) / 15)) \
            $(((3360 + 247) / 15)) click 1 # Close
          sleep 0.5; note "$t visualisation closed: $(vis_window >/dev/null && echo NO || echo yes)" ;;
    esac
  fi
  sleep 0.2
done
sample "$(($(date +%s) - begin))"
kill "$rec"; wait "$rec" 2>/dev/null || true

{
  echo "== memory, descriptors, threads (every 10 s)"
  awk '!/^#/ { n++; if (n == 1) { r0 = $2; f0 = $3; t0 = $4 } if (n == 31) r5 = $2
              if ($2 > rmax) rmax = $2; if ($3 > fmax) fmax = $3; if ($4 > tmax) tmax = $4
              if (fmin == "" || $3 < fmin) fmin = $3; if (tmin == "" || $4 < tmin) tmin = $4
              r = $2; f = $3; th = $4 }
       END { printf "resident: %.1f MiB at start, %.1f MiB at the end (largest %.1f): %+.2f MiB\n",
                    r0 / 1024, r / 1024, rmax / 1024, (r - r0) / 1024
             if (r5) printf "resident after the first 5 min (every window opened once): %.1f MiB: %+.2f MiB to the end\n",
                    r5 / 1024, (r - r5) / 1024
             printf "descriptors: %d at start, %d at the end (%d to %d)\n", f0, f, fmin, fmax
             printf "threads: %d at start, %d at the end (%d to %d)\n", t0, th, tmin, tmax }' \
    "$out/samples.txt"
  echo "== windows: $(grep -c yes "$out/actions.txt") of $(wc -l <"$out/actions.txt") openings and closings seen"
  grep NO "$out/actions.txt" || true
  echo "== the player's output: $(wc -l <"$out/player.log") lines"
  sort "$out/player.log" | uniq -c | sort -rn | head -20
  echo "== sound"
  python3 "$root/bench/soak_dropouts.py" "$out/record.wav"
} | tee "$out/report.txt"
