#!/usr/bin/env bash
# Visualizitions: its notice, then a window whose picture moves while the
# track goes on at the sink; the picture's menu takes it to full screen and
# Esc back; Close ends the video, not the music.
source "$(dirname "$0")/../lib.sh"
playing_tone

click "push button" Visualizitions
answer "only a video"
wait_for 5 "the visualisation window" window_named " "
vis=$found
# Two pictures of the window a moment apart differ: the video moves.
frames_move() {
  import -window "$vis" "$out/frame-a.png" 2>/dev/null
  sleep 0.3
  import -window "$vis" "$out/frame-b.png" 2>/dev/null
  local changed
  changed=$(compare -metric AE "$out/frame-a.png" "$out/frame-b.png" null: 2>&1 || true)
  seen="$changed pixels changed in 0.3 s"
  ((${changed%% *} > 100))
}
wait_for 5 "moving pictures in the visualisation window" frames_move
log "video: $seen"
hearing 440 || fail "the track was not heard while the video played"
shot video

log "Full Screen from the picture's menu, Esc back"
geometry "$vis"
size="$WIDTH $HEIGHT"
before=$(mapped_windows)
xdotool mousemove $((X + 150)) $((Y + 100)) click 3
wait_for 3 "the picture's menu" popup_open "$before"
xdotool key Down Return
full_screen() {
  local w
  for w in $(mapped_windows); do
    geometry "$w"
    [[ "$WIDTH $HEIGHT" == "1024 768" ]] && return 0
  done
  seen="no window of the player fills the screen"
  return 1
}
wait_for 3 "a full-screen picture" full_screen
shot full-screen
xdotool key Escape
wait_for 3 "the window at its size again" eval 'geometry "$vis"; [[ "$WIDTH $HEIGHT" == "$size" ]] && ! full_screen'
click "push button" Close
wait_for 2 "the visualisation window to close" unmapped "$vis"
hearing 440 || fail "the track stopped with the visualisation window"
log "passed"
