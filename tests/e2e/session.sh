#!/usr/bin/env bash
# The end-to-end checks' private desktop, one for all cases:
#   session.sh start DIR BUILD_DIR [pipewire]
#                                    installs the built player into DIR/prefix and
#                                    starts Xvfb, openbox, trayer, a session bus
#                                    with the accessibility bus, and PulseAudio
#                                    with a null sink as its only sink; with
#                                    "pipewire", PipeWire, WirePlumber and
#                                    PipeWire's PulseAudio service instead, the
#                                    null sink the default
#   session.sh start DIR PLAYER [pipewire]
#                                    the same for a player installed already
#                                    (e.g. /usr/bin/tarn-player): no install
#   session.sh stop DIR              stops every process it started, by process id
# DIR/env holds the variables the cases source (display, bus, sound server and
# a temporary home, settings and data folder); DIR/pids the process ids. An
# installed player keeps its state files in the per-user data folder, so the
# application folder is DIR/home/.local/share/Tarn Player/Tarn Player.
set -euo pipefail
cmd=$1 dir=$2

# DIR/pids: one process a line, "PID START" with START its start time in
# clock ticks since boot, so that a process id used again since is left alone.
ours() { [[ $(awk '{ print $22 }' "/proc/$1/stat" 2>/dev/null) == "$2" ]]; }
stop_all() {
  [[ -f $dir/pids ]] || return 0
  local p t left
  # The newest first: the cases' players and recorders, openbox and trayer
  # before the X server.
  while read -r p t; do ours "$p" "$t" && kill -TERM "$p" 2>/dev/null; done < <(tac "$dir/pids")
  for _ in $(seq 30); do
    left=0
    while read -r p t; do ours "$p" "$t" && left=1; done <"$dir/pids"
    ((left)) || break
    sleep 0.1
  done
  while read -r p t; do ours "$p" "$t" && kill -KILL "$p" 2>/dev/null; done <"$dir/pids"
  rm -f "$dir/pids"
}

if [[ $cmd == stop ]]; then
  stop_all
  echo "e2e session stopped; case output in $dir/out"
  exit 0
fi

target=$3
sound=${4:-pulseaudio}
[[ $sound == pulseaudio || $sound == pipewire ]] || { echo "unknown sound server $sound" >&2; exit 2; }
stop_all # a session left by an interrupted run
rm -rf "$dir"
mkdir -p "$dir/home/.config" "$dir/home/.local/share" "$dir/run" "$dir/pulse" "$dir/out"
chmod 700 "$dir/run"
: >"$dir/pids"
trap 'stop_all' ERR
fail() { echo "E2E SESSION FAIL: $*"; stop_all; exit 1; }
started() { echo "$1 $(awk '{ print $22 }' "/proc/$1/stat")" >>"$dir/pids"; }

if [[ -d $target ]]; then
  cmake --install "$target" --prefix "$dir/prefix" >"$dir/install.log"
  player=$dir/prefix/bin/tarn-player
else
  [[ -x $target ]] || fail "no player at $target"
  player=$target
fi
# The player on its own, as in a desktop session (no output or module forced).
unset SDL_AUDIODRIVER TARN_AUDIO_OUTPUT QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS
unset TARN_CODEC_MODULE TARN_PULSE_MODULE TARN_SDL_MODULE

# Xvfb picks a display number no X server holds (-displayfd), claiming it as it
# binds, so sessions started at the same moment (two test runs on one machine,
# a chroot's X server) never take the same one; it writes the number once it
# answers.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/display-number" >"$dir/xvfb.log" 2>&1 &
xvfb=$!
started $xvfb
display=""
for _ in $(seq 100); do
  read -r n <"$dir/display-number" 2>/dev/null && [[ $n =~ ^[0-9]+$ ]] && display=:$n && break
  kill -0 $xvfb 2>/dev/null || break
  sleep 0.1
done
[[ -n $display ]] && DISPLAY=$display xprop -root >/dev/null 2>&1 && kill -0 $xvfb 2>/dev/null ||
  fail "Xvfb did not start (display ${display:-unknown}): $(cat "$dir/xvfb.log")"

# The session bus; its accessibility bus lets the cases read the windows' texts
# as a screen reader does.
read -r bus bus_pid < <(dbus-daemon --session --fork --print-address=1 --print-pid=1 | paste -sd' ')
started "$bus_pid"

# (PipeWire's PulseAudio service listens in PULSE_RUNTIME_PATH too.)
pulse_socket=$dir/pulse/native
cat >"$dir/env" <<EOF
export DISPLAY=$display HOME=$dir/home XDG_CONFIG_HOME=$dir/home/.config
export XDG_DATA_HOME=$dir/home/.local/share XDG_RUNTIME_DIR=$dir/run XDG_CURRENT_DESKTOP=none
export DBUS_SESSION_BUS_ADDRESS='$bus'
export PULSE_RUNTIME_PATH=$dir/pulse PULSE_SERVER=unix:$pulse_socket
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 NO_AT_BRIDGE=0
export TARN_E2E_DIR=$dir TARN_E2E_PLAYER=$player TARN_E2E_SOUND=$sound
export TARN_E2E_APP="$dir/home/.local/share/Tarn Player/Tarn Player"
EOF
source "$dir/env"

