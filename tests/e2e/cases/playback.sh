#!/usr/bin/env bash
# Plays a playlist built through the Add dialog and checks what is heard at
# the sink and read in the window: the tone and caption of a double-clicked
# entry, the volume bar's law (-12.5 dB at half, silence at 0), Pause holding
# sound and time, a seek with the slider, Stop rewinding, the automatic
# advance, the end-of-playlist line and Repeat wrapping to the first entry;
# and the stream as the sound server lists it: its volume the bar's, and on
# PipeWire a latency of at least one period of the graph.
source "$(dirname "$0")/../lib.sh"
# 440 Hz for 60 s, then 660 Hz for 60 s: a seek is heard as the jump. Long,
# so that a second is a few pixels on the slider.
two=$media/two_tones.mp3
[[ -s $two ]] || ffmpeg -loglevel error -y -f lavfi \
  -i "aevalsrc=0.5*sin(2*PI*if(lt(t\,60)\,440\,660)*t):s=44100:d=120" -ac 2 -b:a 192k "$two"
short=$(tone short880.mp3 880 3)
settings Vol=1250 REP=0 SIZE=1
start_player
record

log "Add through the dialog, twice"
add_file "$two"
add_file "$short"
shot added

log "double-click plays the first entry"
play_entry two_tones.mp3
wait_for 5 "the 440 Hz tone at the sink" hearing 440
wait_for 2 "the caption to be the path" caption_is "$two"
shot playing

log "volume: the bar at 1250 (the saved value) against full"
must "the saved volume is not shown as 50 %" label_shown '^Volume 50 %$'
must "the stream's volume in the mixer is not the bar's -12.5 dB" stream_volume_db -12.50
if [[ $TARN_E2E_SOUND == pipewire ]]; then
  must "the player's stream leads by less than one period of PipeWire's graph" stream_leads_period
  log "on PipeWire: $seen"
fi
sleep 0.6
half=$(level_db 0.5)
drag "scroll bar" "" 0.5 1.2
wait_for 2 "the volume label at 100 %" label_shown '^Volume 100 %$'
sleep 0.6
full=$(level_db 0.5)
log "level at 1250: $half dBFS, at 2500: $full dBFS"
awk -v a="$half" -v b="$full" 'BEGIN { d = b - a; exit !(d > 12.0 && d < 13.0) }' ||
  fail "the bar at 1250 is $(awk -v a="$half" -v b="$full" 'BEGIN { print b - a }') dB below full, expected 12.5 (within 0.5)"
drag "scroll bar" "" 0.95 -0.2
wait_for 2 "the volume label at 0 %" label_shown '^Volume 0 %$'
wait_for 2 "silence with the volume bar at 0" silent
drag "scroll bar" "" 0.05 1.2
wait_for 2 "the tone back at full volume" hearing 440

log "Pause holds the sound and the time"
click label Pause
wait_for 1 "silence after Pause" silent
paused_at=$(time_text)
sleep 1.5
silent || fail "sound while paused"
[[ $(time_text) == "$paused_at" ]] || fail "the time moved while paused: $paused_at, then $(time_text)"
click label Play
wait_for 2 "the tone again after Play" hearing 440

log "the slider seeks"
# The drag presses the thumb where it was read and moves it by the distance
# to 90 s. The track plays on meanwhile (each read of the window over the
# accessibility bus takes a moment, longer under load), so the drag lands
# that much past 90 s, and the time shown goes on from there.
read_at=$(millis)
drag slider "" "$(thumb slider)" "$(thumb slider 90)"
wait_for 2 "the 660 Hz tone after seeking to 90 s" hearing 660
wait_for 2 "the time to show the seek to 90 s" time_follows 90 "$read_at"
seen=""

log "Stop rewinds"
click label Stop
wait_for 1 "silence after Stop" silent
wait_for 2 "the time at 00:00 after Stop" eval '[[ $(time_text) == 00:00 ]]'
click label Play
wait_for 2 "the start of the track (440 Hz) after Stop and Play" hearing 440

log "the automatic advance, then the end of the playlist"
drag slider "" "$(thumb slider)" 1.2
wait_for 3 "the caption of the next entry" caption_is "$short"
wait_for 2 "its 880 Hz tone" hearing 880
wait_for 6 "the end-of-playlist line" track_line_has "End Of Playlist"
wait_for 1 "silence at the end of the playlist" silent
shot end-of-playlist

log "Repeat wraps to the first entry"
click "check box" Repeat
wait_for 1 "Repeat ticked" checked "check box" Repeat
play_entry short880.mp3
wait_for 3 "880 Hz" hearing 880
wait_for 6 "the first entry's caption after the last" caption_is "$two"
wait_for 2 "the first entry's 440 Hz tone" hearing 440
log "passed"
