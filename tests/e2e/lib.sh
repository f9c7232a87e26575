# Sourced by every end-to-end case: the session's variables, the case's own
# output folder, a clean state, and helpers that drive the real player as a
# person would (xdotool on the controls that the accessibility bus names and
# places) and that wait for what a person would notice (a window, a caption,
# a text, a tone at the null sink). Every wait has a timeout; a failed check
# says what was expected and what was seen, and leaves a screenshot.
# Needs: TARN_E2E_DIR (the session of tests/e2e/session.sh).
set -euo pipefail
source "$TARN_E2E_DIR/env"
e2e_src=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
case_name=$(basename "$0" .sh)
out=$TARN_E2E_DIR/out/$case_name
media=$TARN_E2E_DIR/media
app=$TARN_E2E_APP
conf="$XDG_CONFIG_HOME/Tarn Player/Tarn Player.conf"
rm -rf "$out"
mkdir -p "$out" "$media" "$app"
pids=() # stopped at the end of the case, however it ends
# started PID: stopped at the end of the case, and by the session's stop when
# the case itself was killed (a timeout).
started() {
  pids+=("$1")
  echo "$1 $(awk '{ print $22 }' "/proc/$1/stat" 2>/dev/null)" >>"$TARN_E2E_DIR/pids"
}
player="" win=""
seen=""   # what the last condition saw, for the failure message
shots=0
millis() { echo $(($(date +%s%N) / 1000000)); }
case_start=$(millis)

log() { printf '%6.1f s  %s\n' "$(awk -v t="$(($(millis) - case_start))" 'BEGIN { print t / 1000 }')" "$*"; }
shot() { # name: a screenshot of the whole screen
  shots=$((shots + 1))
  import -window root "$out/$(printf %02d "$shots")-$1.png" 2>/dev/null || true
}
stop_pid() { # pid: TERM, then KILL after 3 s
  kill -TERM "$1" 2>/dev/null || return 0
  for _ in $(seq 30); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
  kill -KILL "$1" 2>/dev/null || true
}
at_exit=() # commands that put the session back as it was, run at the end
cleanup() {
  local p c
  for p in "${pids[@]}"; do stop_pid "$p"; done
  for c in "${at_exit[@]}"; do eval "$c" || true; done
  chmod -R u+w "$app" 2>/dev/null || true
}
trap cleanup EXIT
fail() {
  echo "E2E FAIL [$case_name]: $*"
  [[ -n $seen ]] && echo "  seen: $seen"
  shot failure
  if [[ -n $player ]]; then echo "  the player's output:"; sed 's/^/    /' "$out/player.log" | tail -20; fi
  echo "  screenshots, recordings and logs in $out"
  exit 1
}

# ---- conditions -------------------------------------------------------------
# wait_for SECONDS WHAT COMMAND...: runs COMMAND until it succeeds, every 50 ms;
# fails with WHAT (and the last `seen`) when it has not after SECONDS.
wait_for() {
  local limit=$1 what=$2; shift 2
  local deadline=$(($(millis) + $(awk -v s="$limit" 'BEGIN { printf "%d", s * 1000 }')))
  while ! "$@"; do
    (($(millis) < deadline)) || fail "expected $what within $limit s"
    sleep 0.05
  done
}

# must MESSAGE COMMAND...: a check of what shows now, read again for up to
# 2 s (a read of the windows while they change may come back empty); fails
# with MESSAGE.
must() {
  local message=$1 deadline=$(($(millis) + 2000))
  shift
  until "$@"; do
    (($(millis) < deadline)) || fail "$message"
    sleep 0.1
  done
}

# ---- media ------------------------------------------------------------------
# tone NAME FREQUENCY SECONDS: $media/NAME, a stereo sine at half scale (made
# once per session); NAME's extension picks the format.
tone() {
  [[ -s $media/$1 ]] || ffmpeg -loglevel error -y -f lavfi \
    -i "aevalsrc=0.5*sin(2*PI*$2*t)|0.5*sin(2*PI*$2*t):s=44100:d=$3" -b:a 192k "$media/$1"
  echo "$media/$1"
}

