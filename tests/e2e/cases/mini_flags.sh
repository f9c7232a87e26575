#!/usr/bin/env bash
# The remote-control files and the mini player: `printf 1 > next2.ini` moves
# to the next track (heard, and timed to the caption), a next2.ini that is a
# symbolic link is neither followed nor replaced; Mini Controls shows the
# strip above other windows with the opacity of Trans.ini; its Pause and Play
# act at once; its Back brings the main window back.
source "$(dirname "$0")/../lib.sh"
low=$(tone low60.mp3 440 60)
high=$(tone high60.mp3 880 60)
printf ' 60 \r\n' >"$app/Trans.ini"
rm -f "$app/back1.ini" "$app/stop1.ini" "$app/next2.ini"
settings SIZE=1
start_player
record
add_file "$low"
add_file "$high"
play_entry low60.mp3
wait_for 5 "the 440 Hz tone" hearing 440
wait_for 2 "next2.ini made by the poll" test -f "$app/next2.ini"

log "printf 1 > next2.ini"
start=$(millis)
printf 1 >"$app/next2.ini"
# The poll looks twice a second; the rest is opening the next file, which
# the sanitised build beside other tests can take a second or more for.
wait_for 5 "the next track's caption" caption_is "$high"
log "next2.ini to the next track's caption: $(($(millis) - start)) ms"
wait_for 3 "the next track's 880 Hz tone" hearing 880
log "next2.ini to its tone at the sink: $(($(millis) - start)) ms"
wait_for 2 "next2.ini set back to 0" eval 'cmp -s <(printf " 0 \r\n") "$app/next2.ini"'

log "next2.ini a symbolic link to another file holding 1: not followed"
printf '1\r\nnotes\r\n' >"$out/notes.txt"
ln -sfn "$out/notes.txt" "$app/next2.ini"
sleep 2 # four polls
caption_is "$high" || fail "a next2.ini linked to a file holding 1 was acted on"
[[ -L $app/next2.ini ]] || fail "the link next2.ini was replaced"
cmp -s <(printf '1\r\nnotes\r\n') "$out/notes.txt" ||
  fail "the file that next2.ini links to was changed: $(od -c "$out/notes.txt")"
rm "$app/next2.ini"
wait_for 2 "next2.ini made again by the poll" eval 'cmp -s <(printf " 0 \r\n") "$app/next2.ini"'

log "Mini Controls: the strip above another window"
click "push button" "Mini Controls"
wait_for 5 "the mini player strip" window_named "Rude Re3"
strip=$found
wait_for 2 "the main window to hide" unmapped "$win"
xmessage -geometry 400x120+100+100 "another window" >/dev/null 2>&1 &
started $!
other=$!
# The window manager's client window of xmessage, as the stacking list names it.
other_client() {
  local w
  other_win=""
  for w in $(xprop -root _NET_CLIENT_LIST | grep -o '0x[0-9a-f]*'); do
    [[ $(xprop -id "$w" WM_CLASS 2>/dev/null) == *'"Xmessage"'* ]] && other_win=$((w))
  done
  [[ -n $other_win ]] && mapped "$other_win"
}
wait_for 5 "another window" other_client
xdotool windowactivate --sync "$other_win"
props=$(xprop -id "$strip" _NET_WM_STATE _NET_WM_WINDOW_OPACITY)
seen=$props
[[ $props == *_NET_WM_STATE_ABOVE* ]] || fail "the strip is not kept above other windows"
[[ $props == *"= 2576980377"* ]] || fail "the strip's opacity is not the 60 % of Trans.ini"
seen=$(xprop -root _NET_CLIENT_LIST_STACKING)
[[ $seen == *$(printf '0x%x' "$other_win")*$(printf '0x%x' "$strip")* ]] || fail "the strip is below the other window"
shot strip
log "the strip's Pause and Play"
click label Pause
wait_for 1 "silence after the strip's Pause" silent
click label Play
wait_for 1 "the tone after the strip's Play" hearing 880
log "the strip's Back"
click "push button" Back
wait_for 2 "the main window again" mapped "$win"
wait_for 2 "the strip to close" unmapped "$strip"
hearing 880 || fail "the track stopped when the main window came back"
log "passed"