/usr/libexec/at-spi-bus-launcher --launch-immediately >"$dir/a11y.log" 2>&1 &
a11y_launcher=$!
started $a11y_launcher
# The sound server; a case that stops it (by DIR/pulse.pid) starts it again
# by sourcing DIR/start_pulse. PipeWire is three processes: the graph, its
# session manager (which makes the null sink the default) and the PulseAudio
# service (pulse.pid), each started once the one before listens.
if [[ $sound == pipewire ]]; then
  cat >"$dir/start_pulse" <<EOF
for p in pipewire wireplumber pipewire-pulse; do
  \$p >>"$dir/\$p.log" 2>&1 &
  echo "\$! \$(awk '{ print \$22 }' /proc/\$!/stat)" >>"$dir/pids"
  if [[ \$p == pipewire ]]; then
    for _ in \$(seq 50); do [[ -S $dir/run/pipewire-0 ]] && break; sleep 0.1; done
  fi
done
echo \$! >"$dir/pulse.pid"
EOF
else
  cat >"$dir/start_pulse" <<EOF
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disable-shm=yes \
  --load="module-native-protocol-unix socket=$pulse_socket auth-anonymous=1" \
  --load="module-null-sink sink_name=tarn_null" >>"$dir/pulse.log" 2>&1 &
echo "\$! \$(awk '{ print \$22 }' /proc/\$!/stat)" >>"$dir/pids"
echo \$! >"$dir/pulse.pid"
EOF
fi
source "$dir/start_pulse"

for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
if [[ $sound == pipewire ]]; then
  pactl info >/dev/null 2>&1 || fail "PipeWire did not start: $(cat "$dir"/pipewire*.log "$dir/wireplumber.log")"
  pactl load-module module-null-sink sink_name=tarn_null >/dev/null || fail "no null sink on PipeWire"
fi
pactl set-default-sink tarn_null || fail "PulseAudio did not start: $(cat "$dir"/pulse*.log)"
# WirePlumber makes the choice the default once it runs.
default_sink() { [[ $(pactl info 2>/dev/null) == *"Default Sink: tarn_null"* ]]; }
for _ in $(seq 50); do default_sink && break; sleep 0.1; done
default_sink || fail "the null sink is not the default: $(pactl info | grep 'Default Sink')"
# The checks read the whole output first: with pipefail, grep -q ending a
# pipe early would count as a failure of the program writing into it.
# The window manager: up once it names its check window and that window is
# there; started again if it ended on the way.
wm_up() {
  local check
  check=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null) || return 1
  # (xwininfo without a valid id would wait for a click on a window)
  [[ $check =~ "window id # "(0x[0-9a-f]+) ]] && xwininfo -id "${BASH_REMATCH[1]}" >/dev/null 2>&1
}
for attempt in 1 2 3; do
  openbox >>"$dir/openbox.log" 2>&1 &
  wm=$!
  started $wm
  for _ in $(seq 100); do wm_up && break 2; kill -0 $wm 2>/dev/null || break; sleep 0.1; done
  kill $wm 2>/dev/null || true
done
wm_up || fail "openbox did not start: $(cat "$dir/openbox.log"); X server: $(kill -0 $xvfb 2>&1 && echo running)"
# The notification area, once the window manager runs. trayer (GTK) now and
# then fails to open a display that has just started: it is started again. A
# case that stops it (by DIR/tray.pid) starts it again by sourcing DIR/start_tray.
cat >"$dir/start_tray" <<EOF
trayer --edge top --align right --widthtype pixel --width 120 --height 32 >>"$dir/trayer.log" 2>&1 &
echo "\$! \$(awk '{ print \$22 }' /proc/\$!/stat)" >>"$dir/pids"
echo \$! >"$dir/tray.pid"
EOF
tray_up() { [[ $(xwininfo -root -tree) == *'"panel": ("panel" "trayer")'* ]]; }
for attempt in 1 2 3; do
  source "$dir/start_tray"
  tray=$(cat "$dir/tray.pid")
  for _ in $(seq 50); do tray_up && break 2; kill -0 "$tray" 2>/dev/null || break; sleep 0.1; done
  kill "$tray" 2>/dev/null || true
done
tray_up || fail "trayer did not start: $(cat "$dir/trayer.log")"
# The accessibility bus's own bus daemon is the launcher's child.
for _ in $(seq 50); do
  a11y=$(dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress 2>/dev/null | awk -F'"' '/string/ {print $2}')
  [[ -n $a11y ]] && break; sleep 0.1
done
[[ -n ${a11y:-} ]] || fail "no accessibility bus"
for p in $(pgrep -P "$a11y_launcher" || true); do started "$p"; done
trap - ERR
echo "e2e session on display $display in $dir ($(pactl info | sed -n 's/^Server Name: //p'))"
