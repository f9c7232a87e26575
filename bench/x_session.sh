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