# ---- the player and its windows ---------------------------------------------
settings() { # lines of the [Settings] group, saved before the player starts
  rm -rf "$conf"
  mkdir -p "$(dirname "$conf")"
  printf '[Settings]\n%s\n' "$@" >"$conf"
}
start_player() { # arguments: those of the player
  local n=${#pids[@]}
  "$TARN_E2E_PLAYER" "$@" >>"$out/player.log" 2>&1 &
  player=$!
  started "$player"
  wait_for 15 "the main window to appear" main_window_mapped
  # It takes its saved view's size and place right after it shows.
  settled=""
  wait_for 5 "the main window to keep its place" window_settled
  log "player $player started ($n processes before), window $win"
}
main_window_mapped() { # the player's mapped window named Tarn Player, taller than the strip
  local w
  seen="no main window of process $player"
  for w in $(xdotool search --pid "$player" --name '^Tarn Player$' 2>/dev/null); do
    mapped "$w" && (($(xwininfo -id "$w" | awk '/Height:/ {print $2}') > 150)) && { win=$w; return 0; }
  done
  return 1
}
window_settled() { # the same geometry three polls in a row
  local now
  now=$(xwininfo -id "$win" | grep -E 'Absolute|Width|Height' | paste -sd' ')
  seen="geometry $now"
  [[ $now == "${settled%|*}" ]] && [[ ${settled##*|} == 2 ]] && return 0
  [[ $now == "${settled%|*}" ]] && settled="$now|2" || settled="$now|1"
  sleep 0.1
  return 1
}
player_gone() { ! kill -0 "$player" 2>/dev/null; }
# player_ended: waits (10 s) for the player to end; sets `status` to its exit status.
player_ended() {
  wait_for 10 "the player to end" player_gone
  status=0
  wait "$player" || status=$?
  log "the player ended with status $status"
}
mapped() { [[ $(xwininfo -id "$1" 2>/dev/null) == *IsViewable* ]]; }
unmapped() { ! mapped "$1"; }
caption() { xdotool getwindowname "$win" 2>/dev/null; }
caption_is() {
  seen="caption \"$(caption)\""
  [[ $(caption) == $1 ]]
}
# window_named NAME: sets `found` to the mapped window of the player named NAME.
window_named() {
  local w
  found=""
  for w in $(xdotool search --pid "$player" 2>/dev/null); do
    mapped "$w" && [[ $(xdotool getwindowname "$w" 2>/dev/null) == "$1" ]] &&
      [[ $(xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null) != *OVERRIDE* ]] && found=$w
  done
  seen="no mapped window named \"$1\""
  [[ -n $found ]]
}
geometry() { # window: sets X Y WIDTH HEIGHT (its client area on the screen)
  read -r X Y WIDTH HEIGHT < <(xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $4 }
    /Absolute upper-left Y/ { y = $4 } /Width:/ { w = $2 } /Height:/ { h = $2 } END { print x, y, w, h }')
}

# a11y: the shown controls of the player, as tests/e2e/a11y.py prints them:
# role, name, text, x, y, width, height, states, description (tab-separated).
# Read whole into a variable before it is searched: a reader that stops early
# must not break the pipe of a long dump. A dump that failed reads as empty.
a11y() { /usr/bin/python3 "$e2e_src/a11y.py" "$player" 2>/dev/null || true; }
# control ROLE NAME: the first shown control of that role and name (an
# extended regular expression for the whole name); prints its line.
control() {
  local dump
  dump=$(a11y)
  awk -F'\t' -v r="$1" -v n="^($2)\$" '$1 == r && $2 ~ n { print; exit }' <<<"$dump"
}
# found_control ROLE NAME: sets `line` to that control's line, reading the
# windows again for up to 2 s (a read while they change may miss it).
found_control() {
  local deadline=$(($(millis) + 2000))
  until line=$(control "$1" "$2") && [[ -n $line ]]; do
    (($(millis) < deadline)) || return 1
    sleep 0.1
  done
}
# click ROLE NAME [BUTTON [REPEAT]]: clicks the middle of that control.
click() {
  local line x y w h
  found_control "$1" "$2" || { seen=$(a11y | cut -f1,2 | paste -sd'|'); fail "no $1 \"$2\" to click"; }
  read -r x y w h < <(cut -f4-7 --output-delimiter=' ' <<<"$line")
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click --repeat "${4:-1}" --delay 80 "${3:-1}"
}
# press ROLE NAME: does the action of that control (a button's Press) over
# the accessibility bus, as a screen reader's user does: for windows that no
# pointer from outside reaches (Wayland). Tries for up to 2 s.
press() {
  local deadline=$(($(millis) + 2000))
  until /usr/bin/python3 "$e2e_src/a11y.py" "$player" press "$1" "$2" 2>/dev/null; do
    (($(millis) < deadline)) || { seen=$(a11y | cut -f1,2 | paste -sd'|'); fail "no $1 \"$2\" to press"; }
    sleep 0.1
  done
}
# The texts a person reads: the track line (in full: its tooltip holds what
# the label may cut off), the time, the labels, the playlist's entries.
track_line() {
  local dump
  dump=$(a11y)
  awk -F'\t' '$1 == "label" && $2 ~ /^Now Playing/ { print ($9 != "" ? $9 : $2); exit }' <<<"$dump"
}
time_text() {
  local dump
  dump=$(a11y)
  awk -F'\t' '$1 == "label" && $2 ~ /^[0-9]+:[0-9][0-9]$/ { print $2; exit }' <<<"$dump"
}
label_shown() { # regular expression
  local labels
  labels=$(a11y | awk -F'\t' '$1 == "label" && $2 != "" { print $2 }')
  seen="labels: $(paste -sd'|' <<<"$labels")"
  grep -qE "$1" <<<"$labels"
}
track_line_has() {
  local line
  line=$(track_line)
  seen="track line \"$line\""
  [[ $line == *"$1"* ]]
}
list_items() { a11y | awk -F'\t' '$1 == "list item" { print $2 }'; }
playlist_is() { # the entries, joined by "|"
  local items
  items=$(list_items | paste -sd'|')
  seen="playlist: $items"
  [[ $items == "$1" ]]
}
list_has() {
  local items
  items=$(list_items)
  seen="playlist: $(paste -sd'|' <<<"$items")"
  grep -qxF "$1" <<<"$items"
}
checked() { [[ $(control "$1" "$2" | cut -f8) == *checked* ]]; }
# The view: the full view shows the playlist's buttons.
full_view() { [[ -n $(control "push button" "Add") ]]; }
compact_view() { [[ -z $(control "push button" "Add") && -n $(control "push button" "Show Playlist") ]]; }
# Keys for the player's active window.
keys() { xdotool windowactivate --sync "$win" 2>/dev/null || true; xdotool key --delay 40 "$@"; }
# add_file PATH: Add, then the path typed into Qt's file dialog.
add_file() {
  click "push button" "Add"
  file_dialog "$1"
  wait_for 10 "\"$(basename "$1")\" in the playlist" list_has "$(basename "$1")"
}
# dialog_ready: sets `dialog` to the player's newest mapped dialog window.
dialog_ready() {
  local w
  dialog=""
  for w in $(xdotool search --pid "$player" --name '.' 2>/dev/null); do
    [[ $w != "$win" ]] && mapped "$w" && [[ $(xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null) == *DIALOG* ]] &&
      dialog=$w
  done
  seen="no dialog window"
  [[ -n $dialog ]]
}
play_entry() { # name: double-click it in the playlist
  click "list item" "$(printf '%s' "$1" | sed 's/[][\.*^$()+?{}|]/\\&/g')" 1 2
}

# ---- sound ------------------------------------------------------------------
# record: records the null sink (mono, 48 kHz, 16 bit) to $out/NAME.raw from
# now on; the level and tone of the last moments are read from its end.
# On PipeWire the recorder asks for no less than the graph's default period,
# so that it does not shorten the period the player's stream is checked against.
record() { # [NAME]: records the monitor of $rec_sink (default tarn_null)
  local latency=20
  [[ ${TARN_E2E_SOUND:-} == pipewire ]] && latency=50
  rec_file=$out/${1:-sink}.raw
  parec -d "${rec_sink:-tarn_null}.monitor" --latency-msec=$latency --format=s16le --channels=1 --rate=48000 \
    >"$rec_file" 2>"$out/parec.log" &
  rec_pid=$!
  started "$rec_pid"
}
stop_recording() { stop_pid "$rec_pid"; }
# sound_now [SECONDS]: sets rms (0..1) and freq (Hz) of the last SECONDS
# (default 0.25) of the recording.
sound_now() {
  local bytes stat
  bytes=$(awk -v s="${1:-0.25}" 'BEGIN { printf "%d", s * 48000 * 2 }')
  stat=$(tail -c "$bytes" "$rec_file" | sox -t raw -r 48000 -e signed -b 16 -c 1 - -n stat 2>&1 || true)
  rms=$(awk '/RMS     amplitude/ {print $3}' <<<"$stat")
  freq=$(awk '/Rough   frequency/ {print $3}' <<<"$stat")
  [[ $rms =~ ^[0-9.e+-]+$ ]] || rms=0
  [[ $freq =~ ^[0-9.e+-]+$ ]] || freq=0
  seen="at the sink: RMS $rms, about $freq Hz"
}
hearing() { # FREQUENCY: a tone within 3 % of it, above -46 dBFS
  sound_now
  awk -v r="$rms" -v f="$freq" -v w="$1" 'BEGIN { exit !(r > 0.005 && f > w * 0.97 && f < w * 1.03) }'
}
silent() { sound_now; awk -v r="$rms" 'BEGIN { exit !(r < 0.0005) }'; }
# level_db SECONDS: the level of the last SECONDS in dBFS: the median RMS of
# its 50 ms stretches, so that a moment the sink missed under load does not
# move it.
level_db() {
  local bytes
  bytes=$(awk -v s="$1" 'BEGIN { printf "%d", s * 48000 * 2 }')
  tail -c "$bytes" "$rec_file" | od -An -v -td2 -w2 | awk '
    { sum += $1 * $1; if (++n == 2400) { r[k++] = sqrt(sum / n) / 32768; sum = n = 0 } }
    END {
      for (i = 1; i < k; i++)
        for (j = i; j > 0 && r[j - 1] > r[j]; j--) { t = r[j]; r[j] = r[j - 1]; r[j - 1] = t }
      m = k ? r[int(k / 2)] : 0
      printf "%.2f", 20 * log(m + 1e-9) / log(10)
    }'
}

# The player's playback stream as the sound server lists it (pactl list
# sink-inputs): player_stream sets `stream` to its block, empty when there is none.
player_stream() {
  local all
  all=$(pactl list sink-inputs 2>/dev/null || true)
  stream=$(awk -v RS='' '/application.name = "Tarn Player"/ { print; exit }' <<<"$all")
  seen="the player's stream: $(grep -E 'Volume:|node.latency' <<<"$stream" | tr -s ' \t' ' ' | paste -sd'|')"
  [[ -n $stream ]]
}
# stream_volume_db DB: the stream's volume (its first channel), as the
# desktop's mixer shows it, is DB ("-12.50").
stream_volume_db() {
  player_stream && [[ $(awk '/^[ \t]*Volume:/ { print $7; exit }' <<<"$stream") == "$1" ]]
}
# stream_leads_period: on PipeWire the stream's node.latency is at least the
# graph's default period (clock.quantum): the player does not shorten the
# period of every program's sound.
stream_leads_period() {
  local latency quantum
  player_stream || return 1
  latency=$(sed -n 's/.*node.latency = "\([0-9]*\)\/.*/\1/p' <<<"$stream")
  quantum=$(pw-metadata -n settings 0 clock.quantum 2>/dev/null | sed -n "s/.*value:'\([0-9]*\)'.*/\1/p")
  seen="$seen; the graph's default period: ${quantum:-unknown} frames"
  [[ -n $latency && -n $quantum ]] && ((latency >= quantum))
}

# thumb ROLE [VALUE]: the fraction of the slider's width (of that role) at
# which its thumb's middle stands at VALUE (default: its value now); the
# thumb is 11 px wide, so 0.75 of the width is not 0.75 of the range.
thumb() {
  local line
  found_control "$1" "" || fail "no $1"
  awk -F'\t' -v at="${2:-}" '{ split($3, v, "/"); w = $6; if (at != "") v[1] = at
    print (5.5 + (w - 11) * (v[2] > 0 ? v[1] / v[2] : 0)) / w }' <<<"$line"
}
# seconds_shown: the time display in seconds.
seconds_shown() { awk -F: '{ print $1 * 60 + $2 }' <<<"$(time_text)"; }
# time_follows TARGET SINCE: the time display shows TARGET seconds plus at
# most what has played since SINCE (millis), within a second and a half
# either way: a drag lands to a pixel (0.3 s here) and the display counts
# whole seconds.
time_follows() {
  local shown
  shown=$(seconds_shown)
  seen="the time display at $shown s, $(($(millis) - $2)) ms after the drag to $1 s began"
  awk -v s="$shown" -v t="$1" -v e="$(($(millis) - $2))" \
    'BEGIN { exit !(s != "" && s >= t - 1.5 && s <= t + e / 1000 + 1.5) }'
}
# drag ROLE NAME FROM TO: presses the mouse at fraction FROM of the control's
# width (its thumb), moves it in steps to fraction TO (beyond 0..1 runs past
# the ends) along its middle line, and lets go.
drag() {
  local line x y w h from to
  found_control "$1" "$2" || fail "no $1 \"$2\" to drag"
  read -r x y w h < <(cut -f4-7 --output-delimiter=' ' <<<"$line")
  from=$(awk -v x="$x" -v w="$w" -v f="$3" 'BEGIN { printf "%d", x + w * f }')
  to=$(awk -v x="$x" -v w="$w" -v f="$4" 'BEGIN { printf "%d", x + w * f }')
  y=$((y + h / 2))
  xdotool mousemove "$from" "$y" mousedown 1
  for s in 1 2 3 4 5 6 7 8; do
    xdotool mousemove $((from + (to - from) * s / 8)) "$y"
    sleep 0.03
  done
  xdotool mouseup 1
}

# answer TEXT [KEY]: waits for a message naming TEXT (an extended regular
# expression) and answers it with KEY (default Return).
answer() {
  wait_for 10 "a message saying \"$1\"" label_shown "$1"
  wait_for 5 "the message's window" dialog_ready
  xdotool windowactivate --sync "$dialog" 2>/dev/null || true
  xdotool key "${2:-Return}"
  wait_for 5 "the message to close" unmapped "$dialog"
}
# file_dialog PATH [replace]: types PATH into the file dialog that opens and
# accepts it; with "replace", also the question whether to replace the file.
file_dialog() {
  local file_dialog
  wait_for 10 "the file dialog" dialog_ready
  file_dialog=$dialog
  xdotool windowactivate --sync "$file_dialog" 2>/dev/null || true
  xdotool type --delay 10 "$1"
  xdotool key Return
  [[ ${2:-} == replace ]] && answer "already exists" alt+y
  wait_for 5 "the file dialog to close" unmapped "$file_dialog"
}
# close_box WINDOW: clicks the close button at the right end of the title bar.
close_box() {
  local left right top
  geometry "$1"
  read -r left right top _ < <(xprop -id "$1" _NET_FRAME_EXTENTS | awk -F'= ' '{ gsub(",", ""); print $2 }')
  xdotool mousemove $((X + WIDTH + right - 10)) $((Y - top / 2)) click 1
}
repeat_file() { # the bytes of rep.ini, shown as text
  [[ -f $app/rep.ini ]] && od -An -c "$app/rep.ini" | tr -s ' ' || echo "(no rep.ini)"
}
saved() { # KEY=VALUE: in the saved settings
  seen="settings: $(grep -v '^\[' "$conf" 2>/dev/null | paste -sd' ')"
  grep -qx "$1" "$conf"
}

# tray_icon: sets `icon_x icon_y` to the centre of the player's icon in the
# notification area (the player's first window below trayer's panel).
tray_icon() {
  local line re='([0-9]+)x([0-9]+)[-+0-9]+ +\+(-?[0-9]+)\+(-?[0-9]+)'
  line=$(xwininfo -root -tree | awk '
    /"panel": \("panel" "trayer"\)/ { indent = match($0, /[^ ]/); inside = 1; next }
    inside { if (match($0, /[^ ]/) <= indent) inside = 0; else if (/"tarn-player"/) { print; inside = 0 } }')
  seen="no icon of the player in the tray"
  [[ $line =~ $re ]] || return 1
  icon_x=$((BASH_REMATCH[3] + BASH_REMATCH[1] / 2)) icon_y=$((BASH_REMATCH[4] + BASH_REMATCH[2] / 2))
}
# mapped_windows: the player's mapped windows, one id a line.
mapped_windows() {
  local w
  for w in $(xdotool search --pid "$player" 2>/dev/null); do mapped "$w" && echo "$w"; done
}
# popup_open BEFORE: a window of the player is mapped that was not in BEFORE
# (the ids mapped before the click); sets `popup`.
popup_open() {
  popup=$(comm -13 <(sort <<<"$1") <(mapped_windows | sort) | head -1)
  seen="no new window shown"
  [[ -n $popup ]]
}
# tray_menu ITEM: opens the tray menu with a right click and picks ITEM with
# the keyboard (the accessibility bus does not show popup menus).
tray_menu() {
  local items=("Show Tarn Player" "Hide Tarn Player" "Mini Controls" "About" "Exit") i
  for i in "${!items[@]}"; do [[ ${items[i]} == "$1" ]] && break; done
  wait_for 5 "the player's icon in the tray" tray_icon
  # The start-up balloon stands over the icon for a while: clicked away first,
  # unless it went by itself between the look and the click.
  local line x y w h
  if label_shown "Click me for options" && found_control label "Tarn Player is running.*"; then
    read -r x y w h < <(cut -f4-7 --output-delimiter=' ' <<<"$line")
    xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
  fi
  wait_for 3 "the start-up balloon to go" eval '! label_shown "Click me for options"'
  # A click right after the last menu closed may reach it while it still
  # holds the pointer: a person clicks again, and so does this (said in the log).
  local before attempt
  before=$(mapped_windows)
  for attempt in 1 2 3; do
    xdotool mousemove $((icon_x - 40)) $((icon_y + 60)) sleep 0.1 mousemove "$icon_x" "$icon_y" sleep 0.1 click 3
    for _ in $(seq 20); do popup_open "$before" && break 2; sleep 0.05; done
    log "the tray menu did not open at click $attempt"
  done
  wait_for 1 "the tray menu" popup_open "$before"
  xdotool key --delay 40 --repeat $((i + 1)) Down
  xdotool key Return
  wait_for 2 "the tray menu to close" unmapped "$popup"
}

# The sound server stopped (SIGKILL: as a crash) and started again.
kill_sound_server() {
  at_exit+=("server_up || start_sound_server")
  kill -KILL "$(cat "$TARN_E2E_DIR/pulse.pid")"
}
server_up() { pactl info >/dev/null 2>&1; }
start_sound_server() {
  source "$TARN_E2E_DIR/start_pulse"
  wait_for 10 "the sound server to start again" server_up
  pactl set-default-sink tarn_null
}

# The notification area stopped and started again.
stop_tray() {
  at_exit+=("tray_running || start_tray")
  stop_pid "$(cat "$TARN_E2E_DIR/tray.pid")"
}
tray_running() { [[ $(xwininfo -root -tree) == *'"panel": ("panel" "trayer")'* ]]; }
start_tray() {
  source "$TARN_E2E_DIR/start_tray"
  wait_for 10 "the notification area to start again" tray_running
}

# playing_tone: the player started in the full view, a 60 s 440 Hz track
# (low60.mp3) added through the Add dialog and double-clicked, its tone heard
# at the sink, which is being recorded.
# playing_tone [COMMAND...]: runs COMMAND once the player has started, before
# the track is added and played (for what shows only at start-up).
playing_tone() {
  local file
  file=$(tone low60.mp3 440 60)
  settings SIZE=1
  start_player
  (($# == 0)) || "$@"
  record
  add_file "$file"
  play_entry low60.mp3
  wait_for 5 "the 440 Hz tone" hearing 440
}
