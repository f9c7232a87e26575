#!/usr/bin/env bash
# The desktop integration on the session bus: a second `tarn-player FOLDER`
# hands the folder to the running player and ends; the first appends its
# audio files in natural order and plays the first; playerctl reads the
# track's tags and drives the player (next, pause, play, position, volume,
# loop), heard at the sink; a second `tarn-player FILE` plays that file; the
# MPRIS Quit ends the player through Exit, which saves the settings.
source "$(dirname "$0")/../lib.sh"
album=$out/album
mkdir -p "$album/sub"
tagged() { # file frequency title
  ffmpeg -loglevel error -y -f lavfi -i "aevalsrc=0.5*sin(2*PI*$2*t)|0.5*sin(2*PI*$2*t):s=44100:d=60" \
    -b:a 192k -metadata title="$3" -metadata artist="Tarn Tones" "$1"
}
tagged "$album/1 low.mp3" 440 "Low Tone"
tagged "$album/2 mid.mp3" 660 "Mid Tone"
tagged "$album/sub/10 high.mp3" 880 "High Tone"
tagged "$out/single.mp3" 550 "Single Tone"
echo "not audio" >"$album/notes.txt"
pc() { playerctl -p tarnplayer "$@" 2>/dev/null; }
on_bus() { seen="playerctl status: $(pc status)"; [[ $(pc status) == Stopped ]]; }

start_player
record
wait_for 5 "the player on the session bus" on_bus

log "a second start with a folder"
"$TARN_E2E_PLAYER" "$album" || fail "the second start ended with status $?"
kill -0 "$player" || fail "the first player has gone"
wait_for 3 "the folder's first file playing" caption_is "$album/1 low.mp3"
wait_for 3 "its 440 Hz tone" hearing 440
keys ctrl+s
wait_for 2 "the full view" full_view
wait_for 3 "the folder's files listed in natural order" playlist_is "1 low.mp3|2 mid.mp3|10 high.mp3"
[[ $(pc metadata title) == "Low Tone" ]] || fail "metadata title: $(pc metadata title)"
length=$(pc metadata mpris:length)
((length > 59000000 && length < 61000000)) || fail "metadata length $length"
[[ $(pc metadata xesam:url) == "file://$album/1%20low.mp3" ]] || fail "metadata url: $(pc metadata xesam:url)"

log "playerctl next, pause, play, position, volume, loop"
pc next
wait_for 3 "660 Hz after next" hearing 660
[[ $(caption) == *"2 mid.mp3" ]] || fail "playerctl next did not change the caption: $(caption)"
pc pause
wait_for 2 "silence after pause" silent
pc play
wait_for 2 "660 Hz after play" hearing 660
pc position 30
pos=$(pc position)
awk -v p="$pos" 'BEGIN { exit !(p >= 30 && p < 32) }' || fail "position after 'position 30': $pos"
pc volume 0.5
wait_for 2 "the volume label at 50 %" label_shown '^Volume 50 %$'
pc loop None
wait_for 2 "Repeat unticked by loop None" eval '! checked "check box" Repeat'

log "a second start with a file"
"$TARN_E2E_PLAYER" "$out/single.mp3" || fail "the second start ended with status $?"
wait_for 3 "the handed-over file playing" caption_is "$out/single.mp3"
wait_for 3 "its 550 Hz tone" hearing 550
[[ $(pc metadata title) == "Single Tone" ]] || fail "metadata after the hand-over: $(pc metadata title)"

log "Quit over the bus"
dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.tarnplayer /org/mpris/MediaPlayer2 \
  org.mpris.MediaPlayer2.Quit >/dev/null
player_ended
[[ $status == 0 ]] || fail "Quit ended the player with status $status"
saved Vol=1250 && saved REP=0 || fail "the volume and loop status set over the bus were not saved"
log "passed"
