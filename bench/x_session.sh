# Helpers for driving the player's main window under an X server, sourced by
# the benchmark scripts (needs xdotool and xwininfo).

# Prints the id of the mapped main window once it is there (10 s at most);
# returns 1 when it never appears.
find_main_window() {
    local w
    for _ in $(seq 50); do
        # Qt also makes small unmapped windows with this name: take the mapped one.
        for w in $(xdotool search --name '^Tarn Player$' 2>/dev/null); do
            if xwininfo -id "$w" | grep -q IsViewable; then
                echo "$w"
                return 0
            fi
        done
        sleep 0.2
    done
    return 1
}

# Clicks a hot spot of the transport row (495 twips square) of window $1 by
# its left edge in twips, $2: Back 120, Play 720, Pause 1320, Stop 1800,
# Next 2400. The row is 2400 twips below the menu bar, whose height is what
# the compact view's window has beyond its client area.
click_hot_spot() {
    local WIDTH HEIGHT X Y SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$1")"
    local menu=$((HEIGHT - 3360 / 15))
    xdotool mousemove --window "$1" $((($2 + 247) / 15)) $((menu + (2400 + 247) / 15)) click 1
}

# Starts a private desktop for the end-to-end checks: Xvfb on display $1 with
# openbox, and a PulseAudio whose only sink is the null sink tarn_null; the
# sound server's socket and the user's home and settings go below folder $2.
# With TARN_BENCH_SOUND=pipewire the sound server is PipeWire instead (the
# graph, WirePlumber and PipeWire's PulseAudio service, under an
# XDG_RUNTIME_DIR of its own), the null sink its default.
# Adds the process ids to the caller's array `pids`, for its clean-up, and
# sets `pulse_pid` to the PulseAudio server's and `server_pids` to every
# sound server process (with PipeWire the graph mixes, the service only
# passes the streams on: their CPU counts together).
start_x_session() {
    local out=$2 p
    mkdir -p "$out/home" "$out/pulse"
    export DISPLAY=$1 HOME=$out/home XDG_CONFIG_HOME=$out/home/.config XDG_CURRENT_DESKTOP=none
    export PULSE_RUNTIME_PATH=$out/pulse PULSE_SERVER=unix:$out/pulse/native
    Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    sleep 1
    openbox >/dev/null 2>&1 &
    pids+=($!)
    server_pids=()
    if [ "${TARN_BENCH_SOUND:-pulseaudio}" = pipewire ]; then
        case ${XDG_RUNTIME_DIR:-} in "$out"/*) ;; *) export XDG_RUNTIME_DIR=$out/run ;; esac
        mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
        for p in pipewire wireplumber pipewire-pulse; do
            "$p" >"$out/$p.log" 2>&1 &
            pids+=($!)
            server_pids+=($!)
            if [ "$p" = pipewire ]; then
                for _ in $(seq 50); do [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] && break; sleep 0.1; done
            fi
        done
        pulse_pid=$!
        for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
        pactl load-module module-null-sink sink_name=tarn_null >/dev/null
    else
        pulseaudio -n --daemonize=no --exit-idle-time=-1 --disable-shm=yes \
            --load="module-native-protocol-unix socket=$out/pulse/native auth-anonymous=1" \
            --load="module-null-sink sink_name=tarn_null" >/dev/null 2>&1 &
        pids+=($!)
        pulse_pid=$!
        server_pids=($!)
        for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
    fi
    pactl set-default-sink tarn_null
}

# The same on the first free display from $1 to $2, with XDG_RUNTIME_DIR and
# a session bus of its own (its address exported) below folder $3. The bus
# comes first: WirePlumber joins it.
start_private_desktop() {
    local n out=$3 address bus_pid
    for n in $(seq "$1" "$2"); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
    done
    export XDG_RUNTIME_DIR=$out/run
    mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
    read -r address bus_pid < <(dbus-daemon --session --fork --print-address=1 --print-pid=1 \
        --address="unix:path=$out/bus" | paste -s -d' ')
    pids+=("$bus_pid")
    export DBUS_SESSION_BUS_ADDRESS=$address
    start_x_session ":$n" "$out"
}
